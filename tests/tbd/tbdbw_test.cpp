// Relational product, renamings and images on hand-built transition systems.
#include <gtest/gtest.h>

#include <functional>

#include "tbdtest.h"

TEST(TBDrp, AgreesWithTruthTablesForBothKindsAndParities) {
  teststore();
  std::mt19937 rng(4242);
  for (int round = 0; round < 40; round++) {
    auto pool = randomfns(rng, varrange(1, TTVARS), 50);
    for (int k = 0; k < 15; k++) {
      const randfn &f = pool[rng() % pool.size()];
      const randfn &g = pool[rng() % pool.size()];
      // all four products on one pair: a shared cache key would mix them up
      for (int a = 1; a >= 0; a--)
        for (int b = 0; b < 2; b++) {
          TT want = f.t & g.t;
          for (int v = 1; v <= TTVARS; v++)
            if (v % 2 == b) want = a ? ttexists(want, v) : ttforall(want, v);
          ASSERT_EQ(ttof(TBDrp(f.f, g.f, a, b)), want) << "a=" << a << " b=" << b;
        }
    }
  }
  // quantification over a chosen label set, alone and inside the product
  for (int round = 0; round < 40; round++) {
    auto pool = randomfns(rng, varrange(1, TTVARS), 40);
    TBDflags q;
    q.f.assign(TTVARS + 1, 0);
    for (int v = 1; v <= TTVARS; v++)
      if (rng() % 3 == 0) q.f[(size_t)v] = 1, q.top = v;
    for (int k = 0; k < 10; k++) {
      const randfn &f = pool[rng() % pool.size()];
      const randfn &g = pool[rng() % pool.size()];
      TT want = f.t & g.t, alone = f.t;
      for (int v = 1; v <= TTVARS; v++)
        if (q.f[(size_t)v]) want = ttexists(want, v), alone = ttexists(alone, v);
      ASSERT_EQ(ttof(TBDrpq(f.f, g.f, q)), want) << "round " << round;
      ASSERT_EQ(ttof(TBDexq(f.f, q)), alone) << "round " << round;
    }
  }
  // f true: plain quantification of g
  tbd g = TBDds(TBDcn(TBDap(1), TBDap(2)), TBDap(-4));
  EXPECT_EQ(ttof(TBDrp(TBDtau, g, 1, 1)), ttexists(ttof(g), 1));
  EXPECT_EQ(TBDrp(TBDomg, g, 1, 1), TBDomg);
}

TEST(TBDrn, RenamesBetweenTheCopies) {
  teststore();
  std::mt19937 rng(31);
  std::vector<int> down(TTVARS + 1);
  for (int v = 0; v <= TTVARS; v++) down[(size_t)v] = v;
  for (int v = 2; v <= TTVARS; v += 2) down[(size_t)v] = v - 1;   // x_2k now reads x_(2k-1)
  for (int round = 0; round < 30; round++) {
    auto pool = randomfns(rng, varrange(2, TTVARS, 2), 30);
    TBDflags fl;
    fl.f.assign(TTVARS + 1, 0);
    std::vector<int> to(TTVARS + 1);
    for (int v = 0; v <= TTVARS; v++) to[(size_t)v] = v;
    for (int v = 1; v < TTVARS; v += 2)
      if (rng() & 1) fl.f[(size_t)v] = fl.f[(size_t)v + 1] = 1;
      else to[(size_t)v] = v + 1;   // sprn moves x_v to x_(v+1)
    for (const randfn &r : pool) {
      tbd odd = TBDrn(r.f);
      ASSERT_EQ(ttof(odd), ttrename(r.t, down));
      TBDcheckodd(odd, 1);
      ASSERT_EQ(ttof(TBDsprn(odd, fl)), ttrename(ttof(odd), to));
      // asrn moves the flagged even labels back down
      std::vector<int> back(TTVARS + 1);
      for (int v = 0; v <= TTVARS; v++) back[(size_t)v] = v;
      for (int v = 2; v <= TTVARS; v += 2)
        if (fl.f[(size_t)v]) back[(size_t)v] = v - 1;
      ASSERT_EQ(ttof(TBDasrn(r.f, fl)), ttrename(r.t, back));
    }
  }
  EXPECT_EQ(TBDrn(TBDtau), TBDtau);
  EXPECT_EQ(TBDrn(TBDomg), TBDomg);
  EXPECT_EQ(TBDrn(TBDap(-4)), TBDap(-3));
}

