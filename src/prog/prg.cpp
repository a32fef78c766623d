// Program record: bit numbering of the declarations, range constraints,
// release, dump (with definitions for large shared formulas), and the
// transition relation for bounded checking.
#include "prog/prg.h"

#include <unordered_map>
#include <utility>
#include <vector>

#include "prog/bstore.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

#include "tree/check.h"

namespace {
constexpr int PRG_MAXBITS = 62;  // widest declared range the encoder accepts
}

// hi of a type text "digits..digits"; false for any other text.
static bool PRGrange(const char *s, std::string *hi) {
  const char *p = s;
  if (!std::isdigit((unsigned char)*p)) return false;
  while (std::isdigit((unsigned char)*p)) p++;
  if (p[0] != '.' || p[1] != '.') return false;
  p += 2;
  const char *h = p;
  if (!std::isdigit((unsigned char)*p)) return false;
  while (std::isdigit((unsigned char)*p)) p++;
  if (*p) return false;
  *hi = h;
  return true;
}

// Bits of a declared type: max(1, bits of hi) for "lo..hi", else one.
static int PRGwidth(const tree *type) {
  std::string hi;
  if (!type || type->left || type->right || !PRGrange(type->text, &hi)) return 1;
  unsigned long long v = 0;
  for (const char *s = hi.c_str(); *s; s++) {
    v = v * 10 + (unsigned long long)(*s - '0');
    if (v >> PRG_MAXBITS) utilerror("vlist");
  }
  int f = 0;
  for (; v; v >>= 1) f++;
  return f ? f : 1;
}

// Declaration list elements, in order, without recursion along the list.
template <class F>
static void PRGeachdecl(tree *list, F f) {
  for (tree *t = list; t;) {
    bool cell = t->text[0] == ';' && !t->text[1];
    f(cell ? t->left : t);
    t = cell ? t->right : nullptr;
  }
}

int INFOvlist(tree *vlist) {
  long long n = 0;
  PRGeachdecl(vlist, [&](tree *d) {
    if (!d || d->text[0] != ':' || d->text[1] || !d->left) utilerror("vlist");
    tree *name = d->left;
    int f = PRGwidth(d->right);
    if (n + f > (1 << 29)) utilerror("vlist");  // next-state numbers must fit too
    treefree(name->left);
    treefree(name->right);
    name->left = treenum((int)n + 1);
    name->right = treenum((int)(n + f));
    n += f;
  });
  return (int)n;
}

tree *INFOconstr_a(const tree *vlist) {
  tree *acc = nullptr;
  PRGeachdecl(const_cast<tree *>(vlist), [&](tree *d) {
    std::string hi;
    if (!d || d->text[0] != ':' || !d->left || !d->right || d->right->left ||
        d->right->right || !PRGrange(d->right->text, &hi))
      return;
    std::string v = std::string("V") + d->left->text;
    tree *c = treecompose("!", nullptr,
                          treecompose(">", treecompose(v.c_str(), nullptr, nullptr),
                                      treecompose(hi.c_str(), nullptr, nullptr)));
    acc = acc ? treecompose("&", acc, c) : c;
  });
  return acc ? acc : treeconst(1);
}

void prgfree(prg *p) {
  if (!p) return;
  treefree(p->vlist);
  for (prgproc &sp : p->procs)
    for (tree *t : sp.calls) treefree(t);
  if (p->store) {
    BOOLstorefree(p->store);  // every formula node
  } else {
    for (tree *t : {p->prog, p->deadtr, p->varc, p->dead}) treefree(t);
    for (prgproc &sp : p->procs)
      for (tree *t : sp.trans) treefree(t);
  }
  LUM_DISOWN(p);
  delete p;
}

// ---- the dump

namespace {
// A formula larger than this when expanded is written with definitions.
constexpr unsigned long long BOOL_DUMPTREE = 10000;

struct BOOLdump {
  const prg *p;
  FILE *out;
  std::unordered_map<const tree *, int> parents;  // over the large formulas
  std::unordered_map<const tree *, int> names;    // defined so far
  int next = 0;
};
}  // namespace

static bool BOOLlarge(BOOLdump &d, const tree *t) {
  return d.p->store && t && BOOLtreesize(d.p->store, t) > BOOL_DUMPTREE;
}

static bool BOOLnamed(const BOOLdump &d, const tree *n) {
  if (!n->left && !n->right) return false;
  if (!n->left && n->right && !n->right->left && !n->right->right) return false;  // literal
  auto it = d.parents.find(n);
  return it != d.parents.end() && it->second > 1;
}

