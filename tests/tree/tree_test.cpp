// Node operations: construction, copy/free/replace, comparison, search,
// rewriting, traversal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tree/tree.h"
#include "treetest.h"

TEST(TreeConstruct, Builders) {
  struct row {
    tree *t;
    const char *want;
  } rows[] = {
      {treenum(-5), "-5"},
      {treeconst(0), "_"},
      {treeconst(1), "^"},
      {treevarconstr("x", 0, 7), "(x{7)"},
      {treevarconstr("x", 2, 7), "((2{x)&(x{7))"},
      {treeconstab(1, 3), "(3x|!3x)"},
      {treeconstab(0, 3), "(3x&!3x)"},
      {eqstate(2, 3, 1, 4, 5), "(9=4)"},    // g = 6: 1*6+3, 0*6+4
      {eqstate(3, 1, 2, 2, -1), "(3=3)"},   // g = 1
      {eqstate(7, 7, 7, 7, 0), "^"},
  };
  for (auto &r : rows) {
    EXPECT_EQ(W(r.t), r.want);
    treefree(r.t);
  }
  tree *n = treeconstab(1, 3);   // the two leaves are separate records
  EXPECT_NE(n->left, n->right->right);
  treefree(n);
}

TEST(TreeConstruct, TextLimit) {
  std::string t63(63, 'a'), t64(64, 'a');
  tree *t = treecompose(t63.c_str(), nullptr, nullptr);
  EXPECT_EQ(std::string(t->text), t63);
  treefree(t);
  EXPECT_EXIT(treecompose(t64.c_str(), nullptr, nullptr), testing::ExitedWithCode(0),
              "^treecompose error\n$");
}

TEST(TreeCompare, DiffSizeSizeof) {
  EXPECT_EQ(treediff(nullptr, nullptr), 0);
  tree *a = P("a&(b|c)=1;x"), *c = treecopy(a), *d = P("a&(b|d)=1;x"), *s = P("a&(b|c)");
  EXPECT_EQ(treediff(a, c), 0);
  EXPECT_EQ(treediff(a, d), 1);   // one leaf differs
  EXPECT_EQ(treediff(a, s), 1);   // a subtree missing
  EXPECT_EQ(treediff(a, nullptr), 1);
  EXPECT_EQ(treesize(nullptr), 0);
  EXPECT_EQ(treesize(a), 9);
  treefree(a), treefree(c), treefree(d), treefree(s);

  struct row {
    char op;
    const char *text;
    int n;
  } rows[] = {{'&', "a&(b&c)", 3}, {'&', "a|b", 1}, {'&', "(a&b)&(c|d)", 3}, {'|', "a|b|c|d", 4}};
  for (auto &r : rows) {
    tree *t = P(r.text);
    EXPECT_EQ(treesizeof(r.op, t), r.n) << r.text;
    treefree(t);
  }
  EXPECT_EQ(treesizeof('&', nullptr), 0);
}

TEST(TreeSearch, PreorderAndPrefix) {
  tree *t = P("(y=x)&(x=1)");
  EXPECT_EQ(treesearch("x", 0, t), t->left->right);   // pre-order: left subtree first
  EXPECT_EQ(treesearch("=", 0, t), t->left);
  EXPECT_EQ(treesearch("x1", 1, t), t->left->right);  // first character only
  EXPECT_EQ(treesearch("z", 0, t), nullptr);
  EXPECT_EQ(treesearch("x", 0, nullptr), nullptr);
  treefree(t);
}

TEST(TreeSearch, VarAllKeepsMatchingAtoms) {
  tree *t = P("(x=1&y=2)|(x=3&z=4)");
  struct row {
    const char *s;
    int n;
    const char *want;
  } rows[] = {{"x", 0, "((x=1)|(x=3))"}, {"y", 0, "(y=2)"}, {"w", 0, ""}, {"xyz", 1, "((x=1)|(x=3))"}};
  for (auto &r : rows) {
    tree *m = treesearchvarall(r.s, r.n, t);
    EXPECT_EQ(W(m), r.want) << r.s;
    treefree(m);
  }
  EXPECT_EQ(W(t), "(((x=1)&(y=2))|((x=3)&(z=4)))");   // argument untouched
  treefree(t);
}

TEST(TreeSearch, VarList) {
  tree *l = P("a:0..1;bb:0..3;b:bool");
  EXPECT_EQ(W(treesearchvarlist("b", 0, l)), "(b:bool)");
  EXPECT_EQ(W(treesearchvarlist("b", 1, l)), "(bb:0..3)");
  EXPECT_EQ(treesearchvarlist("c", 0, l), nullptr);
  EXPECT_EQ(treesearchvarlistnum("b", 0, l), 2);
  EXPECT_EQ(treesearchvarlistnum("a", 0, l), 0);
  EXPECT_EQ(treesearchvarlistnum("c", 0, l), -1);
  treefree(l);
}

