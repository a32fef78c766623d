// Counterexample store, trace selection and the ".cex" file.
#include "symtest.h"

#include <cstdio>
#include <fstream>
#include <sstream>

static std::string slurp(const std::string &path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

static std::string tmpdir() {
  std::string d = testing::TempDir();
  if (d.empty() || d.back() != '/') d += '/';
  return d;
}

// Declaration list: name with its first and last bit, as the encoder leaves it.
static tree *decl(const char *name, int lo, int hi, tree *rest) {
  tree *d = treecompose(":", treecompose(name, N(lo), N(hi)), L("0..3"));
  return rest ? treecompose(";", d, rest) : d;
}

TEST(Cex, RenameAndFileName) {
  struct row {
    const char *in, *out;
  } names[] = {{"a_x_3", "a[3]"}, {"a_x_1_x_2", "a[1][2]"}, {"arr_x_10", "arr[10]"},
               {"t1.pc", "t1.pc"}, {"bot_bat", "bot_bat"}, {"a_x_", "a_x_"}, {"x_x_007", "x[7]"}};
  for (auto &r : names) EXPECT_EQ(r.out, CEXrename(r.in)) << r.in;
  struct row2 {
    const char *in, *out;
  } files[] = {{"models/peterson", "models/peterson.cex"}, {"../m.lum", "../m.cex"},
               {"m.lum", "m.cex"}, {"a.b/c.d.lum", "a.b/c.d.cex"}, {"a.b/c", "a.b/c.cex"},
               {"x", "x.cex"}};
  for (auto &r : files) EXPECT_EQ(r.out, CEXfilename(r.in)) << r.in;
}

// The three-state example: x over bits 1..2 with values 0, 1, 3 by
// transitions 2 then 1.
TEST(Cex, FileFormat) {
  bprog b;
  b.n = 2;                          // value = 2*bit1 + bit2
  b.init = AND(NOT(N(1)), NOT(N(2)));
  b.guard.push_back(N(2));          // 1: from 1 to 3
  b.action.push_back(AND(N(3), N(4)));
  b.guard.push_back(AND(NOT(N(1)), NOT(N(2))));   // 2: from 0 to 1
  b.action.push_back(AND(NOT(N(3)), N(4)));
  prg *p = nullptr;
  useprog(b, &p);
  p->vlist = decl("x", 1, 2, nullptr);
  ggt->vlist = p->vlist;
  tree *ag = Q("A", "G", nullptr, NOT(AND(N(1), N(2))));
  ASSERT_EQ(0, dmc(ag, 11));
  std::string model = tmpdir() + "three.lum";
  CEXwrite(ggt->cex, ggt->vlist, model);
  EXPECT_EQ(
      "--- STATE 0 ---\nx\t=0\n--- TRANS 2 ---\n--- STATE 1 ---\nx\t=1\n"
      "--- TRANS 1 ---\n--- STATE 2 ---\nx\t=3\n",
      slurp(tmpdir() + "three.cex"));
  treefree(ag);
  freeprg(p);
  freebprog(b);
}

// A bad initial state gives one state and no TRANS line; an empty bit range
// is 0; an open bit is 1; array names are shown with brackets.
TEST(Cex, OneStateAndOpenBits) {
  bprog b;
  b.n = 3;
  b.init = N(1);                    // bits 2 and 3 open
  b.guard.push_back(L("^"));
  b.action.push_back(AND(IFF(N(4), N(1)), AND(IFF(N(5), N(2)), IFF(N(6), N(3)))));
  prg *p = nullptr;
  useprog(b, &p);
  tree *v = decl("a_x_1", 1, 1, decl("b", 2, 3, nullptr));
  v = treecompose(";", treecompose(":", treecompose("e", N(3), N(2)), L("0..0")), v);
  p->vlist = v;
  tree *ag = Q("A", "G", nullptr, NOT(N(1)));
  ASSERT_EQ(0, dmc(ag, 11));
  std::string model = tmpdir() + "one.lum";
  CEXwrite(ggt->cex, p->vlist, model);
  EXPECT_EQ("--- STATE 0 ---\ne\t=0\na[1]\t=1\nb\t=3\n", slurp(tmpdir() + "one.cex"));
  treefree(ag);
  freeprg(p);
  freebprog(b);
}

// With several layers meeting the target the trace ends in the latest one;
// a TRUE target (the debug run of a true property) ends in the latest layer.
TEST(Cex, LatestLayerAndTrueTarget) {
  bprog b;
  b.n = 2;                          // counter 0 -> 1 -> 2 -> 3 -> 3
  b.init = AND(NOT(N(1)), NOT(N(2)));
  b.guard.push_back(NOT(AND(N(1), N(2))));
  b.action.push_back(AND(IFF(N(3), OR(N(1), N(2))), IFF(N(4), NOT(N(2)))));
  b.guard.push_back(AND(N(1), N(2)));
  b.action.push_back(AND(N(3), N(4)));
  useprog(b);
  oracle o(b);
  // Bad = {1, 3}: layer 1 meets it, so do layers 3, 4; code 1 runs to the end.
  tree *p = NOT(N(2));
  tree *ag = Q("A", "G", nullptr, treecopy(p));
  ASSERT_EQ(0, dmc(ag, 1));
  size_t layers = ggt->cex->layers.size();
  std::vector<int> labels;
  CEXselect(ggt->cex, labels);
  EXPECT_EQ(layers - 1, ggt->cex->layers.size());   // the last layer is empty
  checktrace(o, *ggt->cex, labels, oracle::bnot(o.sat(p)));
  EXPECT_EQ(3u, cubestate(ggt->cex->layers.back(), 2));

  tree *ok = Q("A", "G", nullptr, L("^"));
  ASSERT_EQ(1, dmc(ok, 11));
  ggt->cex->targets[0] = TBDtau;
  CEXselect(ggt->cex, labels);
  checktrace(o, *ggt->cex, labels, o.all(true));
  EXPECT_EQ(5u, ggt->cex->layers.size());
  treefree(p);
  treefree(ag);
  treefree(ok);
  freebprog(b);
}

TEST(Cex, EmptyStoreWritesNothing) {
  std::string model = tmpdir() + "none.lum";
  std::remove((tmpdir() + "none.cex").c_str());
  CEXwrite(nullptr, nullptr, model);
  cexstore s;
  CEXwrite(&s, nullptr, model);
  EXPECT_FALSE(std::ifstream(tmpdir() + "none.cex").good());
}
