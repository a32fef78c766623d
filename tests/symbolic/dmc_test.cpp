// Fixpoint checks against the explicit-state oracle, algorithm codes,
// fairness, built-in properties, and the formulas outside the fragment.
#include "opt/opt.h"
#include "symtest.h"
#include "../tbd/tbdtest.h"

// One node store for the whole test program, created before any test runs.
static const int storeready = (teststore(64), 1);

TEST(Dmc, TestOrderTakesEffect) {
  EXPECT_EQ(TBDmmordered(), std::getenv("LUMET_TEST_ORDER") != nullptr);
}

// Every property class on random programs, with and without fairness: the
// backward verdict (code -1) must match the oracle; A G p and E F p also
// through the forward methods with every code digit.
TEST(Dmc, RandomProgramsAgainstOracle) {
  std::mt19937 rng(7);
  int checked = 0, falses = 0;
  for (int round = 0; round < 120; round++) {
    int n = 2 + round % 3;
    bprog b = randprog(rng, n, round % 3 == 0 ? 0 : round % 3);
    oracle o(b);
    useprog(b);
    for (int f = 0; f < 6; f++) {
      tree *phi = randctl(rng, n, 3);
      bool want = o.holds(phi);
      EXPECT_EQ(want ? 1 : 0, dmc(phi, -1)) << "round " << round << " formula " << f;
      checked++;
      falses += !want;
      treefree(phi);
    }
    for (int code : {11, 0, 1, 2, 21, 12, 111, 211}) {
      tree *ag = Q("A", "G", nullptr, randprop(rng, n, 2));
      EXPECT_EQ(o.holds(ag) ? 1 : 0, dmc(ag, code)) << "AG round " << round << " code " << code;
      tree *ef = Q("E", "F", nullptr, randprop(rng, n, 2));
      EXPECT_EQ(o.holds(ef) ? 1 : 0, dmc(ef, code)) << "EF round " << round << " code " << code;
      treefree(ag);
      treefree(ef);
    }
    EXPECT_EQ(o.deadlockfree() ? 1 : 0, dmcDFTT(DMC_DEADLOCKFREE)) << "df round " << round;
    Xce = 1;                        // no trace: the verdict of the chained search stands
    EXPECT_EQ(o.deadlockfree() ? 1 : 0, dmcDFTT(DMC_DEADLOCKFREE)) << "df -Xce round " << round;
    Xce = 0;
    EXPECT_EQ(o.total() ? 1 : 0, dmcDFTT(DMC_TOTAL)) << "tt round " << round;
    freebprog(b);
  }
  EXPECT_GT(falses, checked / 5);   // both verdicts are exercised
  EXPECT_LT(falses, checked * 4 / 5);
}

// With the smallest trigger every fixpoint loop collects whenever the store
// has grown: the iterates kept at the safe points must be all it needs.
TEST(Dmc, CollectionsInsideFixpoints) {
  std::mt19937 rng(23);
  uint64_t before = TBDst.collections, gcmin = TBDgcmin;
  TBDgcmin = 0;
  TBDgcgrowth = 1;
  TBDgctable = 0;
  for (int round = 0; round < 40; round++) {
    int n = 2 + round % 3;
    bprog b = randprog(rng, n, round % 2);
    oracle o(b);
    useprog(b);
    for (int f = 0; f < 3; f++) {
      tree *phi = randctl(rng, n, 3);
      EXPECT_EQ(o.holds(phi) ? 1 : 0, dmc(phi, -1)) << "round " << round;
      treefree(phi);
    }
    tree *ag = Q("A", "G", nullptr, randprop(rng, n, 2));
    EXPECT_EQ(o.holds(ag) ? 1 : 0, dmc(ag, 11)) << "round " << round;
    treefree(ag);
    EXPECT_EQ(o.deadlockfree() ? 1 : 0, dmcDFTT(DMC_DEADLOCKFREE)) << "df round " << round;
    freebprog(b);
  }
  TBDgcmin = gcmin;
  TBDgcgrowth = 2;
  TBDgctable = 0.25;
  EXPECT_GT(TBDst.collections, before + 10);
  EXPECT_EQ(TBDmmcheck(), 0);
}

