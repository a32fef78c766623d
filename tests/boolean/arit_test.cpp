// Arithmetic of the encoding against integer arithmetic: every operator, all
// operand values up to 4 bits, mixed widths both ways, variables and constants.
#include <gtest/gtest.h>

#include <algorithm>
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

tree *build(const operand &o, int base) {
  return o.isconst ? BOOLconstructnum(o.c) : BTvar(base, o.w);
}

// Applies op to the operands, normalises as the encoder does, and compares
// with integer arithmetic under every assignment of the operand bits.
void checkop(char op, const operand &x, const operand &y) {
  const int basea = 1, baseb = 1 + 4;
  tree *n = treecompose(std::string(1, op).c_str(), build(x, basea), build(y, baseb));
  tree *r = ARITapply(n);
  r = TLFnnf(r);
  r = treedopost(r, TLFnnfsimp);
  ASSERT_TRUE(BTisnnf(r)) << op << " " << BTtext(r);
  if (iscomparison(op)) {
    ASSERT_EQ(BTbits(r).size(), 1u) << op;
  }
  if (op == '+' && !x.isconst && !y.isconst) {
    EXPECT_EQ((int)BTbits(r).size(), std::max(x.w, y.w) + 1);
  }
  if (op == '-' && !x.isconst) {
    EXPECT_EQ((int)BTbits(r).size(), x.w);
  }
  const int na = x.isconst ? 0 : x.w, nb = y.isconst ? 0 : y.w;
  std::vector<int> asg(10, 0);
  for (u64 va = 0; va < (x.isconst ? 1ull : 1ull << na); va++)
    for (u64 vb = 0; vb < (y.isconst ? 1ull : 1ull << nb); vb++) {
      for (int i = 0; i < na; i++) asg[basea + i] = (va >> (na - 1 - i)) & 1;
      for (int i = 0; i < nb; i++) asg[baseb + i] = (vb >> (nb - 1 - i)) & 1;
      u64 a = x.isconst ? x.c : va, b = y.isconst ? y.c : vb;
      u64 want = reference(op, a, x.w, b, y.w);
      u64 got = BTvalue(r, asg);
      if (got != want) {
        ADD_FAILURE() << a << " " << op << " " << b << " (widths " << x.w << ","
                      << y.w << "): got " << got << " want " << want;
        treefree(r);
        return;
      }
    }
  treefree(r);
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
  for (const char *op = OPS; *op; op++)
    for (u64 a = 0; a < 16; a++)
      for (u64 b = 0; b < 16; b++) {
        tree *r = ARITapply(treecompose(std::string(1, *op).c_str(), BOOLconstructnum(a),
                                        BOOLconstructnum(b)));
        for (const tree *e : BTbits(r))
          EXPECT_TRUE(!std::strcmp(e->text, "^") || !std::strcmp(e->text, "_"))
              << a << *op << b << ": " << BTtext(r);
        std::vector<int> none(1, 0);
        EXPECT_EQ(BTvalue(r, none), reference(*op, a, bitsof(a), b, bitsof(b)))
            << a << *op << b;
        treefree(r);
      }
}

// Operands that are themselves results: (x + y) op z and z op (x * y).
TEST(Arit, NestedOperands) {
  for (const char *op = OPS; *op; op++) {
    tree *sum = treecompose("+", BTvar(1, 2), BTvar(3, 2));
    tree *l = ARITapply(sum);
    tree *r = ARITapply(treecompose(std::string(1, *op).c_str(), l, BTvar(5, 3)));
    tree *prod = ARITapply(treecompose("*", BTvar(1, 2), BTvar(3, 2)));
    tree *r2 = ARITapply(treecompose(std::string(1, *op).c_str(), BTvar(5, 3), prod));
    std::vector<int> asg(9, 0);
    for (int v = 0; v < 256; v++) {
      for (int i = 0; i < 8; i++) asg[1 + i] = (v >> (7 - i)) & 1;
      u64 x = v >> 6, y = (v >> 4) & 3, z = (v >> 1) & 7;
      int ws = 3, wp = 4;
      ASSERT_EQ(BTvalue(r, asg), reference(*op, x + y, ws, z, 3)) << *op << " " << x << y << z;
      ASSERT_EQ(BTvalue(r2, asg), reference(*op, z, 3, x * y, wp)) << *op << " " << x << y << z;
    }
    treefree(r);
    treefree(r2);
  }
}

