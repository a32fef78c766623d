// Arithmetic and comparisons over bit lists.
//
// Formulas are trees without sharing, so the size of a result is the number
// of paths from its root to the operand bits, and every construction below is
// shaped to keep that count small: a carry or borrow occurs once in the next
// carry (not twice), products are summed by a carry-save tree whose depth is
// logarithmic in the number of partial products (size polynomial in the
// width), division and remainder by a small constant run a remainder
// automaton joined in a balanced tree (polynomial too), and otherwise they are
// case splits over the operand values that stop as soon as a result bit is
// fixed on the remaining range, narrow divisors split first.  The case split
// still grows by about 2.5x per bit of a variable divisor.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "boolean/aritbits.h"
#include "boolean/p2bp.h"
#include "formula/tlf.h"

// ---- one bit position of the folds

// Carry of a + b + c: (a & b) | ((a | b) & c); c occurs once.
static tree *ARITcarry(tree *a, tree *b, tree *c) {
  if (!c) return BITand(a, b);
  tree *a2 = treecopy(a), *b2 = treecopy(b);
  return BITor(BITand(a, b), BITand(BITor(a2, b2), c));
}

// Borrow of a - b - w: (!a & b) | ((!a | b) & w); w occurs once.
static tree *ARITborrow(tree *a, tree *b, tree *w) {
  if (!w) return BITand(BITnot(a), b);
  tree *a2 = treecopy(a), *b2 = treecopy(b);
  return BITor(BITand(BITnot(a), b), BITand(BITor(BITnot(a2), b2), w));
}

// (a ^ b) ^ c with the carry outermost: c, the largest operand, occurs twice.
static tree *ARITsum(tree *a, tree *b, tree *c) {
  tree *s = BITxor(a, b);
  return c ? BITxor(s, c) : s;
}

// Head of a ";" list (taken off) and the rest.
static tree *ARIThead(tree *rest, tree **tail) {
  if (rest && rest->text[0] == ';' && !rest->text[1]) {
    tree *h = rest->left;
    *tail = rest->right;
    rest->left = rest->right = nullptr;
    treefree(rest);
    return h;
  }
  *tail = nullptr;
  return rest;
}

static tree *ARITcons(tree *head, tree *tail) {
  return tail ? treecompose(";", head, tail) : head;
}

// rest = (carry ; sum bits of the lower positions); the result adds one position.
tree *ARITadd(tree *a, tree *b, tree *rest) {
  tree *lower = nullptr;
  tree *c = ARIThead(rest, &lower);
  tree *s = ARITsum(treecopy(a), treecopy(b), c ? treecopy(c) : nullptr);
  return ARITcons(ARITcarry(a, b, c), ARITcons(s, lower));
}

// rest = (borrow ; difference bits of the lower positions).
tree *ARITsub(tree *a, tree *b, tree *rest) {
  tree *lower = nullptr;
  tree *w = ARIThead(rest, &lower);
  tree *e = ARITsum(treecopy(a), treecopy(b), w ? treecopy(w) : nullptr);
  return ARITcons(ARITborrow(a, b, w), ARITcons(e, lower));
}

// rest = the equality of the lower positions.
tree *ARITeq(tree *a, tree *b, tree *rest) {
  tree *a2 = treecopy(a), *b2 = treecopy(b);
  tree *e = BITand(BITor(BITnot(a), b), BITor(a2, BITnot(b2)));
  return rest ? BITand(e, rest) : e;
}

tree *ARITband(tree *a, tree *b, tree *rest) {
  return ARITcons(BITand(a, b), rest);
}

tree *ARITbor(tree *a, tree *b, tree *rest) {
  return ARITcons(BITor(a, b), rest);
}

// Right fold of a step over two aligned vectors, least significant first.
static tree *ARITfold(tree *(*f)(tree *, tree *, tree *), bitvec &a, bitvec &b) {
  size_t n = std::max(a.size(), b.size());
  BITpad(a, n);
  BITpad(b, n);
  tree *rest = nullptr;
  for (size_t i = 0; i < n; i++) rest = f(a[i], b[i], rest);
  a.clear();
  b.clear();
  return rest;
}

// ---- list helpers of the interface

tree *ARITsub0(const tree *a, tree **b) {
  bitvec va = BITfromlist(treecopy(a));
  bitvec vb = BITfromlist(*b);
  tree *h = BITconst(0);
  while (vb.size() > va.size()) {
    h = BITor(h, vb.back());
    vb.pop_back();
  }
  BITfree(va);
  *b = BITtolist(vb);
  return h;
}

