// Long lists, deep nesting, and generated texts for the parser (mutated and
// random texts: the parse fuzz target).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <string>

#include "tree/tree.h"
#include "treetest.h"

constexpr int LONG = 100000;

static std::string longlist(const char *fmt) {
  std::string s;
  char buf[64];
  for (int i = 0; i < LONG; i++) {
    snprintf(buf, sizeof buf, fmt, i, i);
    s += buf;
  }
  return s;
}

static tree *pairup(tree *x, tree *y, tree *rest) {
  tree *p = treecompose("&", treecopy(x), treecopy(y));
  return rest ? treecompose(";", p, rest) : p;
}
static tree *same(tree *t) { return t; }
static int COUNT;
static void count(tree *) { COUNT++; }
static int countpre(tree *t) { return t ? (COUNT++, 0) : 0; }

TEST(Long, ListOf100000) {
  tree *l = P(longlist("v%i:0..%i;"));
  ASSERT_EQ(listlength(l), LONG);
  EXPECT_EQ(treesize(l), 4 * LONG - 1);
  EXPECT_EQ(treesizeof(';', l), LONG);
  EXPECT_EQ(W(listget1n(l, LONG)), "(v99999:0..99999)");
  EXPECT_EQ(treesearchvarlistnum("v99999", 0, l), LONG - 1);

  tree *c = treecopy(l);
  EXPECT_EQ(treediff(l, c), 0);
  treesearch("0..99999", 0, c)->text[0] = '1';
  EXPECT_EQ(treediff(l, c), 1);

  std::string s;
  int n = treewrites(l, s, 0);
  EXPECT_EQ(n, (int)s.size());
  EXPECT_EQ(s.compare(0, 13, "((v0:0..0);(("), 0);
  std::string p;
  EXPECT_GT(treewritep(l, p, 0, 0), (int)s.size());
  FILE *devnull = fopen("/dev/null", "w");
  treewrite(l, devnull);
  fclose(devnull);

  COUNT = 0;
  treedopostvoid(l, count);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  COUNT = 0;
  treedoprevoid(l, countpre);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  EXPECT_EQ(treedopost(l, same), l);
  treereplacestring(l, "..", ".");
  treeaddnumber(l, 1);
  EXPECT_EQ(W(listget1n(l, LONG)), "(v99999:1)");   // the whole text is rewritten

  tree *m = listcombine(pairup, l, c);
  EXPECT_EQ(listlength(m), LONG);
  treefree(m);
  tree *both = listmerge(l, c);
  EXPECT_EQ(listlength(both), 2 * LONG);
  treefree(both);
}

TEST(Long, ChainsAndNesting) {
  tree *t = P(longlist("x%i=%i&"));
  EXPECT_EQ(treesizeof('&', t), LONG);
  tree *x = treesearchvarall("x9999", 0, t);   // x9999 only, not x99990
  EXPECT_EQ(W(x), "(x9999=9999)");
  treefree(x);
  x = treesearchvarall("x", 1, t);
  EXPECT_EQ(treediff(x, t), 0);
  treefree(x);
  treefree(t);

  t = P(std::string(LONG, '!') + "x");   // a prefix chain is one level
  EXPECT_EQ(treesize(t), LONG + 1);
  treefree(t);

  int deep = 500;
  t = P(std::string(deep, '(') + "a+b" + std::string(deep, ')') + "*c");
  EXPECT_EQ(W(t), "((a+b)*c)");
  treefree(t);
  // nesting beyond the parser's bound is refused, not a stack overflow
  EXPECT_EXIT(P(std::string(5000, '(') + "x" + std::string(5000, ')')), testing::ExitedWithCode(0),
              "^Syntax error\n$");
  EXPECT_EXIT(P(std::string(5000, '-') + "x"), testing::ExitedWithCode(0), "^Syntax error\n$");
}

