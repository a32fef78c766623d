// Node store: hash-consing, table growth, computed table, roots, marks,
// collection and the diagnostic dumps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tbdtest.h"

namespace {

// Checks inside a child process that starts with an empty store.
#define FRESHCHECK(c)                                     \
  do {                                                    \
    if (!(c)) {                                           \
      std::fprintf(stderr, "check failed: %s\n", #c);     \
      std::_Exit(1);                                      \
    }                                                     \
  } while (0)

std::string dump(void (*write)(tbd, int, FILE *), tbd f, int arg) {
  FILE *tmp = std::tmpfile();
  write(f, arg, tmp);
  std::rewind(tmp);
  std::string s;
  for (int c; (c = std::fgetc(tmp)) != EOF;) s += (char)c;
  std::fclose(tmp);
  return s;
}

}  // namespace

TEST(TBDmmDeathTest, FreshStoreGrowsAtTheLimit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        TBDmminitialize(5);
        TBDmminitialize(9);         // the first store stays
        FRESHCHECK(TBDmmbits() == 5);
        FRESHCHECK(TBDlabel(TBDtau) == 6 && TBDlabel(TBDomg) == -6);
        FRESHCHECK(TBDttb.size == 4096 && TBDttb.limit == 2048 && TBDttb.count == 0);
        std::vector<tbd> made;
        for (int k = 0; k < 2048; k++) made.push_back(TBDmmaddt(1 + k, TBDomg, TBDtau, TBDtau));
        FRESHCHECK(TBDttb.size == 4096 && TBDttb.count == 2048);
        FRESHCHECK(TBDmmaddt(7, TBDomg, TBDtau, TBDtau) == made[6]);   // found, not inserted
        FRESHCHECK(TBDttb.count == 2048);
        made.push_back(TBDmmaddt(5000, TBDomg, TBDtau, TBDtau));       // the 2049th insertion
        FRESHCHECK(TBDttb.size == 8192 && TBDttb.limit == 4096);
        for (int k = 0; k <= 2048; k++)
          FRESHCHECK(TBDmmaddt(k < 2048 ? 1 + k : 5000, TBDomg, TBDtau, TBDtau) == made[(size_t)k]);
        FRESHCHECK(TBDmmlive() == 2049);
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST(TBDmm, HashConsingAndComputedTable) {
  teststore();
  tbd a = TBDmmaddt(40, TBDomg, TBDtau, TBDtau);
  int32_t used = TBDttb.used;
  EXPECT_EQ(TBDmmaddt(40, TBDomg, TBDtau, TBDtau), a);
  EXPECT_EQ(TBDttb.used, used);
  EXPECT_EQ(TBDap(40), a);          // the constructor reaches the same node

  tbd b = TBDap(41);
  struct row {
    uint32_t op, x, y;
    tbd res;
  } rows[] = {{TBDOP_CN, a, b, TBDtau}, {TBDOP_CN, b, a, TBDomg}, {TBDOP_RESTRICT, a, (uint32_t)-3, b},
              {TBDOP_RPE0, a, b, a}, {TBDOP_RPE1, a, b, b}};
  for (const row &r : rows) EXPECT_EQ(TBDmmgetc(r.op, r.x, r.y + 1000), TBDnull);
  for (const row &r : rows) TBDmmputc(r.op, r.x, r.y + 1000, r.res);
  for (const row &r : rows) EXPECT_EQ(TBDmmgetc(r.op, r.x, r.y + 1000), r.res);
}

TEST(TBDmm, RootsMarksAndCounts) {
  teststore();
  size_t before = (size_t)TBDkept(TBDtau);
  TBDkp(TBDtau);
  TBDdr(TBDomg);
  EXPECT_EQ((size_t)TBDkept(TBDtau), before);
  EXPECT_EQ(TBDkept(TBDtau), 0);

  // counts: terminal, literal, diamond sharing one node
  tbd d = TBDmmaddt(50, TBDomg, TBDtau, TBDtau);
  tbd l = TBDmmaddt(48, d, TBDtau, TBDtau);
  tbd r = TBDmmaddt(49, TBDtau, d, TBDtau);
  tbd top = TBDmmaddt(47, l, r, TBDtau);
  EXPECT_EQ(TBDmmnodecnt(TBDtau), 0);
  EXPECT_EQ(TBDmmnodecnt(d), 1);
  EXPECT_EQ(TBDmmnodecnt(top), 4);
  EXPECT_EQ(TBDmmnodecnt1(top), 5);
  EXPECT_EQ(TBDmk(top), 0);         // marks restored
  EXPECT_EQ(TBDmk(d), 0);

  // seen-protocol: f, g, f gives 0, 0, 1, then every -1 mark is gone
  tbd f = TBDcn(TBDap(30), TBDap(31)), g = TBDcn(TBDap(30), TBDap(-31));
  EXPECT_EQ(TBDmmmarkset(f, -1), 0);
  EXPECT_EQ(TBDmmmarkset(g, -1), 0);
  EXPECT_EQ(TBDmmmarkset(f, -1), 1);
  EXPECT_EQ(TBDmk(g), 0);
  EXPECT_EQ(TBDmmmarkset(f, -1), 0);
  EXPECT_EQ(TBDmmmarkset(TBDnull, -1), 1);
  // terminals lose their mark with the table's marks
  EXPECT_EQ(TBDmmmarkset(TBDomg, -1), 0);
  EXPECT_EQ(TBDmmmarkset(f, -1), 0);
  EXPECT_EQ(TBDmmmarkset(f, -1), 1);
  EXPECT_EQ(TBDmmmarkset(TBDomg, -1), 0);
  EXPECT_EQ(TBDmmmarkset(TBDomg, -1), 1);
  // a -1 mark counts as unvisited and comes back after counting
  EXPECT_EQ(TBDmmmarkset(f, -1), 0);
  EXPECT_EQ(TBDmmnodecnt(f), TBDmmnodecnt(g));
  EXPECT_EQ(TBDmk(f), -1);
  EXPECT_EQ(TBDmmmarkset(TBDnull, -1), 1);
}

TEST(TBDmm, CollectionKeepsRootsAndSeenNodes) {
  teststore();
  std::mt19937 rng(2024);
  auto pool = randomfns(rng, varrange(1, TTVARS), 400);
  std::vector<randfn> kept;
  for (size_t i = 0; i < pool.size(); i += 7) {
    kept.push_back(pool[i]);
    TBDkp(pool[i].f);
  }
  tbd twice = pool[3].f;
  TBDkp(twice);
  TBDkp(twice);
  TBDdr(twice);                     // kept twice, dropped once: still a root
  // reachable from no root: x_60 AND (x_61 OR x_62)
  tbd seen = TBDcn(TBDap(60), TBDds(TBDap(61), TBDap(62)));
  const TBDnode seennode = TBDnd(seen);
  const TBDnode below = TBDnd(seennode.rest);
  EXPECT_EQ(TBDmmmarkset(seen, -1), 0);
  EXPECT_EQ(TBDmmmarkset(TBDtau, -1), 0);
  // computed results: one naming only survivors, one naming a freed node
  tbd both = TBDcn(kept[0].f, kept[1].f);
  TBDkp(both);
  tbd x63 = TBDap(63), x64 = TBDap(64), gone = TBDcn(x63, x64);
  TBDmmputc(TBDOP_CN, kept[0].f, kept[1].f, both);
  uint64_t live = TBDmmlive(), freed = TBDst.freed;
  TBDcl();
  EXPECT_EQ(TBDmmgetc(TBDOP_CN, kept[0].f, kept[1].f), both);
  EXPECT_EQ(TBDmmgetc(TBDOP_CN, x63, x64), TBDnull);
  (void)gone;
  TBDdr(both);
  EXPECT_EQ(TBDmmmarkset(TBDtau, -1), 0);   // the collection reset the terminal's mark
  TBDmk(TBDtau) = 0;
  EXPECT_LT(TBDmmlive(), live);
  EXPECT_GT(TBDst.freed, freed);
  EXPECT_EQ(TBDmmcheck(), 0);
  for (const randfn &k : kept) ASSERT_EQ(ttof(k.f), k.t);
  EXPECT_EQ(ttof(twice), pool[3].t);
  EXPECT_EQ(TBDmk(seen), -1);        // survives with its mark and its children
  EXPECT_EQ(TBDnd(seen).label, seennode.label);
  EXPECT_EQ(TBDnd(seen).rest, seennode.rest);
  EXPECT_EQ(TBDnd(seennode.rest).label, below.label);
  EXPECT_EQ(TBDnd(seennode.rest).rest, below.rest);
  EXPECT_EQ(TBDcn(TBDap(60), TBDds(TBDap(61), TBDap(62))), seen);
  EXPECT_EQ(TBDmmmarkset(TBDnull, -1), 1);
  // the store keeps working on reused cells
  for (size_t i = 0; i + 1 < kept.size(); i++)
    ASSERT_EQ(ttof(TBDcn(kept[i].f, TBDng(kept[i + 1].f))), kept[i].t & ~kept[i + 1].t);
  auto more = randomfns(rng, varrange(1, TTVARS), 200);
  for (const randfn &m : more) ASSERT_EQ(ttof(m.f), m.t);
  EXPECT_EQ(TBDmmcheck(), 0);
  for (const randfn &k : kept) TBDdr(k.f);
  TBDdr(twice);
  EXPECT_EQ(TBDkept(twice), 0);
}

TEST(TBDmm, ClckCollectsPastTheThreshold) {
  teststore();
  std::mt19937 rng(5);
  auto pool = randomfns(rng, varrange(1, TTVARS), 100);
  tbd f = pool.back().f;
  TT ft = pool.back().t;
  uint64_t runs = TBDst.collections;
  TBDclcktotal = 0;
  int k = TBDclck(f);
  EXPECT_EQ(k, TBDmmnodecnt(f));
  EXPECT_EQ(TBDclcktotal, (uint64_t)k);
  EXPECT_EQ(TBDst.collections, runs);
  TBDclcktotal = (1u << 20);
  TBDclck(f);
  EXPECT_EQ(TBDst.collections, runs + 1);
  EXPECT_EQ(TBDclcktotal, 0u);
  EXPECT_EQ(ttof(f), ft);
  EXPECT_EQ(TBDkept(f), 0);
  EXPECT_EQ(TBDmmcheck(), 0);
}

TEST(TBDmm, Dumps) {
  teststore();
  tbd x3 = TBDap(3);
  tbd c = TBDcn(TBDap(1), x3);      // (1, F, T, x_3)
  EXPECT_EQ(dump(TBDwrite, x3, 0), "3\n");
  EXPECT_EQ(dump(TBDwrite, TBDap(-3), 0), "-3\n");
  EXPECT_EQ(dump(TBDwrite, c, 0), "1\n F\n T\n 3\n");
  EXPECT_EQ(dump(TBDwrite, c, 1), "1\n");
  EXPECT_EQ(dump(TBDwrite, TBDtau, 0), "T\n");
  EXPECT_EQ(dump(TBDwriteclause, c, 3), "1 0\n3 0\n");
  EXPECT_EQ(dump(TBDwriteclause, TBDpos(TBDds(TBDap(2), TBDap(-4))), 4), "2 -4 0\n");
  int vals[] = {3, -1, 4, 0};
  EXPECT_EQ(p2intlen(vals), 3);
  FILE *tmp = std::tmpfile();
  p2intwrite(vals, 0, 2, tmp);
  std::rewind(tmp);
  char buf[32] = {};
  ASSERT_NE(std::fgets(buf, sizeof buf, tmp), nullptr);
  std::fclose(tmp);
  EXPECT_STREQ(buf, "3 -1 4 0\n");
  std::string stats = dump([](tbd, int, FILE *out) { TBDstatswrite(out); }, TBDnull, 0);
  EXPECT_NE(stats.find("nodes live       : " + std::to_string(TBDmmlive()) + "\n"), std::string::npos);
}

TEST(TBDmmDeathTest, CheckFailures) {
  teststore();
  tbd c = TBDcn(TBDap(4), TBDap(9));
  TBDcheck(c, 1, 9);
  EXPECT_EXIT(TBDcheck(c, 1, 8), testing::ExitedWithCode(0), "TBDcheck > error");
  EXPECT_EXIT(TBDcheck(c, 5, 9), testing::ExitedWithCode(0), "TBDcheck < error");
  // a conjunct on the node's own variable (built only in the child); the
  // checked build refuses to make such a node at all
#ifdef LUMET_CHECKED
  EXPECT_DEATH(TBDmmaddt(6, TBDomg, TBDtau, TBDmmaddt(6, TBDtau, TBDomg, TBDtau)),
               "check failed: TBDterminal\\(rest\\)");
#else
  EXPECT_EXIT(TBDcheck(TBDmmaddt(6, TBDomg, TBDtau, TBDmmaddt(6, TBDtau, TBDomg, TBDtau)), 1, 9),
              testing::ExitedWithCode(0), "TBDcheck < error");
#endif
  TBDcheckodd(TBDcn(TBDap(3), TBDap(7)), 1);
  EXPECT_EXIT(TBDcheckodd(c, 1), testing::ExitedWithCode(0), "TBDcheckodd error");
}

#ifndef __SANITIZE_ADDRESS__  // the sanitizer needs its own address space
#include <sys/resource.h>

TEST(TBDmmDeathTest, LowMemoryEndsTheRun) {
  teststore();
  EXPECT_EXIT(
      {
        unsigned long pages = 0;     // current address space, in pages
        if (FILE *st = std::fopen("/proc/self/statm", "r")) {
          if (std::fscanf(st, "%lu", &pages) != 1) pages = 0;
          std::fclose(st);
        }
        rlimit lim{};
        getrlimit(RLIMIT_AS, &lim);
        lim.rlim_cur = pages * 4096ull + (24ull << 20);   // room for about a million nodes
        setrlimit(RLIMIT_AS, &lim);
        tbd f = TBDtau;
        for (int i = 0;; i++) f = TBDmmaddt(1 + i % 1000, f, TBDomg, TBDtau);
      },
      testing::ExitedWithCode(0), "low memory, exit error");
}

// Out of address space with the store full of dead nodes, a run goes on: the
// held-back chunk finishes the step and the next safe point collects.
TEST(TBDmmDeathTest, LowMemoryCollectsAtTheSafePoint) {
  teststore();
  EXPECT_EXIT(
      {
        unsigned long pages = 0;
        if (FILE *st = std::fopen("/proc/self/statm", "r")) {
          if (std::fscanf(st, "%lu", &pages) != 1) pages = 0;
          std::fclose(st);
        }
        rlimit lim{};
        getrlimit(RLIMIT_AS, &lim);
        lim.rlim_cur = pages * 4096ull + (24ull << 20);
        setrlimit(RLIMIT_AS, &lim);
        TBDgcmin = UINT64_MAX / 4;  // no collection for size alone
        tbd keep = TBDmmaddt(3, TBDomg, TBDtau, TBDtau);
        uint64_t before = TBDst.collections;
        for (int step = 0; step < 300; step++) {   // 6M nodes made, 20K live at most
          tbd f = TBDmmaddt(20001 + step, TBDomg, TBDtau, TBDtau);
          for (int v = 20000; v >= 1; v--) f = TBDmmaddt(v, f, TBDomg, TBDtau);
          TBDsafepoint({keep});
        }
        FRESHCHECK(TBDst.collections > before);
        FRESHCHECK(TBDmmcheck() == 0);
        FRESHCHECK(TBDmmaddt(3, TBDomg, TBDtau, TBDtau) == keep);
        std::fputs("all steps done\n", stderr);   // a fatal end exits with 0 too
        std::exit(0);
      },
      testing::ExitedWithCode(0), "all steps done");
}
#endif

TEST(TBDmmDeathTest, DeepChainEndsAsLowMemory) {
  teststore();
  EXPECT_EXIT(
      {
        tbd chain = TBDtau;         // x_2 AND x_4 AND ... over 200,000 variables
        for (int k = 100000; k >= 1; k--) chain = TBDcn(TBDap(2 * k), chain);
        TBDrn(chain);
        std::exit(1);
      },
      testing::ExitedWithCode(0), "low memory, exit error");
  tbd chain = TBDtau;               // a few thousand levels are fine
  for (int k = 3000; k >= 1; k--) chain = TBDcn(TBDap(2 * k), chain);
  EXPECT_EQ(TBDmmnodecnt(TBDrn(chain)), 3000);
  EXPECT_EQ(TBDmp(chain), 0);
}