namespace {

// One transition of a test system: guard and deterministic update over the
// state value s, bit k (1-based) being (s >> (k-1)) & 1.
struct testtrans {
  std::function<bool(unsigned)> guard;   // null: the guard is false
  std::function<unsigned(unsigned)> upd;
  tree *proc = nullptr;
};

constexpr int NB = 3;               // state bits of the test systems
constexpr unsigned NS = 1u << NB;

tbd minterm(unsigned s, int off) {  // off 0: odd labels, 1: even labels
  tbd m = TBDtau;
  for (int k = NB; k >= 1; k--) {
    int l = 2 * k - 1 + off;
    m = TBDcn(m, TBDap((s >> (k - 1)) & 1 ? l : -l));
  }
  return m;
}

tbd setof(const std::function<bool(unsigned)> &in, int off) {
  tbd r = TBDomg;
  for (unsigned s = 0; s < NS; s++)
    if (in(s)) r = TBDds(r, minterm(s, off));
  return r;
}

// Truth table of a state set over the odd labels.
TT ttstates(const std::function<bool(unsigned)> &in) {
  TT t;
  for (unsigned a = 0; a < t.size(); a++) {
    unsigned s = 0;
    for (int k = 1; k <= NB; k++) s |= ((a >> (2 * k - 2)) & 1) << (k - 1);
    t[a] = in(s);
  }
  return t;
}

// The functional relation as the transition-system builder makes it.
tbd functional(const TBDmap &map, TBDflags &fl) {
  fl.f.assign(2 * NB + 1, 0);
  for (int i = 1; i < 2 * NB; i += 2)
    if (map.get(i) == TBDap(i + 1) && map.get(-i) == TBDap(-(i + 1))) fl.f[(size_t)i] = fl.f[(size_t)i + 1] = 1;
  tbd r = TBDtau;
  for (int i = 1; i < 2 * NB; i += 2) {
    if (fl.f[(size_t)i]) continue;
    tbd h = TBDasrn(map.get(i), fl);
    r = TBDcn(r, TBDcn(TBDds(TBDap(-i), h), TBDds(TBDap(i), TBDng(h))));
  }
  return r;
}

std::unique_ptr<tsys> buildsys(const std::vector<testtrans> &ts, int fwmode) {
  auto t = std::make_unique<tsys>();
  t->n = NB;
  t->pcount = (int)ts.size();
  t->parts.resize(ts.size());
  t->fwmode = fwmode;
  for (size_t i = 0; i < ts.size(); i++) {
    tsyspart &p = t->parts[i];
    const testtrans &tr = ts[i];
    if (!tr.guard) {
      p.guard = TBDomg;
      continue;
    }
    auto assign = [&](int cur, int nxt) {
      tbd r = TBDomg;
      for (unsigned s = 0; s < NS; s++) r = TBDds(r, TBDcn(minterm(s, cur), minterm(tr.upd(s), nxt)));
      return r;
    };
    p.procedure = tr.proc;
    p.guard = setof(tr.guard, 0);
    p.fwrel = assign(0, 1);
    p.gfwrel = TBDcn(p.guard, p.fwrel);
    p.bguard = setof(tr.guard, 1);
    p.bassign = assign(1, 0);
    p.bwrel = TBDcn(p.bguard, p.bassign);
    p.decomp = TBDgeq(p.bassign, NB);
    p.funrel = functional(*p.decomp, p.frame);
  }
  return t;
}

struct image {
  std::vector<testtrans> ts;
  std::function<bool(unsigned)> S;
  bool post(unsigned s2) const {    // s2 has a predecessor in S
    for (const testtrans &t : ts)
      for (unsigned s = 0; s < NS; s++)
        if (t.guard && S(s) && t.guard(s) && t.upd(s) == s2) return true;
    return false;
  }
  bool pre(unsigned s) const {      // s has a successor in S
    for (const testtrans &t : ts)
      if (t.guard && t.guard(s) && S(t.upd(s))) return true;
    return false;
  }
};

std::vector<std::vector<testtrans>> systems() {
  auto any = [](unsigned) { return true; };
  return {
      {{any, [](unsigned s) { return (s + 1) % NS; }}},                        // 3-bit counter
      {{nullptr, [](unsigned s) { return s; }},                                // false guard
       {[](unsigned s) { return (s & 2) != 0; }, [](unsigned s) { return s ^ 1; }},
       {[](unsigned s) { return s < 5; }, [](unsigned s) { return s | 4; }}},
      {{any, [](unsigned s) { return s; }}},                                   // self-loops
      {{[](unsigned s) { return s % 3 == 0; }, [](unsigned s) { return (s * 5 + 1) % NS; }},
       {[](unsigned s) { return s != 6; }, [](unsigned s) { return s >> 1; }}},
  };
}

}  // namespace

