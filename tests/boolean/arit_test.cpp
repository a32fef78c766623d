// Arithmetic of the encoding against integer arithmetic: every operator, all
// operand values up to 4 bits, mixed widths both ways, variables and constants.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "booltest.h"
#include "formula/tlf.h"
#include "tree/tree.h"

namespace {

using u64 = unsigned long long;

// Integer meaning of each operator with the encoding's rules: subtraction
// saturates at 0, x/0 is all ones of x's width, x%0 is x, N with a one-bit
// operand guards the other operand with it.
u64 reference(char op, u64 a, int wa, u64 b, int wb) {
  switch (op) {
    case '+': return a + b;
    case '-': return a > b ? a - b : 0;
    case '*': return a * b;
    case '/': return b ? a / b : (1ull << wa) - 1;
    case '%': return b ? a % b : a;
    case '<': return a < b;
    case '>': return a > b;
    case '=': return a == b;
    case 'B': return a != b;
    case '{': return a <= b;
    case '}': return a >= b;
    case 'M': return a | b;
    case 'N':
      if (wa == 1 && wb == 1) return a & b;
      if (wa == 1) return a ? b : 0;
      if (wb == 1) return b ? a : 0;
      return a & b;
  }
  return ~0ull;
}

bool iscomparison(char op) { return std::strchr("<>=B{}", op) != nullptr; }

const char OPS[] = "+-*/%<>=B{}MN";

// One operand: a variable of width w at bits base.., or the constant c.
struct operand {
  bool isconst;
  int w;  // width of the variable, or of the constant's list
  u64 c;
};

tree *build(BTstore &st, const operand &o, int base) {
  return st.take(o.isconst ? BOOLconstructnum(o.c) : BTvar(base, o.w));
}

constexpr int BASEA = 1, BASEB = 9;  // bit numbers of the operands (up to 8 bits each)

tree *encode(BTstore &st, char op, tree *a, tree *b) {
  return BOOLnnf(st.s, ARITapply(st.s, op, a, b));
}

// Values of the bit list r under every assignment of the operands' bits, 64
// at a time: f(index, value) for index va * 2^nb + vb.
template <class F>
void eachvalue(const tree *r, int na, int nb, F f) {
  std::vector<const tree *> bits = BTbits(r);
  BTsim sim(bits);
  const u64 total = 1ull << (na + nb);
  for (u64 base = 0; base < total; base += 64) {
    std::vector<uint64_t> lanes(BASEB + 8, 0);
    for (u64 k = 0; k < 64 && base + k < total; k++) {
      u64 va = (base + k) >> nb, vb = (base + k) & ((1ull << nb) - 1);
      for (int i = 0; i < na; i++) lanes[BASEA + i] |= ((va >> (na - 1 - i)) & 1) << k;
      for (int i = 0; i < nb; i++) lanes[BASEB + i] |= ((vb >> (nb - 1 - i)) & 1) << k;
    }
    std::vector<uint64_t> val = sim.run(lanes);
    for (u64 k = 0; k < 64 && base + k < total; k++) {
      u64 x = 0;
      for (const tree *t : bits) x = 2 * x + ((sim.lane(val, t) >> k) & 1);
      if (!f(base + k, x)) return;
    }
  }
}

// Applies op to the operands, normalises as the encoder does, and compares
// with integer arithmetic under every assignment of the operand bits.
void checkop(char op, const operand &x, const operand &y) {
  BTstore st;
  tree *r = encode(st, op, build(st, x, BASEA), build(st, y, BASEB));
  ASSERT_NE(r, nullptr);
  std::vector<const tree *> bits = BTbits(r);
  ASSERT_TRUE(BTisnnf(r)) << op;
  if (iscomparison(op)) {
    ASSERT_EQ(bits.size(), 1u) << op;
  }
  if (op == '+' && !x.isconst && !y.isconst) {
    EXPECT_EQ((int)bits.size(), std::max(x.w, y.w) + 1);
  }
  if (op == '-' && !x.isconst) {
    EXPECT_EQ((int)bits.size(), x.w);
  }
  const int na = x.isconst ? 0 : x.w, nb = y.isconst ? 0 : y.w;
  eachvalue(r, na, nb, [&](u64 k, u64 got) {
    u64 a = x.isconst ? x.c : k >> nb, b = y.isconst ? y.c : k & ((1ull << nb) - 1);
    u64 want = reference(op, a, x.w, b, y.w);
    if (got == want) return true;
    ADD_FAILURE() << a << " " << op << " " << b << " (widths " << x.w << "," << y.w
                  << "): got " << got << " want " << want;
    return false;
  });
}

int bitsof(u64 c) {
  int w = 1;
  while (c >> w) w++;
  return w;
}

TEST(Arit, EveryOperatorAllValuesUpTo4BitsVariables) {
  for (const char *op = OPS; *op; op++)
    for (int wa = 1; wa <= 4; wa++)
      for (int wb = 1; wb <= 4; wb++) checkop(*op, {false, wa, 0}, {false, wb, 0});
}

// The quadratic constructions at widths where mistakes in the carry or
// remainder chains show: all value pairs.
TEST(Arit, MulDivModAllValuesAt6And8Bits) {
  const std::pair<int, int> widths[] = {{6, 6}, {8, 8}, {8, 3}, {3, 8}, {6, 8}};
  for (char op : {'*', '/', '%'})
    for (auto [wa, wb] : widths) checkop(op, {false, wa, 0}, {false, wb, 0});
}

TEST(Arit, EveryOperatorWithConstantOperands) {
  for (const char *op = OPS; *op; op++)
    for (u64 c = 0; c < 16; c++)
      for (int w = 1; w <= 4; w++) {
        operand k{true, bitsof(c), c};
        checkop(*op, {false, w, 0}, k);
        checkop(*op, k, {false, w, 0});
      }
}

TEST(Arit, EveryOperatorOnTwoConstantsFoldsToConstants) {
  BTstore st;
  for (const char *op = OPS; *op; op++)
    for (u64 a = 0; a < 16; a++)
      for (u64 b = 0; b < 16; b++) {
        tree *r = encode(st, *op, st.take(BOOLconstructnum(a)), st.take(BOOLconstructnum(b)));
        u64 v = 0;
        for (const tree *e : BTbits(r)) {
          EXPECT_TRUE(!std::strcmp(e->text, "^") || !std::strcmp(e->text, "_"))
              << a << *op << b << ": " << BTtext(r);
          v = 2 * v + (e->text[0] == '^');
        }
        EXPECT_EQ(v, reference(*op, a, bitsof(a), b, bitsof(b))) << a << *op << b;
      }
}

// Value of a bit list under one assignment.
u64 valueof(const tree *r, const std::vector<int> &asg) {
  std::vector<const tree *> bits = BTbits(r);
  BTsim sim(bits);
  std::vector<uint64_t> lanes(asg.begin(), asg.end());
  std::vector<uint64_t> val = sim.run(lanes);
  u64 x = 0;
  for (const tree *t : bits) x = 2 * x + (sim.lane(val, t) & 1);
  return x;
}

// Operands that are themselves results: (x + y) op z and z op (x * y).
TEST(Arit, NestedOperands) {
  for (const char *op = OPS; *op; op++) {
    BTstore st;
    tree *l = ARITapply(st.s, '+', st.take(BTvar(1, 2)), st.take(BTvar(3, 2)));
    tree *r = encode(st, *op, l, st.take(BTvar(5, 3)));
    tree *prod = ARITapply(st.s, '*', st.take(BTvar(1, 2)), st.take(BTvar(3, 2)));
    tree *r2 = encode(st, *op, st.take(BTvar(5, 3)), prod);
    std::vector<int> asg(9, 0);
    for (int v = 0; v < 256; v++) {
      for (int i = 0; i < 8; i++) asg[1 + i] = (v >> (7 - i)) & 1;
      u64 x = v >> 6, y = (v >> 4) & 3, z = (v >> 1) & 7;
      ASSERT_EQ(valueof(r, asg), reference(*op, x + y, 3, z, 3)) << *op << " " << x << y << z;
      ASSERT_EQ(valueof(r2, asg), reference(*op, z, 3, x * y, 4)) << *op << " " << x << y << z;
    }
  }
}

TEST(Arit, ReportedLessThanFault) {
  // x < 5 with x : 0..3 holds for every x; 2/3 = 0 and 2%3 = 2.
  BTstore st;
  auto num = [&](u64 n) { return st.take(BOOLconstructnum(n)); };
  EXPECT_EQ(BTtext(encode(st, '<', st.take(BTvar(1, 2)), num(5))), "^");
  EXPECT_EQ(BTtext(encode(st, '/', num(2), num(3))), "_");
  EXPECT_EQ(BTtext(encode(st, '%', num(2), num(3))), "(^;_)");
}

TEST(Arit, EdgeCasesOfTheEncoding) {
  struct row {
    char op;
    tree *(*a)();
    tree *(*b)();
    const char *want;
  };
  const row rows[] = {
      // x / 2 drops the least significant bit
      {'/', [] { return BTvar(1, 3); }, [] { return BOOLconstructnum(2); }, "(1;2)"},
      {'/', [] { return BTvar(1, 1); }, [] { return BOOLconstructnum(2); }, "_"},
      // x / 0 is all ones of x's width; x % 0 is x
      {'/', [] { return BTvar(1, 3); }, [] { return BOOLconstructnum(0); }, "(^;(^;^))"},
      {'%', [] { return BTvar(1, 3); }, [] { return BOOLconstructnum(0); }, "(1;(2;3))"},
      {'-', [] { return BOOLconstructnum(3); }, [] { return BOOLconstructnum(5); }, "(_;_)"},
      {'-', [] { return BOOLconstructnum(5); }, [] { return BOOLconstructnum(3); }, "(_;(^;_))"},
      {'+', [] { return BTvar(1, 2); }, [] { return BOOLconstructnum(1); }, nullptr},
      // x * 1 and x * 4 are x and a shift
      {'*', [] { return BTvar(1, 2); }, [] { return BOOLconstructnum(1); }, "(1;2)"},
      {'*', [] { return BTvar(1, 2); }, [] { return BOOLconstructnum(4); }, "(1;(2;(_;_)))"},
  };
  BTstore st;
  for (const row &t : rows) {
    tree *r = encode(st, t.op, st.take(t.a()), st.take(t.b()));
    if (t.want) EXPECT_EQ(BTtext(r), t.want) << t.op;
    else EXPECT_EQ(BTbits(r).size(), 3u) << "x + 1 with a two-bit x has three bits";
  }
  // x - y with y wider: 0 whenever y's extra bits hold a 1
  tree *r = encode(st, '-', st.take(BTvar(1, 2)), st.take(BTvar(3, 3)));
  std::vector<int> asg(6, 0);
  asg[1] = asg[2] = 1;  // x = 3
  asg[3] = 1;           // y = 4
  EXPECT_EQ(valueof(r, asg), 0u);
  EXPECT_EQ(ARITapply(st.s, '&', st.take(BTvar(1, 1)), st.take(BTvar(2, 1))), nullptr)
      << "not an arithmetic operator";
}

TEST(Arit, ListHelpers) {
  BTstore st;
  tree *l = ARITdoublekt(st.s, st.take(BTvar(1, 2)), 2);
  EXPECT_EQ(BTtext(l), "(1;(2;(_;_)))");
  tree *zero = st.take(BOOLconstructnum(0));
  EXPECT_EQ(listreduce(st.s, BOOLnode(st.s, ";", zero, BOOLnode(st.s, ";", zero, l))), l);
  EXPECT_EQ(BTtext(listreduce(st.s, zero)), "_");
  EXPECT_EQ(BTtext(listreduce(st.s, BOOLnode(st.s, ";", zero, zero))), "_");
  // ARITsub0 splits the subtrahend's bits above the minuend's width
  tree *a = st.take(BTvar(1, 2)), *b = st.take(BTvar(3, 4));
  tree *h = ARITsub0(st.s, a, &b);
  EXPECT_EQ(BTtext(b), "(5;6)");
  EXPECT_EQ(BTtext(h), "(3|4)");
  tree *three = st.take(BOOLconstructnum(3));
  EXPECT_EQ(ARITdiv2(st.s, a, nullptr), nullptr);
  EXPECT_EQ(ARITdiv2(st.s, a, three), nullptr);
}

// Equal formulas are one node; the constructors fold constants and the
// trivial cases, and negation is by duality.
TEST(Arit, SharedNodesAndSimplification) {
  BTstore st;
  tree *x = st.take(BTvar(1, 4)), *y = st.take(BTvar(5, 4));
  EXPECT_EQ(ARITapply(st.s, '+', x, y), ARITapply(st.s, '+', x, y));
  EXPECT_EQ(BOOLnode(st.s, "&", x, y), BOOLnode(st.s, "&", x, y));
  EXPECT_NE(BOOLnode(st.s, "&", x, y), BOOLnode(st.s, "|", x, y));
  const std::pair<const char *, const char *> rows[] = {
      {"(1&1)", "1"}, {"(1&!1)", "_"}, {"(1|!1)", "^"}, {"!!(1&2)", "(1&2)"},
      {"!(1&!2)", "(!1|2)"}, {"(^&(1|_))", "1"},
  };
  for (auto [in, want] : rows) {
    tree *t = st.take(string2tree(std::string(in)));
    EXPECT_EQ(BTtext(BOOLnnf(st.s, t)), want) << in;
  }
  tree *p = st.take(string2tree(std::string("(1&2)")));
  EXPECT_EQ(BOOLnegate(st.s, BOOLnegate(st.s, p)), p);
}

// Distinct nodes grow at most quadratically with the width for *, / and %:
// doubling the width may multiply them by about 4, never by 2^w.
TEST(Arit, SizesArePolynomial) {
  for (char op : {'*', '/', '%', '+', '<'}) {
    unsigned long long n[2];
    for (int k = 0; k < 2; k++) {
      BTstore st;
      const int w = 8 << k;
      tree *r = encode(st, op, st.take(BTvar(1, w)), st.take(BTvar(1 + w, w)));
      std::vector<const tree *> bits = BTbits(r);
      n[k] = BOOLdistinct(bits);
    }
    EXPECT_LT(n[1], 5 * n[0]) << op << ": " << n[0] << " -> " << n[1];
  }
}

TEST(Arit, IntegerArrayHelpers) {
  const int a[] = {9, 4, 7, 4, 0};
  EXPECT_EQ(intin(4, a, 0, 3), 1);
  EXPECT_EQ(intin(4, a, 2, 3), 3);
  EXPECT_EQ(intin(5, a, 0, 3), 0);
  EXPECT_EQ(intin(9, a, 1, 3), 0);
  EXPECT_EQ(intlen(a), 4);
  EXPECT_EQ(intlen(a + 4), 0);
}

// Wider dividends with constant divisors, also when the dividend is itself
// a formula.
TEST(Arit, ConstantDivisorsOnWideDividends) {
  const std::pair<int, u64> rows[] = {{8, 3}, {8, 5}, {8, 6}, {8, 7}, {8, 9}, {12, 3}};
  for (auto [n, c] : rows)
    for (char op : {'/', '%'}) {
      BTstore st;
      tree *r = encode(st, op, st.take(BTvar(BASEA, n)), st.take(BOOLconstructnum(c)));
      ASSERT_TRUE(BTisnnf(r));
      eachvalue(r, n, 0, [&](u64 x, u64 got) {
        EXPECT_EQ(got, op == '/' ? x / c : x % c) << x << op << c << " width " << n;
        return got == (op == '/' ? x / c : x % c);
      });
    }
  // (x + y) / 3 and % 3 with x of 7 bits and y of 1 bit: an 8-bit sum
  for (char op : {'/', '%'}) {
    BTstore st;
    tree *sum = ARITapply(st.s, '+', st.take(BTvar(BASEA, 7)), st.take(BTvar(BASEB, 1)));
    tree *r = encode(st, op, sum, st.take(BOOLconstructnum(3)));
    eachvalue(r, 7, 1, [&](u64 k, u64 got) {
      u64 v = (k >> 1) + (k & 1);
      EXPECT_EQ(got, op == '/' ? v / 3 : v % 3) << k;
      return got == (op == '/' ? v / 3 : v % 3);
    });
  }
}

// Divisors much narrower than the dividend.
TEST(Arit, NarrowDivisors) {
  for (auto [n, m] : {std::pair{8, 2}, std::pair{7, 3}})
    for (char op : {'/', '%'}) checkop(op, {false, n, 0}, {false, m, 0});
}

}  // namespace

