// Operations checked against truth tables on random functions.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tbdtest.h"

namespace {

struct nodeshape {
  int32_t label;
  tbd lo, hi, rest;
};

nodeshape shape(tbd f) {
  const TBDnode n = TBDnd(f);
  return {n.label, n.lo, n.hi, n.rest};
}

bool negfree(tbd f) {
  bool ok = true;
  eachnode(f, [&](tbd g) { ok = ok && TBDlabel(g) > 0; });
  return ok;
}

// A cube: a chain of literal nodes through rest, ending in true; with
// canonical nodes a path with one false branch at each node.
bool iscube(tbd f) {
  while (TBDcanon && f != TBDtau) {
    if (f == TBDomg) return false;
    const TBDnode n = TBDnd(f);
    tbd lo = n.label < 0 ? n.lo ^ 1 : n.lo, hi = n.label < 0 ? n.hi ^ 1 : n.hi;
    if (n.rest != TBDtau || (lo != TBDomg && hi != TBDomg)) return false;
    f = lo == TBDomg ? hi : lo;
  }
  while (f != TBDtau) {
    if (f == TBDomg) return false;
    const TBDnode n = TBDnd(f);
    if (n.label < 0) return false;
    if (!((n.lo == TBDomg && n.hi == TBDtau) || (n.lo == TBDtau && n.hi == TBDomg))) return false;
    f = n.rest;
  }
  return true;
}

}  // namespace

TEST(TBDnewnode, NormalisationRules) {
  teststore();
  tbd x3 = TBDap(3), x5 = TBDap(5), y = TBDcn(x3, x5);
  EXPECT_EQ(TBDnewnode(-4, TBDtau, TBDtau, TBDtau), TBDomg);
  EXPECT_EQ(TBDnewnode(4, TBDomg, TBDomg, y), TBDomg);        // rule 1
  EXPECT_EQ(TBDnewnode(-4, TBDomg, TBDomg, y), TBDtau);
  EXPECT_EQ(TBDnewnode(4, x5, x3, TBDomg), TBDomg);           // rule 2
  EXPECT_EQ(TBDnewnode(4, TBDtau, TBDtau, y), y);             // rule 3
  EXPECT_EQ(TBDnewnode(-4, TBDtau, TBDtau, y), TBDng(y));
  EXPECT_EQ(TBDnewnode(2, y, y, TBDtau), y);                  // rule 4
  EXPECT_EQ(TBDnewnode(-2, y, y, TBDtau), TBDng(y));

  struct row {
    int32_t a;
    tbd lo, hi, rest;
    nodeshape want;
  } rows[] = {
      {2, TBDomg, TBDtau, TBDtau, {2, TBDomg, TBDtau, TBDtau}},    // literal x_2
      {2, TBDtau, TBDomg, TBDtau, {2, TBDtau, TBDomg, TBDtau}},    // literal NOT x_2
      {-2, TBDomg, TBDtau, TBDtau, {2, TBDtau, TBDomg, TBDtau}},   // rule 7: NOT x_2 is positive
      {-2, TBDtau, TBDomg, TBDtau, {2, TBDomg, TBDtau, TBDtau}},
      {2, y, TBDomg, TBDtau, {2, TBDtau, TBDomg, y}},              // rule 5
      {2, TBDomg, y, TBDtau, {2, TBDomg, TBDtau, y}},              // rule 6
      {2, y, x5, y, {2, TBDtau, x5, y}},                           // rule 7, A = C
      {2, x3, y, y, {2, x3, TBDtau, y}},                           // rule 8
      {2, x3, x3, y, {2, x3, x3, y}},                              // equal cofactors kept
  };
  for (const row &r : rows) {
    nodeshape s = shape(TBDnewnode(r.a, r.lo, r.hi, r.rest));
    EXPECT_EQ(s.label, r.want.label);
    EXPECT_EQ(s.lo, r.want.lo);
    EXPECT_EQ(s.hi, r.want.hi);
    EXPECT_EQ(s.rest, r.want.rest);
  }
}

