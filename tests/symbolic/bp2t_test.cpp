// Transition system construction: names and lookup, formula translation,
// partitions, the functional relation, and the choice of forward images.
#include "symtest.h"

#include <set>

static std::set<state> imageof(const oracle &o, const std::set<state> &from) {
  std::set<state> r;
  for (state s : from)
    for (auto &e : o.succ[s]) r.insert(e.first);
  return r;
}

static tbd setof(int n, const std::set<state> &xs) {
  tbd r = TBDomg;
  for (state x : xs) {
    tbd c = TBDtau;
    for (int k = n; k >= 1; k--) c = TBDcn(TBDap((x >> (k - 1)) & 1 ? 2 * k - 1 : -(2 * k - 1)), c);
    r = TBDds(r, c);
  }
  return r;
}

static bool sameset(tbd a, tbd b) {
  return TBDmp(TBDcn(a, TBDng(b))) && TBDmp(TBDcn(b, TBDng(a)));
}

TEST(Bp2t, NamesAndLookup) {
  bprog b;
  b.n = 12;
  useprog(b);
  EXPECT_EQ(12, ggt->n);
  EXPECT_EQ("1", ggt->curnames[0]);
  EXPECT_EQ("24", ggt->nextnames[11]);
  ASSERT_EQ(24u, ggt->looknames.size());
  for (size_t i = 1; i < ggt->looknames.size(); i++)
    EXPECT_LT(ggt->looknames[i - 1], ggt->looknames[i]);   // byte-wise order: "1" "10" "11" ...
  struct row {
    const char *name;
    int label;
  } rows[] = {{"1", 1}, {"12", 23}, {"13", 2}, {"24", 24}, {"10", 19}, {"2", 3}};
  for (auto &r : rows) {
    EXPECT_EQ(r.label, TPsnm(r.name, ggt->looknames, ggt->looklabels, 0, 23)) << r.name;
    EXPECT_EQ(TBDap(r.label), TPtbdvar(ggt, r.name));
  }
  EXPECT_EQ(0, TPsnm("25", ggt->looknames, ggt->looklabels, 0, 23));
  EXPECT_EQ(TBDomg, TPtbdvar(ggt, "_"));
  EXPECT_EQ(TBDtau, TPtbdvar(ggt, "^"));
  EXPECT_EXIT(TPtbdvar(ggt, "x7"), testing::ExitedWithCode(0),
              "variable not in the given list error");
  freebprog(b);
}

TEST(Bp2t, FormulaTranslation) {
  bprog b;
  b.n = 3;
  useprog(b);
  std::mt19937 rng(3);
  for (int i = 0; i < 200; i++) {
    tree *f = randprop(rng, 3, 4);
    if (i % 3 == 0) f = treecompose(";", f, randprop(rng, 3, 2));   // ";" is a disjunction
    if (i % 5 == 0) f = treecompose(":", f, randprop(rng, 3, 2));   // ":" a conjunction
    tbd t = TPfml(ggt, f);
    for (state s = 0; s < 8; s++) {
      tbd v = t;
      for (int k = 1; k <= 3; k++) v = TBDrestrict(v, (s >> (k - 1)) & 1 ? 2 * k - 1 : -(2 * k - 1));
      EXPECT_EQ(evalf(f, 3, s, 0) ? TBDtau : TBDomg, TBDiterativeabs(v)) << i;
    }
    treefree(f);
  }
  EXPECT_EQ(TBDnull, TPfml(ggt, nullptr));
  tree *g = treecompose("G", nullptr, N(1));
  EXPECT_EXIT(TPfml(ggt, g), testing::ExitedWithCode(0), "TPfml error");
  treefree(g);
  // A long right spine (an initial condition of many conjuncts) needs no deep recursion.
  tree *chain = N(1);
  for (int i = 0; i < 200000; i++) chain = treecompose(";", N(1 + i % 3), chain);
  EXPECT_EQ(TBDds(TBDds(TBDap(1), TBDap(3)), TBDap(5)), TPfml(ggt, chain));
  treefree(chain);
  freebprog(b);
}