namespace {

#ifdef __SANITIZE_ADDRESS__
constexpr double CHAINSECONDS = 20;  // sanitizers slow the store down many times
#else
constexpr double CHAINSECONDS = 3;  // a blow-up takes minutes; a loaded machine takes 1 s
#endif

// a op (a op ( ... op b)) with 100 terms over two 3-bit variables, grouped
// as the parser groups a chain: sizes follow the result widths (3 bits for
// -, one more per + term, three more per * factor), and the value is right.
TEST(Arit, ChainsOf100Terms) {
  struct row {
    char op;
    unsigned long long maxnodes;
  };
  const row rows[] = {{'-', 10000}, {'+', 60000}, {'*', 1000000}};
  for (const row &r : rows) {
    BTstore st;
    std::clock_t t0 = std::clock();
    tree *a = st.take(BTvar(1, 3)), *e = st.take(BTvar(4, 3));
    for (int i = 1; i < 100; i++) e = ARITapply(st.s, r.op, a, e);
    e = BOOLnnf(st.s, e);
    double secs = (double)(std::clock() - t0) / CLOCKS_PER_SEC;
    EXPECT_LT(secs, CHAINSECONDS) << r.op;
    std::vector<const tree *> bits = BTbits(e);
    EXPECT_LT(BOOLdistinct(bits), r.maxnodes) << r.op;
    // a = 1, b = 2: 99 + 2, 1 - (1 - ...) alternates, 1 * ... * 2
    std::vector<int> asg(7, 0);
    asg[3] = 1;
    asg[5] = 1;
    u64 want = r.op == '+' ? 101 : r.op == '*' ? 2 : 0;
    if (r.op == '-') {
      u64 v = 2;
      for (int i = 1; i < 100; i++) v = 1 > v ? 1 - v : 0;
      want = v;
    }
    EXPECT_EQ(valueof(e, asg), want) << r.op;
  }
}

}  // namespace
