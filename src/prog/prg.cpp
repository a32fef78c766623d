// Program record: bit numbering of the declarations, range constraints,
// release, dump, and the transition relation for bounded checking.
#include "prog/prg.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

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
  for (tree *t : {p->vlist, p->prog, p->deadtr, p->varc, p->dead}) treefree(t);
  for (prgproc &s : p->procs) {
    for (tree *t : s.trans) treefree(t);
    for (tree *t : s.calls) treefree(t);
  }
  delete p;
}

static void prgtree(const tree *t, FILE *out) {
  treewrite(t, out);
  std::fputc('\n', out);
}

void prgwrite(const prg *p, FILE *out) {
  if (!p || !out) return;
  std::fputs("PROG=\n", out);
  prgtree(p->prog, out);
  std::fprintf(out, "BOOLN=%i\n", p->BOOLN);
  std::fputs("VARC=\n", out);
  prgtree(p->varc, out);
  std::fputs("DEAD=\n", out);
  prgtree(p->dead, out);
  std::fputs("VLIST=\n", out);
  prgtree(p->vlist, out);
  std::fprintf(out, "PURETRANS=%i\n", p->PURETRANS);
  std::fprintf(out, "PRCNT=%i\n", p->PRCNT);
  for (size_t i = 0; i < p->procs.size(); i++) {
    const prgproc &s = p->procs[i];
    size_t n = std::max(s.trans.size(), s.calls.size());
    for (size_t j = 0; j < n; j++) {
      std::fprintf(out, "P%iT%i:", (int)i + 1, (int)j + 1);
      prgtree(j < s.trans.size() ? s.trans[j] : nullptr, out);
      prgtree(j < s.calls.size() ? s.calls[j] : nullptr, out);
    }
  }
  std::fprintf(out, "P%iT%i:", 0, 0);
  prgtree(p->deadtr, out);
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
      if (!t || !t->left || !t->right) continue;
      if (!std::strcmp(t->left->text, "_") || !std::strcmp(t->right->text, "_")) continue;
      tree *guard = std::strcmp(t->left->text, "^") ? treecopy(t->left) : treeconstab(1, 1);
      tree *tr = treecompose("&", guard, treecopy(t->right));
      rel = rel ? treecompose("|", rel, tr) : tr;
    }
  }
  return rel ? rel : treeconst(0);
}