tree *ARITdoublekt(tree *list, int k) {
  if (k <= 0) return list;
  bitvec v = BITfromlist(list);
  v.insert(v.begin(), (size_t)k, nullptr);
  for (int i = 0; i < k; i++) v[i] = BITconst(0);
  return BITtolist(v);
}

tree *listreduce(tree *list) {
  bitvec v = BITfromlist(list);
  while (v.size() > 1 && BITisconst(v.back(), 0)) {
    treefree(v.back());
    v.pop_back();
  }
  return BITtolist(v);
}

static void BITreduce(bitvec &v) {
  while (v.size() > 1 && BITisconst(v.back(), 0)) {
    treefree(v.back());
    v.pop_back();
  }
}

// ---- vector operations

bitvec BITadd(bitvec a, bitvec b) { return BITfromlist(ARITfold(ARITadd, a, b)); }

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
  bitvec d = BITfromlist(ARITfold(ARITsub, a, b));
  tree *lt = BITor(d.back(), h);
  d.pop_back();
  tree *g = BITnot(lt);
  for (tree *&e : d) e = BITand(e, treecopy(g));
  treefree(g);
  return d;
}

tree *BITeq(bitvec a, bitvec b) { return ARITfold(ARITeq, a, b); }

static bitvec BITbitwise(bitvec a, bitvec b, bool conj) {
  if (a.size() == 1 || b.size() == 1) {  // N distributes a single bit
    if (conj && a.size() == 1) std::swap(a, b);
    if (conj && b.size() == 1) {
      for (tree *&x : a) x = BITand(x, treecopy(b[0]));
      BITfree(b);
      return a;
    }
  }
  return BITfromlist(ARITfold(conj ? ARITband : ARITbor, a, b));
}

// ---- multiplication

// Disjunctive normal form of a product bit when it is no larger: only for
// bits over at most ARIT_DNFVARS variables, since the normal form of a wide
// product bit grows exponentially with the width.
constexpr size_t ARIT_DNFVARS = 6;

static bool ARITsupport(const tree *t, std::vector<std::string> &vars) {
  for (; t; t = t->right) {
    if (!t->left && !t->right && t->text[0] >= '0' && t->text[0] <= '9') {
      if (std::find(vars.begin(), vars.end(), t->text) == vars.end()) vars.push_back(t->text);
      return vars.size() <= ARIT_DNFVARS;
    }
    if (!ARITsupport(t->left, vars)) return false;
  }
  return true;
}

static tree *ARITrednarrow(tree *x) {
  std::vector<std::string> vars;
  if (!x->left && !x->right) return x;
  if (!ARITsupport(x, vars)) return x;
  tree *d = ARITred(treecopy(x));
  if (treesize(d) <= treesize(x)) std::swap(d, x);
  treefree(d);
  return x;
}

namespace {
struct BITterm {
  int size;   // node count of t
  tree *t;    // summand of one column
  bool operator>(const BITterm &o) const { return size > o.size; }
};
}  // namespace

static BITterm BITmk(tree *t) { return {treesize(t), t}; }