TEST(Arit, ReportedLessThanFault) {
  // x < 5 with x : 0..3 holds for every x; 2/3 = 0 and 2%3 = 2.
  tree *r = ARITapply(treecompose("<", BTvar(1, 2), BOOLconstructnum(5)));
  EXPECT_EQ(BTtext(r), "^");
  treefree(r);
  r = ARITapply(treecompose("/", BOOLconstructnum(2), BOOLconstructnum(3)));
  EXPECT_EQ(BTtext(r), "_");
  treefree(r);
  r = ARITapply(treecompose("%", BOOLconstructnum(2), BOOLconstructnum(3)));
  EXPECT_EQ(BTtext(r), "(^;_)");
  treefree(r);
}

TEST(Arit, EdgeCasesOfTheEncoding) {
  struct row {
    const char *op;
    tree *(*a)();
    tree *(*b)();
    const char *want;
  };
  const row rows[] = {
      // x / 2 drops the least significant bit
      {"/", [] { return BTvar(1, 3); }, [] { return BOOLconstructnum(2); }, "(1;2)"},
      {"/", [] { return BTvar(1, 1); }, [] { return BOOLconstructnum(2); }, "_"},
      // x / 0 is all ones of x's width; x % 0 is x
      {"/", [] { return BTvar(1, 3); }, [] { return BOOLconstructnum(0); }, "(^;(^;^))"},
      {"%", [] { return BTvar(1, 3); }, [] { return BOOLconstructnum(0); }, "(1;(2;3))"},
      {"-", [] { return BOOLconstructnum(3); }, [] { return BOOLconstructnum(5); }, "(_;_)"},
      {"-", [] { return BOOLconstructnum(5); }, [] { return BOOLconstructnum(3); }, "(_;(^;_))"},
      {"+", [] { return BTvar(1, 2); }, [] { return BOOLconstructnum(1); }, nullptr},
      // x * 1 and x * 4 are x and a shift
      {"*", [] { return BTvar(1, 2); }, [] { return BOOLconstructnum(1); }, "(1;2)"},
      {"*", [] { return BTvar(1, 2); }, [] { return BOOLconstructnum(4); }, "(1;(2;(_;_)))"},
  };
  for (const row &t : rows) {
    tree *r = ARITapply(treecompose(t.op, t.a(), t.b()));
    if (t.want) EXPECT_EQ(BTtext(r), t.want) << t.op;
    else EXPECT_EQ(BTbits(r).size(), 3u) << "x + 1 with a two-bit x has three bits";
    treefree(r);
  }
  // x - y with y wider: 0 whenever y's extra bits hold a 1
  tree *r = ARITapply(treecompose("-", BTvar(1, 2), BTvar(3, 3)));
  std::vector<int> asg(6, 0);
  asg[1] = asg[2] = 1;  // x = 3
  asg[3] = 1;           // y = 4
  EXPECT_EQ(BTvalue(r, asg), 0u);
  treefree(r);
}

TEST(Arit, NonOperatorsPassUnchanged) {
  for (const char *s : {"(1&2)", "(1|(!2))", "5", "^"}) {
    tree *t = string2tree(std::string(s));
    tree *c = treecopy(t);
    t = ARITapply(t);
    EXPECT_EQ(treediff(t, c), 0) << s;
    treefree(t);
    treefree(c);
  }
}

TEST(Arit, ListHelpers) {
  tree *l = ARITdoublekt(BTvar(1, 2), 2);
  EXPECT_EQ(BTtext(l), "(1;(2;(_;_)))");
  l = listreduce(treecompose(";", BOOLconstructnum(0), treecompose(";", BOOLconstructnum(0), l)));
  EXPECT_EQ(BTtext(l), "(1;(2;(_;_)))");
  treefree(l);
  l = listreduce(BOOLconstructnum(0));
  EXPECT_EQ(BTtext(l), "_");
  treefree(l);
  l = listreduce(treecompose(";", BOOLconstructnum(0), BOOLconstructnum(0)));
  EXPECT_EQ(BTtext(l), "_");
  treefree(l);
  // ARITsub0 splits the subtrahend's bits above the minuend's width
  tree *a = BTvar(1, 2), *b = BTvar(3, 4);
  tree *h = ARITsub0(a, &b);
  EXPECT_EQ(BTtext(b), "(5;6)");
  EXPECT_EQ(BTtext(h), "(3|4)");
  treefree(a);
  treefree(b);
  treefree(h);
  tree *three = BOOLconstructnum(3), *x = BTvar(1, 2);
  EXPECT_EQ(ARITdiv2(x, nullptr), nullptr);
  EXPECT_EQ(ARITdiv2(x, three), nullptr);  // not 2: x stays with the caller
  treefree(x);
  treefree(three);
}

