// The integer type's front end: the type word, overflow conditions and the
// overflow transitions of a -ck iN run.
#include "f2ptest.h"
#include "front/int.h"
#include "front/progint.h"

using namespace f2pt;

namespace {

TEST(F2pInt, TypeWordAndWidth) {
  struct row {
    const char *text;
    bool isint;
    const char *w7;
  } rows[] = {
      {"LUMx:int;y:0..1;#", true, "LUMx:i07;y:0..1;#"},
      {"LUMx: int;a[0..2]:int#", true, "LUMx: i07;a[0..2]:i07#"},
      {"LUMinterrupt:0..1;#1:interrupt=1;", false, nullptr},  // not a type
      {"LUMx:integer;#", false, nullptr},
      {"LUMx:int", true, "LUMx:i07"},
  };
  for (const row &r : rows) {
    EXPECT_EQ(F2Phasint(r.text), r.isint) << r.text;
    if (!r.w7) continue;
    std::string s = r.text;
    F2Psetintwidth(s, 7);
    EXPECT_EQ(s, r.w7);
  }
}

TEST(F2pInt, ConditionsAndConstants) {
  tree *vars = keep(string2tree(std::string("x:i3;y:0..7;c:char;a[0..3]:i2;k:clock")));
  struct row {
    const char *e, *cond;  // "" = no condition
  } rows[] = {
      {"x=y+1", "((y+1)>7)"},
      {"y=9", "(1=1)"},
      {"y=7", ""},
      {"x=*", ""},  // free choice stays within the type
      {"x=-1", ""},  // the largest value
      {"c=200", ""},
      {"k=9", ""},
      {"a[y]=y", "(y>3)"},
      {"x<y*2", "((y*2)>7)"},
      {"(x=y+1)&(y=y-1)", "(((y+1)>7)|((y-1)>7))"},
      {"x B 9", ""},
      {"1=1", ""},
  };
  for (const row &r : rows) {
    tree *c = keep(intconstruct(keep(string2tree(std::string(r.e))), vars, 0));
    EXPECT_EQ(c ? txt(c) : "", r.cond) << r.e;
  }
  EXPECT_EXIT(intconstruct(keep(string2tree(std::string("z=1"))), vars, 0),
              testing::ExitedWithCode(0), "intconstruct error");
  struct cst {
    const char *t;
    long long v;
  } csts[] = {{"(x<5)&(x=x+1)", 5}, {"x=(x+300)", 0}, {"!(12>x)", 12}, {"y<99", 0}, {"", 0}};
  for (const cst &c : csts)
    EXPECT_EQ(intcheckcst("x", *c.t ? keep(string2tree(std::string(c.t))) : nullptr), c.v) << c.t;
}

// -ck iN: err_x_ starts at 0, the overflow transitions join the last process
// (newest first) and AG err_x_ = 0 is the first property.
TEST(F2pInt, OverflowTransitions) {
  scratch s;
  ggbrec *g = load("LUM VAR x : i3; y : 0..3; b : 0..1;\n"
                   "INIT y = 9 & x = 0 & b = 0;\n"
                   "TRANS x < 5 : x := x + 1; b = 0 : y := * & b := 1;\n"
                   "SPEC AG x < 3",
                   F2P_SEL_INTPROBE);
  EXPECT_EQ(txt(part(g, 1)), "(((1=1)&((x=0)&(b=0)))&(err_x_=0))");  // only y = 9 dropped
  std::vector<tree *> ts = PROGelems(part(g, 2));
  ASSERT_EQ(ts.size(), 4u);
  EXPECT_EQ(txt(ts[2]), "((1=1):(err_x_=1))");
  EXPECT_EQ(txt(ts[3]), "((((x+1)>7)&(x<5)):(err_x_=1))");
  EXPECT_EQ(g->program->procs.back().n, 4);
  EXPECT_EQ(txt(part(g, 4)), "(AG(err_x_=0);AG(x<3))");
}

}  // namespace
