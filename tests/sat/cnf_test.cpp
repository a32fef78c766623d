// CNF store: clause normalisation, DIMACS writing and reading, the clause
// structure, the log format and external solver models.
#include <random>

#include "sattest.h"

TEST(RemoveRed, Table) {
  struct Row { std::vector<int32_t> in, out; int removed; };
  std::vector<int32_t> longdup, longdupout, longtaut;
  for (int i = 1; i <= 20; i++) longdup.push_back(i);
  longdupout = longdup;
  longdup.push_back(3);            // later copy of 3: the last literal (3) takes 3's place
  for (int i = 1; i <= 20; i++) longtaut.push_back(i);
  longtaut.push_back(-17);
  const Row rows[] = {
      {{3, 3, -3}, {}, 3},
      {{2, 5, 2}, {2, 5}, 1},
      {{1, 2, 3}, {1, 2, 3}, 0},
      {{4, 4, 4}, {4}, 2},
      {{1, 2, 1, 3}, {3, 2, 1}, 1},
      {{-1, 2, -1, 2}, {-1, 2}, 2},
      {{}, {}, 0},
      {{-7, 7}, {}, 2},
      {longdup, longdupout, 1},
      {longtaut, {}, 21},
  };
  for (const Row &r : rows) {
    std::vector<int32_t> l = r.in;
    int n = (int)l.size();
    int got = remove_red(l.data(), n);
    EXPECT_EQ(got, r.removed) << ::testing::PrintToString(r.in);
    if (got != n || n == 0) {
      l.resize((size_t)(n - got));
      EXPECT_EQ(l, r.out) << ::testing::PrintToString(r.in);
    }
    std::vector<int32_t> z = r.in;
    z.push_back(0);
    int ok = remove_red2(z.data());
    EXPECT_EQ(ok, (n > 0 && r.removed == n) ? 0 : 1);
    if (ok) {
      z.resize(r.out.size() + 1);
      EXPECT_EQ(z.back(), 0);
      z.pop_back();
      EXPECT_EQ(z, r.out);
    }
  }
}

// Long clauses take the counting path of remove_red, short ones the direct
// scan; both must give what the scan-and-restart definition gives.
TEST(RemoveRed, LongMatchesDefinition) {
  std::mt19937 rng(7);
  for (int t = 0; t < 300; t++) {
    int n = 17 + (int)(rng() % 40);
    std::vector<int32_t> l;
    for (int i = 0; i < n; i++) l.push_back((int32_t)(rng() % 12 + 1) * ((t % 5 == 0 && rng() % 8 == 0) ? -1 : 1));
    std::vector<int32_t> ref = l;
    int m = n;
    bool taut = false;
    for (int i = 0; i < m && !taut; i++)
      for (int j = 0; j < m; j++) taut = taut || ref[j] == -ref[i];
    if (!taut) {
      for (bool again = true; again;) {
        again = false;
        for (int i = 0; i < m && !again; i++)
          for (int j = i + 1; j < m && !again; j++)
            if (ref[j] == ref[i]) { ref[i] = ref[--m]; again = true; }
      }
    }
    int got = remove_red(l.data(), n);
    if (taut) {
      EXPECT_EQ(got, n);
    } else {
      ASSERT_EQ(got, n - m);
      l.resize((size_t)m);
      ref.resize((size_t)m);
      EXPECT_EQ(l, ref);
    }
  }
}

TEST(CNF, NormaliseAndWrite) {
  CNFmodel m = cnfof(5, {{3, 3, -3}, {2, 5, 2}, {}, {1, -2}});
  CNFnormalise(m);
  EXPECT_EQ(m.nc, 3);
  EXPECT_EQ(m.lits, (std::vector<int32_t>{2, 5, 0, 0, 1, -2, 0}));
  EXPECT_EQ(dimacs(m), "p cnf 5 3\n 2  5  0\n 0\n 1  -2  0\n");
  EXPECT_EQ(dimacs(cnfof(2, {{1, -2}})), "p cnf 2 1\n 1  -2  0\n");
  EXPECT_EQ(dimacs(cnfof(4, {})), "p cnf 4 0\n");
}

TEST(CNF, ReaderRoundTrip) {
  std::mt19937 rng(11);
  for (int t = 0; t < 200; t++) {
    CNFmodel m;
    m.nv = 1 + (int32_t)(rng() % 30);
    int nc = (int)(rng() % 20);
    for (int c = 0; c < nc; c++) {
      std::vector<int32_t> cl;
      int len = (int)(rng() % 6);
      for (int k = 0; k < len; k++)
        cl.push_back((int32_t)(rng() % m.nv + 1) * (rng() % 2 ? 1 : -1));
      CNFaddclause(m, cl.data(), (int)cl.size());
    }
    std::string text = dimacs(m);
    CNFmodel r;
    std::string tag;
    ASSERT_TRUE(CNFparse(text, r, tag)) << text;
    EXPECT_EQ(r.nv, m.nv);
    EXPECT_EQ(r.nc, m.nc);
    EXPECT_EQ(r.lits, m.lits);
    EXPECT_EQ(dimacs(r), text);
  }
  // comments, blank lines, clauses spread over lines, CRLF
  CNFmodel r;
  std::string tag;
  ASSERT_TRUE(CNFparse("c hello\n\np cnf 3 2\r\n1 -3\n 0\nc mid\n2\n3 0\n", r, tag));
  EXPECT_EQ(r.lits, (std::vector<int32_t>{1, -3, 0, 2, 3, 0}));
}

