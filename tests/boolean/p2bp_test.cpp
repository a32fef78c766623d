// Bit numbering, range constraints, name replacement, the encoding of a whole
// program record (checked by evaluation against integer semantics) and its dump.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "booltest.h"
#include "tree/tree.h"

// Death-test children end through the fatal path and keep their trees.
extern "C" __attribute__((weak)) int __lsan_is_turned_off() {
  return testing::internal::InDeathTestChild();
}

namespace {

tree *parse(const char *s) { return string2tree(std::string(s)); }

TEST(P2bp, BitWidthsAndNumbering) {
  tree *d = parse("a:0..1;b:0..2;c:0..3;d:0..4;e:0..0;f:5..8;g:xyz;h:0..65535");
  EXPECT_EQ(INFOvlist(d), 1 + 2 + 2 + 3 + 1 + 4 + 1 + 16);
  const int first[] = {1, 2, 4, 6, 9, 10, 14, 15}, last[] = {1, 3, 5, 8, 9, 13, 14, 30};
  int i = 0;
  for (const tree *e = d; e; e = e->text[0] == ';' ? e->right : nullptr, i++) {
    const tree *decl = e->text[0] == ';' ? e->left : e;
    ASSERT_TRUE(decl->left->left && decl->left->right) << i;
    EXPECT_EQ(std::string(decl->left->left->text), std::to_string(first[i])) << i;
    EXPECT_EQ(std::string(decl->left->right->text), std::to_string(last[i])) << i;
  }
  EXPECT_EQ(i, 8);
  EXPECT_EQ(INFOvlist(d), 30) << "numbering again replaces the old numbers";
  treefree(d);
}

TEST(P2bp, RangeConstraints) {
  tree *d = parse("a:0..1;g:xyz;f:5..8");
  tree *c = INFOconstr_a(d);
  EXPECT_EQ(BTtext(c), "(!(Va>1)&!(Vf>8))");
  treefree(c);
  treefree(d);
  c = INFOconstr_a(nullptr);
  EXPECT_EQ(BTtext(c), "^");
  treefree(c);
}

TEST(P2bp, Constants) {
  const std::pair<unsigned long long, const char *> rows[] = {
      {0, "_"}, {1, "^"}, {2, "(^;_)"}, {5, "(^;(_;^))"}, {6, "(^;(^;_))"}};
  for (auto &r : rows) {
    tree *t = BOOLconstructnum(r.first);
    EXPECT_EQ(BTtext(t), r.second) << r.first;
    treefree(t);
  }
}

TEST(P2bp, ReplaceNamesAndNumbers) {
  tree *d = parse("x:0..7;y:0..15;a[0..3]:0..1");
  ASSERT_EQ(INFOvlist(d), 8);
  const std::pair<const char *, const char *> rows[] = {
      {"Ox", "(9;(10;11))"},   // next state: first bit 1 + BOOLN 8
      {"Vx", "(1;(2;3))"},
      {"Vy", "(4;(5;(6;7)))"},
      {"Va[Vx]", "8"},         // indexed: looked up up to the '['
      {"12", "(^;(^;(_;_)))"},
      {"Vx+3", "((1;(2;3))+(^;^))"},
      {"^", "^"},
  };
  for (auto &r : rows) {
    tree *t = parse(r.first);
    BOOLreplace(t, d, 8);
    EXPECT_EQ(BTtext(t), r.second) << r.first;
    treefree(t);
  }
  treefree(d);
}

TEST(P2bp, FirstNextStateBitIsBoolnPlusOne) {
  tree *d = parse("x:0..7;y:0..15");  // BOOLN = 7
  ASSERT_EQ(INFOvlist(d), 7);
  tree *t = parse("Ox");
  BOOLreplace(t, d, 7);
  EXPECT_EQ(std::string(BTbits(t)[0]->text), "8");
  treefree(t);
  treefree(d);
}

TEST(P2bpDeath, UndeclaredNameAndHugeBound) {
  EXPECT_EXIT(
      {
        tree *d = parse("x:0..7");
        INFOvlist(d);
        tree *t = parse("Vz+1");
        BOOLreplace(t, d, 3);
      },
      testing::ExitedWithCode(0), "^vlist error\n$");
  EXPECT_EXIT(INFOvlist(parse("x:0..99999999999999999999")), testing::ExitedWithCode(0),
              "^vlist error\n$");
}

// x : 0..5 (bits 1-3), y : 0..2 (bits 4-5); next state bits 6-10.
struct program {
  prg &p = *new prg{};
  ~program() { prgfree(&p); }
  program() {
    p.vlist = parse("x:0..5;y:0..2");
    p.BOOLN = INFOvlist(p.vlist);
    p.PRCNT = 2;
    p.PURETRANS = 1;
    p.procs.resize(2);
    const char *t1[] = {"Vx<5:Ox=Vx+1&Oy=Vy", "Vx=5&Vy>0:Ox=Vx%Vy&Oy=Vy-1"};
    const char *t2[] = {"Vy<Vx:Ox=Vx/2&Oy=Vx*Vy"};
    for (const char *s : t1) p.procs[0].trans.push_back(parse(s));
    p.procs[0].calls = {nullptr, parse("f:1")};
    p.procs[0].n = 2;
    p.procs[1].trans.push_back(parse(t2[0]));
    p.procs[1].calls = {nullptr};
    p.procs[1].n = 1;
    p.prog = parse("x:0..5;y:0..2#Vx=0&Vy=2#t1;t2#1=1#AG(Vx{5)");
    p.varc = INFOconstr_a(p.vlist);
    p.dead = parse("!(Vx<5|Vy<Vx)");
    p.deadtr = parse("!(Vx<5|Vy<Vx):Ox=Vx&Oy=Vy");
  }
};

struct state {
  unsigned x, y, nx, ny;
};

std::vector<int> assignment(const state &s) {
  std::vector<int> a(11, 0);
  for (int i = 0; i < 3; i++) a[1 + i] = (s.x >> (2 - i)) & 1, a[6 + i] = (s.nx >> (2 - i)) & 1;
  for (int i = 0; i < 2; i++) a[4 + i] = (s.y >> (1 - i)) & 1, a[9 + i] = (s.ny >> (1 - i)) & 1;
  return a;
}

bool evaltrans(const tree *t, const std::vector<int> &a) {
  EXPECT_EQ(std::string(t->text), ":");
  return BTeval(t->left, a) && BTeval(t->right, a);
}

TEST(P2bp, EncodedProgramMeansTheIntegerProgram) {
  program src;
  tree *before = treecopy(src.p.prog);
  prg *q = p2bp(&src.p);
  EXPECT_EQ(treediff(before, src.p.prog), 0) << "the input stays unchanged";
  treefree(before);
  EXPECT_EQ(q->BOOLN, 5);
  EXPECT_EQ(q->PRCNT, 2);
  EXPECT_EQ(q->PURETRANS, 1);
  ASSERT_EQ(q->procs.size(), 2u);
  ASSERT_EQ(q->procs[0].trans.size(), 2u);
  EXPECT_EQ(q->procs[0].n, 2);
  EXPECT_EQ(q->procs[0].calls[0], nullptr);
  EXPECT_EQ(BTtext(q->procs[0].calls[1]), "(f:1)") << "calls are copied, not encoded";
  const tree *r = q->prog->right;  // #(init, #(trans, #(fairness, props)))
  EXPECT_EQ(r->right->left, nullptr) << "transitions live in the process records";
  EXPECT_EQ(BTtext(r->right->right->left), "^");
  const tree *prop = r->right->right->right;
  ASSERT_EQ(std::string(prop->text), "A");
  ASSERT_EQ(std::string(prop->right->text), "G");
  const std::function<bool(const state &)> sem[] = {
      [](const state &s) { return s.x < 5 && s.nx == s.x + 1 && s.ny == s.y; },
      [](const state &s) { return s.x == 5 && s.y > 0 && s.nx == s.x % s.y && s.ny == s.y - 1; },
      [](const state &s) { return s.y < s.x && s.nx == s.x / 2 && s.ny == s.x * s.y; },
  };
  const tree *tr[] = {q->procs[0].trans[0], q->procs[0].trans[1], q->procs[1].trans[0]};
  for (const tree *t : tr) EXPECT_TRUE(BTisnnf(t)) << BTtext(t);
  for (unsigned v = 0; v < 1024; v++) {
    state s{v >> 7, (v >> 5) & 3, (v >> 2) & 7, v & 3};
    std::vector<int> a = assignment(s);
    for (int i = 0; i < 3; i++)
      ASSERT_EQ(evaltrans(tr[i], a), sem[i](s)) << i << ": " << s.x << " " << s.y << " " << s.nx << " " << s.ny;
    ASSERT_EQ(BTeval(q->varc, a), s.x <= 5 && s.y <= 2);
    ASSERT_EQ(BTeval(q->dead, a), !(s.x < 5 || s.y < s.x));
    ASSERT_EQ(evaltrans(q->deadtr, a), !(s.x < 5 || s.y < s.x) && s.nx == s.x && s.ny == s.y);
    ASSERT_EQ(BTeval(r->left, a), s.x == 0 && s.y == 2);
    ASSERT_EQ(BTeval(prop->right->right, a), s.x <= 5);
  }
  prgfree(q);
}

std::string dump(const prg *p) {
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  prgwrite(p, f);
  std::fclose(f);
  std::string s(buf, len);
  std::free(buf);
  return s;
}

TEST(P2bp, DumpFormat) {
  prg &p = *new prg{};
  p.prog = parse("a#b");
  p.BOOLN = 3;
  p.varc = parse("1");
  p.vlist = parse("x:0..1");
  p.PURETRANS = 1;
  p.PRCNT = 1;
  p.procs.resize(1);
  p.procs[0].n = 2;
  p.procs[0].trans = {parse("1:4"), parse("2:5")};
  p.procs[0].calls = {nullptr, parse("f")};
  p.deadtr = parse("!1:4");
  EXPECT_EQ(dump(&p),
            "PROG=\n(a # \nb )\n"
            "BOOLN=3\n"
            "VARC=\n1 \n"
            "DEAD=\n\n"
            "VLIST=\n(x : 0..1 )\n"
            "PURETRANS=1\n"
            "PRCNT=1\n"
            "P1T1:(1 : 4 )\n\n"
            "P1T2:(2 : 5 )\nf \n"
            "P0T0:(! 1 : 4 )\n");
  prgfree(&p);
}

// A right spine of 100,000 conjuncts is encoded without deep recursion.
TEST(P2bp, LongConjunctionChain) {
  prg &p = *new prg{};
  p.vlist = parse("x:0..3");
  p.BOOLN = INFOvlist(p.vlist);
  tree *lt = parse("Vx<3");
  tree *chain = treecopy(lt);
  for (int i = 0; i < 100000; i++) chain = treecompose("&", treecopy(lt), chain);
  treefree(lt);
  p.prog = treecompose("#", treecopy(p.vlist), chain);
  prg *q = p2bp(&p);
  std::vector<const tree *> conj;
  const tree *t = q->prog->right;
  for (; t->text[0] == '&'; t = t->right) conj.push_back(t->left);
  conj.push_back(t);
  ASSERT_EQ(conj.size(), 100001u);
  for (const tree *c : conj) ASSERT_EQ(c, conj[0]) << "equal conjuncts are one node";
  std::vector<int> a = {0, 0, 1};  // x = 1
  EXPECT_TRUE(BTeval(q->prog->right, a));
  a = {0, 1, 1};  // x = 3
  EXPECT_FALSE(BTeval(t, a));
  prgfree(q);
  prgfree(&p);
}

TEST(P2bp, RecordWithoutNumbersIsNumberedByTheEncoder) {
  prg &p = *new prg{};
  p.vlist = parse("x:0..3;y:0..1");
  p.prog = parse("x:0..3;y:0..1#Vx=2&Vy=1");
  prg *q = p2bp(&p);
  EXPECT_EQ(q->BOOLN, 3);
  std::vector<int> a = {0, 1, 0, 1};
  EXPECT_TRUE(BTeval(q->prog->right, a));
  a[3] = 0;
  EXPECT_FALSE(BTeval(q->prog->right, a));
  prgfree(q);
  prgfree(&p);
}

}  // namespace
