// Table-driven cases of the formula library, grouped by operation.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "formula/tlf.h"

namespace {

tree *P(const char *s) { return string2tree(std::string(s)); }
tree *op(const char *c, tree *l, tree *r) { return treecompose(c, l, r); }

std::string show(const tree *t) {
  std::string s;
  treewrites(t, s, 0);
  return s;
}

// Runs f on the tree (taken), returns the printed result and frees it.
template <class F> std::string run(F f, tree *t) {
  tree *r = f(t);
  std::string s = show(r);
  treefree(r);
  return s;
}

struct Row { tree *in; const char *out; };

void table(tree *(*f)(tree *), std::initializer_list<Row> rows) {
  for (const Row &r : rows) {
    std::string in = show(r.in);
    EXPECT_EQ(run(f, r.in), r.out) << "input " << in;
  }
}

} // namespace

TEST(TLFnegate, Duality) {
  table(TLFnegate, {
      {P("AG1"), "EF!1"},
      {P("1U2"), "(!1R!2)"},
      {P("X1"), "X!1"},
      {P("x<y"), "(x}y)"},
      {P("x=y"), "(xBy)"},
      {P("^"), "_"},
      {P("!!1"), "!1"},
      {P("1&(2|!3)"), "(!1|(!2&3))"},
      {P("E(1R(x{3))"), "A(!1U(x>3))"},
      {op("I", P("1"), P("2")), "(1&!2)"},
      {op("~", P("1"), P("2")), "(1~!2)"},
  });
  EXPECT_EQ(TLFnegate(nullptr), nullptr);
}

// The node text goes to standard output first; the child sends it to stderr
// so that the expected text covers both streams in order.
static void negatetostderr(const char *f) {
  fflush(stdout);
  dup2(2, 1);
  TLFnegate(P(f));
}

TEST(TLFnegate, UndefinedOperatorIsFatal) {
  EXPECT_EXIT(negatetostderr("1&(x+1)"), testing::ExitedWithCode(0), "^\\+\nundefined operator 0 error\n$");
  EXPECT_EXIT(negatetostderr("x"), testing::ExitedWithCode(0), "^x\nundefined operator 0 error\n$");
}

TEST(TLFnnf, NormalForms) {
  table(TLFnnf, {
      {P("!1"), "!1"},
      {op("!", nullptr, op("I", P("1"), P("2"))), "(1&!2)"},
      {op("I", P("1&2"), P("3")), "((!1|!2)|3)"},
      {op("~", P("1"), P("2")), "((!1|2)&(1|!2))"},
      {op("!", nullptr, op("~", P("1"), P("2"))), "((!1|!2)&(1|2))"},
      {P("!(1&!(2|3))"), "(!1|(2|3))"},
      {P("!AG(1&2)"), "EF(!1|!2)"},
      {P("!!!!!1"), "!1"},
      {P("!(x<y)"), "(x}y)"},
      {P("1:!(2&3)"), "(1:(!2|!3))"},
      {P("!^"), "_"},
  });
}

TEST(TLFnnf, UnknownOperatorIsLoggedAndKept) {
  FILE *saved = lmtlog;
  lmtlog = tmpfile();
  ASSERT_NE(lmtlog, nullptr);
  EXPECT_EQ(run(TLFnnf, P("!1&(x+2)")), "(!1&(x+2))");
  rewind(lmtlog);
  char buf[128] = {0};
  size_t n = fread(buf, 1, sizeof buf - 1, lmtlog);
  EXPECT_EQ(std::string(buf, n), "undefined operator 1: +\n");
  fclose(lmtlog);
  lmtlog = saved;
}

TEST(TLFnnfsimp, OneLevel) {
  table(TLFnnfsimp, {
      {P("3&!3"), "_"}, {P("!3|3"), "^"}, {P("3|3"), "3"}, {P("!3&!3"), "!3"}, {P("3&!4"), "(3&!4)"},
      {P("1&^"), "1"}, {P("^&1"), "1"}, {P("_&(x<y)"), "_"}, {P("1|^"), "^"}, {P("_|2"), "2"},
      {P("!^"), "_"}, {P("!_"), "^"}, {P("!3"), "!3"},
      {op("N", P("3"), P("_")), "_"}, {op("N", P("^"), P("x")), "x"},
      {op("M", P("x"), P("^")), "^"}, {op("M", P("_"), P("x")), "x"},
      {op("N", P("3"), P("!3")), "(3N!3)"},          // no literal tests for bitwise operators
      {P("(3&3):(1|_)"), "(3:1)"},
      {P("1&(2&^)"), "(1&(2&^))"},                   // one level only
  });
}

TEST(TLFnnfsimpATF, ConstantFolding) {
  table(TLFnnfsimp, {
      {P("4-7"), "0"}, {P("9-7"), "2"}, {P("2+3"), "5"}, {P("6*7"), "42"}, {P("7/2"), "3"},
      {P("7%3"), "1"}, {P("7/0"), "(7/0)"}, {P("7%0"), "(7%0)"},
      {P("2147483647+1"), "(2147483647+1)"}, {P("99999999999-1"), "(99999999999-1)"},
      {P("2{5"), "^"}, {P("5{5"), "^"}, {P("6{5"), "_"}, {P("2}5"), "_"}, {P("2<5"), "^"},
      {P("2>5"), "_"}, {P("5=5"), "^"}, {P("5B5"), "_"}, {P("x<3"), "(x<3)"}, {P("3<(1+1)"), "(3<(1+1))"},
  });
}