TEST(TBDng, LiteralAndComplementConjunction) {
  teststore();
  tbd x = TBDap(7), nx = TBDng(x);
  EXPECT_EQ(nx, TBDap(-7));         // the positive literal (7, T, F, T)
  EXPECT_EQ(TBDlabel(nx), 7);
  EXPECT_EQ(TBDcn(x, nx), TBDomg);
  EXPECT_EQ(TBDng(nx), x);
  EXPECT_EQ(TBDng(TBDtau), TBDomg);
  EXPECT_EQ(islit(x), 7);
  EXPECT_EQ(islit(nx), -7);
  EXPECT_EQ(islit(TBDcn(x, TBDap(8))), 0);
}

TEST(TBDop, RandomFunctionsAgreeWithTruthTables) {
  teststore();
  std::mt19937 rng(12345);
  const std::vector<int> vars = varrange(1, TTVARS);
  int checked = 0;
  uint64_t fallbacks = TBDst.validfallbacks;
  for (int round = 0; round < 60; round++) {
    TBDvalidfactor = round % 2 ? 0 : 4;   // odd rounds: validity by elimination only
    int nv = 2 + round % (TTVARS - 1);
    auto pool = randomfns(rng, varrange(1, nv), 60);
    for (const randfn &r : pool) {
      ASSERT_EQ(ttof(r.f), r.t);    // TBDap, TBDng, TBDcn, TBDds
      checked++;
    }
    if (TBDcanon)                   // equal functions, equal handles
      for (const randfn &a : pool)
        for (const randfn &b : pool) ASSERT_EQ(a.f == b.f, a.t == b.t);
    for (int k = 0; k < 25; k++) {
      const randfn &a = pool[rng() % pool.size()];
      const randfn &b = pool[rng() % pool.size()];
      int v = 1 + (int)(rng() % (unsigned)nv);
      ASSERT_EQ(ttof(TBDcn(a.f, b.f)), a.t & b.t);
      ASSERT_EQ(ttof(TBDds(a.f, b.f)), a.t | b.t);
      ASSERT_EQ(ttof(TBDng(a.f)), ~a.t);
      ASSERT_EQ(ttof(TBDrestrict(a.f, v)), ttfix(a.t, v, 1));
      ASSERT_EQ(ttof(TBDrestrict(a.f, -v)), ttfix(a.t, v, 0));
      ASSERT_EQ(ttof(TBDxb(v, a.f)), ttexists(a.t, v));
      ASSERT_EQ(ttof(TBDbs(v, a.f)), ttforall(a.t, v));
      ASSERT_EQ(TBDiterativeabs(a.f), a.t.all() ? TBDtau : TBDomg);
      tbd val = TBDvalid(a.f);
      ASSERT_TRUE(val == TBDnull || val == (a.t.all() ? TBDtau : TBDomg));
      ASSERT_EQ(TBDmp(a.f), a.t.none() ? 1 : 0);
      ASSERT_EQ(iTBDeq(a.f, b.f), a.t == b.t ? 1 : 0);
      tbd p = TBDpos(a.f);
      ASSERT_EQ(ttof(p), a.t);
      ASSERT_TRUE(TBDcanon || negfree(p));
      tbd bd = TBDbdd(a.f);
      ASSERT_EQ(ttof(bd), a.t);
      ASSERT_EQ(bd == TBDbdd(b.f), a.t == b.t);   // the plain BDD form is canonical
      tbd c = TBDone(a.f);
      if (a.t.none()) {
        ASSERT_EQ(c, TBDomg);
      } else {
        ASSERT_TRUE(iscube(c));
        TT ct = ttof(c);
        ASSERT_TRUE(ct.any());
        ASSERT_EQ(ct & ~a.t, TT());  // the cube implies f
      }
      for (int par = 0; par < 2; par++) {
        TT want = a.t;
        for (int w : vars)
          if (w % 2 != par) want = ttforall(want, w);
        ASSERT_EQ(ttof(TBDiterativeabseven(a.f, par)), want);
      }
      int m = TBDmaxlabel(a.f);
      int seenmax = 0;              // the deepest label in the order
      eachnode(a.f, [&](tbd g) {
        if (seenmax == 0 || TBDlev(TBDvar(g)) > TBDlev(seenmax)) seenmax = TBDvar(g);
      });
      ASSERT_EQ(m, seenmax);
    }
  }
  TBDvalidfactor = 4;
  EXPECT_GT(TBDst.validfallbacks, fallbacks + 500);
  EXPECT_GT(checked, 3000);
  EXPECT_EQ(TBDmmcheck(), 0);
}