// Product by carry-save reduction: the partial products are placed in their
// columns; in each column, from the least significant, the three smallest
// summands go through a full adder (sum stays, carry moves up) until two are
// left; a final ripple adder sums the two rows.  Terms at or above column
// na+nb are 0 in every assignment (the product is below 2^(na+nb)) and are
// dropped.
bitvec BITmul(bitvec a, bitvec b) {
  const size_t w = a.size() + b.size();
  std::vector<std::vector<BITterm>> col(w);
  for (size_t i = 0; i < a.size(); i++)
    for (size_t j = 0; j < b.size(); j++) {
      tree *p = BITand(treecopy(a[i]), treecopy(b[j]));
      if (BITisconst(p, 0)) treefree(p);
      else col[i + j].push_back(BITmk(p));
    }
  BITfree(a);
  BITfree(b);
  // Stages as in a Dadda tree: each stage lowers every column to the next
  // height of 2, 3, 4, 6, 9, 13, ... with as few adders as possible, taking
  // the smallest summands; adder outputs only feed the next stage, so every
  // summand passes through O(log(na)) adders, and the largest summands pass
  // through untouched.  Within an adder the largest operand stands where it
  // occurs least.
  size_t h = 0;
  for (auto &c : col) h = std::max(h, c.size());
  std::vector<size_t> heights{2};
  while (heights.back() < h) heights.push_back(heights.back() * 3 / 2);
  auto bysize = [](const BITterm &x, const BITterm &y) { return x.size < y.size; };
  for (size_t t = heights.size(); t-- > 0;) {
    const size_t d = heights[t];
    std::vector<std::vector<BITterm>> next(w);
    for (size_t j = 0; j < w; j++) {
      std::vector<BITterm> &c = col[j];
      std::sort(c.begin(), c.end(), bysize);
      size_t i = 0, cnt = c.size() + next[j].size();
      while (cnt > d && i + 2 <= c.size()) {
        const bool full = cnt > d + 1 && i + 3 <= c.size();
        tree *x = c[i].t, *y = c[i + 1].t, *z = full ? c[i + 2].t : nullptr;
        i += full ? 3 : 2;
        cnt -= full ? 2 : 1;
        tree *s = ARITsum(treecopy(x), treecopy(y), z ? treecopy(z) : nullptr);
        tree *cy = ARITcarry(x, y, z);
        if (!BITisconst(s, 0)) next[j].push_back(BITmk(s));
        else treefree(s);
        if (j + 1 < w && !BITisconst(cy, 0)) next[j + 1].push_back(BITmk(cy));
        else treefree(cy);
      }
      for (; i < c.size(); i++) next[j].push_back(c[i]);
    }
    col.swap(next);
  }
  bitvec r0(w), r1(w);
  for (size_t j = 0; j < w; j++) {
    r0[j] = col[j].size() > 0 ? col[j][0].t : BITconst(0);
    r1[j] = col[j].size() > 1 ? col[j][1].t : BITconst(0);
  }
  bitvec r(w);
  tree *cy = nullptr;
  for (size_t j = 0; j < w; j++) {
    tree *x = r0[j], *y = r1[j];
    if (cy && treesize(cy) < treesize(y)) std::swap(cy, y);  // largest occurs least
    r[j] = ARITsum(treecopy(x), treecopy(y), cy ? treecopy(cy) : nullptr);
    if (j + 1 < w) cy = ARITcarry(x, y, cy);
    else {
      treefree(x);
      treefree(y);
      treefree(cy);
    }
  }
  BITreduce(r);
  for (tree *&x : r) x = ARITrednarrow(x);
  return r;
}

// ---- division and remainder

namespace {
using u64 = unsigned long long;
struct BITdt {
  const bitvec *a, *b;  // operand bits
  bool mod;             // remainder rather than quotient
  int k;                // result bit
};
constexpr int DT_UNKNOWN = -1;
constexpr int DT_LIT = 2;
constexpr int BIT_MAXWIDTH = 62;  // value ranges are computed in 64 bits
}  // namespace

static u64 BITones(int n) { return n >= 64 ? ~0ull : (1ull << n) - 1; }

static int BITbitof(u64 v, int k) { return k < 64 ? (int)((v >> k) & 1) : 0; }

// Bit k of a - c for a in [alo, alo + 2^fa): a literal of a when c keeps the
// free bits aligned, otherwise constant only if equal on the whole range.
static int BITaffine(u64 alo, int fa, u64 c, int k, int *lit) {
  if ((c & BITones(fa)) == 0) {
    if (k < fa) {
      *lit = k;
      return DT_LIT;
    }
    return BITbitof(alo - c, k);
  }
  u64 lo = alo - c, hi = alo + BITones(fa) - c;
  return (k >= 64 || (lo >> k) == (hi >> k)) ? BITbitof(lo, k) : DT_UNKNOWN;
}

