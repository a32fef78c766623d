// Boolean program: replacement of names and numbers by bit lists and the
// encoding of a whole program record.
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>

#include "boolean/aritbits.h"
#include "boolean/p2bp.h"
#include "formula/tlf.h"
#include "tree/check.h"

namespace {
constexpr int BOOL_MAXBITS = 62;  // widest declared range the encoder accepts
}

// Value of a decimal text; false when it does not fit in 62 bits.
static bool BOOLvalue(const char *s, unsigned long long *v) {
  unsigned long long x = 0;
  for (; std::isdigit((unsigned char)*s); s++) {
    x = x * 10 + (unsigned long long)(*s - '0');
    if (x >> BOOL_MAXBITS) return false;
  }
  *v = x;
  return true;
}

// Declaration list elements, in order, without recursion along the list.
template <class F>
static void BOOLeachdecl(tree *list, F f) {
  for (tree *t = list; t;) {
    bool cell = t->text[0] == ';' && !t->text[1];
    f(cell ? t->left : t);
    t = cell ? t->right : nullptr;
  }
}

tree *BOOLconstructnum(unsigned long long n) {
  tree *l = treeconst((int)(n & 1));
  for (n >>= 1; n; n >>= 1) l = treecompose(";", treeconst((int)(n & 1)), l);
  return l;
}

// Lookup key: the whole name, or an indexed name up to and including '['.
static std::string BOOLkey(const char *name) {
  const char *b = std::strchr(name, '[');
  return b ? std::string(name, (size_t)(b - name + 1)) : std::string(name);
}

namespace {
using BOOLtable = std::unordered_map<std::string, const tree *>;  // key -> name node
}

static BOOLtable BOOLtablebuild(const tree *vlist) {
  BOOLtable tab;
  BOOLeachdecl(const_cast<tree *>(vlist), [&](tree *d) {
    if (d && d->left) tab.emplace(BOOLkey(d->left->text), d->left);  // first wins
  });
  return tab;
}

static tree *BOOLbits(const tree *name, int offset) {
  if (!name->left || !name->right) utilerror("vlist");  // declarations not numbered
  int first = std::atoi(name->left->text), last = std::atoi(name->right->text);
  tree *l = treenum(last + offset);
  for (int i = last - 1; i >= first; i--) l = treecompose(";", treenum(i + offset), l);
  return l;
}

static tree *BOOLsharedbits(BOOLstore *s, const tree *name, int offset) {
  if (!name->left || !name->right) utilerror("vlist");  // declarations not numbered
  int first = std::atoi(name->left->text), last = std::atoi(name->right->text);
  auto num = [&](int v) { return BOOLnode(s, std::to_string(v).c_str(), nullptr, nullptr); };
  tree *l = num(last + offset);
  for (int i = last - 1; i >= first; i--) l = BOOLnode(s, ";", num(i + offset), l);
  return l;
}

static void BOOLleaf(tree *t, const BOOLtable &tab, int offset) {
  const char c = t->text[0];
  if (std::isdigit((unsigned char)c)) {
    unsigned long long v;
    if (!BOOLvalue(t->text, &v)) utilerror("BOOLreplace");
    treereplace(t, BOOLconstructnum(v));
  } else if (c == 'V' || c == 'O') {
    auto it = tab.find(BOOLkey(t->text + 1));
    if (it == tab.end()) utilerror("vlist");
    treereplace(t, BOOLbits(it->second, c == 'O' ? offset : 0));
  }
}

static void BOOLwalk(tree *t, const BOOLtable &tab, int offset) {
  for (; t; t = t->right) {
    if (!t->left && !t->right) {
      BOOLleaf(t, tab, offset);
      return;
    }
    BOOLwalk(t->left, tab, offset);
  }
}

void BOOLreplace(tree *t, const tree *vlist, int offset) {
  BOOLtable tab = BOOLtablebuild(vlist);
  BOOLwalk(t, tab, offset);
}

