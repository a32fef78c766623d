// Flattening steps on small models: loops, channels, arrays, complete
// assignments, -1, free choice, types, constants, bare conditions.
#include "f2ptest.h"

using namespace f2pt;

namespace {

std::string trans(ggbrec *g) { return txt(part(g, 2)); }

TEST(F2pFor, Unrolling) {
  scratch s;
  struct row {
    const char *model;
    int k;
    const char *expect;
  } rows[] = {
      {"LUM VAR a[0..2] : 0..1; INIT for i in [0..2] : a[i] = 0; TRANS TRUE : a[0] := 1;", 1,
       "(^&((a[0]=0)&((a[1]=0)&(a[2]=0))))"},
      // the empty range is TRUE
      {"LUM VAR x : 0..1; INIT for i in [2..1] : x = 1; TRANS TRUE : x := 1;", 1, "^"},
      // nested loops, loops inside actions and properties
      {"LUM VAR x : 0..9; INIT x = 0; TRANS TRUE : x := 1; SPEC "
       "AG(for i in [1..2] : for j in [3..3] : x != i + j);",
       4, "AG(^&((^&(xB(1+3)))&(^&(xB(2+3)))))"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.model);
    ggbrec *g = load(r.model);
    EXPECT_EQ(txt(part(g, r.k)), r.expect);
  }
}

TEST(F2pChannel, DeclarationsAndInit) {
  scratch s;
  ggbrec *g = load("LUM VAR c[2] : 0..3; INIT TRUE; TRANS TRUE : c[.]!1;");
  EXPECT_EQ(txt(part(g, 0)), "((c_x_:0..2);(c[0..1]:0..3))");
  EXPECT_EQ(txt(part(g, 1)), "((1=1)&((c_x_=0)&((c[0]=0)&(c[1]=0))))");
  // the capacity test is a guard on the current fill
  EXPECT_EQ(trans(g), "(((1=1)&(c_x_<2)):((c_x_=(c_x_+1))&(c[c_x_]=1)))");
}

// A channel of capacity 2 holds two items, refuses a third, and gives them
// back in order.
TEST(F2pChannel, FillToCapacityAndEmpty) {
  scratch s;
  ggbrec *g = flat("LUM VAR c[2] : 0..3; v : 0..3; got : 0..3; INIT v = 1; got = 0; TRANS "
                   "v < 3 : c[.]!v & v := v + 1; TRUE : c[.]?got;");
  ASSERT_EQ(g->program->procs.size(), 1u);
  const tree *send = g->program->procs[0].trans[0], *recv = g->program->procs[0].trans[1];
  state st = init1(g);
  EXPECT_EQ(st["c_x_"], 0);
  EXPECT_TRUE(succ(g, recv, st).empty());  // nothing to receive
  for (int k = 1; k <= 2; ++k) {
    std::vector<state> n = succ(g, send, st);
    ASSERT_EQ(n.size(), 1u) << "send " << k;
    st = n[0];
    EXPECT_EQ(st["c_x_"], k);
  }
  EXPECT_EQ(st["c_x_0"], 1);
  EXPECT_EQ(st["c_x_1"], 2);
  EXPECT_TRUE(succ(g, send, st).empty());  // full: a third send is disabled
  for (int k = 1; k <= 2; ++k) {
    std::vector<state> n = succ(g, recv, st);
    ASSERT_EQ(n.size(), 1u) << "receive " << k;
    st = n[0];
    EXPECT_EQ(st["got"], k);
    EXPECT_EQ(st["c_x_"], 2 - k);
  }
  EXPECT_TRUE(succ(g, recv, st).empty());
}

TEST(F2pArray, OneDimensional) {
  scratch s;
  ggbrec *g = flat("LUM VAR a[1..3] : 0..3; i : 1..3; INIT a[1] = 0; a[2] = 0; a[3] = 0; i = 1; "
                   "TRANS TRUE : a[i] := a[i] + 1 & i := i % 3 + 1; SPEC AG(a[2] < 3);");
  EXPECT_EQ(txt(part(g, 0)), "((a_x_1:0..3);((a_x_2:0..3);((a_x_3:0..3);(i:1..3))))");
  tree *t = g->program->procs[0].trans[0];
  state st = init1(g);
  for (int step = 1; step <= 4; ++step) {
    std::vector<state> n = succ(g, t, st);
    ASSERT_EQ(n.size(), 1u);
    // only the addressed element changes
    for (int e = 1; e <= 3; ++e)
      EXPECT_EQ(n[0]["a_x_" + std::to_string(e)],
                st["a_x_" + std::to_string(e)] + (e == st["i"] ? 1 : 0));
    st = n[0];
  }
  EXPECT_EQ(st["a_x_1"], 2);
  // references in properties select among the elements
  EXPECT_EQ(txt(part(g, 4)), "AG(Va_x_2<3)");
}

TEST(F2pArray, TwoDimensionalWithLowerBounds) {
  scratch s;
  // stride hi+1 per dimension: a[2][1] of a[1..2][1..3] is the flat element 9
  ggbrec *g = flat("LUM VAR a[1..2][1..3] : 0..1; INIT TRUE; TRANS TRUE : a[2][1] := 1;");
  std::vector<var> v = vars(g);
  ASSERT_EQ(v.size(), 7u);  // flat indices 5..11 cover all six declared elements
  EXPECT_EQ(v.front().name, "a_x_5");
  EXPECT_EQ(v.back().name, "a_x_11");
  state st;
  for (const var &x : v) st[x.name] = 0;
  std::vector<state> n = succ(g, g->program->procs[0].trans[0], st);
  ASSERT_EQ(n.size(), 1u);
  for (const var &x : v) EXPECT_EQ(n[0][x.name], x.name == "a_x_9" ? 1 : 0) << x.name;
}

TEST(F2pArray, VariableIndexInGuardAndKeepValues) {
  scratch s;
  ggbrec *g = flat("LUM VAR b[0..1] : 0..1; j : 0..1; INIT TRUE; TRANS b[j] = 0 : b[j] := 1;");
  tree *t = g->program->procs[0].trans[0];
  state st{{"b_x_0", 1}, {"b_x_1", 0}, {"j", 0}};
  EXPECT_TRUE(succ(g, t, st).empty());
  st["j"] = 1;
  std::vector<state> n = succ(g, t, st);
  ASSERT_EQ(n.size(), 1u);
  EXPECT_EQ(n[0]["b_x_0"], 1);
  EXPECT_EQ(n[0]["b_x_1"], 1);
}

TEST(F2pAssign, CompleteAssignments) {
  scratch s;
  ggbrec *g = flat("LUM VAR x : 0..1; y : 0..3; INIT x = 0; TRANS TRUE : TRUE; x = 0 : y := 2;");
  EXPECT_EQ(txt(g->program->procs[0].trans[0]), "(^:((Ox=Vx)&(Oy=Vy)))");
  EXPECT_EQ(txt(g->program->procs[0].trans[1]), "((Vx=0):((Ox=Vx)&(Oy=2)))");
}

TEST(F2pAssign, MinusOneAndFreeChoice) {
  scratch s;
  ggbrec *g = flat("LUM VAR x : 0..7; a[0..1] : 2..5; i : 0..1; INIT x = 0; TRANS "
                   "x != -1 : x := -1 & a[i] := -1; x = -1 : x := * & a[i] := *;");
  tree *t0 = g->program->procs[0].trans[0], *t1 = g->program->procs[0].trans[1];
  EXPECT_EQ(txt(t0->left), "(VxB7)");
  state st{{"x", 0}, {"a_x_0", 2}, {"a_x_1", 2}, {"i", 1}};
  std::vector<state> n = succ(g, t0, st);
  ASSERT_EQ(n.size(), 1u);
  EXPECT_EQ(n[0]["x"], 7);
  EXPECT_EQ(n[0]["a_x_1"], 5);  // the element's own type gives its largest value
  EXPECT_EQ(n[0]["a_x_0"], 2);
  // free choice: any value of the type, the other element keeps its value
  n = succ(g, t1, n[0]);
  EXPECT_EQ(n.size(), 8u * 4u);
  for (const state &x : n) EXPECT_EQ(x.at("a_x_0"), 2);
}

TEST(F2pAssign, ComparisonsInActionsConstrainNextValues) {
  scratch s;
  ggbrec *g = flat("LUM VAR x : 0..3; INIT x = 0; TRANS TRUE : x < 2;");
  state st{{"x", 3}};
  std::vector<state> n = succ(g, g->program->procs[0].trans[0], st);
  ASSERT_EQ(n.size(), 2u);
  EXPECT_EQ(n[0]["x"], 0);
  EXPECT_EQ(n[1]["x"], 1);
}

TEST(F2pTypes, CharAndWidths) {
  scratch s;
  ggbrec *g = load("LUM VAR c : char; b : i3; z : i0; INIT TRUE; TRANS TRUE : b := 1;");
  EXPECT_EQ(txt(part(g, 0)), "((c:0..127);((b:0..7);(z:0..0)))");
}

TEST(F2pTypes, Errors) {
  scratch s;
  EXPECT_EXIT(load("LUM VAR x : bool; INIT TRUE; TRANS TRUE : x := 1;"),
              ::testing::ExitedWithCode(0), "type error");
  EXPECT_EXIT(load("LUM VAR x : i40; INIT TRUE; TRANS TRUE : x := 1;"),
              ::testing::ExitedWithCode(0), "type error");
  // int needs the driver's width probe
  EXPECT_EXIT(load("LUM VAR x : int; INIT TRUE; TRANS TRUE : x := 1;"),
              ::testing::ExitedWithCode(0), "int error");
  EXPECT_EXIT(flat("LUM VAR x : 0..1; INIT x = y; TRANS TRUE : x := 1;"),
              ::testing::ExitedWithCode(0), "constant error");
  EXPECT_EXIT(flat("LUM VAR x : 0..1; INIT TRUE; TRANS TRUE : x;"), ::testing::ExitedWithCode(0),
              "modify error");
}

TEST(F2pConstants, NamesWithDigits) {
  scratch s;
  ggbrec *g = flat("LUM VAR x : 0..9; INIT x = k7; TRANS TRUE : x := 1;");
  EXPECT_EQ(txt(part(g, 1)), "(Vx=7)");
}

TEST(F2pConditions, BareVariables) {
  scratch s;
  ggbrec *g = flat("LUM VAR f : 0..1; x : 0..1; INIT !f; TRANS f : x := 1; !f & x : f := 1; "
                   "SPEC AG(f | !x);");
  EXPECT_EQ(txt(part(g, 1)), "(Vf=0)");
  EXPECT_EQ(txt(g->program->procs[0].trans[0]->left), "(VfB0)");
  EXPECT_EQ(txt(g->program->procs[0].trans[1]->left), "((Vf=0)&(VxB0))");
  EXPECT_EQ(txt(part(g, 4)), "AG((VfB0)|(Vx=0))");
}

TEST(F2pGuards, NestedGuardsFold) {
  scratch s;
  ggbrec *g = load("LUM VAR x : 0..3; INIT x = 0; TRANS x < 3 : x > 0 : x := x + 1;");
  EXPECT_EQ(trans(g), "(((x<3)&(x>0)):(x=(x+1)))");
}

TEST(F2pProps, EqualityFirstPropertyIsKept) {
  scratch s;
  ggbrec *g = load("LUM VAR x : 0..3; INIT x = 0; TRANS TRUE : x := 1; SPEC x = 0; AG(x < 2);");
  EXPECT_EQ(txt(part(g, 3)), "");
  EXPECT_EQ(txt(part(g, 4)), "((x=0);AG(x<2))");
  g = load("LUM VAR x : 0..3; INIT x = 0; TRANS TRUE : x := 1; FAIRNESS x = 1; SPEC AG(x < 2);");
  EXPECT_EQ(txt(part(g, 3)), "(x=1)");
  EXPECT_EQ(txt(part(g, 4)), "AG(x<2)");
  // no SPEC without instances: an empty property list
  g = load("LUM VAR x : 0..3; INIT x = 0; TRANS TRUE : x := 1;");
  EXPECT_EQ(part(g, 4), nullptr);
}

}  // namespace

namespace {

TEST(F2pLog, ReplacedVariablesAndConstants) {
  scratch s;
  char *buf = nullptr;
  size_t len = 0;
  lmtlog = open_memstream(&buf, &len);
  flat("LUM VAR x : 0..3; y : 0..3; INIT x = k2; TRANS TRUE : x := 1 & TRUE; TRUE : y := 2;");
  std::fclose(lmtlog);
  lmtlog = nullptr;
  std::string log(buf, len);
  free(buf);
  // the TRUE conjunct of the first action is not taken over
  EXPECT_NE(log.find("\nREPLACED VARIABLES\ndiff 1; eq 2; replaced 1;\n((x = 1 )& (1 = 1 ))\n"
                     "diff 0; eq 1; replaced 1;\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("\nREPLACED CONSTANTS: Ck2\n"), std::string::npos) << log;
}

}  // namespace