TEST(CNF, ReaderErrors) {
  const std::pair<const char *, const char *> rows[] = {
      {"", "DIMACS header"},
      {"1 2 0\n", "DIMACS header"},
      {"p cnf 3\n", "DIMACS header"},
      {"p cnf x 1\n1 0\n", "DIMACS header"},
      {"p cnf -1 0\n", "DIMACS header"},
      {"p cnf 3 1 7\n1 0\n", "DIMACS header"},
      {"p dnf 3 1\n1 0\n", "DIMACS header"},
      {"p cnf 99999999999 1\n1 0\n", "DIMACS header"},
      {"p cnf 3 1\np cnf 3 1\n1 0\n", "DIMACS header"},
      {"p cnf 3 1\n1 2\n", "DIMACS clause"},
      {"p cnf 3 2\n1 2 0\n", "DIMACS clause"},
      {"p cnf 3 1\n1 0\n2 0\n", "DIMACS clause"},
      {"p cnf 3 1\n1 4 0\n", "DIMACS literal"},
      {"p cnf 3 1\n-4 0\n", "DIMACS literal"},
      {"p cnf 3 1\n1 2a 0\n", "DIMACS literal"},
      {"p cnf 3 1\n-2147483648 0\n", "DIMACS literal"},
      {"p cnf 3 1\n1 99999999999999999999 0\n", "DIMACS literal"},
  };
  for (auto [text, want] : rows) {
    CNFmodel m;
    std::string tag;
    EXPECT_FALSE(CNFparse(text, m, tag)) << text;
    EXPECT_EQ(tag, want) << text;
  }
}

TEST(CNF, ReaderEndsTheRun) {
  FILE *f = fopen("/tmp/lumet_sat_bad.cnf", "w");
  fputs("p cnf 2 1\n1 3 0\n", f);
  fclose(f);
  EXPECT_EXIT(cnfmodelreadfile("/tmp/lumet_sat_bad.cnf"), ::testing::ExitedWithCode(0),
              "^DIMACS literal error\n$");
  EXPECT_EXIT(cnfmodelreadfile("/tmp/lumet_sat_missing.cnf"), ::testing::ExitedWithCode(0),
              "^DIMACS file error\n$");
  remove("/tmp/lumet_sat_bad.cnf");
}

TEST(CNF, ClauseStructure) {
  CNFmodel m = cnfof(3, {{1, -2}, {2, 3, 1}, {-2}, {}, {1}});
  CNFmstruct s = model2mstruct(m);
  EXPECT_EQ(s.clen, (std::vector<int32_t>{2, 3, 1, 0, 1}));
  EXPECT_EQ(s.cstart, (std::vector<int32_t>{0, 3, 7, 9, 10, 12}));
  auto list = [&](int32_t l) {
    int32_t k = l + s.nv;
    return std::vector<int32_t>(s.occ.begin() + s.ostart[k], s.occ.begin() + s.ostart[k] + s.ocount[k]);
  };
  EXPECT_EQ(list(1), (std::vector<int32_t>{0, 1, 4}));
  EXPECT_EQ(list(-2), (std::vector<int32_t>{0, 2}));
  EXPECT_EQ(list(2), (std::vector<int32_t>{1}));
  EXPECT_EQ(list(-1), (std::vector<int32_t>{}));
}

TEST_F(SatDir, LogFormat) {
  SATlogopen();
  std::vector<int32_t> ten, twelve;
  for (int i = 1; i <= 10; i++) ten.push_back(i % 2 ? i : -i);
  for (int i = 1; i <= 12; i++) twelve.push_back(i);
  writelog("NN", std::vector<int32_t>{7, 0}.data());
  writelog("IL", ten.data(), ten.size());
  writelog("EQ", twelve.data(), twelve.size());
  writelog("IL", nullptr, 0);
  EXPECT_EQ(readfile(SATLOGNAME),
            "NN\n7 0\n"
            "IL\n1 -2 3 -4 5 -6 7 -8 9 -10 \n0\n"
            "EQ\n1 2 3 4 5 6 7 8 9 10 \n11 12 0\n"
            "IL\n0\n");
  SATlogopen();
  EXPECT_EQ(readfile(SATLOGNAME), "");
}

TEST(CNF, ExternalModels) {
  struct Row { const char *text; bool ok; std::vector<int8_t> want; };
  const Row rows[] = {
      {"SAT\n1 -2 3 0\n", true, {0, 1, 0, 1}},
      {"UNSAT\n", false, {0, 0, 0, 0}},
      {"s SATISFIABLE\nv 1 -2\nv -3 0\n", true, {0, 1, 0, 0}},
      {"c x\ns SATISFIABLE\nv -1 2 3 9 0\n", true, {0, 0, 1, 1}},
      {"s UNSATISFIABLE\n", false, {0, 0, 0, 0}},
  };
  for (const Row &r : rows) {
    std::vector<int8_t> v;
    EXPECT_EQ(SATreadsolution(r.text, 3, v), r.ok) << r.text;
    EXPECT_EQ(v, r.want) << r.text;
  }
}
