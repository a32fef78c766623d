// Internal solver: preprocessing cases with their log, limits, and agreement
// with MiniSat on random CNFs (every model checked against its CNF).
#include <sys/wait.h>

#include <random>

#include "sattest.h"
#include "../rounds.h"

namespace {

CNFmodel pigeonhole(int holes) {
  CNFmodel m;
  int p = holes + 1;
  auto x = [&](int i, int j) { return (int32_t)(i * holes + j + 1); };
  for (int i = 0; i < p; i++) {
    std::vector<int32_t> c;
    for (int j = 0; j < holes; j++) c.push_back(x(i, j));
    CNFaddclause(m, c.data(), (int)c.size());
  }
  for (int j = 0; j < holes; j++)
    for (int a = 0; a < p; a++)
      for (int b = a + 1; b < p; b++) CNFaddclause(m, {-x(a, j), -x(b, j)});
  return m;
}

// The last "IL" section of the log must be a total assignment satisfying m.
void expectloggedmodel(const CNFmodel &m) {
  std::vector<int32_t> il = lastsection(readfile(SATLOGNAME), "IL");
  std::vector<int8_t> v((size_t)m.nv + 1, 0), set((size_t)m.nv + 1, 0);
  for (int32_t x : il) {
    int32_t a = x < 0 ? -x : x;
    ASSERT_TRUE(a >= 1 && a <= m.nv) << x;
    EXPECT_FALSE(set[a]) << "variable twice in the model: " << a;
    set[a] = 1;
    v[a] = x > 0;
  }
  EXPECT_EQ((int)il.size(), m.nv);
  EXPECT_TRUE(CNFsatisfied(m, v));
}

}  // namespace

TEST_F(SatDir, PreprocessingAndLog) {
  struct Row {
    const char *name;
    CNFmodel cnf;
    int answer;
    const char *logprefix;          // the log up to the final model section
  };
  const Row rows[] = {
      {"units 4 and -4", cnfof(4, {{1, 2}, {4}, {-4}}), 0, "NN\n4 0\n"},
      {"all four binary clauses", cnfof(2, {{1, 2}, {-1, 2}, {1, -2}, {-1, -2}}), 0,
       "NN\n2 0\nEQ\n1 1 0\nEQ\n-2 2 0\n"},
      {"empty clause", cnfof(3, {{1, 2}, {}, {3}}), 0, "NN\n3 0\n"},
      {"no clauses", cnfof(3, {}), 1, "NN\n3 0\n"},
      {"units propagate", cnfof(4, {{1}, {-1, 2}, {-2, 3, 4}, {-3}, {3, 4, 1}}), 1,
       "NN\n4 0\nIL\n1 -3 2 4 0\n"},
      {"units conflict", cnfof(3, {{1}, {-1, 2}, {-1, 3}, {-2, -3}}), 0, "NN\n3 0\nIL\n1 2 3 0\n"},
      {"chain of equivalences", cnfof(4, {{1, 2}, {-1, -2}, {2, 3}, {-2, -3}, {3, 4}, {-3, -4}, {1, 4, 2}}), 1,
       "NN\n4 0\nEQ\n1 2 3 0\nEQ\n-4 4 -4 0\n"},
      {"self-contradicting equivalences abandon", cnfof(3, {{1, 2}, {-1, -2}, {2, -1}, {-2, 1}, {3, 1}}), 0,
       "NN\n3 0\n"},
      {"duplicates and tautologies", cnfof(3, {{1, 1, -2}, {2, -2}, {-1, 3, -1}, {-3, -3}}), 1, "NN\n3 0\n"},
  };
  for (const Row &r : rows) {
    CNFmodel c = r.cnf, orig = r.cnf;
    std::vector<int8_t> model;
    EXPECT_EQ(SATsolve(c, SATlimits{}, &model), r.answer ? SATSAT : SATUNSAT) << r.name;
    std::string log = readfile(SATLOGNAME);
    EXPECT_EQ(log.substr(0, strlen(r.logprefix)), r.logprefix) << r.name;
    if (r.answer) {
      EXPECT_TRUE(CNFsatisfied(orig, model)) << r.name;
      expectloggedmodel(orig);
      EXPECT_EQ(log.find("IL", strlen(r.logprefix)), strlen(r.logprefix)) << r.name;
    } else {
      EXPECT_EQ(log, r.logprefix) << r.name;
    }
    CNFmodel d = r.cnf;
    EXPECT_EQ(SATapply(d), r.answer) << r.name;
  }
}