// The backward image through the written bits only, on random programs
// (framed, free and relational bits), against the explicit predecessors and
// the image through the whole relation.
TEST(Dmc, BackwardImageAgainstOracle) {
  std::mt19937 rng(11);
  for (int round = 0; round < 60; round++) {
    int n = 2 + round % 3;
    bprog b = randprog(rng, n, 0);
    oracle o(b);
    useprog(b);
    for (int k = 0; k < 4; k++) {
      sset z = o.all(false);
      tbd s = TBDomg;
      for (int x = 0; x < o.S; x++)
        if (rng() % 3 == 0) {
          z[(size_t)x] = true;
          tbd m = TBDtau;
          for (int j = 1; j <= n; j++) m = TBDcn(m, TBDap((x >> (j - 1)) & 1 ? 2 * j - 1 : -(2 * j - 1)));
          s = TBDds(s, m);
        }
      tbd img = TBDbw(s), rel = TBDbwrel(s);
      sset got = o.all(false);
      for (int x = 0; x < o.S; x++) {
        tbd m = TBDtau;
        for (int j = 1; j <= n; j++) m = TBDcn(m, TBDap((x >> (j - 1)) & 1 ? 2 * j - 1 : -(2 * j - 1)));
        got[(size_t)x] = !TBDmp(TBDcn(img, m));
      }
      EXPECT_EQ(got, o.pre(z)) << "round " << round;
      EXPECT_TRUE(TBDmp(TBDcn(img, TBDng(rel))) && TBDmp(TBDcn(rel, TBDng(img)))) << "round " << round;
    }
    freebprog(b);
  }
}

// Fixed systems for each operator: a 2-bit counter 0 -> 1 -> 2 -> 3 -> 3.
static bprog counter() {
  bprog b;
  b.n = 2;                          // value = 2*bit1 + bit2 (bit 1 most significant)
  b.init = AND(NOT(N(1)), NOT(N(2)));
  // next bit2 = !bit2 unless at 3; next bit1 = bit1 | bit2
  tree *at3 = AND(N(1), N(2));
  b.guard.push_back(NOT(treecopy(at3)));
  b.action.push_back(AND(IFF(N(3), OR(N(1), N(2))), IFF(N(4), NOT(N(2)))));
  b.guard.push_back(at3);
  b.action.push_back(AND(N(3), N(4)));
  return b;
}

TEST(Dmc, OperatorsOnCounter) {
  bprog b = counter();
  useprog(b);
  tree *three = AND(N(1), N(2));
  tree *zero = AND(NOT(N(1)), NOT(N(2)));
  struct row {
    tree *f;
    int want;
  } rows[] = {
      {Q("A", "F", nullptr, treecopy(three)), 1},
      {Q("E", "F", nullptr, treecopy(three)), 1},
      {Q("A", "G", nullptr, NOT(treecopy(three))), 0},
      {Q("E", "G", nullptr, NOT(treecopy(three))), 0},
      {Q("A", "X", nullptr, N(2)), 1},
      {Q("E", "X", nullptr, N(1)), 0},
      {Q("A", "U", NOT(N(1)), N(1)), 1},
      {Q("E", "U", N(1), treecopy(three)), 0},
      {Q("A", "R", treecopy(three), OR(NOT(N(1)), N(2))), 0},
      {Q("E", "R", N(1), treecopy(zero)), 0},
      {Q("A", "G", nullptr, Q("A", "F", nullptr, treecopy(three))), 1},
      {Q("A", "F", nullptr, Q("A", "G", nullptr, treecopy(three))), 1},
      {treecopy(zero), 1},
  };
  oracle o(b);
  for (auto &r : rows) {
    EXPECT_EQ(r.want, o.holds(r.f) ? 1 : 0) << (&r - rows);
    EXPECT_EQ(r.want, dmc(r.f, -1));
    treefree(r.f);
  }
  treefree(three);
  treefree(zero);
  freebprog(b);
}

// A bad initial state is found before any image: only the bound-0 lines.
TEST(Dmc, ForwardEdgeCases) {
  bprog b = counter();
  useprog(b);
  progresscount = 0;
  tree *ag0 = Q("A", "G", nullptr, OR(N(1), N(2)));   // value 0 is initial
  EXPECT_EQ(0, dmc(ag0, 11));
  EXPECT_EQ(2, progresscount);
  ASSERT_NE(nullptr, ggt->cex);
  EXPECT_EQ(1u, ggt->cex->layers.size());
  treefree(ag0);

  // A true invariant: code 11 stops on the empty frontier (4 states, 4 steps),
  // code 0 when an image repeats (the self-loop at 3 keeps producing 3).
  tree *ok = Q("A", "G", nullptr, OR(NOT(N(1)), OR(N(2), NOT(N(2)))));
  EXPECT_EQ(1, dmc(ok, 11));
  size_t layers11 = ggt->cex->layers.size();
  EXPECT_EQ(1, dmc(ok, 0));
  EXPECT_LT(ggt->cex->layers.size(), layers11);
  treefree(ok);

  // Code 21: the reached set is tested on odd steps only; the verdict stays.
  tree *ag3 = Q("A", "G", nullptr, NOT(AND(N(1), N(2))));
  EXPECT_EQ(0, dmc(ag3, 21));
  EXPECT_EQ(0, dmc(ag3, 1));   // no error test: the final test on the set decides
  EXPECT_EQ(0, dmc(ag3, 3));
  treefree(ag3);

  // E F p with p initial: one backward step.
  tree *ef = Q("E", "F", nullptr, NOT(N(1)));
  progresscount = 0;
  EXPECT_EQ(1, dmc(ef, 11));
  EXPECT_EQ(2, progresscount);
  treefree(ef);
  freebprog(b);
}