// Names and numbers to bit lists, operators to formulas, then negation
// normal form and local simplification; the result is a node of s.
static tree *BOOLencode(BOOLstore *s, const tree *t, const BOOLtable &tab, int booln) {
  if (!t) return nullptr;
  struct job {
    const tree *t;
    bool post;
  };
  std::vector<job> work{{t, false}};
  std::vector<tree *> vals;
  while (!work.empty()) {
    job j = work.back();
    work.pop_back();
    const tree *n = j.t;
    if (!n->left && !n->right) {
      const char c = n->text[0];
      if (std::isdigit((unsigned char)c)) {
        unsigned long long v;
        if (!BOOLvalue(n->text, &v)) utilerror("BOOLreplace");
        tree *k = BOOLconstructnum(v);
        vals.push_back(BOOLintern(s, k));
        treefree(k);
      } else if (c == 'V' || c == 'O') {
        auto it = tab.find(BOOLkey(n->text + 1));
        if (it == tab.end()) utilerror("vlist");
        vals.push_back(BOOLsharedbits(s, it->second, c == 'O' ? booln : 0));
      } else {
        vals.push_back(BOOLnode(s, n->text, nullptr, nullptr));
      }
      continue;
    }
    if (!j.post) {
      work.push_back({n, true});
      if (n->right) work.push_back({n->right, false});
      if (n->left) work.push_back({n->left, false});
      continue;
    }
    tree *r = nullptr, *l = nullptr;
    if (n->right) {
      r = vals.back();
      vals.pop_back();
    }
    if (n->left) {
      l = vals.back();
      vals.pop_back();
    }
    tree *e = l && r && n->text[0] && !n->text[1] ? ARITapply(s, n->text[0], l, r) : nullptr;
    vals.push_back(e ? e : BOOLnode(s, n->text, l, r));
  }
  return BOOLnnf(s, vals.back());
}

static bool BOOLnumbered(const tree *vlist) {
  bool ok = vlist != nullptr;
  BOOLeachdecl(const_cast<tree *>(vlist), [&](tree *d) {
    if (!d || !d->left || !d->left->left || !d->left->right) ok = false;
  });
  return ok;
}

prg *p2bp(const prg *p) {
  prg *q = new prg{};
  LUM_OWN(q);
  BOOLstore *s = q->store = BOOLstorenew();
  q->BOOLN = p->BOOLN;
  q->PURETRANS = p->PURETRANS;
  q->vlist = treecopy(p->vlist);
  tree *decl = q->vlist;
  const tree *d = p->prog && p->prog->text[0] == '#' ? p->prog->left : nullptr;
  if (!BOOLnumbered(decl)) {
    if (BOOLnumbered(d)) decl = const_cast<tree *>(d);
    else {  // the record was not numbered: number the copy
      if (!decl) decl = q->vlist = treecopy(d);
      int n = INFOvlist(decl);
      if (!q->BOOLN) q->BOOLN = n;
    }
  }
  const BOOLtable tab = BOOLtablebuild(decl);
  auto enc = [&](const tree *t) { return BOOLencode(s, t, tab, q->BOOLN); };
  if (p->prog && p->prog->text[0] == '#') {
    const tree *rest = p->prog->right;  // "#"(init, "#"(trans, ...))
    tree *r;
    if (rest && rest->text[0] == '#' && rest->right && rest->right->text[0] == '#') {
      // transitions live in the process records
      tree *init = enc(rest->left), *more = enc(rest->right->right);
      r = BOOLnode(s, rest->text, init, BOOLnode(s, rest->right->text, nullptr, more));
    } else {
      r = enc(rest);
    }
    q->prog = BOOLnode(s, p->prog->text, BOOLintern(s, p->prog->left), r);
  } else {
    q->prog = BOOLintern(s, p->prog);
  }
  q->varc = enc(p->varc);
  q->dead = enc(p->dead);
  q->deadtr = enc(p->deadtr);
  q->PRCNT = p->PRCNT;
  q->procs.resize(p->procs.size());
  for (size_t i = 0; i < p->procs.size(); i++) {
    const prgproc &sp = p->procs[i];
    prgproc &t = q->procs[i];
    t.n = sp.n;
    for (size_t j = 0; j < sp.trans.size(); j++) t.trans.push_back(enc(sp.trans[j]));
    for (size_t j = 0; j < sp.calls.size(); j++) t.calls.push_back(treecopy(sp.calls[j]));
  }
  return q;
}

int intin(int v, const int *a, int first, int last) {
  for (int i = first; i <= last; i++)
    if (a[i] == v) return i;
  return 0;
}

int intlen(const int *a) {
  int n = 0;
  while (a[n]) n++;
  return n;
}