TEST_F(SatDir, Limits) {
  // PHP(8) needs far more than 10 conflicts and far more memory than 1 kB
  SATlimits few;
  few.maxconflicts = 10;
  SATlimits small;
  small.maxbytes = 1024;
  SATlimits past;
  past.deadline = time(nullptr) - 1;
  for (const SATlimits &l : {few, small, past}) {
    CNFmodel m = pigeonhole(8);
    EXPECT_EQ(SATsolve(m, l, nullptr), SATUNKNOWN);
  }
  CNFmodel m = pigeonhole(6);
  EXPECT_EQ(SATapply(m), 0);
  EXPECT_GT(SATstat.conflicts, 10u);
}

// ---- agreement with MiniSat

namespace {

int minisatanswer(const CNFmodel &m) {
  FILE *f = fopen("in.cnf", "w");
  cnfmodelwrite(m, f);
  fclose(f);
  int st = system("minisat -verb=0 in.cnf out.txt >/dev/null 2>&1");
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

// Random k-CNF with some units, duplicate clauses, repeated literals,
// tautologies, equivalence pairs and (rarely) an empty clause. Near the
// threshold only where the instance stays small enough to be quick; larger
// ones are under-constrained, half of them with a small unsatisfiable core
// (all eight sign patterns over three variables).
CNFmodel randomcnf(std::mt19937 &rng, int t) {
  static const double threshold[] = {0, 0, 0, 4.26, 9.93, 21.1};
  static const int hardcap[] = {0, 0, 0, 200, 70, 35};
  int k = 3 + t % 3;
  int n = 3 + (int)(rng() % 198);
  std::uniform_real_distribution<double> u(0.8, 1.2);
  bool hard = n <= hardcap[k];
  double ratio = threshold[k] * (hard ? u(rng) : 0.55);
  int nc = (int)(ratio * n);
  CNFmodel m;
  m.nv = n;
  auto lit = [&] { return (int32_t)(rng() % n + 1) * (rng() % 2 ? 1 : -1); };
  std::vector<int32_t> c;
  for (int i = 0; i < nc; i++) {
    c.clear();
    for (int j = 0; j < k; j++) c.push_back(lit());
    unsigned r = rng() % 100;
    if (r < 3) c.push_back(c[0]);                 // repeated literal
    else if (r < 5) c.push_back(-c[1]);           // tautology
    CNFaddclause(m, c.data(), (int)c.size());
    if (rng() % 50 == 0) CNFaddclause(m, c.data(), (int)c.size());   // duplicate clause
  }
  for (int i = (int)(rng() % 4); i > 0; i--) CNFaddclause(m, {lit()});
  for (int i = (int)(rng() % 4); i > 0; i--) {
    int32_t a = lit(), b = lit();
    CNFaddclause(m, {a, b});
    CNFaddclause(m, {-a, -b});
  }
  if (!hard && rng() % 2) {
    int32_t a = 1 + (int32_t)(rng() % (n - 2));
    for (int32_t sgn = 0; sgn < 8; sgn++)
      CNFaddclause(m, {sgn & 1 ? a : -a, sgn & 2 ? a + 1 : -(a + 1), sgn & 4 ? a + 2 : -(a + 2)});
  }
  if (rng() % 40 == 0) CNFaddclause(m, nullptr, 0);
  return m;
}

}  // namespace

TEST_F(SatDir, AgreesWithMinisat) {
  if (system("command -v minisat >/dev/null 2>&1") != 0) GTEST_SKIP() << "minisat is not installed";
  std::mt19937 rng(2024);
  int sat = 0, unsat = 0, rounds = lumrounds(160, 1100);
  for (int t = 0; t < rounds; t++) {
    CNFmodel m = randomcnf(rng, t);
    int want = minisatanswer(m);
    ASSERT_TRUE(want == 10 || want == 20) << "minisat status " << want;
    CNFmodel work = m;
    std::vector<int8_t> model;
    int got = SATsolve(work, SATlimits{}, &model);
    ASSERT_EQ(got, want == 10 ? SATSAT : SATUNSAT) << "instance " << t << "\n" << dimacs(m);
    if (got == SATSAT) {
      sat++;
      ASSERT_TRUE(CNFsatisfied(m, model)) << "instance " << t;
      expectloggedmodel(m);
    } else {
      unsat++;
    }
  }
  // both answers must be well represented for the comparison to mean much
  EXPECT_GT(sat, rounds * 3 / 11);
  EXPECT_GT(unsat, rounds * 3 / 11);
}