// The tree printer's format; a named node other than self is its reference.
static void BOOLprint(BOOLdump &d, const tree *t, const tree *self) {
  struct task {
    const tree *t;
    char kind;  // 'v' subtree, 't' text then right subtree, ')' closing parenthesis
  };
  std::vector<task> work{{t, 'v'}};
  auto sep = [&](const tree *n) {
    std::fputc(' ', d.out);
    if (n->left && (n->text[0] == ';' || n->text[0] == '#')) std::fputc('\n', d.out);
  };
  while (!work.empty()) {
    task k = work.back();
    work.pop_back();
    if (k.kind == ')') {
      std::fputc(')', d.out);
      continue;
    }
    const tree *n = k.t;
    if (k.kind == 't') {
      std::fputs(n->text, d.out);
      sep(n);
      n = n->right;
    }
    while (n) {
      if (n != self && BOOLnamed(d, n)) {
        std::fprintf(d.out, "$%i ", d.names.at(n));
        break;
      }
      if (n->left) {
        std::fputc('(', d.out);
        work.push_back({n, ')'});
        work.push_back({n, 't'});
        n = n->left;
        continue;
      }
      std::fputs(n->text, d.out);
      sep(n);
      n = n->right;
    }
  }
}

// Definitions of the named nodes below t not written yet, operands first.
static void BOOLdefine(BOOLdump &d, const tree *t) {
  std::vector<std::pair<const tree *, bool>> work{{t, false}};
  std::unordered_map<const tree *, char> seen;
  while (!work.empty()) {
    auto [n, post] = work.back();
    work.pop_back();
    if (!n) continue;
    if (post) {
      if (n != t && BOOLnamed(d, n) && !d.names.count(n)) {
        d.names[n] = ++d.next;
        std::fprintf(d.out, "$%i = ", d.next);
        BOOLprint(d, n, n);
        std::fputc('\n', d.out);
      }
      continue;
    }
    if (!seen.emplace(n, 1).second || d.names.count(n)) continue;
    work.push_back({n, true});
    work.push_back({n->right, false});
    work.push_back({n->left, false});
  }
}

static void BOOLcountparents(BOOLdump &d, const tree *t) {
  std::vector<const tree *> work{t};
  std::unordered_map<const tree *, char> seen;
  while (!work.empty()) {
    const tree *n = work.back();
    work.pop_back();
    if (!seen.emplace(n, 1).second) continue;
    for (const tree *c : {n->left, n->right})
      if (c) {
        d.parents[c]++;
        work.push_back(c);
      }
  }
}

// A field: its definitions, the label, the formula and a line end.
static void BOOLfield(BOOLdump &d, const char *label, const tree *t) {
  if (BOOLlarge(d, t)) {
    BOOLdefine(d, t);
    std::fputs(label, d.out);
    BOOLprint(d, t, nullptr);
  } else {
    std::fputs(label, d.out);
    treewrite(t, d.out);
  }
  std::fputc('\n', d.out);
}

void prgwrite(const prg *p, FILE *out) {
  if (!p || !out) return;
  BOOLdump d{p, out, {}, {}, 0};
  std::vector<const tree *> roots{p->prog, p->varc, p->dead, p->deadtr};
  for (const prgproc &sp : p->procs) roots.insert(roots.end(), sp.trans.begin(), sp.trans.end());
  for (const tree *t : roots)
    if (BOOLlarge(d, t)) BOOLcountparents(d, t);
  BOOLfield(d, "PROG=\n", p->prog);
  std::fprintf(out, "BOOLN=%i\n", p->BOOLN);
  BOOLfield(d, "VARC=\n", p->varc);
  BOOLfield(d, "DEAD=\n", p->dead);
  std::fputs("VLIST=\n", out);
  treewrite(p->vlist, out);
  std::fputc('\n', out);
  std::fprintf(out, "PURETRANS=%i\n", p->PURETRANS);
  std::fprintf(out, "PRCNT=%i\n", p->PRCNT);
  for (size_t i = 0; i < p->procs.size(); i++) {
    const prgproc &sp = p->procs[i];
    size_t n = std::max(sp.trans.size(), sp.calls.size());
    for (size_t j = 0; j < n; j++) {
      std::string label = "P" + std::to_string(i + 1) + "T" + std::to_string(j + 1) + ":";
      BOOLfield(d, label.c_str(), j < sp.trans.size() ? sp.trans[j] : nullptr);
      treewrite(j < sp.calls.size() ? sp.calls[j] : nullptr, out);
      std::fputc('\n', out);
    }
  }
  BOOLfield(d, "P0T0:", p->deadtr);
}

tree *mgett(const prg &p) {
  int np = p.PRCNT < (int)p.procs.size() ? p.PRCNT : (int)p.procs.size();
  if (np <= 0) return nullptr;
  tree *rel = nullptr;
  for (int i = 0; i < np; i++) {
    const prgproc &pr = p.procs[i];
    int nt = pr.n < (int)pr.trans.size() ? pr.n : (int)pr.trans.size();
    for (int j = 0; j < nt; j++) {
      const tree *t = pr.trans[j];
      if (!t) continue;
      // an absent guard or action does not restrict (a call-only transition
      // has no action left), as in the decision-diagram engine
      const tree *g = t->left, *a = t->right;
      if ((g && !std::strcmp(g->text, "_")) || (a && !std::strcmp(a->text, "_"))) continue;
      tree *guard = g && std::strcmp(g->text, "^") ? treecopy(g) : treeconstab(1, 1);
      tree *tr = treecompose("&", guard, a ? treecopy(a) : treeconst(1));
      rel = rel ? treecompose("|", rel, tr) : tr;
    }
  }
  return rel ? rel : treeconst(0);
}
