// Lists: length, both cursors, merge, pairwise folds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tree/tree.h"
#include "treetest.h"

static std::vector<std::string> elements(tree *l, bool second) {
  std::vector<std::string> v;
  auto get = second ? listgetone2 : listgetone;
  for (tree *e = get(l, 0); e; e = get(l, 1)) v.push_back(W(e));
  return v;
}

TEST(List, LengthAndCursors) {
  tree *one = P("x"), *three = P("a;b=1;c");
  EXPECT_EQ(listlength(nullptr), 0);
  EXPECT_EQ(listlength(one), 1);
  EXPECT_EQ(listlength(three), 3);
  EXPECT_EQ(elements(one, false), (std::vector<std::string>{"x"}));
  EXPECT_EQ(listgetone(one, 1), nullptr);   // stays at the end
  EXPECT_EQ(elements(three, true), (std::vector<std::string>{"a", "(b=1)", "c"}));
  EXPECT_EQ(listgetone(nullptr, 0), nullptr);

  // the two cursors are independent: a nested loop over another list
  tree *inner = P("1;2");
  std::string pairs;
  for (tree *e = listgetone2(three, 0); e; e = listgetone2(three, 1))
    for (tree *f = listgetone(inner, 0); f; f = listgetone(inner, 1)) pairs += W(e) + W(f) + " ";
  EXPECT_EQ(pairs, "a1 a2 (b=1)1 (b=1)2 c1 c2 ");
  treefree(one), treefree(three), treefree(inner);
}

TEST(List, Get1nAndTraverse) {
  tree *l = P("a;b;c");
  EXPECT_EQ(W(listget1n(l, 1)), "a");
  EXPECT_EQ(W(listget1n(l, 3)), "c");
  EXPECT_EQ(listget1n(l, 4), nullptr);
  EXPECT_EQ(listget1n(l, 0), nullptr);
  EXPECT_EQ(listget1n(l, -1), nullptr);
  EXPECT_EQ(W(listget1n(l, 2)), "b");
  EXPECT_EQ(W(listgetone(l, 1)), "c");   // listget1n moves the first cursor

  static std::string seen;
  seen.clear();
  listtraverse(l, [](tree *e) { seen += e->text; });
  EXPECT_EQ(seen, "abc");
  treefree(l);
}

TEST(List, Merge) {
  tree *a = P("a;b"), *b = P("c;d");
  tree *m = listmerge(a, b);
  EXPECT_EQ(m, a);
  EXPECT_EQ(elements(m, false), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(listmerge(m, nullptr), m);
  EXPECT_EQ(listlength(m), 4);
  tree *x = P("x");
  EXPECT_EQ(listmerge(nullptr, x), x);
  m = listmerge(x, m);   // a single element becomes a cell in place
  EXPECT_EQ(m, x);
  EXPECT_EQ(W(m), "(x;(a;(b;(c;d))))");
  treefree(m);
}

static tree *pair(tree *x, tree *y, tree *rest) {
  tree *p = treecompose("&", treecopy(x), treecopy(y));
  return rest ? treecompose(";", p, rest) : p;
}

TEST(List, CombineLengthensTheShorter) {
  struct row {
    const char *a, *b, *plain, *dist;
  } rows[] = {
      {"a;b;c", "d", "((a&_);((b&_);(c&d)))", "((a&d);((b&d);(c&d)))"},
      {"d", "a;b", "((_&a);(d&b))", "((d&a);(d&b))"},
      {"a;b", "c;d", "((a&c);(b&d))", "((a&c);(b&d))"},
      {"a;b;c", "p;q", "((a&_);((b&p);(c&q)))", "((a&(p;q));((b&p);(c&q)))"},
  };
  for (auto &r : rows) {
    tree *a = P(r.a), *b = P(r.b);
    std::string wa = W(a), wb = W(b);
    tree *c = listcombine(pair, a, b), *d = listcombinedist(pair, a, b);
    EXPECT_EQ(W(c), r.plain) << r.a << " / " << r.b;
    EXPECT_EQ(W(d), r.dist) << r.a << " / " << r.b;
    EXPECT_EQ(W(a), wa);   // arguments untouched
    EXPECT_EQ(W(b), wb);
    treefree(a), treefree(b), treefree(c), treefree(d);
  }
  // an empty list is lengthened with "_" or with empty elements
  tree *a = P("a;b");
  tree *c = listcombine(pair, a, nullptr), *d = listcombinedist(pair, a, nullptr);
  EXPECT_EQ(W(c), "((a&_);(b&_))");
  EXPECT_EQ(W(d), "((a&);(b&))");
  treefree(a), treefree(c), treefree(d);
}

TEST(List, CombOneFoldsFromTheRight) {
  static std::string order;
  order.clear();
  tree *a = P("1;2;3"), *b = P("4;5;6");
  tree *r = listcombone(
      [](tree *x, tree *y, tree *rest) {
        order += x->text;
        return treecompose("+", treecompose(y->text, nullptr, nullptr), rest);
      },
      a, b);
  EXPECT_EQ(order, "321");
  EXPECT_EQ(W(r), "(4+(5+(6+)))");
  treefree(a), treefree(b), treefree(r);
}
