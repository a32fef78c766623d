// Parser of compact text and the printers.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tree/tree.h"
#include "treetest.h"

TEST(Parse, Shapes) {
  struct row {
    const char *text, *tree;
  } rows[] = {
      {"x;", "x"},
      {"a-b-c", "(a-(b-c))"},
      {"a/b*c", "(a/(b*c))"},
      {"p:x=1;q:x=2", "((p:(x=1));(q:(x=2)))"},
      {"f(a,b)", "(f:(a|b))"},
      {"f(a)", "(f:a)"},
      {"f()", "f"},
      {"p_x(a)", "p_x(a)"},   // '_' before '(': a plain leaf
      {"a[i+1]=2", "(a[i+1]=2)"},
      {"(x+1)", "(x+1)"},
      {"((x))", "x"},
      {"(a)", "a"},
      {"!x=1", "!(x=1)"},
      {"!x&y", "(!x&y)"},
      {"x&y|z&w", "((x&y)|(z&w))"},
      {"x>1&y{2|zB3", "(((x>1)&(y{2))|(zB3))"},
      {"a#b##c", "(a#(b##c))"},
      {"E(aUb)", "E(aUb)"},
      {"AG(x=1)", "AG(x=1)"},
      {"a:b:c", "(a:(b:c))"},
      {"a;;b", "(a;b)"},   // empty elements are dropped
      {";a;;", "a"},
      {";", ""},
      {"", ""},
      {"a*-1", "(a*-1)"},
      {"x=-1", "(x=-1)"},
      {"-a+b", "(-a+b)"},
      {"a--b", "(a--b)"},
      {"phil(f[i],f[(i+1)%3])", "(phil:(f[i]|f[(i+1)%3]))"},
      {"p1:proc(a,b)", "(p1:(proc:(a|b)))"},
      {"f(g(a,b),c)", "(f:((g:(a|b))|c))"},
      {"c?v;c@1", "((c?v);(c@1))"},
      {"x=*", "(x=)"},
  };
  for (auto &r : rows) {
    tree *t = P(r.text);
    EXPECT_EQ(W(t), r.tree) << r.text;
    treefree(t);
  }
}

// The printed form hides which children are empty; these cases check them.
TEST(Parse, PrefixAndFreeChoice) {
  tree *t = P("!x");
  EXPECT_STREQ(t->text, "!");
  EXPECT_EQ(t->left, nullptr);
  EXPECT_STREQ(t->right->text, "x");
  treefree(t);

  t = P("-1");
  EXPECT_STREQ(t->text, "-");
  EXPECT_EQ(t->left, nullptr);
  EXPECT_STREQ(t->right->text, "1");
  treefree(t);

  t = P("AG(x=1)");
  EXPECT_STREQ(t->text, "A");
  EXPECT_EQ(t->left, nullptr);
  EXPECT_STREQ(t->right->text, "G");
  EXPECT_EQ(t->right->left, nullptr);
  EXPECT_STREQ(t->right->right->text, "=");
  treefree(t);

  t = P("-a+b");   // the sign binds to a only
  EXPECT_STREQ(t->text, "+");
  EXPECT_STREQ(t->left->text, "-");
  EXPECT_EQ(t->left->left, nullptr);
  treefree(t);

  for (const char *text : {"x=*", "x=(*)", "b:x=*;y=1"}) {
    t = P(text);
    tree *eq = treesearch("=", 0, t);
    ASSERT_NE(eq, nullptr) << text;
    EXPECT_STREQ(eq->left->text, "x");
    ASSERT_NE(eq->right, nullptr) << text;
    EXPECT_STREQ(eq->right->text, "") << text;
    EXPECT_EQ(eq->right->left, nullptr);
    EXPECT_EQ(eq->right->right, nullptr);
    treefree(t);
  }
}

TEST(Parse, InPlaceAndOneLevel) {
  char text[] = "f(a,b)&c";
  tree *t = string2tree(text);
  EXPECT_EQ(W(t), "((f:(a|b))&c)");
  treefree(t);

  struct row {
    const char *text, *ops, *tree;
  } rows[] = {
      {"a+b*c", OP1, "((a+b)*c)"}, {"a+b*c", OP2, "(a+(b*c))"}, {"a+b", OP1, ""},
      {"(a;b)", OP8, ""},          {"a;b;c", OP8, "(a;(b;c))"}, {"-a", OP2, "-a"},
  };
  for (auto &r : rows) {
    char buf[64];
    strcpy(buf, r.text);
    t = string2tree_local(buf, r.ops);
    EXPECT_EQ(W(t), r.tree) << r.text << " " << r.ops;
    treefree(t);
  }
}

