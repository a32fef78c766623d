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
  bitvec v;
  do {
    v.push_back(BITconst((int)(n & 1)));
    n >>= 1;
  } while (n);
  return BITtolist(v);
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
// normal form and local simplification.
static tree *BOOLencode(tree *t, const tree *decl, int booln) {
  if (!t) return t;
  BOOLreplace(t, decl, booln);
  t = treedopost(t, ARITapply);
  t = TLFnnf(t);
  return treedopost(t, TLFnnfsimp);
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
  q->BOOLN = p->BOOLN;
  q->PURETRANS = p->PURETRANS;
  q->vlist = treecopy(p->vlist);
  q->prog = treecopy(p->prog);
  tree *decl = q->vlist;
  tree *d = q->prog && q->prog->text[0] == '#' ? q->prog->left : nullptr;
  if (!BOOLnumbered(decl)) {
    if (BOOLnumbered(d)) decl = d;
    else {  // the record was not numbered: number the copy
      if (!decl) decl = q->vlist = treecopy(d);
      int n = INFOvlist(decl);
      if (!q->BOOLN) q->BOOLN = n;
    }
  }
  if (q->prog && q->prog->text[0] == '#') {
    tree *rest = q->prog->right;  // "#"(init, "#"(trans, ...))
    if (rest && rest->text[0] == '#' && rest->right && rest->right->text[0] == '#') {
      treefree(rest->right->left);  // transitions live in the process records
      rest->right->left = nullptr;
    }
    q->prog->right = BOOLencode(rest, decl, q->BOOLN);
  }
  q->varc = BOOLencode(treecopy(p->varc), decl, q->BOOLN);
  q->dead = BOOLencode(treecopy(p->dead), decl, q->BOOLN);
  q->deadtr = BOOLencode(treecopy(p->deadtr), decl, q->BOOLN);
  q->PRCNT = p->PRCNT;
  q->procs.resize(p->procs.size());
  for (size_t i = 0; i < p->procs.size(); i++) {
    const prgproc &s = p->procs[i];
    prgproc &t = q->procs[i];
    t.n = s.n;
    for (size_t j = 0; j < s.trans.size(); j++)
      t.trans.push_back(BOOLencode(treecopy(s.trans[j]), decl, q->BOOLN));
    for (size_t j = 0; j < s.calls.size(); j++) t.calls.push_back(treecopy(s.calls[j]));
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