TEST(Bp2t, PartitionsAndFrames) {
  bprog b;
  b.n = 3;
  b.init = NOT(N(1));
  b.guard.push_back(L("^"));        // copies every bit
  b.action.push_back(AND(IFF(N(4), N(1)), AND(IFF(N(5), N(2)), IFF(N(6), N(3)))));
  b.guard.push_back(AND(N(1), NOT(N(1))));   // never fires
  b.action.push_back(N(4));
  b.guard.push_back(N(2));          // bit 1 := bit 3, others unchanged
  b.action.push_back(AND(IFF(N(4), N(3)), AND(IFF(N(5), N(2)), IFF(N(6), N(3)))));
  useprog(b);
  ASSERT_EQ(3, ggt->pcount);
  EXPECT_NE(0, ggt->fwmode);
  const tsyspart &p0 = ggt->parts[0], &p1 = ggt->parts[1], &p2 = ggt->parts[2];
  EXPECT_EQ(TBDtau, p0.funrel);     // everything unchanged: relation true
  for (int l = 1; l <= 6; l++) EXPECT_EQ(1, p0.frame.f[(size_t)l]) << l;
  EXPECT_EQ(TBDomg, p1.guard);      // counted but empty
  EXPECT_EQ(TBDnull, p1.fwrel);
  EXPECT_EQ(TBDnull, p1.bwrel);
  EXPECT_EQ(0, p2.frame.f[1]);
  EXPECT_EQ(1, p2.frame.f[3]);
  EXPECT_EQ(1, p2.frame.f[6]);
  // The functional relation relates bit 1 (odd label, new value) to bit 3
  // (unchanged, odd label): x1 <-> x5.
  EXPECT_TRUE(sameset(p2.funrel, TBDcn(TBDds(TBDap(-1), TBDap(5)), TBDds(TBDap(1), TBDap(-5)))));
  EXPECT_EQ(TBDomg, TBDfw(TBDomg));
  EXPECT_EQ(TBDomg, TBDbw(TBDomg));
  freebprog(b);
}

// Forward and backward images of every transition system agree with the
// explicit successor relation, whatever image mode the construction chose.
TEST(Bp2t, ImagesMatchOracle) {
  std::mt19937 rng(5);
  int relational = 0, functional = 0;
  for (int round = 0; round < 150; round++) {
    bprog b = randprog(rng, 2 + round % 3, 0);
    b.puretrans = round % 7 != 0;
    oracle o(b);
    useprog(b);
    (ggt->fwmode ? functional : relational)++;
    for (int k = 0; k < 6; k++) {
      std::set<state> from;
      for (state s = 0; s < (state)o.S; s++)
        if (rng() % 3 == 0) from.insert(s);
      tbd f = setof(b.n, from);
      EXPECT_TRUE(sameset(setof(b.n, imageof(o, from)), TBDfw(f))) << "fw round " << round;
      std::set<state> pre;
      for (state s = 0; s < (state)o.S; s++)
        for (auto &e : o.succ[s])
          if (from.count(e.first)) pre.insert(s);
      EXPECT_TRUE(sameset(setof(b.n, pre), TBDbw(f))) << "bw round " << round;
    }
    freebprog(b);
  }
  EXPECT_GT(relational, 10);
  EXPECT_GT(functional, 10);
}

// x := * leaves the next bit open: the decomposition cannot be exact, and
// the forward image must still reach both values.
TEST(Bp2t, FreeChoiceUsesRelationalImage) {
  bprog b;
  b.n = 2;                          // bit 1 free, bit 2 := !bit 2
  b.init = AND(NOT(N(1)), NOT(N(2)));
  b.guard.push_back(L("^"));
  b.action.push_back(IFF(N(4), NOT(N(2))));
  useprog(b);
  tbd img = TBDfw(ggt->init);
  EXPECT_TRUE(sameset(img, TBDap(3)));   // bit 1 either way, bit 2 set
  tree *ag = Q("A", "G", nullptr, NOT(AND(NOT(N(1)), N(2))));   // 0,1 is reachable
  EXPECT_EQ(0, dmc(ag, -1));
  EXPECT_EQ(0, dmc(ag, 11));
  tree *ef = Q("E", "F", nullptr, AND(NOT(N(1)), N(2)));
  EXPECT_EQ(1, dmc(ef, 11));
  treefree(ag);
  treefree(ef);
  freebprog(b);

  // A transition that deadlocks only in the state the free choice forgets.
  b.n = 1;
  b.init = NOT(N(1));
  b.guard.push_back(NOT(N(1)));
  b.action.push_back(L("^"));       // x := *
  useprog(b);
  EXPECT_EQ(0, dmcDFTT(DMC_DEADLOCKFREE));   // state 1 is reachable and has no successor
  std::vector<int> labels;
  CEXselect(ggt->cex, labels);
  ASSERT_EQ(2u, ggt->cex->layers.size());
  EXPECT_EQ(1u, cubestate(ggt->cex->layers[1], 1));
  freebprog(b);
}

// No initial formula: every state is initial; a ";" list is a conjunction.
TEST(Bp2t, InitialCondition) {
  bprog b;
  b.n = 2;
  useprog(b);
  EXPECT_EQ(TBDtau, ggt->init);
  tree *ag = Q("A", "G", nullptr, N(1));
  EXPECT_EQ(0, dmc(ag, 11));
  EXPECT_EQ(0, dmc(ag, -1));
  treefree(ag);

  prg *p = mkprg(b);
  treefree(p->prog->right->left);
  p->prog->right->left = treecompose(";", N(1), treecompose(";", NOT(N(2)), nullptr));
  if (ggt) {
    CEXfree(ggt->cex);
    delete ggt;
  }
  ggt = prg2t(p, nullptr);
  EXPECT_STREQ(";", p->prog->right->left->text) << "the record is only read";
  EXPECT_TRUE(sameset(ggt->init, TBDcn(TBDap(1), TBDap(-3))));
  freeprg(p);
  freebprog(b);
}
