// Formula constructors and bit-vector conversions of the encoder.
#include "boolean/aritbits.h"

#include <cctype>
#include <cstring>

BOOLstore *BITs = nullptr;

bool BITisconst(const tree *t, int v) {
  return t && t->text[0] == (v ? '^' : '_') && t->text[1] == 0;
}

tree *BITconst(int v) { return BOOLnode(BITs, v ? "^" : "_", nullptr, nullptr); }

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
  if (BITisconst(a, 0) || BITisconst(b, 1)) return a;  // F & b = F;  a & T = a
  if (BITisconst(b, 0) || BITisconst(a, 1)) return b;
  switch (BITlitcmp(a, b)) {
    case 1: return a;              // l & l = l
    case -1: return BITconst(0);   // l & !l = F
  }
  return BOOLnode(BITs, "&", a, b);
}

tree *BITor(tree *a, tree *b) {
  if (BITisconst(a, 1) || BITisconst(b, 0)) return a;  // T | b = T;  a | F = a
  if (BITisconst(b, 1) || BITisconst(a, 0)) return b;
  switch (BITlitcmp(a, b)) {
    case 1: return a;
    case -1: return BITconst(1);   // l | !l = T
  }
  return BOOLnode(BITs, "|", a, b);
}

tree *BITnot(tree *a) { return BOOLnegate(BITs, a); }

tree *BITxor(tree *a, tree *b) {
  if (BITisconst(a, 0)) return b;
  if (BITisconst(b, 0)) return a;
  if (BITisconst(a, 1)) return BITnot(b);
  if (BITisconst(b, 1)) return BITnot(a);
  if (int k = BITlitcmp(a, b)) return BITconst(k < 0);
  return BITor(BITand(a, BITnot(b)), BITand(BITnot(a), b));
}

tree *BITite(tree *c, tree *t, tree *e) {
  if (BITisconst(c, 1)) return t;
  if (BITisconst(c, 0)) return e;
  if (t == e) return t;  // ite(c, t, t) = t
  if (BITisconst(t, 1)) return BITor(c, e);               // ite(c, T, e) = c | e
  if (BITisconst(t, 0)) return BITand(BITnot(c), e);      // ite(c, F, e) = !c & e
  if (BITisconst(e, 1)) return BITor(BITnot(c), t);       // ite(c, t, T) = !c | t
  if (BITisconst(e, 0)) return BITand(c, t);              // ite(c, t, F) = c & t
  return BITor(BITand(c, t), BITand(BITnot(c), e));
}

bitvec BITfromlist(tree *list) {
  bitvec v;
  for (; list && list->text[0] == ';' && !list->text[1]; list = list->right) v.push_back(list->left);
  v.push_back(list ? list : BITconst(0));
  for (size_t i = 0, j = v.size() - 1; i < j; i++, j--) std::swap(v[i], v[j]);
  return v;
}

tree *BITtolist(const bitvec &v) {
  if (v.empty()) return BITconst(0);
  tree *l = v[0];
  for (size_t i = 1; i < v.size(); i++) l = BOOLnode(BITs, ";", v[i], l);
  return l;
}

void BITpad(bitvec &v, size_t n) {
  while (v.size() < n) v.push_back(BITconst(0));
}

void BITreduce(bitvec &v) {
  while (v.size() > 1 && BITisconst(v.back(), 0)) v.pop_back();
}