TEST(TBDimage, ForwardAndBackwardMatchExplicitSets) {
  teststore();
  int sys = 0;
  for (const auto &ts : systems()) {
    for (int mode = 0; mode < 2; mode++) {
      auto t = buildsys(ts, mode);
      ggt = t.get();
      for (unsigned subset = 0; subset < (1u << NS); subset += 7) {
        image im{ts, [subset](unsigned s) { return ((subset >> s) & 1) != 0; }};
        tbd S = setof(im.S, 0);
        ASSERT_EQ(ttof(TBDfw(S)), ttstates([&](unsigned s) { return im.post(s); }))
            << "system " << sys << " mode " << mode << " subset " << subset;
        ASSERT_EQ(ttof(TBDbw(S)), ttstates([&](unsigned s) { return im.pre(s); }))
            << "system " << sys << " subset " << subset;
      }
      ggt = nullptr;
    }
    sys++;
  }
}

// The fixpoint loops stop when an iterate is a node seen before: the images
// must reproduce the same node once the set is stable.
TEST(TBDimage, ReachabilityConvergesByNodeIdentity) {
  teststore();
  int sys = 0;
  for (const auto &ts : systems()) {
    for (int mode = 0; mode < 2; mode++) {
      auto t = buildsys(ts, mode);
      ggt = t.get();
      for (unsigned s0 = 0; s0 < NS; s0++) {
        std::vector<bool> reach(NS, false);   // explicit closure
        reach[s0] = true;
        for (bool grew = true; grew;) {
          grew = false;
          for (const testtrans &tr : ts)
            for (unsigned s = 0; s < NS; s++)
              if (reach[s] && tr.guard && tr.guard(s) && !reach[tr.upd(s)]) reach[tr.upd(s)] = grew = true;
        }
        tbd r = setof([s0](unsigned s) { return s == s0; }, 0);
        int steps = 0;
        do {
          r = TBDds(r, TBDfw(r));
          ASSERT_LT(++steps, 40) << "system " << sys << " mode " << mode;
        } while (!TBDmmmarkset(r, -1));
        EXPECT_EQ(ttof(r), ttstates([&](unsigned s) { return reach[s]; }));
        tbd z = setof([s0](unsigned s) { return s == s0; }, 0), g = z;   // states reaching s0
        steps = 0;
        do {
          z = TBDds(g, TBDbw(z));
          ASSERT_LT(++steps, 40);
        } while (!TBDmmmarkset(z, -1));
      }
      ggt = nullptr;
    }
    sys++;
  }
  EXPECT_EQ(TBDmmcheck(), 0);
}

TEST(TBDimage, EdgeCases) {
  teststore();
  auto t = buildsys(systems()[2], 1);
  ggt = t.get();
  tbd S = setof([](unsigned s) { return s == 3 || s == 6; }, 0);
  EXPECT_EQ(t->parts[0].funrel, TBDtau);    // every bit unchanged
  EXPECT_EQ(TBDfw(S), TBDds(TBDomg, TBDcn(S, t->parts[0].guard)));
  EXPECT_EQ(TBDbw(TBDomg), TBDomg);
  // the single-partition helpers agree with the images of the counter
  auto c = buildsys(systems()[0], 1);
  ggt = c.get();
  const tsyspart &p = c->parts[0];
  EXPECT_EQ(ttof(TBDsp(S, p.funrel, p.frame)), ttstates([](unsigned s) { return s == 4 || s == 7; }));
  EXPECT_EQ(ttof(TBDbwone(S, p.bwrel)), ttstates([](unsigned s) { return s == 2 || s == 5; }));
  EXPECT_EQ(TBDsp(TBDomg, p.funrel, p.frame), TBDomg);
  EXPECT_EQ(TBDbwone(S, TBDnull), TBDomg);
  auto f = buildsys({{nullptr, [](unsigned s) { return s; }}, {nullptr, [](unsigned s) { return s; }}}, 0);
  ggt = f.get();
  EXPECT_EQ(TBDfw(TBDtau), TBDomg);
  EXPECT_EQ(TBDbw(TBDtau), TBDomg);
  ggt = nullptr;
}

namespace {
int progresslines;
void countprogress(int, int) { progresslines++; }
unsigned procmask;
tbd addbit3(tsys *, tree *, tbd states) {   // procedure summary: sets bit 3
  procmask++;
  return TBDcn(TBDxb(5, states), TBDap(5));
}
tbd beforebit3(tsys *, tree *, tbd after) {   // its backward form
  return TBDxb(5, TBDcn(after, TBDap(5)));
}
}  // namespace

