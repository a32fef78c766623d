// Formula constructors and bit-vector conversions of the encoder.
#include "boolean/aritbits.h"

#include <cctype>
#include <cstring>

bool BITisconst(const tree *t, int v) {
  return t && t->text[0] == (v ? '^' : '_') && t->text[1] == 0;
}

tree *BITconst(int v) { return treecompose(v ? "^" : "_", nullptr, nullptr); }

static bool BITisvar(const tree *t) {
  return t && !t->left && !t->right && std::isdigit((unsigned char)t->text[0]);
}

// A literal is a number leaf or "!" over one; *neg tells which.
static const tree *BITlit(const tree *t, bool *neg) {
  if (BITisvar(t)) {
    *neg = false;
    return t;
  }
  if (t && t->text[0] == '!' && !t->text[1] && !t->left && BITisvar(t->right)) {
    *neg = true;
    return t->right;
  }
  return nullptr;
}

// 1: same literal, -1: complementary, 0: neither or not both literals.
static int BITlitcmp(const tree *a, const tree *b) {
  bool na, nb;
  const tree *va = BITlit(a, &na), *vb = BITlit(b, &nb);
  if (!va || !vb || std::strcmp(va->text, vb->text) != 0) return 0;
  return na == nb ? 1 : -1;
}

tree *BITand(tree *a, tree *b) {
  if (BITisconst(a, 0) || BITisconst(b, 1)) {  // F & b = F;  a & T = a
    treefree(b);
    return a;
  }
  if (BITisconst(b, 0) || BITisconst(a, 1)) {
    treefree(a);
    return b;
  }
  switch (BITlitcmp(a, b)) {
    case 1:  // l & l = l
      treefree(b);
      return a;
    case -1:  // l & !l = F
      treefree(a);
      treefree(b);
      return BITconst(0);
  }
  return treecompose("&", a, b);
}

tree *BITor(tree *a, tree *b) {
  if (BITisconst(a, 1) || BITisconst(b, 0)) {  // T | b = T;  a | F = a
    treefree(b);
    return a;
  }
  if (BITisconst(b, 1) || BITisconst(a, 0)) {
    treefree(a);
    return b;
  }
  switch (BITlitcmp(a, b)) {
    case 1:
      treefree(b);
      return a;
    case -1:  // l | !l = T
      treefree(a);
      treefree(b);
      return BITconst(1);
  }
  return treecompose("|", a, b);
}

// Negation by duality; the tree is reused.  Recursion follows the formula
// depth, which the constructions keep logarithmic or linear in the width.
tree *BITnot(tree *a) {
  if (!a) return a;
  const char c = a->text[1] ? 0 : a->text[0];
  switch (c) {
    case '^':
      a->text[0] = '_';
      return a;
    case '_':
      a->text[0] = '^';
      return a;
    case '&':
    case '|':
      a->text[0] = c == '&' ? '|' : '&';
      a->left = BITnot(a->left);
      a->right = BITnot(a->right);
      return a;
    case '!':
      if (!a->left) {  // !!f = f
        tree *r = a->right;
        a->right = nullptr;
        treefree(a);
        return r;
      }
      break;
  }
  return treecompose("!", nullptr, a);
}

tree *BITxor(tree *a, tree *b) {
  if (BITisconst(a, 0)) {
    treefree(a);
    return b;
  }
  if (BITisconst(b, 0)) {
    treefree(b);
    return a;
  }
  if (BITisconst(a, 1)) {
    treefree(a);
    return BITnot(b);
  }
  if (BITisconst(b, 1)) {
    treefree(b);
    return BITnot(a);
  }
  if (int k = BITlitcmp(a, b)) {
    treefree(a);
    treefree(b);
    return BITconst(k < 0);
  }
  tree *a2 = treecopy(a), *b2 = treecopy(b);
  return BITor(BITand(a, BITnot(b2)), BITand(BITnot(a2), b));
}

tree *BITite(tree *c, tree *t, tree *e) {
  if (BITisconst(c, 1)) {
    treefree(c);
    treefree(e);
    return t;
  }
  if (BITisconst(c, 0)) {
    treefree(c);
    treefree(t);
    return e;
  }
  if (!treediff(t, e)) {  // ite(c, t, t) = t
    treefree(c);
    treefree(e);
    return t;
  }
  if (BITisconst(t, 1) || BITisconst(t, 0)) {  // ite(c, T, e) = c | e;  ite(c, F, e) = !c & e
    const bool one = BITisconst(t, 1);
    treefree(t);
    return one ? BITor(c, e) : BITand(BITnot(c), e);
  }
  if (BITisconst(e, 1) || BITisconst(e, 0)) {  // ite(c, t, T) = !c | t;  ite(c, t, F) = c & t
    const bool one = BITisconst(e, 1);
    treefree(e);
    return one ? BITor(BITnot(c), t) : BITand(c, t);
  }
  tree *c2 = treecopy(c);
  return BITor(BITand(c, t), BITand(BITnot(c2), e));
}

// Lists hold one element per bit; the ";" cells are released, the elements kept.
bitvec BITfromlist(tree *list) {
  bitvec v;
  while (list && list->text[0] == ';' && !list->text[1]) {
    tree *cell = list;
    v.push_back(cell->left);
    list = cell->right;
    cell->left = cell->right = nullptr;
    treefree(cell);
  }
  v.push_back(list ? list : BITconst(0));
  for (size_t i = 0, j = v.size() - 1; i < j; i++, j--) std::swap(v[i], v[j]);
  return v;
}

tree *BITtolist(bitvec &v) {
  if (v.empty()) return BITconst(0);
  tree *l = v[0];
  for (size_t i = 1; i < v.size(); i++) l = treecompose(";", v[i], l);
  v.clear();
  return l;
}

void BITfree(bitvec &v) {
  for (tree *t : v) treefree(t);
  v.clear();
}

void BITpad(bitvec &v, size_t n) {
  while (v.size() < n) v.push_back(BITconst(0));
}
