// Arithmetic and comparisons over bit lists of shared formulas.
//
// Every intermediate bit is a node of the store that all later steps point
// to, so sizes count distinct nodes: adders, subtractors and comparisons are
// linear in the width, multiplication is a shift-and-add array (one adder
// per multiplier bit, quadratic), division and remainder are restoring
// division over shared remainders (one subtractor and one selection per
// dividend bit, quadratic).  Negation is by duality and memoised, so the
// negation normal form adds at most the negated copy of each node.

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "boolean/aritbits.h"
#include "boolean/p2bp.h"
#include "formula/tlf.h"

// ---- one bit position

// Carry of a + b + c: (a & b) | ((a | b) & c); c occurs once.
static tree *ARITcarry(tree *a, tree *b, tree *c) {
  if (!c) return BITand(a, b);
  return BITor(BITand(a, b), BITand(BITor(a, b), c));
}

// Borrow of a - b - w: (!a & b) | ((!a | b) & w); w occurs once.
static tree *ARITborrow(tree *a, tree *b, tree *w) {
  if (!w) return BITand(BITnot(a), b);
  return BITor(BITand(BITnot(a), b), BITand(BITor(BITnot(a), b), w));
}

// (a ^ b) ^ c with the carry outermost.
static tree *ARITsum(tree *a, tree *b, tree *c) {
  tree *s = BITxor(a, b);
  return c ? BITxor(s, c) : s;
}

// ---- vector operations

bitvec BITadd(bitvec a, bitvec b) {
  size_t n = std::max(a.size(), b.size());
  BITpad(a, n);
  BITpad(b, n);
  bitvec r(n + 1);
  tree *c = nullptr;
  for (size_t i = 0; i < n; i++) {
    r[i] = ARITsum(a[i], b[i], c);
    c = ARITcarry(a[i], b[i], c);
  }
  r[n] = c;
  return r;
}

// Subtrahend bits above the minuend's width go into one condition h.
static tree *BITsplit(const bitvec &a, bitvec &b) {
  tree *h = BITconst(0);
  while (b.size() > a.size()) {
    h = BITor(h, b.back());
    b.pop_back();
  }
  return h;
}

// a < b is the final borrow or any 1 among b's bits above a's width.
tree *BITlt(bitvec a, bitvec b) {
  tree *h = BITsplit(a, b);
  BITpad(b, a.size());
  tree *w = nullptr;
  for (size_t i = 0; i < a.size(); i++) w = ARITborrow(a[i], b[i], w);
  return BITor(w, h);
}

// max(a - b, 0): the difference bits gated by !(a < b); width of a.
bitvec BITsubsat(bitvec a, bitvec b) {
  tree *h = BITsplit(a, b);
  size_t n = std::max(a.size(), b.size());
  BITpad(a, n);
  BITpad(b, n);
  bitvec d(n);
  tree *w = nullptr;
  for (size_t i = 0; i < n; i++) {
    d[i] = ARITsum(a[i], b[i], w);
    w = ARITborrow(a[i], b[i], w);
  }
  tree *g = BITnot(BITor(w, h));
  for (tree *&e : d) e = BITand(e, g);
  return d;
}

tree *BITeq(bitvec a, bitvec b) {
  size_t n = std::max(a.size(), b.size());
  BITpad(a, n);
  BITpad(b, n);
  tree *rest = nullptr;
  for (size_t i = 0; i < n; i++) {
    tree *e = BITand(BITor(BITnot(a[i]), b[i]), BITor(a[i], BITnot(b[i])));
    rest = rest ? BITand(e, rest) : e;
  }
  return rest;
}

static bitvec BITbitwise(bitvec a, bitvec b, bool conj) {
  if (conj && (a.size() == 1 || b.size() == 1)) {  // N distributes a single bit
    if (a.size() == 1) std::swap(a, b);
    for (tree *&x : a) x = BITand(x, b[0]);
    return a;
  }
  size_t n = std::max(a.size(), b.size());
  BITpad(a, n);
  BITpad(b, n);
  for (size_t i = 0; i < n; i++) a[i] = conj ? BITand(a[i], b[i]) : BITor(a[i], b[i]);
  return a;
}

// ---- multiplication

// Shift-and-add: the partial product of each multiplier bit that is not the
// constant 0 is added to the accumulator; the narrower operand is the
// multiplier (fewer adders).  The product is below 2^(na+nb), so the
// adders' carries above that column are dropped.
bitvec BITmul(bitvec a, bitvec b) {
  BITreduce(a);
  BITreduce(b);
  if (b.size() > a.size()) std::swap(a, b);
  const size_t w = a.size() + b.size();
  bitvec acc;
  for (size_t j = 0; j < b.size(); j++) {
    if (BITisconst(b[j], 0)) continue;
    bitvec p(j, BITconst(0));
    for (tree *x : a) p.push_back(BITand(x, b[j]));
    acc = acc.empty() ? p : BITadd(acc, p);
    if (acc.size() > w) acc.resize(w);
  }
  if (acc.empty()) acc.push_back(BITconst(0));
  BITreduce(acc);
  return acc;
}

// ---- division and remainder