// Result bit over the ranges a in [alo, ahi], b in [blo, bhi]: 0, 1, a literal
// of a (DT_LIT, *lit the bit index) or unknown.
static int BITdtleaf(const BITdt &d, u64 pa, int fa, u64 pb, int fb, int *lit) {
  const int na = (int)d.a->size();
  u64 alo = pa << fa, ahi = alo | BITones(fa);
  u64 blo = pb << fb, bhi = blo | BITones(fb);
  const int k = d.k;
  bool pow2 = blo == bhi && blo && !(blo & (blo - 1));
  int s = pow2 ? __builtin_ctzll(blo) : 0;
  if (!d.mod) {
    if (bhi == 0) return k < na;  // x / 0 = all ones of x's width
    if (blo == 0) return DT_UNKNOWN;
    if (pow2) {  // x / 2^s = x >> s
      if (k + s >= 64) return 0;
      if (k + s < fa) {
        *lit = k + s;
        return DT_LIT;
      }
      return BITbitof(alo, k + s);
    }
    u64 qlo = alo / bhi, qhi = ahi / blo;
    if (k >= 64 || (qlo >> k) == (qhi >> k)) return BITbitof(qlo, k);
    return DT_UNKNOWN;
  }
  if (bhi == 0 || ahi < blo) return BITaffine(alo, fa, 0, k, lit);  // x % y = x
  u64 ub = blo ? std::min(ahi, bhi - 1) : ahi;
  if (k >= 64 || (ub >> k) == 0) return 0;
  if (blo != bhi) return DT_UNKNOWN;
  if (pow2) return k >= s ? 0 : BITaffine(alo, fa, 0, k, lit);
  u64 j = alo / blo;
  if (ahi / blo != j) return DT_UNKNOWN;
  return BITaffine(alo, fa, j * blo, k, lit);
}

// Case split on the operands' bits, most significant first: constant bits
// first, then always on the operand with more undecided bits (the divisor on
// ties); a branch ends once the result bit is fixed on its range.
static tree *BITdtbuild(const BITdt &d, u64 pa, int fa, u64 pb, int fb) {
  int lit = 0;
  int r = BITdtleaf(d, pa, fa, pb, fb, &lit);
  if (r == DT_LIT) return treecopy((*d.a)[lit]);
  if (r != DT_UNKNOWN) return BITconst(r);
  auto fixed = [](const tree *t) { return BITisconst(t, 0) || BITisconst(t, 1); };
  bool onb;
  if (fb > 0 && fixed((*d.b)[fb - 1])) onb = true;  // constant bits cost nothing
  else if (fa > 0 && fixed((*d.a)[fa - 1])) onb = false;
  else onb = fb > 0 && fb >= fa;
  tree *c = onb ? (*d.b)[fb - 1] : (*d.a)[fa - 1];
  u64 p = onb ? pb : pa;
  auto sub = [&](int v) {
    return onb ? BITdtbuild(d, pa, fa, 2 * p + v, fb - 1)
               : BITdtbuild(d, 2 * p + v, fa - 1, pb, fb);
  };
  if (BITisconst(c, 0)) return sub(0);
  if (BITisconst(c, 1)) return sub(1);
  tree *hi = sub(1);
  tree *lo = sub(0);
  return BITite(treecopy(c), hi, lo);
}

// Division by a small constant c as a finite automaton over the dividend's
// bits, most significant first, whose state is the remainder so far.  A run
// of bits is a c x c matrix of formulas ("from remainder s the run leads to
// remainder t"); runs are joined in a balanced tree, so a formula holds each
// dividend bit about (2c)^log2(n) times: polynomial in the width, where the
// case split grows with 2^n / c.
namespace {
using BITmat = std::vector<tree *>;  // [s * c + t]
}

static void BITmatfree(BITmat &m) {
  for (tree *t : m) treefree(t);
  m.clear();
}

// Positions hi down to lo of a.
static BITmat BITmatrun(const bitvec &a, int hi, int lo, u64 c) {
  BITmat m(c * c);
  if (hi == lo) {
    for (u64 s = 0; s < c; s++)
      for (u64 t = 0; t < c; t++) {
        bool one = (2 * s + 1) % c == t, zero = (2 * s) % c == t;
        m[s * c + t] = one && zero ? BITconst(1)
                       : one       ? treecopy(a[hi])
                       : zero      ? BITnot(treecopy(a[hi]))
                                   : BITconst(0);
      }
    return m;
  }
  int mid = lo + (hi - lo) / 2;
  BITmat up = BITmatrun(a, hi, mid + 1, c), down = BITmatrun(a, mid, lo, c);
  for (u64 s = 0; s < c; s++)
    for (u64 u = 0; u < c; u++) {
      tree *e = BITconst(0);
      for (u64 t = 0; t < c; t++) {
        tree *x = up[s * c + t], *y = down[t * c + u];
        if (!BITisconst(x, 0) && !BITisconst(y, 0))
          e = BITor(e, BITand(treecopy(x), treecopy(y)));
      }
      m[s * c + u] = e;
    }
  BITmatfree(up);
  BITmatfree(down);
  return m;
}