TEST(Arit, RedGivesDisjunctiveNormalForm) {
  tree *l = ARITred(ARITapply(treecompose("+", BTvar(1, 2), BTvar(3, 2))));
  std::vector<int> asg(5, 0);
  for (int v = 0; v < 16; v++) {
    for (int i = 0; i < 4; i++) asg[1 + i] = (v >> (3 - i)) & 1;
    EXPECT_EQ(BTvalue(l, asg), (u64)((v >> 2) + (v & 3)));
  }
  // a disjunction of conjunctions of literals: no '|' under an '&'
  std::function<bool(const tree *, bool)> dnf = [&](const tree *t, bool under) {
    if (!t) return true;
    if (t->text[0] == '|' && under) return false;
    return dnf(t->left, under || t->text[0] == '&') && dnf(t->right, under || t->text[0] == '&');
  };
  for (const tree *e : BTbits(l)) EXPECT_TRUE(dnf(e, false)) << BTtext(e);
  treefree(l);
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

}  // namespace

namespace {

// Wider dividends with constant divisors: small divisors go through the
// remainder automaton, the others through the case split; both must agree
// with integer division, also when the dividend is itself a formula.
TEST(Arit, ConstantDivisorsOnWideDividends) {
  const std::pair<int, u64> rows[] = {{8, 3}, {8, 5}, {8, 6}, {8, 7}, {8, 9}, {12, 3}};
  for (auto [n, c] : rows)
      for (char op : {'/', '%'}) {
        tree *r = ARITapply(treecompose(std::string(1, op).c_str(), BTvar(1, n), BOOLconstructnum(c)));
        ASSERT_TRUE(BTisnnf(r));
        std::vector<int> asg(n + 1, 0);
        for (u64 x = 0; x < (1ull << n); x++) {
          for (int i = 0; i < n; i++) asg[1 + i] = (x >> (n - 1 - i)) & 1;
          ASSERT_EQ(BTvalue(r, asg), op == '/' ? x / c : x % c) << x << op << c << " width " << n;
        }
        treefree(r);
      }
  // (x + y) / 3 and % 3 with x of 7 bits and y of 1 bit: an 8-bit sum
  for (char op : {'/', '%'}) {
    tree *s = ARITapply(treecompose("+", BTvar(1, 7), BTvar(8, 1)));
    tree *r = ARITapply(treecompose(std::string(1, op).c_str(), s, BOOLconstructnum(3)));
    std::vector<int> asg(9, 0);
    for (u64 v = 0; v < 256; v++) {
      for (int i = 0; i < 8; i++) asg[1 + i] = (v >> (7 - i)) & 1;
      u64 sum = (v >> 1) + (v & 1);
      ASSERT_EQ(BTvalue(r, asg), op == '/' ? sum / 3 : sum % 3) << v;
    }
    treefree(r);
  }
}

}  // namespace

namespace {

// A divisor much narrower than the dividend is split into its values first.
TEST(Arit, NarrowDivisors) {
  for (auto [n, m] : {std::pair{8, 2}, std::pair{7, 3}})
    for (char op : {'/', '%'}) {
      tree *r = ARITapply(treecompose(std::string(1, op).c_str(), BTvar(1, n), BTvar(n + 1, m)));
      ASSERT_TRUE(BTisnnf(r));
      std::vector<int> asg(n + m + 1, 0);
      for (u64 v = 0; v < (1ull << (n + m)); v++) {
        for (int i = 0; i < n + m; i++) asg[1 + i] = (v >> (n + m - 1 - i)) & 1;
        u64 x = v >> m, y = v & ((1ull << m) - 1);
        ASSERT_EQ(BTvalue(r, asg), reference(op, x, n, y, m)) << x << op << y;
      }
      treefree(r);
    }
}

}  // namespace