TEST(TBDreplace, SubstitutesEveryVariable) {
  teststore();
  std::mt19937 rng(777);
  for (int round = 0; round < 40; round++) {
    auto pool = randomfns(rng, varrange(1, 6), 40);
    auto map = TBDmapnew(3);        // slots over [-6, 6]
    std::vector<TT> g(7);
    for (int v = 1; v <= 6; v++) {
      if (rng() % 4 == 0) {         // empty slot: x_v stays
        g[(size_t)v] = varTT(v);
        continue;
      }
      const randfn &s = pool[rng() % pool.size()];
      map->at(v) = s.f;
      map->at(-v) = TBDng(s.f);
      g[(size_t)v] = s.t;
    }
    for (int k = 0; k < 10; k++) {
      const randfn &a = pool[rng() % pool.size()];
      TT want;
      for (unsigned x = 0; x < want.size(); x++) {
        unsigned y = x & ~63u;
        for (int v = 1; v <= 6; v++)
          if (g[(size_t)v][x]) y |= 1u << (v - 1);
        want[x] = a.t[y];
      }
      ASSERT_EQ(ttof(TBDreplace(a.f, *map)), want);
    }
  }
}

TEST(TBDcn, CacheOrderAndTrivialCases) {
  teststore();
  tbd f = TBDds(TBDap(11), TBDap(13)), g = TBDds(TBDap(12), TBDap(-14));
  EXPECT_EQ(TBDcn(f, f), f);
  EXPECT_EQ(TBDcn(f, TBDtau), f);
  EXPECT_EQ(TBDcn(TBDomg, f), TBDomg);
  tbd r = TBDcn(f, g);
  EXPECT_EQ(TBDmmgetc(TBDOP_CN, f, g), r);
  EXPECT_EQ(TBDmmgetc(TBDOP_CN, g, f), TBDnull);   // the reversed order is another key
  EXPECT_EQ(TBDcase(3, 3), 3);
  EXPECT_EQ(TBDcase(-3, 3), 1);
  EXPECT_EQ(TBDcase(3, -3), 2);
  EXPECT_EQ(TBDcase(-3, -3), 0);
  EXPECT_EQ(TBDcase(-2, 3), 4);
  EXPECT_EQ(TBDcase(2, -3), 5);
  EXPECT_EQ(TBDcase(4, -3), 6);
  EXPECT_EQ(TBDcase(-4, 3), 7);
}

TEST(TBDrestrict, VariableAboveTheFunction) {
  teststore();
  tbd f = TBDcn(TBDap(5), TBDds(TBDap(6), TBDap(-9)));
  EXPECT_EQ(TBDrestrict(f, 2), f);
  EXPECT_EQ(TBDrestrict(f, -4), f);
  EXPECT_EQ(TBDrestrict(TBDtau, 3), TBDtau);
}

TEST(TBDiterativeabs, Tautology) {
  teststore();
  tbd x = TBDap(4);
  EXPECT_EQ(TBDiterativeabs(TBDds(x, TBDng(x))), TBDtau);
  tbd y = TBDds(TBDcn(TBDap(2), TBDap(5)), TBDds(TBDap(-2), TBDap(-5)));
  EXPECT_EQ(TBDiterativeabs(y), TBDtau);
  EXPECT_EQ(TBDmp(TBDcn(x, TBDng(x))), 1);
  EXPECT_EQ(TBDmaxlabel(TBDtau), 0);
}

