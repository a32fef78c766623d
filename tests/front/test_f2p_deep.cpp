// Long lists (100,000 transitions, 20,000 properties) are flattened without
// deep recursion; the deadlock condition spans all transitions.
#include "f2ptest.h"

using namespace f2pt;

namespace {

TEST(F2pDeep, LongLists) {
  scratch s;
  const int n = 100000;
  std::string m = "LUM VAR x : 0..1; INIT x = 0; TRANS ";
  for (int i = 0; i < n; ++i) m += "x = 0 : x := 1; ";
  m += "SPEC ";
  for (int i = 0; i < n / 5; ++i) m += "AG(x = 0); ";
  ggbrec *g = flat(m);
  f2p1INFO(g);
  EXPECT_EQ(g->program->procs[0].n, n);
  EXPECT_EQ(listlength(part(g, 4)), n / 5);
  EXPECT_EQ(treesizeof('&', g->program->dead), n);
}

}  // namespace