// The loop must end when a stable set keeps coming back as a new node: the
// identity test never fires for a sequence of semantically equal nodes.
TEST(Dmc, ConvergenceOnNonCanonicalIterates) {
  bprog b;
  b.n = 2;
  b.init = NOT(N(1));
  b.guard.push_back(L("^"));
  b.action.push_back(AND(IFF(N(3), N(1)), IFF(N(4), N(2))));
  useprog(b);
  // EG over a set built the long way: (x1 | !x1) & (x2 | !x2) ...
  tree *taut = AND(OR(N(1), NOT(N(1))), OR(N(2), NOT(N(2))));
  tree *eg = Q("E", "G", nullptr, taut);
  EXPECT_EQ(1, dmc(eg, -1));
  tree *ef = Q("E", "F", nullptr, AND(N(1), N(2)));
  EXPECT_EQ(0, dmc(ef, -1));
  EXPECT_EQ(0, dmc(ef, 11));
  treefree(eg);
  treefree(ef);
  freebprog(b);
}

// Fairness changes a liveness verdict: a process that may idle forever.
TEST(Dmc, FairnessChangesVerdict) {
  bprog b;
  b.n = 2;                          // bit 1: ball, bit 2: who moved last
  b.init = AND(NOT(N(1)), NOT(N(2)));
  b.guard.push_back(L("^"));        // player 0 idles
  b.action.push_back(AND(IFF(N(3), N(1)), NOT(N(4))));
  b.guard.push_back(L("^"));        // player 1 sets the ball
  b.action.push_back(AND(N(3), N(4)));
  tree *af = Q("A", "F", nullptr, N(1));
  tree *eg = Q("E", "G", nullptr, NOT(N(1)));
  useprog(b);
  EXPECT_EQ(0, dmc(af, -1));
  EXPECT_EQ(1, dmc(eg, -1));
  b.fair.push_back(N(2));           // "running" of player 1
  useprog(b);
  EXPECT_EQ(1, dmc(af, -1));
  EXPECT_EQ(0, dmc(eg, -1));
  EXPECT_EQ(1, dmcDFTT(DMC_DEADLOCKFREE));
  treefree(af);
  treefree(eg);
  freebprog(b);
}

// A fairness condition false everywhere: Fair is empty, every E formula is
// false, also on the forward path of E F; A formulas hold vacuously.
TEST(Dmc, EmptyFairSet) {
  bprog b = counter();
  b.fair.push_back(L("_"));
  useprog(b);
  EXPECT_EQ(1, TBDmp(DMCfair()));
  tree *ef = Q("E", "F", nullptr, NOT(N(1)));
  EXPECT_EQ(0, dmc(ef, -1));
  EXPECT_EQ(0, dmc(ef, 11));
  tree *ex = Q("E", "X", nullptr, L("^"));
  EXPECT_EQ(0, dmc(ex, -1));
  tree *ag = Q("A", "G", nullptr, L("_"));
  EXPECT_EQ(1, dmc(ag, 11));   // with fairness A G goes backward
  EXPECT_EQ(nullptr, ggt->cex);
  EXPECT_EQ(0, dmcDFTT(DMC_TOTAL));
  for (tree *t : {ef, ex, ag}) treefree(t);
  freebprog(b);
}

TEST(Dmc, DeadlockAndTotalness) {
  // A self-loop on the only reachable state.
  bprog b;
  b.n = 1;
  b.init = NOT(N(1));
  b.guard.push_back(NOT(N(1)));
  b.action.push_back(NOT(N(2)));
  useprog(b);
  EXPECT_EQ(1, dmcDFTT(DMC_DEADLOCKFREE));
  EXPECT_EQ(nullptr, ggt->cex);
  EXPECT_EQ(0, dmcDFTT(DMC_TOTAL));   // state 1 has no successor
  freebprog(b);

  // No transitions at all: the initial states are deadlocked.
  b.n = 2;
  b.init = N(1);
  useprog(b);
  EXPECT_EQ(0, dmcDFTT(DMC_DEADLOCKFREE));
  ASSERT_NE(nullptr, ggt->cex);
  std::vector<int> labels;
  CEXselect(ggt->cex, labels);
  ASSERT_EQ(1u, ggt->cex->layers.size());
  EXPECT_TRUE(cubestate(ggt->cex->layers[0], 2) & 1);
  freebprog(b);
}