TEST(Parse, Errors) {
  struct row {
    const char *text, *msg;
  } rows[] = {
      {"a)(", "Syntax"},  {"(a", "Syntax"},     {"a]", "Syntax"},   {"))((", "Syntax"},
      {"x=(1+2", "Syntax"}, {"a[1", "Syntax"},  {"a&&b", "Syntax"}, {"=1", "Syntax"},
      {"a;|b", "Syntax"}, {"f(,a)", "Syntax"},  {"x:*y", "Syntax"},
      {"p[1]:(a]", "Syntax"}, {"(a[b)]", "Syntax"},  // brackets closed by the other kind
  };
  for (auto &r : rows)
    EXPECT_EXIT(P(r.text), testing::ExitedWithCode(0), std::string("^") + r.msg + " error\n$") << r.text;

  std::string leaf63(63, 'v'), leaf64(64, 'v');
  tree *t = P(leaf63 + "=1");
  EXPECT_EQ(std::string(t->left->text), leaf63);
  treefree(t);
  EXPECT_EXIT(P(leaf64 + "=1"), testing::ExitedWithCode(0), "^string2tree error\n$");
  // a long call is rewritten before any leaf is made
  std::string call = "f(" + leaf63 + "," + leaf63 + ")";
  t = P(call);
  EXPECT_EQ(treesizeof('|', t->right), 2);
  EXPECT_EQ(std::string(t->right->right->text), leaf63);
  treefree(t);
}

static std::string towrite(const tree *t, bool null_stream = false) {
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  treewrite(t, null_stream ? nullptr : f);
  fclose(f);
  std::string s(buf, len);
  free(buf);
  return s;
}

TEST(Print, Write) {
  struct row {
    const char *text, *out;
  } rows[] = {
      {"x+1", "(x + 1 )"},
      {"a;b", "(a ; \nb )"},
      {"a#b", "(a # \nb )"},
      {"!x", "! x "},
      {"AG(x=1)", "A G (x = 1 )"},
      {"p:x=1;q", "((p : (x = 1 )); \nq )"},
      {"", ""},
  };
  for (auto &r : rows) {
    tree *t = P(r.text);
    EXPECT_EQ(towrite(t), r.out) << r.text;
    EXPECT_EQ(towrite(t, true), "");
    treefree(t);
  }
  tree *t = P("x+1");
  testing::internal::CaptureStdout();
  treew(t);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "treew 0\n(x + 1 )treew 1\n");
  treefree(t);
}

TEST(Print, WritesAtPosition) {
  tree *t = P("x+1");
  std::string buf = "abc";
  EXPECT_EQ(treewrites(t, buf, 1), 6);
  EXPECT_EQ(buf, "a(x+1)");
  EXPECT_EQ(treewrites(nullptr, buf, 3), 3);
  EXPECT_EQ(buf, "a(x");
  treefree(t);
}

TEST(Print, CallSyntax) {
  struct row {
    const char *text, *out;
  } rows[] = {
      {"f(a,b)", "f(a,b);"},
      {"p", "p();"},
      {"f()", "f();"},
      {"phil(f[i],f[(i+1)%3])", "phil(f[i],f[(i+1)%3]);"},
      {"f(a+1,!b,-1,(!a)=b)", "f((a+1),(!b),(-1),((!a)=b));"},
      {"x=*", "(x=*);"},
      {"a&b:x=1", "((a&b):(x=1));"},
  };
  for (auto &r : rows) {
    tree *t = P(r.text);
    std::string buf = "k_x_1:";
    EXPECT_EQ(treewritep(t, buf, 6, 0), 6 + (int)strlen(r.out)) << r.text;
    EXPECT_EQ(buf, std::string("k_x_1:") + r.out);
    tree *back = P(buf.substr(6));   // the written text reads back as the same tree
    EXPECT_EQ(treediff(t, back), 0) << r.text << " -> " << buf;
    treefree(t), treefree(back);
  }
  tree *t = P("a|b+1|c");
  std::string args;
  treewritep(t, args, 0, 1);
  EXPECT_EQ(args, "a,(b+1),c");
  treefree(t);
}