TEST(TLFisprop, Classes) {
  EXPECT_EQ(TLFisprop(nullptr), 1);
  struct { const char *f; int prop; } rows[] = {
      {"1&!(2|3)", 1}, {"7", 1}, {"1&^", 0}, {"x", 0}, {"1<2", 0}, {"AG1", 0},
  };
  for (auto &r : rows) {
    tree *t = P(r.f);
    EXPECT_EQ(TLFisprop(t), r.prop) << r.f;
    treefree(t);
  }
}

TEST(TLFred, Propagation) {
  table(TLFred, {
      {P("1&(2|!1)"), "(1&2)"},
      {P("1|(!1&2)"), "(1|2)"},
      {P("1&!1"), "_"},
      {P("!1|(1&(2|3))"), "((!1|2)|3)"},
      {P("(1|2)&(!1|2)&(1|!2)"), "((1|2)&((!1|2)&(1|!2)))"},
      {P("AG(1&(!1|2))"), "AG(1&2)"},
      {P("(x<y)&(1&!1)"), "((x<y)&_)"},
      {P("3"), "3"},
      {P("3x&(007|!3x)"), "(3x&007)"},
  });
}

TEST(TLFcnf, SortedClausesAndSubsumption) {
  table(TLFcnf, {
      {P("(1&2)|3"), "((1|3)&(2|3))"},
      {P("2|1|2"), "(1|2)"},
      {P("1|!1"), "^"},
      {P("(1|2)&1"), "1"},
      {P("1&(1|2)"), "1"},
      {P("1&(2&!1)"), "_"},
      {P("(1&!1)|2"), "2"},
      {P("10|9|!2"), "(!2|(9|10))"},
      {P("(1|2)&(2|1)&(3|!3)"), "(1|2)"},
      {P("(1&2)|(3&4)"), "((1|3)&((1|4)&((2|3)&(2|4))))"},
      {P("(1|2|3)&(3|1)"), "(1|3)"},
      {P("^"), "^"}, {P("_|_"), "_"}, {P("!4"), "!4"}, {P("1&^"), "1"},
      {P("3x|1|3"), "(1|(3|3x))"}, {P("7|007|!3x"), "(!3x|(007|7))"}, {P("3x|(!3x&2)"), "(2|3x)"},
  });
  EXPECT_EXIT(TLFcnf(P("1&(x<y)")), testing::ExitedWithCode(0), "^TLFcnf error\n$");
  EXPECT_EXIT(TLFcnf(P("1|AG2")), testing::ExitedWithCode(0), "^TLFcnf error\n$");
}

TEST(TLFdnf, Forms) {
  table(TLFdnf, {
      {P("(1|2)&3"), "((1&3)|(2&3))"},
      {P("1&!1"), "_"},
      {P("(1|2)&(!1|2)"), "2"},
  });
}

TEST(TLFlcnf, LiteralConjunctions) {
  struct { const char *f; int ret; const char *out; } rows[] = {
      {"(1&2)|!1", 1, "(2|!1)"},
      {"1|!1", 1, "^"},
      {"1|1", 1, "1"},
      {"(1&2)|(3&1)", 1, "((1|3)&(1&((2|3)&(2|1))))"},
      {"1&2", 0, "(1&2)"},
      {"(1|2)|3", 0, "((1|2)|3)"},
      {"(1&x)|3", 0, "((1&x)|3)"},
  };
  for (auto &r : rows) {
    tree *t = P(r.f);
    EXPECT_EQ(TLFlcnf(t), r.ret) << r.f;
    EXPECT_EQ(show(t), r.out) << r.f;
    treefree(t);
  }
  EXPECT_EQ(TLFlcnf(nullptr), 1);
}

TEST(TLFclassify, TypeMaskAndExtendedCTL) {
  // A G (p -> A F q)
  auto agaf = [] { return op("A", nullptr, op("G", nullptr, op("I", P("1"), P("AF2")))); };
  struct { tree *f; int mask; bool ctlx; } rows[] = {
      {agaf(), TLF_HASA | TLF_HASF | TLF_HASG | TLF_NESTED, true},
      {P("GF1"), TLF_HASF | TLF_HASG, false},
      {P("AFG1"), TLF_HASA | TLF_HASF | TLF_HASG, true},
      {P("EGF1"), TLF_HASE | TLF_HASF | TLF_HASG, true},
      {P("A(1UG2)"), TLF_HASA | TLF_HASU | TLF_HASG, false},
      {P("E(AX1R2)"), TLF_HASA | TLF_HASE | TLF_HASR | TLF_HASX, true},
      {P("AGG1"), TLF_HASA | TLF_HASG | TLF_NESTED, false},
      {P("A1"), TLF_HASA, false},
      {P("XX1"), TLF_HASX | TLF_NESTED, false},
      {P("1&(x<3)"), 0, true},
      {nullptr, 0, true},
  };
  for (auto &r : rows) {
    std::string s = show(r.f);
    EXPECT_EQ(TLFnnftype(r.f), r.mask) << s;
    EXPECT_EQ(TLFisCTLx(r.f), r.ctlx) << s;
    treefree(r.f);
  }
}
