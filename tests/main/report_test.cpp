// Verdict and progress lines, property selection, property folding and the
// bounded transition relation.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>

#include "main/param.h"
#include "main/report.h"
#include "prog/prg.h"

namespace {

std::string capture(const std::function<void()> &f) {
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// Compact rendering: "(" left text right ")" for nodes with a left operand.
std::string show(const tree *t) {
  if (!t) return "";
  if (t->left) return "(" + show(t->left) + t->text + show(t->right) + ")";
  return t->text + show(t->right);
}

tree *leaf(const char *s) { return treecompose(s, nullptr, nullptr); }
tree *ag(tree *x) { return treecompose("A", nullptr, treecompose("G", nullptr, x)); }
tree *ef(tree *x) { return treecompose("E", nullptr, treecompose("F", nullptr, x)); }

// A list of the given elements (the last one stands by itself).
tree *list(std::vector<tree *> elems) {
  if (elems.empty()) return nullptr;
  tree *l = elems.back();
  for (size_t i = elems.size() - 1; i-- > 0;) l = treecompose(";", elems[i], l);
  return l;
}

// vars # init # trans # fairness # properties
tree *program(tree *props) {
  return treecompose("#", leaf("v"), treecompose("#", leaf("i"), treecompose("#", leaf("t"),
                     treecompose("#", leaf("f"), props))));
}

TEST(reportresult, VerdictLines) {
  const struct {
    int v, bound;
    const char *line;  // with @ standing for the seconds
  } rows[] = {
      {1, -2, "CONCLUSION: TRUE (time=@ sec)\n"},
      {1, 5, "CONCLUSION: TRUE (time=@ bound=5)\n"},
      {-1, -1, "CONCLUSION: FALSE (time=@ bound=-1)\n"},
      {-1, -7, "CONCLUSION: FALSE (time=@ sec)\n"},
      {0, 0, "CONCLUSION: UNKNOWN (time=@ bound=-1)\n"},
      {0, 12, "CONCLUSION: UNKNOWN (time=@ bound=11)\n"},
      {0, -1, "CONCLUSION: UNKNOWN (time=@ sec)\n"},
      {0, -2, "CONCLUSION: UNKNOWN (time=@ sec)\n"},
      {0, INT_MIN, "CONCLUSION: UNKNOWN (time=@ sec)\n"},
      {7, 3, " (time=@ bound=3)\n"},
      {2, -2, " (time=@ sec)\n"},
  };
  for (const auto &r : rows) {
    t0 = std::time(nullptr) - 100;
    int got = 0;
    std::string out = capture([&] { got = reportresult(r.v, r.bound); });
    EXPECT_EQ(got, r.v);
    std::string want = r.line;
    // 100 seconds have passed, 101 if the clock ticked meanwhile
    std::string w100 = want, w101 = want;
    w100.replace(want.find('@'), 1, "100");
    w101.replace(want.find('@'), 1, "101");
    EXPECT_TRUE(out == w100 || out == w101) << out << " for " << r.v << "," << r.bound;
  }
}

TEST(reportprogress, LinesAndSilenceForBuiltins) {
  PARdefaults();
  t0 = std::time(nullptr) - 42;
  std::string out = capture([] { reportprogress(0, 9); reportprogress(1, 7); reportprogress(1, 1234); });
  std::regex want("----------  time = 4[23]\nbound =  7  time = 4[23]\nbound =1234  time = 4[23]\n");
  EXPECT_TRUE(std::regex_match(out, want)) << out;
  opDFTT = 1;
  EXPECT_EQ(capture([] { reportprogress(0, 0); reportprogress(1, 3); }), "");
  PARdefaults();
}

class mgetpTest : public testing::Test {
 protected:
  void SetUp() override {
    PARdefaults();
    prog = program(list({ag(leaf("a")), ef(leaf("b")), leaf("c")}));
  }
  void TearDown() override { treefree(prog); }
  // Standard input from a text, for the interactive selection.
  void input(const std::string &text) {
    // tests may run in parallel processes: each input gets its own file
    std::string path = (std::filesystem::temp_directory_path() / "lumet-mgetp-XXXXXX").string();
    int fd = mkstemp(path.data());
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << text;
    ASSERT_NE(std::freopen(path.c_str(), "r", stdin), nullptr);
    std::filesystem::remove(path);  // the open stream keeps the contents
  }
  tree *prog = nullptr;
};

TEST_F(mgetpTest, BySelector) {
  const struct {
    int sel;
    const char *want;  // compact form of the property, "" for none
    const char *out;   // printed without announcement
  } rows[] = {
      {1, "AGa", ""}, {2, "EFb", ""}, {3, "c", ""},
      {4, "", "error: the selected property does not exist\n"},
      {-1, "AGa", ""}, {-2, "AGa", ""}, {-3, "AGa", ""},
      {-4, "", ""}, {PARSEL_ALL, "", ""},
  };
  for (const auto &r : rows) {
    tree *p = nullptr;
    std::string out = capture([&] { p = mgetp(prog, r.sel, 0); });
    EXPECT_EQ(show(p), r.want) << r.sel;
    EXPECT_EQ(out, r.out) << r.sel;
  }
  EXPECT_EQ(op0.prop, PARSEL_ALL);  // only an interactive choice is recorded
}

TEST_F(mgetpTest, Announce) {
  std::string out = capture([&] { mgetp(prog, 2, 1); });
  EXPECT_EQ(out, "PROPERTY:   E F b \n");
  out = capture([&] { mgetp(prog, -3, 1); });
  EXPECT_EQ(out, "PROPERTY:   A G a \n");
  EXPECT_EQ(op0.prop, PARSEL_ALL);
}

TEST_F(mgetpTest, InteractiveRetriesUntilValid) {
  input("9\nabc\n\n2\n");
  tree *p = nullptr;
  std::string out = capture([&] { p = mgetp(prog, PARSEL_ASK, 1); });
  const std::string menu = "1: A G a \n2: E F b \n3: c \n";
  const std::string ask = "select a property (1-3): ";
  const std::string bad = "error: the selection is not valid\n";
  EXPECT_EQ(out, menu + ask + bad + ask + bad + ask + bad + ask + "PROPERTY:   E F b \n");
  EXPECT_EQ(show(p), "EFb");
  EXPECT_EQ(op0.prop, 2);
}

TEST_F(mgetpTest, InteractiveEndOfInputSelectsNothing) {
  const struct {
    const char *in;
    std::string out;
  } rows[] = {
      {"", "select a property (1-3): \n"},
      {"0\n", "select a property (1-3): error: the selection is not valid\nselect a property (1-3): \n"},
      {"3", "select a property (1-3): PROPERTY:   c \n"},  // a last line without line end counts
  };
  for (const auto &r : rows) {
    PARdefaults();
    input(r.in);
    tree *p = nullptr;
    std::string out = capture([&] { p = mgetp(prog, PARSEL_ASK, 1); });
    EXPECT_EQ(out, "1: A G a \n2: E F b \n3: c \n" + r.out) << r.in;
    EXPECT_EQ(p != nullptr, r.in[0] == '3') << r.in;
  }
}

TEST(mgetp, NoProperties) {
  PARdefaults();
  tree *prog = program(nullptr);
  EXPECT_EQ(capture([&] { EXPECT_EQ(mgetp(prog, PARSEL_ASK, 1), nullptr); }),
            "error: no properties have been specified\n");
  EXPECT_EQ(capture([&] { EXPECT_EQ(mgetp(prog, 1, 1), nullptr); }),
            "error: the selected property does not exist\n");
  treefree(prog);
  // a program tree without the five parts has no properties either
  tree *bare = leaf("x");
  EXPECT_EQ(capture([&] { EXPECT_EQ(mgetp(bare, 1, 0), nullptr); }),
            "error: the selected property does not exist\n");
  treefree(bare);
}

TEST(specmerge21, Folding) {
  struct row {
    std::function<tree *()> make;
    const char *want;
  };
  const row rows[] = {
      {[] { return list({ag(leaf("a")), ag(leaf("b")), ag(leaf("c"))}); }, "AG(a&(b&c))"},
      {[] { return list({ag(leaf("a")), ef(leaf("b")), ag(leaf("c"))}); }, "(AGa&(EFb&AGc))"},
      {[] { return list({ef(leaf("a")), ag(leaf("b")), ag(leaf("c"))}); }, "(EFa&AG(b&c))"},
      {[] { return list({ag(leaf("a")), ag(leaf("b")), ef(leaf("c"))}); }, "(AGa&(AGb&EFc))"},
      {[] { return list({ag(leaf("a")), ag(leaf("b"))}); }, "AG(a&b)"},
      {[] { return ag(leaf("a")); }, "AGa"},
      // A over F, or E over G, is no AG
      {[] { return list({treecompose("A", nullptr, treecompose("F", nullptr, leaf("a"))), ag(leaf("b"))}); },
       "(AFa&AGb)"},
  };
  for (const auto &r : rows) {
    tree *l = r.make();
    specmerge21(l);
    EXPECT_EQ(show(l), r.want);
    treefree(l);
  }
  specmerge21(nullptr);  // no properties: nothing to fold
}

TEST(specmerge21, LongListWithoutRecursion) {
  const int n = 100000;
  tree *l = ag(leaf("p"));
  for (int i = 1; i < n; i++) l = treecompose(";", ag(leaf("p")), l);
  specmerge21(l);
  ASSERT_STREQ(l->text, "A");
  ASSERT_STREQ(l->right->text, "G");
  int depth = 0;
  const tree *t = l->right->right;  // below A and G: a right spine of "&"
  for (; t && t->text[0] == '&'; t = t->right) {
    ASSERT_STREQ(t->left->text, "p");
    depth++;
  }
  EXPECT_EQ(depth, n - 1);
  ASSERT_NE(t, nullptr);
  EXPECT_STREQ(t->text, "p");
  treefree(l);
}

tree *trans(const char *g, const char *a) { return treecompose(":", leaf(g), leaf(a)); }

TEST(mgett, Disjunction) {
  prg p;
  p.PRCNT = 2;
  p.procs.resize(2);
  p.procs[0].trans = {trans("g1", "a1"), trans("_", "a2"), trans("g3", "_")};
  p.procs[0].n = 3;
  p.procs[1].trans = {trans("^", "a4"), trans("g5", "a5")};
  p.procs[1].n = 2;
  tree *r = mgett(p);
  tree *tt = treeconstab(1, 1);
  EXPECT_EQ(show(r), "(((g1&a1)|(" + show(tt) + "&a4))|(g5&a5))");
  treefree(tt);
  treefree(r);
  // the record keeps its own transitions
  EXPECT_EQ(show(p.procs[1].trans[0]), "(^:a4)");
  for (auto &pr : p.procs)
    for (tree *t : pr.trans) treefree(t);
}

TEST(mgett, NothingLeft) {
  prg p;
  EXPECT_EQ(mgett(p), nullptr);  // no processes
  p.PRCNT = 1;
  p.procs.resize(1);
  p.procs[0].trans = {trans("_", "a"), trans("g", "_")};
  p.procs[0].n = 2;
  tree *r = mgett(p);
  EXPECT_EQ(show(r), "_");  // every transition skipped: FALSE
  treefree(r);
  for (tree *t : p.procs[0].trans) treefree(t);
}

}  // namespace

namespace {

// Families give tens of thousands of transitions: the left-nested relation
// must be built, copied and freed without deep recursion.
TEST(mgett, ManyTransitions) {
  const int n = 100000;
  prg p;
  p.PRCNT = 1;
  p.procs.resize(1);
  for (int i = 0; i < n; i++) p.procs[0].trans.push_back(trans("g", "a"));
  p.procs[0].n = n;
  tree *r = mgett(p);
  int depth = 0;
  const tree *t = r;
  for (; t && t->text[0] == '|'; t = t->left) depth++;
  EXPECT_EQ(depth, n - 1);
  tree *c = treecopy(r);
  EXPECT_EQ(treediff(r, c), 0);
  treefree(c);
  treefree(r);
  for (tree *x : p.procs[0].trans) treefree(x);
}

}  // namespace
