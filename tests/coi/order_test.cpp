// The order file and the automatic order on programs flattened in-process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coi/coi.h"
#include "front/f2p.h"

namespace {

namespace fs = std::filesystem;

struct scratch {
  fs::path old, dir;
  scratch() {
    old = fs::current_path();
    dir = fs::temp_directory_path() / ("lumet_coi_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~scratch() {
    fs::current_path(old);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// The flattened program of a model text, and its declarations before flattening.
// The front end's records stay reachable for the run, as in the front end's
// own tests, so the leak check at exit reports only what was really lost.
prg *flatten(const std::string &model, tree **declared) {
  static std::vector<void *> *kept = new std::vector<void *>;  // never destroyed
  std::ofstream("m.lum", std::ios::binary) << model << "\n";
  char name[16] = "";
  ggbrec *g = f2p0("m.lum", 1, name, nullptr, 0);
  kept->push_back(g);
  prg *p = g->program;
  if (declared) kept->push_back(*declared = treecopy(PROGpart(p->prog, 0)));
  f2p1(p);
  return p;
}

std::string names(prg *p) {
  std::string s;
  for (tree *l = PROGpart(p->prog, 0); l;) {
    bool cell = l->text[0] == ';' && !l->text[1];
    s += std::string(s.empty() ? "" : " ") + (cell ? l->left : l)->left->text;
    l = cell ? l->right : nullptr;
  }
  return s;
}

const char *ARRAYS =
    "LUM\nVAR\n  x : 0..1;\n  a[0..3][0..4] : 0..1;\n  b[2..4] : 0..3;\n  y : 0..2;\n"
    "INIT\n  x = 0;\nTRANS\n  x = 0 : x := 1;\nSPEC\n  AG(x = 0);\n";

TEST(order, FileNamesVariablesAsDeclared) {
  struct row {
    const char *file;     // order file text, or null: no file
    const char *first;    // expected start of the declaration list
    const char *printed;  // expected standard output
  };
  const row rows[] = {
      {"y\na[1][2]\n", "y a_x_7 x a_x_0", ""},
      {"a[1][2]\r\n\n  \ny\r\ny\na[1][2]\n", "a_x_7 y x a_x_0", ""},  // CR, blanks, repeats
      {"zz\ny\n", "y x a_x_0",
       "warning: unknown variable in order file: zz\n"},
      {"a[0][7]\na[4][0]\na[1]\nb[5]\nb[x]\n", "x a_x_0",  // beyond a bound, too few indexes
       "warning: unknown variable in order file: a[0][7]\n"
       "warning: unknown variable in order file: a[4][0]\n"
       "warning: unknown variable in order file: a[1]\n"
       "warning: unknown variable in order file: b[5]\n"
       "warning: unknown variable in order file: b[x]\n"},
      {"b[3]\na[3][4]", "b_x_3 a_x_19 x a_x_0", ""},  // no line end at the end
      {"b\n", "b_x_2 b_x_3 b_x_4 x a_x_0", ""},      // a whole array, element by element
      {"a_x_7\n", "a_x_7 x a_x_0", ""},              // the flattened name
      {nullptr, "x a_x_0 a_x_1", "ERROR:      ord not found\n"},
  };
  scratch s;
  for (const row &r : rows) {
    SCOPED_TRACE(r.file ? r.file : "(no file)");
    tree *declared;
    prg *p = flatten(ARRAYS, &declared);
    std::string before = names(p);
    fs::remove("ord");
    if (r.file) std::ofstream("ord", std::ios::binary) << r.file;
    testing::internal::CaptureStdout();
    var_order(p, "ord", declared);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), r.printed);
    std::string after = names(p);
    EXPECT_EQ(after.substr(0, std::strlen(r.first)), r.first) << after;
    // the same variables, each once
    std::vector<std::string> a, b;
    for (auto [t, v] : {std::pair{&before, &a}, std::pair{&after, &b}}) {
      std::istringstream in(*t);
      for (std::string w; in >> w;) v->push_back(w);
      std::sort(v->begin(), v->end());
    }
    EXPECT_EQ(a, b);
    std::string t, v;  // the record's copy follows
    treewrites(PROGpart(p->prog, 0), t, 0);
    treewrites(p->vlist, v, 0);
    EXPECT_EQ(t, v);
  }
}

// D + C per ordered pair, as "x>y:count" in declaration order.
std::string deps(const DEPgraph &g) {
  std::string s;
  for (int x = 0; x < g.n; x++)
    for (auto [y, c] : g.dep[x])
      s += (s.empty() ? "" : " ") + g.names[x] + ">" + g.names[y] + ":" + std::to_string(c);
  return s;
}

TEST(order, DependenciesCountOccurrences) {
  const char *rows[][2] = {
      // x := x adds nothing; y reads x twice and z in the guard
      {"LUM\nVAR\n  x : 0..3;\n  y : 0..7;\n  z : 0..1;\nINIT\n  x = 0;\n"
       "TRANS\n  z = 0 : y := x + x & x := x;\nSPEC\n  AG(x = 0);\n",
       "y>x:2 y>z:1"},
      // a write through an index writes every element and reads the index
      {"LUM\nVAR\n  i : 0..1;\n  a[0..1] : 0..1;\nINIT\n  i = 0;\n"
       "TRANS\n  TRUE : a[i] := 1;\nSPEC\n  AG(i = 0);\n",
       "a_x_0>i:3 a_x_0>a_x_0:1 a_x_1>i:3 a_x_1>a_x_1:1"},
  };
  scratch s;
  for (auto &r : rows) {
    prg *p = flatten(r[0], nullptr);
    EXPECT_EQ(deps(DEPcollect(p->prog)), r[1]);
  }
}

// The refinement as first written: every score summed anew over the prefix.
void refineliteral(const std::vector<std::vector<char>> &conn, std::vector<int> &order,
                   const std::vector<long long> &weight) {
  int n = (int)order.size();
  auto score = [&](int v, int m) {
    long long s = 0;
    for (int p = 0; p <= m; p++)
      if (conn[v][order[p]]) s += 1048576 / (p + 1) / (p + 1);
    return s;
  };
  for (int i = 1; i < n; i++) {
    long long b = score(order[i], i - 1);
    for (int l = i + 1; l < n; l++) {
      long long t = score(order[l], i - 1);
      if (b < t) {
        std::swap(order[i], order[l]);
        b = t;
      } else if (b != 0 && weight[order[l]] > weight[order[i]]) {
        std::swap(order[i], order[l]);
        b = 1;
      }
    }
  }
}

TEST(order, IncrementalRefinementMatchesRescoring) {
  struct row {
    int n, percent, weights;  // variables, chance of a dependency, weight range
    unsigned seed;
  } rows[] = {{1, 50, 3, 1}, {2, 100, 1, 2}, {8, 30, 2, 3}, {40, 5, 4, 4},
              {40, 60, 100, 5}, {120, 2, 1, 6}, {120, 20, 1000, 7}};
  for (const row &r : rows) {
    SCOPED_TRACE(r.seed);
    std::mt19937 rng(r.seed);
    DEPgraph g;
    g.n = r.n;
    g.dep.resize(r.n);
    for (int x = 0; x < r.n; x++)
      for (int y = 0; y < r.n; y++)
        if ((int)(rng() % 100) < r.percent) g.dep[x].push_back({y, 1 + (int)(rng() % 3)});
    DEPsym s = DEPsymmetric(g);
    std::vector<std::vector<char>> conn(r.n, std::vector<char>(r.n, 0));
    for (int x = 0; x < r.n; x++)
      for (auto [y, w] : s.nbr[x]) {
        conn[x][y] = 1;
        EXPECT_GT(w, 0);
      }
    for (int x = 0; x < r.n; x++)
      for (int y = 0; y < r.n; y++) EXPECT_EQ(conn[x][y], conn[y][x]);
    std::vector<long long> weight(r.n);
    for (auto &w : weight) w = rng() % r.weights;
    std::vector<int> order(r.n);
    for (int i = 0; i < r.n; i++) order[i] = i;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<int> want = order;
    refineliteral(conn, want, weight);
    DEPrefine(s, order, weight);
    EXPECT_EQ(order, want);
  }
}

// Four stations: line once per i, with I standing for i and J for i + 1 mod 4.
std::string stations(const std::string &line) {
  std::string out;
  for (int i = 0; i < 4; i++)
    for (char c : line)
      out += c == 'I' ? std::to_string(i) : c == 'J' ? std::to_string((i + 1) % 4) : std::string(1, c);
  return out;
}

// Models written in a good order keep it (an empty result); badly declared
// ones get a permutation of their variables with a clearly shorter span.
TEST(order, SpanOrderOnlyWhereClearlyShorter) {
  struct row {
    const char *what;
    std::string model;
    bool reorders;
  };
  const row rows[] = {
      {"philosophers, processes then forks",
       "LUM\nVAR\n  p[0..3] : 0..2;\n  f[0..3] : 0..1;\nINIT\n  p[0] = 0;\nTRANS\n" +
           stations("  p[I] = 0 & f[I] = 0 : p[I] := 1 & f[I] := 1;\n"
                    "  p[I] = 1 & f[J] = 0 : p[I] := 2 & f[J] := 1;\n"
                    "  p[I] = 2 : p[I] := 0 & f[I] := 0 & f[J] := 0;\n") +
           "SPEC\n  AG(p[0] < 3);\n",
       true},
      {"a chain declared out of order",
       "LUM\nVAR\n  a : 0..1;\n  c : 0..1;\n  e : 0..1;\n  b : 0..1;\n  d : 0..1;\n  f : 0..1;\n"
       "INIT\n  a = 0;\nTRANS\n  a = 0 : a := 1 & b := 1;\n  b = 0 : b := 1 & c := 1;\n"
       "  c = 0 : c := 1 & d := 1;\n  d = 0 : d := 1 & e := 1;\n  e = 0 : e := 1 & f := 1;\n"
       "SPEC\n  AG(a = 0);\n",
       true},
      {"token ring, tokens then stations",
       "LUM\nVAR\n  t[0..3] : 0..1;\n  s[0..3] : 0..2;\nINIT\n  t[0] = 1;\nTRANS\n" +
           stations("  s[I] = 0 : s[I] := 1;\n  s[I] = 1 & t[I] = 1 : s[I] := 2;\n"
                    "  s[I] = 2 : s[I] := 0;\n  t[I] = 1 & s[I] != 2 : t[I] := 0 & t[J] := 1;\n") +
           "SPEC\n  AG(t[0] < 2);\n",
       false},
      {"counter, low bit first",
       "LUM\nVAR\n  b[0..3] : 0..1;\nINIT\n  b[0] = 0;\nTRANS\n  b[0] = 0 : b[0] := 1;\n"
       "  b[0] = 1 & b[1] = 0 : b[1] := 1 & b[0] := 0;\n"
       "  b[0] = 1 & b[1] = 1 & b[2] = 0 : b[2] := 1 & b[0] := 0 & b[1] := 0;\n"
       "  b[0] = 1 & b[1] = 1 & b[2] = 1 : b[3] := 1 - b[3] & b[0] := 0 & b[1] := 0 & b[2] := 0;\n"
       "SPEC\n  AG(b[3] = 0);\n",
       false},
      {"a program counter in every transition",
       "LUM\nVAR\n  pc : 0..7;\n  a : 0..1;\n  c : 0..1;\n  e : 0..1;\n  g : 0..1;\n  b : 0..1;\n"
       "  d : 0..1;\n  f : 0..1;\n  h : 0..1;\nINIT\n  pc = 0;\nTRANS\n"
       "  pc = 0 : a := 1 & b := 1 & pc := 1;\n  pc = 1 : b := 1 & c := 1 & pc := 2;\n"
       "  pc = 2 : c := 1 & d := 1 & pc := 3;\n  pc = 3 : d := 1 & e := 1 & pc := 4;\n"
       "  pc = 4 : e := 1 & f := 1 & pc := 5;\n  pc = 5 : f := 1 & g := 1 & pc := 6;\n"
       "  pc = 6 : g := 1 & h := 1 & pc := 7;\n"
       "SPEC\n  AG(pc < 8);\n",
       false},
      {"one variable",
       "LUM\nVAR\n  x : 0..3;\nINIT\n  x = 0;\nTRANS\n  x < 3 : x := x + 1;\nSPEC\n  AG(x < 4);\n",
       false},
      {"no transition joins two variables",
       "LUM\nVAR\n  x : 0..1;\n  y : 0..1;\n  z : 0..1;\nINIT\n  x = 0;\nTRANS\n"
       "  x = 0 : x := 1 & y := y & z := z;\n  TRUE : z := 0;\nSPEC\n  AG(x = 0);\n",
       false},
  };
  scratch s;
  for (const row &r : rows) {
    SCOPED_TRACE(r.what);
    prg *p = flatten(r.model, nullptr);
    int n = listlength(PROGpart(p->prog, 0));
    std::vector<int> order = DEPspanorder(p->prog);
    EXPECT_EQ(!order.empty(), r.reorders);
    if (order.empty()) continue;
    std::vector<int> sorted = order, decl(n);
    std::sort(sorted.begin(), sorted.end());
    for (int i = 0; i < n; i++) decl[i] = i;
    EXPECT_EQ(sorted, decl);
    if (sorted != decl) continue;
    auto span = [&](const std::vector<int> &o) {
      std::vector<int> at(n);
      for (int i = 0; i < n; i++) at[o[i]] = i;
      long long total = 0;
      for (const auto &e : DEPspanedges(p->prog)) {
        auto [lo, hi] = std::minmax_element(e.begin(), e.end(),
                                            [&](int a, int b) { return at[a] < at[b]; });
        total += at[*hi] - at[*lo];
      }
      return total;
    };
    EXPECT_LE(4 * span(order), 3 * span(decl));
  }
}

}  // namespace
