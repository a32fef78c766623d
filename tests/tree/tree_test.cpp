#include <gtest/gtest.h>
#include "tree/tree.h"
TEST(Smoke, Parse) {
  tree *t = string2tree(std::string("a-b-c"));
  std::string s;
  treewrites(t, s, 0);
  EXPECT_EQ(s, "(a-(b-c))");
  treefree(t);
}