TEST(TreeReplace, Replace) {
  tree *t = P("a&b"), *s = P("x+1");
  treereplace(t, s);   // s's record is released, LeakSanitizer checks the rest
  EXPECT_EQ(W(t), "(x+1)");
  treefree(t);

  // the source lies inside the destination
  t = P("!(a&(b|c))");
  treereplace(t, t->right);
  EXPECT_EQ(W(t), "(a&(b|c))");
  treereplace(t, t->right->left);
  EXPECT_EQ(W(t), "b");
  treefree(t);
}

TEST(TreeReplace, NodeReplace) {
  tree *t = P("v"), *r = P("x+1");
  EXPECT_EQ(nodereplace(t, "w", r), 0);
  EXPECT_EQ(W(t), "v");
  EXPECT_EQ(nodereplace(t, "v", r), 1);
  EXPECT_EQ(W(t), "(x+1)");
  EXPECT_EQ(W(r), "(x+1)");   // repl is copied
  EXPECT_EQ(nodereplace(t, "+", t->right), 1);   // repl inside the node
  EXPECT_EQ(W(t), "1");
  treefree(t), treefree(r);
}

TEST(TreeRewrite, StringsAndNumbers) {
  tree *t = P("a[i]=i+1");
  treereplacestring(t, "i", "10");
  EXPECT_EQ(W(t), "(a[10]=(10+1))");
  treefree(t);

  t = P("x3+3&7>12");
  treeaddnumber(t, 2);   // x3 does not begin with a digit
  EXPECT_EQ(W(t), "((x3+5)&(9>14))");
  treeaddnumberconditional(t, 100, 9);   // only numbers above 9
  EXPECT_EQ(W(t), "((x3+5)&(9>114))");
  treefree(t);

  t = P("1=7&9");
  tree *r = treetr(t, 1, 3, 4);   // +4 each, then +4 for numbers above 8
  EXPECT_EQ(W(r), "((5=15)&17)");
  EXPECT_EQ(W(t), "((1=7)&9)");
  treefree(t), treefree(r);

  t = P("1");
  EXPECT_EXIT(treereplacestring(t, "1", std::string(64, 'z').c_str()), testing::ExitedWithCode(0),
              "^stringreplacesubstring error\n$");
  treefree(t);
}

TEST(TreeRewrite, EqStateConstruct) {
  struct row {
    const char *text;
    int w;
    const char *want;
  } rows[] = {
      {"1=2", 2, "(((!3|5)&(3|!5))&((!4|6)&(4|!6)))"},
      {"1B2", 1, "((2|3)&(!2|!3))"},
      {"a&(0=1)", 1, "(a&((!1|2)&(1|!2)))"},
      {"a=1", 1, "(a=1)"},   // operands must both be numbers
  };
  for (auto &r : rows) {
    tree *t = P(r.text);
    eqstateconstruct(t, r.w);
    EXPECT_EQ(W(t), r.want) << r.text;
    treefree(t);
  }
  tree *t = P("1B2");
  eqstateconstruct(t, 3);
  EXPECT_EQ(treesizeof('|', t), 3);   // one disjunct per bit, left-nested
  EXPECT_EQ(treesizeof('|', t->left), 2);
  treefree(t);
}

static std::vector<std::string> VISITED;
static void visitv(tree *t) { VISITED.push_back(t->text); }
static tree *visitp(tree *t) {
  VISITED.push_back(t->text);
  if (strcmp(t->text, "!") == 0) {   // !x becomes x: the result replaces the node in its parent
    tree *r = t->right;
    t->right = nullptr;
    treefree(t);
    return r;
  }
  return t;
}
static int NULLS;
static int visitpre(tree *t) {
  if (!t) return ++NULLS, 0;
  VISITED.push_back(t->text);
  return strcmp(t->text, "&") == 0;   // do not enter conjunctions
}

TEST(TreeTraverse, Orders) {
  tree *t = P("(a+b)*(!c)|d&e");
  VISITED.clear();
  treedopostvoid(t, visitv);
  EXPECT_EQ(VISITED, (std::vector<std::string>{"a", "b", "+", "c", "!", "*", "d", "e", "&", "|"}));

  VISITED.clear();
  t = treedopost(t, visitp);
  EXPECT_EQ(VISITED, (std::vector<std::string>{"a", "b", "+", "c", "!", "*", "d", "e", "&", "|"}));
  EXPECT_EQ(W(t), "(((a+b)*c)|(d&e))");

  VISITED.clear();
  NULLS = 0;
  treedoprevoid(t, visitpre);
  EXPECT_EQ(VISITED, (std::vector<std::string>{"|", "*", "+", "a", "b", "c", "&"}));
  EXPECT_EQ(NULLS, 6);   // both empty children of a, b and c
  treefree(t);
  EXPECT_EQ(treedopost(nullptr, visitp), nullptr);
}
