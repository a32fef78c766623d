// QBF tree operations, file forms and the internal search. The search is
// checked against a brute-force evaluator and against depqbf (fed the
// QDIMACS writer's output) on random non-prenex formulas.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "qbf/qbf.h"
#include "../rounds.h"

extern char **environ;

namespace {

std::string written(const qmd *t, int V) {
  qmdata d;
  d.V = V;
  char *buf = nullptr;
  size_t n = 0;
  FILE *f = open_memstream(&buf, &n);
  qmdwrite(t, d, f);
  fclose(f);
  std::string s(buf, n);
  free(buf);
  return s;
}

qmd *parse(const std::string &text) {
  int V;
  std::string err;
  qmd *t = qmdread(text, V, err);
  EXPECT_NE(t, nullptr) << err << "\n" << text;
  return t;
}

// Value under the assignment a (indexed by variable); unbound variables are
// read from a as they are.
bool brute(const qmd *t, std::vector<char> &a) {
  if (t->kind == QMD_A || t->kind == QMD_E) {
    const std::vector<int> &vs = t->list;
    bool want = t->kind == QMD_E;
    for (unsigned m = 0; m < (1u << vs.size()); m++) {
      for (size_t i = 0; i < vs.size(); i++) a[vs[i]] = (m >> i) & 1;
      if (brute(t->kids[0], a) == want) return want;
    }
    return !want;
  }
  bool conj = t->kind == QMD_C;
  for (int l : t->list)
    if ((l > 0 ? a[l] : !a[-l]) != conj) return !conj;
  for (const qmd *k : t->kids)
    if (brute(k, a) != conj) return !conj;
  return conj;
}

// Free variables are existential outermost.
bool bruteall(const qmd *t, int V, const std::vector<int> &freev) {
  std::vector<char> a(V + 1, 0);
  for (unsigned m = 0; m < (1u << freev.size()); m++) {
    for (size_t i = 0; i < freev.size(); i++) a[freev[i]] = (m >> i) & 1;
    if (brute(t, a)) return true;
  }
  return false;
}

int solve(const qmd *t, int V) {
  qmdata d;
  d.V = V;
  return QBFapply(d, qmdcopy(t));
}

// 10 true, 20 false, -1 when depqbf is missing.
int depqbf(const qmd *t, int V, const std::string &path) {
  qmdata d;
  d.V = V;
  FILE *f = fopen(path.c_str(), "w");
  qmdwriteqdimacs(t, d, f);
  fclose(f);
  // spawned directly: a thousand shells would double the cost of the test
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
  char prog[] = "depqbf";
  std::string file = path;
  char *argv[] = {prog, file.data(), nullptr};
  pid_t pid;
  int st = -1;
  if (posix_spawnp(&pid, prog, &fa, nullptr, argv, environ) != 0 || waitpid(pid, &st, 0) < 0) st = -1;
  posix_spawn_file_actions_destroy(&fa);
  return st >= 0 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

bool havedepqbf() { return system("command -v depqbf >/dev/null 2>&1") == 0; }

// Random non-prenex formula: at most maxblocks blocks on any path, literals
// over the variables in scope and, rarely, over free variables 1..nfree.
struct gen {
  std::mt19937 rng;
  int V = 0, nfree = 0, maxvars = 0;
  int pick(int n) { return (int)(rng() % (unsigned)n); }
  qmd *node(std::vector<int> &scope, int blocks, int depth) {
    if (blocks > 0 && V < maxvars && (depth == 0 || pick(3) == 0)) {
      int nv = 1 + pick(std::min(3, maxvars - V));
      std::vector<int> vs;
      for (int i = 0; i < nv; i++) vs.push_back(++V);
      scope.insert(scope.end(), vs.begin(), vs.end());
      qmd *c = node(scope, blocks - 1, depth + 1);
      scope.resize(scope.size() - nv);
      return qmdnew(pick(2) ? QMD_A : QMD_E, vs, {c});
    }
    qmd *n = qmdnew(pick(2) ? QMD_C : QMD_D);
    int nl = pick(4);
    for (int i = 0; i < nl; i++) {
      int v = 0;
      if (nfree && pick(12) == 0) v = 1 + pick(nfree);
      else if (!scope.empty()) v = scope[pick((int)scope.size())];
      if (v) n->list.push_back(pick(2) ? v : -v);
    }
    int nk = depth < 5 ? pick(4) : 0;
    for (int i = 0; i < nk; i++) n->kids.push_back(node(scope, blocks, depth + 1));
    return n;
  }
  qmd *formula(int maxb, int mv, int nf) {
    nfree = nf;
    V = nf;
    maxvars = mv;
    std::vector<int> scope;
    return node(scope, maxb, 0);
  }
};

TEST(QbfFile, WrittenForms) {
  struct { qmd *t; int V; const char *text; } rows[] = {
    {qmdnew(QMD_A, {1, 2}, {qmdnew(QMD_E, {3}, {qmdnew(QMD_D, {1, -3})})}), 3,
     "QBF\n3\nq\na 1 2 \ne 3 \nd\n1 \n3 \n/d\n/q\nQBF\n"},
    {qmdnew(QMD_C, {-1, -2}), 2, "QBF\n2\nc\n\n1 2 \n/c\nQBF\n"},
    {qmdnew(QMD_C, {4}, {qmdnew(QMD_E, {5}, {qmdnew(QMD_D, {-5, 4})}), qmdconst(0)}), 5,
     "QBF\n5\nc\n4 \n\nq\ne 5 \nd\n4 \n5 \n/d\n/q\nd\n\n\n/d\n/c\nQBF\n"},
  };
  for (auto &r : rows) {
    std::string s = written(r.t, r.V);
    EXPECT_EQ(s, r.text);
    qmd *b = parse(s);
    if (b) { EXPECT_EQ(written(b, r.V), s); }
    freeqmdata(b);
    freeqmdata(r.t);
  }
}

TEST(QbfFile, MalformedTextIsRefused) {
  const char *bad[] = {
    "", "QBF\n", "QBF\nx\n", "QBF\n2\nc\n1 \n\n/c\n", "QBF\n2\nc\n3 \n\n/c\nQBF\n",
    "QBF\n2\nc\n1 \n\n/d\nQBF\n", "QBF\n2\nq\n/q\nQBF\n", "QBF\n2\nq\na 1 \n/q\nQBF\n",
    "QBF\n2\nc\n1 \n\n/c\nc\n\n\n/c\nQBF\n", "QBF\n2\nc\n-1 \n\n/c\nQBF\n", "QBF\n2\nc\n1\n",
    "QBF\n2\n/c\nQBF\n"
  };
  for (const char *b : bad) {
    int V;
    std::string err;
    qmd *t = qmdread(b, V, err);
    EXPECT_EQ(t, nullptr) << b;
    freeqmdata(t);
  }
}

TEST(QbfTree, SimplificationTable) {
  struct { const char *in, *out; } rows[] = {
    // a conjunction whose only child is a conjunction: one node with both lists
    {"QBF\n3\nc\n1 \n\nc\n2 \n3 \n/c\n/c\nQBF\n", "QBF\n3\nc\n1 2 \n3 \n/c\nQBF\n"},
    // a leaf of one literal joins its parent of the other kind
    {"QBF\n3\nd\n1 \n\nc\n2 \n\n/c\nc\n2 3 \n\n/c\n/d\nQBF\n",
     "QBF\n3\nd\n1 2 \n\nc\n2 3 \n\n/c\n/d\nQBF\n"},
    // an empty conjunction (TRUE) decides a disjunction, an empty disjunction a conjunction
    {"QBF\n3\nc\n1 \n\nd\n2 \n\nc\n\n\n/c\n/d\n/c\nQBF\n", "QBF\n3\nc\n1 \n\n/c\nQBF\n"},
    {"QBF\n3\nc\n1 \n\nd\n\n\n/d\nc\n2 3 \n\n/c\n/c\nQBF\n", "QBF\n3\nd\n\n\n/d\nQBF\n"},
    // ... and leaves a parent of its own kind unchanged
    {"QBF\n3\nd\n1 2 \n\nd\n\n\n/d\n/d\nQBF\n", "QBF\n3\nd\n1 2 \n\n/d\nQBF\n"},
    // repeated literals go, a complementary pair decides the node
    {"QBF\n3\nd\n1 1 \n2 \nc\n3 \n3 \n/c\n/d\nQBF\n", "QBF\n3\nd\n1 \n2 \n/d\nQBF\n"},
    // a block over a constant is the constant
    {"QBF\n3\nd\n1 \n\nq\na 2 \nc\n\n\n/c\n/q\n/d\nQBF\n", "QBF\n3\nc\n\n\n/c\nQBF\n"},
    // a leaf of two literals of the other kind stays
    {"QBF\n3\nd\n1 \n\nc\n2 3 \n\n/c\n/d\nQBF\n", "QBF\n3\nd\n1 \n\nc\n2 3 \n\n/c\n/d\nQBF\n"},
  };
  for (auto &r : rows) {
    qmd *t = parse(r.in);
    if (!t) continue;
    qmdata d;
    d.V = 3;
    qmdsimp(t, d);
    EXPECT_EQ(written(t, 3), r.out) << r.in;
    EXPECT_EQ(d.N, qmdclauses(t));
    EXPECT_EQ(d.len, qmdlen(t));
    freeqmdata(t);
  }
}

TEST(QbfTree, NegateComposeTypeMatrix) {
  qmd *t = parse("QBF\n3\nq\na 1 \ne 2 \nd\n1 \n2 \nc\n3 \n1 \n/c\n/d\n/q\nQBF\n");
  std::string s = written(t, 3);
  EXPECT_EQ(md2treetype(t), 3);
  mdnegate(t);
  EXPECT_EQ(written(t, 3), "QBF\n3\nq\ne 1 \na 2 \nc\n2 \n1 \nd\n1 \n3 \n/d\n/c\n/q\nQBF\n");
  mdnegate(t);
  EXPECT_EQ(written(t, 3), s);
  std::string m;
  tree *e = md2tree(t);
  treewrites(e, m, 0);
  treefree(e);
  EXPECT_EQ(m.substr(0, m.find('\0')), "(1|(!2|((3&(!1&^))|_)))");
  freeqmdata(t);
  qmd *one = qmdconst(1);
  EXPECT_EQ(md2treetype(one), 0);
  freeqmdata(one);
  qmd *a = qmdnew(QMD_C, {1}), *b = qmdnew(QMD_D, {2});
  EXPECT_EQ(mdcompose(QMD_C, a, nullptr), a);
  EXPECT_EQ(mdcompose(QMD_C, nullptr, b), b);
  qmd *i = mdcompose('I', a, b);   // !1 | 2
  EXPECT_EQ(written(i, 2), "QBF\n2\nd\n\n\nd\n\n1 \n/d\nd\n2 \n\n/d\n/d\nQBF\n");
  freeqmdata(i);
}

TEST(QbfSearch, EdgeCases) {
  struct { const char *text; int want; long long decisions, pures; } rows[] = {
    {"QBF\n1\nc\n\n\n/c\nQBF\n", 1, 0, 0},                      // empty conjunction
    {"QBF\n1\nd\n\n\n/d\nQBF\n", 0, 0, 0},                      // empty disjunction
    // a universal variable occurring only positively is set false without branching
    {"QBF\n2\nq\na 1 \ne 2 \nd\n1 2 \n\n/d\n/q\nQBF\n", 1, 0, 1},
    {"QBF\n2\nq\na 1 \nd\n1 \n\nc\n\n\n/c\n/d\n/q\nQBF\n", 1, 0, 0},
    // the block over 2 3 is implied by propagation and goes straight to its scope
    {"QBF\n4\nq\ne 1 \ne 2 3 \nc\n1 \n\nd\n\n1 \nc\n2 \n\n/c\n/d\nd\n\n1 3 \n/d\nq\na 4 \nd\n4 \n\nc\n2 \n3 \n/c\n/d\n/q\n/c\n/q\nQBF\n",
     1, 1, 0},
    // the literal implied through a block binding it: the walk starts at its holder
    {"QBF\n2\nq\ne 1 \nc\n\n1 \nd\n1 \n\nq\ne 2 \nd\n2 \n\n/d\n/q\n/d\n/c\n/q\nQBF\n", 1, -1, -1},
    // free variables are existential outermost
    {"QBF\n2\nq\na 2 \nd\n1 2 \n\n/d\n/q\nQBF\n", 1, -1, -1},
  };
  for (auto &r : rows) {
    qmd *t = parse(r.text);
    if (!t) continue;
    qmdata d;
    d.V = 4;
    EXPECT_EQ(QBFapply(d, t), r.want) << r.text;
    if (r.decisions >= 0) { EXPECT_EQ(QBFstats.decisions, r.decisions) << r.text;
    }
    if (r.pures >= 0) { EXPECT_EQ(QBFstats.pures, r.pures) << r.text; }
  }
}

TEST(QbfSearch, OuterBlockAndDeadline) {
  qmdata d;
  d.V = 3;
  // exists 1 2 3: 1 & !2 & (3 | 2)
  EXPECT_EQ(QBFapply(d, parse("QBF\n3\nq\ne 1 2 \ne 3 \nc\n1 \n2 \nd\n3 2 \n\n/d\n/c\n/q\nQBF\n")), 1);
  ASSERT_EQ(d.outer.size(), 4u);
  EXPECT_EQ(d.outer[1], 1);
  EXPECT_EQ(d.outer[2], 0);
  EXPECT_EQ(d.outer[3], 1);
  EXPECT_EQ(QBFapply(d, parse("QBF\n3\nq\na 1 \ne 2 \nd\n1 2 \n\n/d\n/q\nQBF\n")), 1);
  EXPECT_TRUE(d.outer.empty());
  gen g{std::mt19937(7)};
  qmd *t = g.formula(4, 40, 0);
  d = {};
  d.V = g.V;
  d.deadline = time(nullptr) - 1;
  EXPECT_EQ(QBFapply(d, t), QBF_TIMEOUT);
}

// The solver against brute force (small formulas) and depqbf (all), and the
// file forms and the simplification on the same formulas.
TEST(QbfSearch, RandomAgainstOracles) {
  bool dq = havedepqbf();
  if (!dq) GTEST_LOG_(INFO) << "depqbf not found: the random formulas are checked by brute force only";
  // one file per process: other runs may share the temporary directory
  std::string path = testing::TempDir() + "qbf_random." + std::to_string(getpid()) + ".qdimacs";
  gen g{std::mt19937(12345)};
  int agreed = 0, brutes = 0, trues = 0, rounds = lumrounds(300, 1200);
  for (int i = 0; i < rounds; i++) {
    bool small = i % 3 == 0;
    qmd *t = g.formula(1 + i % 4, small ? 9 : 26, i % 5 == 0 ? 2 : 0);
    int V = g.V;
    std::vector<int> freev;
    for (int v = 1; v <= g.nfree; v++) freev.push_back(v);
    int r = solve(t, V);
    ASSERT_TRUE(r == 0 || r == 1);
    trues += r;
    std::string text = written(t, V);
    qmd *back = parse(text);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(written(back, V), text);
    freeqmdata(back);
    if (g.nfree == 0) {   // free variables stay existential under negation
      qmd *neg = qmdcopy(t);
      mdnegate(neg);
      EXPECT_EQ(solve(neg, V), 1 - r) << text;
      freeqmdata(neg);
    }
    if (small && g.nfree == 0) {
      EXPECT_EQ(bruteall(t, V, freev), r == 1) << text;
      qmd *s = qmdcopy(t);
      qmdata d;
      d.V = V;
      qmdsimp(s, d);
      EXPECT_EQ(bruteall(s, V, freev), r == 1) << "simplified\n" << text;
      freeqmdata(s);
      brutes++;
    }
    if (dq) {
      int e = depqbf(t, V, path);
      EXPECT_EQ(e, r ? 10 : 20) << text;
      agreed += e == (r ? 10 : 20);
    }
    freeqmdata(t);
  }
  remove(path.c_str());
  EXPECT_GE(brutes, rounds / 4);
  EXPECT_GT(trues, rounds / 6);
  EXPECT_LT(trues, rounds * 5 / 6);
  if (dq) { EXPECT_GE(agreed, rounds * 5 / 6); }
}

}  // namespace