// Restoring division, dividend bits from the most significant: the partial
// remainder r (nb bits, below b) is shifted in with the next dividend bit,
// the quotient bit is !(r' < b), and the next remainder is r' - b or r'.
// With b = 0 every quotient bit is 1 (x / 0 is all ones of x's width); the
// remainder is then x itself (x % 0 = x), chosen at the end.
static bitvec BITdivmod(bitvec a, bitvec b, bool mod) {
  BITreduce(a);
  BITreduce(b);
  const size_t na = a.size(), nb = b.size();
  bitvec r(nb, BITconst(0)), q(na);
  bitvec bp = b;
  BITpad(bp, nb + 1);
  for (size_t i = na; i-- > 0;) {
    bitvec sh(nb + 1);  // r' = 2 r + a_i
    sh[0] = a[i];
    for (size_t k = 0; k < nb; k++) sh[k + 1] = r[k];
    bitvec d(nb + 1);
    tree *w = nullptr;
    for (size_t k = 0; k <= nb; k++) {
      d[k] = ARITsum(sh[k], bp[k], w);
      w = ARITborrow(sh[k], bp[k], w);
    }
    q[i] = BITnot(w);
    for (size_t k = 0; k < nb; k++) r[k] = BITite(q[i], d[k], sh[k]);
  }
  if (!mod) {
    BITreduce(q);
    return q;
  }
  tree *zero = BITconst(1);
  for (tree *x : b) zero = BITand(zero, BITnot(x));
  const size_t n = std::max(na, nb);
  BITpad(r, n);
  BITpad(a, n);
  for (size_t k = 0; k < n; k++) r[k] = BITite(zero, a[k], r[k]);
  BITreduce(r);
  return r;
}

bitvec BITdiv(bitvec a, bitvec b) { return BITdivmod(std::move(a), std::move(b), false); }
bitvec BITmod(bitvec a, bitvec b) { return BITdivmod(std::move(a), std::move(b), true); }

// ---- list interface

tree *ARITdiv2(BOOLstore *s, tree *a, const tree *b) {
  if (!b || b->text[0] != ';' || !BITisconst(b->left, 1) || !BITisconst(b->right, 0))
    return nullptr;
  BITscope sc(s);
  bitvec v = BITfromlist(a);
  if (v.size() == 1) return BITconst(0);
  v.erase(v.begin());
  return BITtolist(v);
}

tree *ARITdoublekt(BOOLstore *s, tree *list, int k) {
  if (k <= 0) return list;
  BITscope sc(s);
  bitvec v = BITfromlist(list);
  v.insert(v.begin(), (size_t)k, BITconst(0));
  return BITtolist(v);
}

tree *listreduce(BOOLstore *s, tree *list) {
  BITscope sc(s);
  bitvec v = BITfromlist(list);
  BITreduce(v);
  return BITtolist(v);
}

tree *ARITsub0(BOOLstore *s, const tree *a, tree **b) {
  BITscope sc(s);
  bitvec va = BITfromlist(const_cast<tree *>(a)), vb = BITfromlist(*b);
  tree *h = BITsplit(va, vb);
  *b = BITtolist(vb);
  return h;
}

// Literal propagation on an operand bit pays off only on small formulas;
// on large ones it costs more than it can remove.
constexpr unsigned long long ARIT_REDLIMIT = 4000;

static tree *ARITred1(tree *x) {
  if (tree *m = BOOLaux(x)) return m;
  tree *c = TLFred(treecopy(x));
  tree *r = BOOLintern(BITs, c);
  treefree(c);
  BOOLaux(x) = r;
  return r;
}

static bitvec ARIToperand(tree *t) {
  bitvec v = BITfromlist(t);
  for (tree *&x : v)
    if ((x->left || x->right) && BOOLtreesize(BITs, x) <= ARIT_REDLIMIT) x = ARITred1(x);
  return v;
}

tree *ARITapply(BOOLstore *s, char op, tree *a, tree *b) {
  if (!a || !b || !std::strchr("+-*/%<>=B{}MN", op) || !op) return nullptr;
  BITscope sc(s);
  if (op == '/') {  // the shift before anything else
    if (tree *q = ARITdiv2(s, a, b)) return q;
  }
  bitvec x = ARIToperand(a), y = ARIToperand(b);
  bitvec r;
  switch (op) {
    case '+': r = BITadd(std::move(x), std::move(y)); break;
    case '-': r = BITsubsat(std::move(x), std::move(y)); break;
    case '*': r = BITmul(std::move(x), std::move(y)); break;
    case '/': r = BITdiv(std::move(x), std::move(y)); break;
    case '%': r = BITmod(std::move(x), std::move(y)); break;
    case 'M': r = BITbitwise(std::move(x), std::move(y), false); break;
    case 'N': r = BITbitwise(std::move(x), std::move(y), true); break;
    case '<': return BITlt(std::move(x), std::move(y));
    case '>': return BITlt(std::move(y), std::move(x));            // a > b = b < a
    case '=': return BITeq(std::move(x), std::move(y));
    case 'B': return BITnot(BITeq(std::move(x), std::move(y)));
    case '{': return BITnot(BITlt(std::move(y), std::move(x)));   // !(a > b)
    case '}': return BITnot(BITlt(std::move(x), std::move(y)));   // !(a < b)
  }
  return BITtolist(r);
}