TEST(TBDimage, ProceduresWaitAndProgressLines) {
  teststore();
  tree call{};
  auto any = [](unsigned) { return true; };
  auto id = [](unsigned s) { return s; };
  auto t = buildsys({{any, [](unsigned s) { return s | 1; }}, {any, id, &call}, {any, [](unsigned s) { return s | 2; }}}, 0);
  ggt = t.get();
  TBDpc2tbdhook = addbit3;
  TBDpc2tbdbwhook = beforebit3;
  tbd S = setof([](unsigned s) { return s == 0; }, 0);
  DMCprocedurewait = 1;
  EXPECT_EQ(ttof(TBDfw(S)), ttstates([](unsigned s) { return s == 1; }));
  EXPECT_EQ(procmask, 0u);
  DMCprocedurewait = 0;
  EXPECT_EQ(ttof(TBDfw(S)), ttstates([](unsigned s) { return s == 1 || s == 2 || s == 4; }));
  EXPECT_EQ(procmask, 1u);
  int idx = -1;
  tbd one = TBDfwSelectOne(S, setof([](unsigned s) { return s == 4; }, 0), &idx);
  EXPECT_EQ(idx, 1);
  EXPECT_EQ(ttof(one), ttstates([](unsigned s) { return s == 4; }));
  tbd pre = TBDbwSelectOne(setof([](unsigned s) { return s == 4; }, 0), setof(any, 0), &idx);
  EXPECT_EQ(idx, 1);                // only the procedure reaches state 4, from 0 or 4
  EXPECT_TRUE(ttof(pre).any());
  EXPECT_EQ(ttof(pre) & ~ttstates([](unsigned s) { return s == 0 || s == 4; }), TT());
  TBDprogresshook = countprogress;
  int before = TBDbwsteps;
  TBDbw(S);
  TBDbw(S);
  EXPECT_EQ(TBDbwsteps, before + 2);
  EXPECT_EQ(progresslines, 4);
  TBDprogresshook = nullptr;
  TBDpc2tbdhook = nullptr;
  TBDpc2tbdbwhook = nullptr;
  ggt = nullptr;
}

TEST(TBDimage, SelectOneStaysInsideTheTarget) {
  teststore();
  int sys = 0;
  for (const auto &ts : systems()) {
    for (int mode = 0; mode < 2; mode++) {
      auto t = buildsys(ts, mode);
      ggt = t.get();
      for (unsigned a = 0; a < NS; a++)
        for (unsigned tg = 1; tg < (1u << NS); tg += 11) {
          image im{ts, [a](unsigned s) { return s == a; }};
          auto intarget = [tg](unsigned s) { return ((tg >> s) & 1) != 0; };
          TT succ = ttstates([&](unsigned s) { return im.post(s) && intarget(s); });
          int idx = -1;
          if (succ.any()) {
            tbd c = TBDfwSelectOne(setof(im.S, 0), setof(intarget, 0), &idx);
            TT ct = ttof(c);
            ASSERT_TRUE(ct.any());
            ASSERT_EQ(ct & ~succ, TT()) << "system " << sys;
            ASSERT_TRUE(ts[(size_t)idx].guard && ts[(size_t)idx].guard(a));
          }
          TT pred = ttstates([&](unsigned s) { return im.pre(s) && intarget(s); });
          if (pred.any()) {
            tbd c = TBDbwSelectOne(setof(im.S, 0), setof(intarget, 0), &idx);
            TT ct = ttof(c);
            ASSERT_TRUE(ct.any());
            ASSERT_EQ(ct & ~pred, TT()) << "system " << sys;
            ASSERT_GE(idx, 0);
          }
        }
      ggt = nullptr;
    }
    sys++;
  }
}

TEST(TBDimageDeathTest, NoSuccessorInTarget) {
  teststore();
  auto t = buildsys(systems()[0], 1);
  ggt = t.get();
  tbd S = setof([](unsigned s) { return s == 2; }, 0);
  tbd far = setof([](unsigned s) { return s == 5; }, 0);
  int idx;
  EXPECT_EXIT(TBDfwSelectOne(S, far, &idx), testing::ExitedWithCode(0), "TBDfwSelectOne error");
  EXPECT_EXIT(TBDbwSelectOne(S, far, &idx), testing::ExitedWithCode(0), "TBDbwSelectOne error");
  ggt = nullptr;
}
