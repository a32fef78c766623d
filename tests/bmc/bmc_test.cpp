// The encoding on hand-built programs: shared paths, constants, dead ends,
// long bounds, the CNF conversion by node identity, and the solver deadline.
#include <fstream>

#include "bmctest.h"
#include "opt/opt.h"
#include "../main/run.h"

#include <unistd.h>

namespace {

tree *A(const char *op, tree *l, tree *r) { return Q("A", op, l, r); }
tree *X(tree *f) { return A("X", nullptr, f); }
tree *AG(tree *f) { return A("G", nullptr, f); }
tree *AF(tree *f) { return A("F", nullptr, f); }

// Two bits. Bit 1 is set by step 1 or cleared by step 2 (a branch), bit 2
// records that a step was taken; from bit 2 set there is no successor.
bprog branching() {
  bprog b;
  b.n = 2;
  b.init = AND(NOT(N(1)), NOT(N(2)));
  b.guard = {NOT(N(2)), NOT(N(2))};
  b.action = {AND(N(3), N(4)), AND(NOT(N(3)), N(4))};
  return b;
}

struct encase {
  const char *name;
  std::function<bprog()> model;
  std::function<tree *()> prop;
  int verdict;                      // expected (the oracle agrees)
  int bound;                        // bound of the verdict
};

TEST(Bmc, HandBuiltCases) {
  const encase cases[] = {
      // a disjunction of universal operands needs a path for each
      {"AX p | AX !p", branching, [] { return OR(X(N(1)), X(NOT(N(1)))); }, -1, 1},
      {"AX p & AX !p", branching, [] { return AND(X(N(1)), X(NOT(N(1)))); }, -1, 1},
      // dead ends: AG fails at the violating dead end, AF and AX hold vacuously there
      {"AG !2 reaches a dead end", branching, [] { return AG(NOT(N(2))); }, -1, 1},
      {"AF 2", branching, [] { return AF(N(2)); }, 1, 1},
      {"AG AX 1 | 2", branching, [] { return AG(OR(N(2), X(N(1)))); }, -1, 1},
      {"AX AX 1: no second step", branching, [] { return X(X(N(1))); }, 1, 1},
      {"AG AF 1: only dead ends", branching, [] { return AG(AF(N(1))); }, 1, 2},
      // constants
      {"empty INIT",
       [] {
         bprog b = branching();
         treefree(b.init);
         b.init = L("_");
         return b;
       },
       [] { return AG(N(1)); }, 1, 0},
      {"no transitions",
       [] {
         bprog b;
         b.n = 1;
         b.init = NOT(N(1));
         return b;
       },
       [] { return AND(AG(NOT(N(1))), AF(N(1))); }, 1, 1},
      {"unguarded transition",
       [] {
         bprog b;
         b.n = 1;
         b.init = NOT(N(1));
         b.guard = {nullptr};
         b.action = {N(2)};
         return b;
       },
       [] { return AG(NOT(N(1))); }, -1, 1},
      {"TRUE init, FALSE property",
       [] {
         bprog b;
         b.n = 1;
         b.init = L("^");
         b.guard = {L("^")};
         b.action = {L("^")};
         return b;
       },
       [] { return L("_"); }, -1, 0},
  };
  for (const encase &c : cases) {
    SCOPED_TRACE(c.name);
    bprog b = c.model();
    oracle o(b);
    tree *f = TLFnnf(c.prop());
    EXPECT_EQ(o.holds(f) ? 1 : -1, c.verdict) << "the case itself";
    bmcresult r = bmcrun(b, f, 8);
    EXPECT_EQ(c.verdict, r.verdict);
    EXPECT_EQ(c.bound, r.bound);
    if (r.verdict == -1) checklasso(o, tracestates(r.trace), r.trace.labels, r.trace.loop);
    treefree(f);
    freebprog(b);
  }
}

// Bounds from 5 on: no path of that length exists, the dead end at bound 1
// still decides.
TEST(Bmc, LowerBoundPastTheDeadEnds) {
  bprog b = branching();
  tree *ag = AG(NOT(N(2))), *af = AF(N(2));
  bmcresult r = bmcrun(b, ag, 6, 5);
  EXPECT_EQ(-1, r.verdict);
  EXPECT_EQ(5, r.bound);
  r = bmcrun(b, af, 6, 5);
  EXPECT_EQ(1, r.verdict);
  treefree(ag);
  treefree(af);
  freebprog(b);
}

// A long bound: the loop condition has k(k+1)/2 state pairs.
TEST(Bmc, LongBound) {
  bprog b;
  b.n = 2;
  b.init = AND(NOT(N(1)), NOT(N(2)));
  b.guard = {L("^")};
  b.action = {AND(IFF(N(3), NOT(N(1))), NOT(N(4)))};   // bit 1 toggles, bit 2 stays 0
  tree *f = AG(NOT(N(2)));
  EXPECT_EQ(SATUNSAT, bmcsolve(b, f, 100, 1));
  EXPECT_EQ(SATUNSAT, bmcsolve(b, f, 100, 0));
  treefree(f);
  freebprog(b);
}

// A formula that is a tree of 2^40 nodes but a DAG of 120: one auxiliary
// variable per distinct compound node.
TEST(Bmc, OneVariablePerDistinctNode) {
  BMCfml F;
  tree *n = BMClit(F, 1);
  for (int i = 0; i < 40; i++)
    n = BMCor(F, BMCand(F, n, BMClit(F, i + 2)), BMCand(F, BMClit(F, -(i + 2)), n));
  CNFmodel m = CNFspec2model(n, 100);
  EXPECT_EQ(100 + 3 * 40 - 1, m.nv);   // the asserted root needs none
  EXPECT_EQ(1 + 39 + 2 * 80, m.nc);    // root clause, inner disjunctions, two per conjunction
  EXPECT_EQ(SATSAT, SATsolve(m, SATlimits{}, nullptr));
}

// An external solver still running at the time limit is ended there.
TEST(Bmc, SolverEndedAtTheDeadline) {
  auto dir = lumscratch();
  char old[4096];
  ASSERT_TRUE(getcwd(old, sizeof old));
  ASSERT_EQ(0, chdir(dir.c_str()));
  std::ofstream("slow.sh") << "#!/bin/sh\nsleep 30\nexit 10\n";
  ASSERT_EQ(0, chmod("slow.sh", 0755));
  CNFmodel m;
  CNFaddclause(m, {1, 2});
  int keep = PAR_tm;
  time_t keept0 = t0;
  PAR_tm = 60;
  t0 = std::time(nullptr) - 60;        // the limit strikes within a second
  time_t start = std::time(nullptr);
  EXPECT_EQ(0, SOLVEapply("./slow.sh", m, 0, nullptr));
  EXPECT_EQ(BMC_LIMIT, SOLVEstop);
  EXPECT_LT(std::time(nullptr) - start, 10);
  PAR_tm = keep;
  t0 = keept0;
  ASSERT_EQ(0, chdir(old));
  std::filesystem::remove_all(dir);
}

}  // namespace