// Remainder states after positions n-1 .. lo, from remainder 0.
static bitvec BITmatprefix(const bitvec &a, int lo, u64 c) {
  bitvec r(c);
  const int n = (int)a.size();
  if (lo >= n) {
    for (u64 t = 0; t < c; t++) r[t] = BITconst(t == 0);
    return r;
  }
  BITmat m = BITmatrun(a, n - 1, lo, c);
  for (u64 t = 0; t < c; t++) std::swap(r[t], m[t]);
  BITmatfree(m);
  return r;
}

static bitvec BITdivconst(const bitvec &a, u64 c, bool mod) {
  const int n = (int)a.size();
  bitvec r;
  if (mod) {
    bitvec st = BITmatprefix(a, 0, c);
    for (int k = 0; (c - 1) >> k; k++) {
      tree *e = BITconst(0);
      for (u64 t = 0; t < c; t++)
        if ((t >> k) & 1) e = BITor(e, treecopy(st[t]));
      r.push_back(e);
    }
    BITfree(st);
    return r;
  }
  r.resize(n);
  for (int i = 0; i < n; i++) {  // q_i = [2 s + a_i >= c] with s the state above i
    bitvec st = BITmatprefix(a, i + 1, c);
    tree *e = BITconst(0);
    for (u64 s = 0; s < c; s++) {
      tree *cond = 2 * s >= c ? BITconst(1) : 2 * s + 1 == c ? treecopy(a[i]) : BITconst(0);
      e = BITor(e, BITand(treecopy(st[s]), cond));
    }
    BITfree(st);
    r[i] = e;
  }
  return r;
}

// Constant value of a bit vector, if every bit is a constant.
static bool BITconstvalue(const bitvec &b, u64 *v) {
  *v = 0;
  for (size_t i = b.size(); i-- > 0;) {
    if (!BITisconst(b[i], 0) && !BITisconst(b[i], 1)) return false;
    *v = 2 * *v + (BITisconst(b[i], 1) ? 1 : 0);
  }
  return true;
}

// The automaton pays off when about 3 c^2 n^2 nodes (measured) stay below the
// case split's 2 n 2^n / c.
static bool BITautomaton(int n, u64 c) {
  if (c < 3 || c > 64 || !(c & (c - 1))) return false;
  const double dc = (double)c;
  return 1.5 * dc * dc * dc * n < std::ldexp(1.0, n);
}

static bitvec BITdivmod(bitvec a, bitvec b, bool mod);

// Bit k of the case results, chosen by the divisor's bits i..0 below prefix p.
static tree *BITcasepick(std::vector<bitvec> &res, const bitvec &b, size_t k, int i, u64 p) {
  if (i < 0) {
    tree *t = res[p][k];
    res[p][k] = nullptr;
    return t;
  }
  if (BITisconst(b[i], 0) || BITisconst(b[i], 1))
    return BITcasepick(res, b, k, i - 1, 2 * p + (BITisconst(b[i], 1) ? 1 : 0));
  tree *hi = BITcasepick(res, b, k, i - 1, 2 * p + 1);
  tree *lo = BITcasepick(res, b, k, i - 1, 2 * p);
  return BITite(treecopy(b[i]), hi, lo);
}

// A narrow divisor is split into its values first, so that each value gets
// the best constant method instead of a case split over the wide dividend.
constexpr size_t BIT_CASEWIDTH = 6;

static bitvec BITdivcases(bitvec &a, bitvec &b, bool mod) {
  const size_t m = b.size(), n = a.size();
  std::vector<bitvec> res((size_t)1 << m);
  for (u64 v = 0; v < res.size(); v++) {
    bool fits = true;
    for (size_t i = 0; i < m; i++)
      if ((BITisconst(b[i], 0) && ((v >> i) & 1)) || (BITisconst(b[i], 1) && !((v >> i) & 1)))
        fits = false;
    if (!fits) continue;
    bitvec ac, bc;
    for (tree *t : a) ac.push_back(treecopy(t));
    for (size_t i = 0; i < m; i++) bc.push_back(BITconst((v >> i) & 1));
    res[v] = BITdivmod(std::move(ac), std::move(bc), mod);
    BITpad(res[v], n);
  }
  bitvec r(n);
  for (size_t k = 0; k < n; k++) r[k] = BITcasepick(res, b, k, (int)m - 1, 0);
  for (bitvec &x : res) BITfree(x);
  return r;
}