TEST(Dmc, UnknownBuiltinIsFatal) {
  bprog b = counter();
  useprog(b);
  EXPECT_EXIT(dmcDFTT(3), testing::ExitedWithCode(0), "dmcDFTT error");
  freebprog(b);
}

// Path quantifiers that are not directly over one temporal operator with
// state-formula operands end cleanly.
TEST(Dmc, FormulasOutsideTheFragment) {
  bprog b = counter();
  useprog(b);
  tree *rows[] = {
      treecompose("A", nullptr, OR(treecompose("F", nullptr, N(1)), treecompose("G", nullptr, N(2)))),
      treecompose("E", nullptr, N(1)),
      Q("A", "F", nullptr, treecompose("G", nullptr, N(1))),
      Q("E", "G", nullptr, treecompose("F", nullptr, N(1))),
      treecompose("G", nullptr, N(1)),
      treecompose("A", nullptr, nullptr),
  };
  for (tree *f : rows) {
    EXPECT_EXIT(dmc(f, -1), testing::ExitedWithCode(0), "m2prop error");
    EXPECT_EXIT(dmc(f, 11), testing::ExitedWithCode(0), "m2prop error");
    treefree(f);
  }
  freebprog(b);
}

// Forward counterexamples of random false invariants and deadlocks are real
// traces of full states.
TEST(Dmc, CounterexampleTracesAreExecutions) {
  std::mt19937 rng(11);
  int traces = 0;
  for (int round = 0; round < 150; round++) {
    bprog b = randprog(rng, 2 + round % 3, 0);
    oracle o(b);
    useprog(b);
    tree *p = randprop(rng, b.n, 2);
    tree *ag = Q("A", "G", nullptr, treecopy(p));
    int code = round % 2 ? 11 : 21;
    if (!dmc(ag, code)) {
      std::vector<int> labels;
      CEXselect(ggt->cex, labels);
      checktrace(o, *ggt->cex, labels, oracle::bnot(o.sat(p)));
      traces++;
    }
    if (!dmcDFTT(DMC_DEADLOCKFREE)) {
      sset dead = o.all(false), r = o.reach();
      for (int s = 0; s < o.S; s++) dead[(size_t)s] = r[(size_t)s] && o.succ[(size_t)s].empty();
      std::vector<int> labels;
      CEXselect(ggt->cex, labels);
      checktrace(o, *ggt->cex, labels, dead);
      traces++;
    }
    treefree(p);
    treefree(ag);
    freebprog(b);
  }
  EXPECT_GT(traces, 50);
}

// The chained reachable set of the deadlock check against the oracle's, and
// the check itself with and without chaining: the same verdict, and when a
// deadlock is reachable the same trace state for state.
TEST(Dmc, ChainedDeadlockCheckKeepsTrace) {
  std::mt19937 rng(31);
  int dead = 0;
  for (int round = 0; round < 40; round++) {
    int n = 3 + round % 4;
    bprog b = randprog(rng, n, round % 4 == 3 ? 1 : 0);
    oracle o(b);
    useprog(b);
    tbd r = TBDfwchain(ggt->init);
    sset want = o.reach();
    for (state x = 0; x < (state)o.S; x++) {
      tbd cube = TBDtau;
      for (int k = n; k >= 1; k--) cube = TBDcn(TBDap((x >> (k - 1)) & 1 ? 2 * k - 1 : -(2 * k - 1)), cube);
      EXPECT_EQ(want[x], !TBDmp(TBDcn(r, cube))) << "round " << round << " state " << x;
    }
    std::vector<state> trace[2];
    std::vector<int> labels[2];
    for (int chain : {0, 1}) {
      DMCchaining = chain;
      int v = dmcDFTT(DMC_DEADLOCKFREE);
      EXPECT_EQ(o.deadlockfree() ? 1 : 0, v) << "round " << round << " chaining " << chain;
      if (v) continue;
      CEXselect(ggt->cex, labels[chain]);
      for (tbd l : ggt->cex->layers) trace[chain].push_back(cubestate(l, n));
    }
    DMCchaining = 1;
    EXPECT_EQ(trace[0], trace[1]) << "round " << round;
    EXPECT_EQ(labels[0], labels[1]) << "round " << round;
    dead += !trace[1].empty();
    freebprog(b);
  }
  EXPECT_GT(dead, 8);
  EXPECT_LT(dead, 32);
}

// Fatal ends leave the process with live allocations by design.
extern "C" int __lsan_is_turned_off() { return testing::internal::InDeathTestChild(); }