// Conjunctions folded to the left: acc = acc & atom.
TEST(Long, LeftDeepChain) {
  tree *t = nullptr;
  for (int i = 0; i < LONG; i++) {
    tree *a = treecompose("=", treecompose(("x" + std::to_string(i)).c_str(), nullptr, nullptr), treenum(i));
    t = t ? treecompose("&", t, a) : a;
  }
  EXPECT_EQ(treesize(t), 4 * LONG - 1);
  EXPECT_EQ(treesizeof('&', t), LONG);
  tree *c = treecopy(t);
  EXPECT_EQ(treediff(t, c), 0);
  EXPECT_EQ(treesearch("x0", 0, t), treesearch("=", 0, t)->left);   // the deepest atom comes first
  tree *x = treesearchvarall("x0", 0, t);
  EXPECT_EQ(W(x), "(x0=0)");
  treefree(x);
  std::string s, p;
  int n = treewrites(t, s, 0), m = treewritep(t, p, 0, 0);
  EXPECT_EQ(m, n + 1);
  EXPECT_EQ(p, s + ";");
  FILE *devnull = fopen("/dev/null", "w");
  treewrite(t, devnull);
  fclose(devnull);
  COUNT = 0;
  treedopostvoid(t, count);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  COUNT = 0;
  treedoprevoid(t, countpre);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  EXPECT_EQ(treedopost(t, same), t);
  treereplacestring(c, "x", "y");
  treeaddnumber(c, 1);
  EXPECT_EQ(treesearch("y0", 0, c)->text[0], 'y');
  EXPECT_NE(treesearch("1", 0, c), nullptr);
  EXPECT_EQ(treesearch("0", 0, c), nullptr);
  eqstateconstruct(c, 1);   // no equality of two numbers: nothing changes
  EXPECT_EQ(treesize(c), 4 * LONG - 1);
  EXPECT_EQ(treediff(t, c), 1);
  treefree(t), treefree(c);
}

// Well-formed texts: every operand is non-empty and brackets balance.
struct textgen {
  std::mt19937 rng;
  int pick(int n) { return (int)(rng() % (unsigned)n); }
  std::string name() {
    static const char *names[] = {"x", "y", "pc", "a1", "x_x_2", "go", "c"};
    return names[pick(7)];
  }
  std::string atom() {
    switch (pick(6)) {
      case 0: return std::to_string(pick(1000));
      case 1: return name() + "[" + (pick(2) ? name() + "+1" : std::to_string(pick(9))) + "]";
      case 2: return "(" + name() + "=*)";
      default: return name();
    }
  }
  std::string expr(int depth) {
    if (depth <= 0) return atom();
    static const char *bin = "#;:UR|&>=<?@{}B+-*/%";
    switch (pick(8)) {
      case 0: return std::string(1, "AEFGX!-"[pick(7)]) + expr(depth - 1);
      case 1: return "(" + expr(depth - 1) + ")";
      case 2: {
        static const char *calls[] = {"f", "proc", "p1"};   // a '_' would make a plain leaf
        std::string s = std::string(calls[pick(3)]) + "(";
        int n = pick(4);
        for (int i = 0; i < n; i++) s += (i ? "," : "") + expr(depth - 2);
        return s + ")";
      }
      case 3: return atom();
      default: return expr(depth - 1) + bin[pick(20)] + expr(depth - 1);
    }
  }
};

static bool balanced(const std::string &s) {
  int d = 0;
  for (char c : s) {
    if (c == '(' || c == '[') d++;
    if ((c == ')' || c == ']') && --d < 0) return false;
  }
  return d == 0;
}

TEST(Fuzz, GeneratedTextsReadBack) {
  textgen g{std::mt19937(12345)};
  FILE *sink = fopen("/dev/null", "w");
  int checked = 0;
  for (int i = 0; i < 4000; i++) {
    std::string text = g.expr(1 + g.pick(7));
    ASSERT_TRUE(balanced(text));
    tree *t = P(text);
    treewrite(t, sink);
    if (t && (t->left || t->right)) {   // call syntax reads back as the same tree
      std::string p;
      treewritep(t, p, 0, 0);
      tree *back = P(p);
      EXPECT_EQ(treediff(t, back), 0) << text << " -> " << p;
      treefree(back);
      checked++;
    }
    treefree(t);
  }
  fclose(sink);
  EXPECT_GT(checked, 2000);
}