TEST(TBDone, PrefersFalseAndWritesTheCube) {
  teststore();
  tbd c = TBDone(TBDds(TBDap(1), TBDap(3)));
  EXPECT_EQ(c, TBDcn(TBDap(-1), TBDap(3)));
  EXPECT_EQ(TBDwriteOne(c, 2), (std::vector<int>{-1, 1, 0}));
  // a cube whose literal nodes carry the rest of the cube
  tbd cube = TBDcn(TBDap(3), TBDcn(TBDap(-5), TBDap(9)));
  EXPECT_EQ(TBDwriteOne(cube, 5), (std::vector<int>{1, 1, -1, 1, 1, 0}));
  EXPECT_EQ(TBDwriteOne(TBDtau, 2), (std::vector<int>{1, 1, 0}));
  EXPECT_EQ(TBDwriteOne(cube, 0), (std::vector<int>{0}));
}

TEST(TBDwriteOneDeathTest, FatalCubes) {
  teststore();
  tbd even = TBDcn(TBDap(1), TBDap(2));
  EXPECT_EXIT(TBDwriteOne(even, 2), testing::ExitedWithCode(0), "TBDwriteOne isneg error");
  EXPECT_EXIT(TBDwriteOne(TBDomg, 2), testing::ExitedWithCode(0), "TBDwriteOne isomg error");
  tbd notlit = TBDnewnode(1, TBDap(3), TBDap(5), TBDtau);
  EXPECT_EXIT(TBDwriteOne(TBDds(TBDap(1), TBDap(3)), 2), testing::ExitedWithCode(0),
              "TBDwriteOne isneg error");
  EXPECT_EXIT(TBDwriteOne(notlit, 2), testing::ExitedWithCode(0), "TBDwriteOne error");
  auto map = TBDmapnew(2);
  map->at(1) = map->at(-1) = TBDtau;
  EXPECT_EXIT(TBDreplace(TBDap(1), *map), testing::ExitedWithCode(0), "TBDreplace error");
}

namespace {

std::string readlog() {
  std::fflush(TBDlog());
  std::ifstream in("logtbd.tmp");
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

TEST(TBDgeq, DecomposesFunctionalRelations) {
  teststore();
  std::mt19937 rng(99);
  const int n = 4;                  // odd labels 1..7 next, even labels 2..8 current
  for (int round = 0; round < 30; round++) {
    auto pool = randomfns(rng, varrange(2, 2 * n, 2), 30);
    tbd r = TBDtau;
    std::vector<TT> g((size_t)n + 1);
    for (int k = 1; k <= n; k++) {
      const randfn &s = pool[rng() % pool.size()];
      g[(size_t)k] = s.t;
      tbd x = TBDap(2 * k - 1);
      r = TBDcn(r, TBDds(TBDcn(x, s.f), TBDcn(TBDng(x), TBDng(s.f))));
    }
    std::string quiet = readlog();
    auto map = TBDgeq(r, n);
    ASSERT_TRUE(map);
    EXPECT_EQ(readlog(), quiet);     // a functional relation passes its self-checks
    EXPECT_EQ(map->get(0), r);
    for (int k = 1; k <= n; k++) {
      int i = 2 * k - 1;
      ASSERT_EQ(ttof(map->get(i)), g[(size_t)k]);
      ASSERT_EQ(ttof(map->get(-i)), ~g[(size_t)k]);
      ASSERT_TRUE(TBDcanon || negfree(map->get(i)));
      if (!TBDterminal(map->get(i))) {
        EXPECT_GE(TBDkept(map->get(i)), 1);
      }
    }
    // a current state without successor makes the relation non-total
    if (round % 3 == 0) {
      std::string before = readlog();
      EXPECT_FALSE(TBDgeq(TBDcn(r, TBDds(TBDap(2), TBDap(4))), n));
      EXPECT_EQ(readlog(), before + "INFO: TSTisassign failed - return 0\n");
    }
  }
}

TEST(TBDgeq, UndeterminedBitLogsTheSelfCheck) {
  teststore();
  // x_3 copies x_4; x_1 is forced true only when x_4 holds, else free
  tbd copy = TBDds(TBDcn(TBDap(3), TBDap(4)), TBDcn(TBDap(-3), TBDap(-4)));
  tbd r = TBDcn(copy, TBDds(TBDap(-4), TBDap(1)));
  std::string before = readlog();
  auto map = TBDgeq(r, 2);
  ASSERT_TRUE(map);
  std::string after = readlog();
  EXPECT_NE(after.find("INFO: TSTiseq failed - i==0\n", before.size()), std::string::npos);
}
