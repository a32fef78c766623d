// Clocks and fractional constants; "char" and iN declaration types.
#include "f2ptest.h"
#include "front/clk.h"

using namespace f2pt;

namespace {

tree *body(const char *text) { return keep(PROGtxt2modules(text))->body; }

TEST(F2pClock, Fractal) {
  struct row {
    const char *x, *f;
  } rows[] = {{"2.5", "(5/2)"}, {"0.25", "(1/4)"}, {"3", "(3/1)"},  {"0", "(0/1)"},
              {"0.3", "(3/10)"}, {"1.000001", "(1/1)"}, {"12.34567", "(1234567/100000)"}};
  for (const row &r : rows) EXPECT_EQ(txt(keep(fractal(r.x))), r.f) << r.x;
  EXPECT_EQ(gcd(100000, 50000), 50000);
  EXPECT_EQ(gcd(7, 0), 7);
}

TEST(F2pClock, HalvesGiveTwoTicksPerUnit) {
  tree *b = body("LUMc:clock;x:0..1;#x=0;#c>2.5:x=1;c<1:x=0;#AG(c<3)");
  tree *ct = keep(clkcheckvlist(b));
  ASSERT_NE(ct, nullptr);
  // T = 2: 2.5 is 5 ticks, 1 is 2 ticks, 3 is 6 ticks (the largest)
  EXPECT_EQ(txt(b->left), "((c:0..7);(x:0..1))");
  EXPECT_EQ(txt(b->right->right->right), "AG(c<6)");
  EXPECT_EQ(txt(b->right->left), "((x=0)&(c=0))");
  EXPECT_EQ(b->right->right->left, nullptr);  // guarded transitions became conditions
  EXPECT_EQ(txt(ct),
            "((!(c{6):(c=c));((((!(c>5)|(x=1))&(!(c<2)|(x=0)))&(c{6)):"
            "(c=(((c{6)N(c+1))M((c=7)Nc)))))");
}

TEST(F2pClock, EdgeCaseTwoAndOne) {
  tree *b = body("LUMc:clock;x:0..1;#1=1;#c>2.5:x=1;c<1:x=0;");
  keep(clkcheckvlist(b));
  EXPECT_EQ(txt(b->left), "((c:0..6);(x:0..1))");  // constants 5 and 2 ticks, type 0..m+1
}

TEST(F2pClock, TwoClocksShareTheScale) {
  // denominators 2 and 3: T = 6; 0.5 is 3 ticks, 1/3 is 2 ticks
  tree *b = body("LUMc:clock;d:clock;x:0..1;#1=1;#c>0.5:x=1;d>(1/3):x=0;");
  keep(clkcheckvlist(b));
  EXPECT_EQ(txt(b->left), "((c:0..4);((d:0..3);(x:0..1)))");
  // T = lcm(2, 4) = 4: 1.5 is 6 ticks, 0.25 is 1 tick
  b = body("LUMc:clock;d:clock;x:0..1;#1=1;#c>1.5:x=1;d>0.25:x=0;");
  keep(clkcheckvlist(b));
  EXPECT_EQ(txt(b->left), "((c:0..7);((d:0..2);(x:0..1)))");
  // a clock's own scale K multiplies the denominators
  b = body("LUMc:clock2;x:0..1;#1=1;#c>3:x=1;");
  keep(clkcheckvlist(b));
  EXPECT_EQ(txt(b->left), "((c:0..4);(x:0..1))");
}

TEST(F2pClock, Errors) {
  EXPECT_EXIT(clkcheckvlist(body("LUMc:clock;d:clock;x:0..1;#1=1;#c>d:x=1;")),
              ::testing::ExitedWithCode(0), "syntax of fractals error");
  EXPECT_EXIT(clkcheckvlist(body("LUMc:clock0;x:0..1;#1=1;#c>1:x=1;")), ::testing::ExitedWithCode(0),
              "type error");
}

TEST(F2pClock, NoClockKeepsTransitions) {
  tree *b = body("LUMx:i3;y:char;z:i1;#x=0;#x<7:x=x+1;");
  EXPECT_EQ(clkcheckvlist(b), nullptr);
  EXPECT_EQ(txt(b->left), "((x:0..7);((y:0..127);(z:0..1)))");
  EXPECT_EQ(txt(b->right->right->left), "((x<7):(x=(x+1)))");
}

// The clock advances to its largest constant plus one and stays there.
TEST(F2pClock, AdvanceAfterFlattening) {
  scratch s;
  ggbrec *g = flat("LUM VAR c : clock; INIT TRUE; TRANS TRUE : TRUE; SPEC AG(c < 2);");
  EXPECT_EQ(txt(part(g, 0)), "(c:0..3)");
  state st = init1(g);
  for (int k = 1; k <= 5; ++k) {
    std::vector<state> n = succall(g, st);
    ASSERT_EQ(n.size(), 1u) << k;
    EXPECT_EQ(n[0]["c"], k < 3 ? k : 3);
    st = n[0];
  }
}

TEST(F2pClock, TreeHelpers) {
  tree *l = keep(string2tree(std::string("a;b;c")));
  list2cn(l);
  EXPECT_EQ(txt(l), "(a&(b&c))");
  tree *t = keep(string2tree(std::string("c=c+cc")));
  tree *r = keep(string2tree(std::string("c+1")));
  treesubstitute(t, "c", r);
  EXPECT_EQ(txt(t), "((c+1)=((c+1)+cc))");
}

}  // namespace