static bitvec BITdivmod(bitvec a, bitvec b, bool mod) {
  BITreduce(a);
  BITreduce(b);
  if ((int)a.size() > BIT_MAXWIDTH || (int)b.size() > BIT_MAXWIDTH)
    utilerror(mod ? "ARITmod" : "ARITdiv");
  u64 c;
  const bool isconst = BITconstvalue(b, &c);
  if ((isconst && BITautomaton((int)a.size(), c)) ||
      (!isconst && b.size() <= BIT_CASEWIDTH && a.size() > b.size() + 2)) {
    bitvec r = isconst ? BITdivconst(a, c, mod) : BITdivcases(a, b, mod);
    BITfree(a);
    BITfree(b);
    BITreduce(r);
    return r;
  }
  bitvec r(a.size());
  for (size_t k = 0; k < a.size(); k++) {
    BITdt d{&a, &b, mod, (int)k};
    r[k] = BITdtbuild(d, 0, (int)a.size(), 0, (int)b.size());
  }
  BITfree(a);
  BITfree(b);
  BITreduce(r);
  return r;
}

bitvec BITdiv(bitvec a, bitvec b) { return BITdivmod(std::move(a), std::move(b), false); }
bitvec BITmod(bitvec a, bitvec b) { return BITdivmod(std::move(a), std::move(b), true); }

// ---- list interface

tree *ARITmul(tree *a, tree *b) {
  bitvec r = BITmul(BITfromlist(a), BITfromlist(b));
  return BITtolist(r);
}

tree *ARITdiv2(tree *a, const tree *b) {
  if (!b || b->text[0] != ';' || !BITisconst(b->left, 1) || !BITisconst(b->right, 0))
    return nullptr;
  bitvec v = BITfromlist(a);
  if (v.size() == 1) {
    BITfree(v);
    return BITconst(0);
  }
  treefree(v[0]);
  v.erase(v.begin());
  return BITtolist(v);
}

tree *ARITdiv(tree *a, tree *b) {
  if (tree *q = ARITdiv2(a, b)) {
    treefree(b);
    return q;
  }
  bitvec r = BITdiv(BITfromlist(a), BITfromlist(b));
  return BITtolist(r);
}

tree *ARITmod(tree *a, tree *b) {
  bitvec r = BITmod(BITfromlist(a), BITfromlist(b));
  return BITtolist(r);
}

tree *ARITred(tree *list) {
  bitvec v = BITfromlist(list);
  for (tree *&x : v) x = TLFdnf(TLFred(TLFnnf(x)));
  return BITtolist(v);
}

// ---- one operator node

static bool ARITisbinop(const tree *n, const char *ops) {
  return n && n->left && n->right && n->text[0] && !n->text[1] &&
         std::strchr(ops, n->text[0]);
}

// Literal propagation on an operand bit pays off only on small formulas;
// on large ones it costs more than it can remove.
constexpr int ARIT_REDLIMIT = 4000;

static bitvec ARIToperand(tree *t) {
  bitvec v = BITfromlist(t);
  for (tree *&x : v)
    if ((x->left || x->right) && treesize(x) <= ARIT_REDLIMIT) x = TLFred(x);
  return v;
}

tree *ARITapply(tree *node) {
  if (!ARITisbinop(node, "+-*/%<>=B{}MN")) return node;
  const char op = node->text[0];
  if (op == '/') {  // the shift before anything else
    if (tree *q = ARITdiv2(node->left, node->right)) {
      node->left = nullptr;
      treefree(node);
      return q;
    }
  }
  bitvec a = ARIToperand(node->left), b = ARIToperand(node->right);
  node->left = node->right = nullptr;
  treefree(node);
  bitvec r;
  switch (op) {
    case '+': r = BITadd(std::move(a), std::move(b)); break;
    case '-': r = BITsubsat(std::move(a), std::move(b)); break;
    case '*': r = BITmul(std::move(a), std::move(b)); break;
    case '/': r = BITdiv(std::move(a), std::move(b)); break;
    case '%': r = BITmod(std::move(a), std::move(b)); break;
    case 'M': r = BITbitwise(std::move(a), std::move(b), false); break;
    case 'N': r = BITbitwise(std::move(a), std::move(b), true); break;
    case '<': return BITlt(std::move(a), std::move(b));
    case '>': return BITlt(std::move(b), std::move(a));            // a > b = b < a
    case '=': return BITeq(std::move(a), std::move(b));
    case 'B': return BITnot(BITeq(std::move(a), std::move(b)));
    case '{': return BITnot(BITlt(std::move(b), std::move(a)));   // !(a > b)
    case '}': return BITnot(BITlt(std::move(a), std::move(b)));   // !(a < b)
  }
  return BITtolist(r);
}
