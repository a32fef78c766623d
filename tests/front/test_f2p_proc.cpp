// Processes, fairness, deadlock transition and procedures.
#include "f2ptest.h"

using namespace f2pt;

namespace {

const char *const TWO =
    "LUM VAR s : 0..3; INIT s = 0; TRANS p1 : m(s); p2 : m(s); SPEC AG(p1.x < 2);\n"
    "MODULE m(v) VAR x : 0..1; a[0..1] : 0..1; INIT x = 0; TRANS x = 0 : x := 1 & v := pid & "
    "a[pid] := 1; FAIRNESS running;";

TEST(F2pProcess, InstancesRenameLocalsAndPid) {
  scratch s;
  ggbrec *g = load(TWO);
  EXPECT_EQ(g->program->PRCNT, 2);
  EXPECT_EQ(txt(part(g, 0)),
            "((s:0..3);((p1.x:0..1);((p1.a[0..1]:0..1);((p2.x:0..1);((p2.a[0..1]:0..1);"
            "(p_id_:0..1))))))");
  EXPECT_EQ(txt(part(g, 1)), "((p_id_=0)&((s=0)&((p1.x=0)&(p2.x=0))))");
  EXPECT_EQ(txt(g->program->procs[0].trans[0]),
            "((p1.x=0):((p_id_=0)&((p1.x=1)&((s=000)&(p1.a[000]=1)))))");
  EXPECT_EQ(txt(g->program->procs[1].trans[0]),
            "((p2.x=0):((p_id_=1)&((p2.x=1)&((s=001)&(p2.a[001]=1)))))");
  // running of instance i is p_id_ = i
  EXPECT_EQ(txt(part(g, 3)), "((p_id_=0);(p_id_=1))");
  EXPECT_EQ(txt(part(g, 4)), "AG(p1.x<2)");
}

TEST(F2pProcess, MainFairnessRunningIsTrue) {
  scratch s;
  ggbrec *g = load("LUM VAR x : 0..1; INIT x = 0; TRANS TRUE : x := 1; FAIRNESS running;");
  EXPECT_EQ(txt(part(g, 3)), "(1=1)");
  EXPECT_EQ(treesearchvarlist("p_id_", 0, part(g, 0)), nullptr);
}

TEST(F2pProcess, NoPropertyWithInstancesIsTrue) {
  scratch s;
  ggbrec *g = load("LUM VAR s : 0..1; INIT s = 0; TRANS p : m(s); MODULE m(v) VAR x : 0..1; "
                   "INIT x = 0; TRANS TRUE : v := 1;");
  EXPECT_EQ(txt(part(g, 4)), "(1=1)");
}

TEST(F2pProcess, ArgumentExpressionsAndArrayElements) {
  scratch s;
  ggbrec *g = flat("LUM VAR f[0..2] : 0..1; INIT f[0] = 0; f[1] = 0; f[2] = 0; TRANS "
                   "p0 : phil(f[0], f[(0+1)%3]); MODULE phil(l, r) VAR e : 0..1; INIT e = 0; "
                   "TRANS l = 0 & r = 0 : l := 1 & r := 1 & e := 1;");
  state st = init1(g);
  std::vector<state> n = succall(g, st);
  ASSERT_EQ(n.size(), 1u);
  EXPECT_EQ(n[0]["f_x_0"], 1);
  EXPECT_EQ(n[0]["f_x_1"], 1);
  EXPECT_EQ(n[0]["f_x_2"], 0);
  EXPECT_EQ(n[0]["p0.e"], 1);
}

TEST(F2pProcess, UndefinedModule) {
  scratch s;
  EXPECT_EXIT(load("LUM VAR s : 0..1; INIT s = 0; TRANS p : nosuch(s); MODULE m(v) VAR x : 0..1; "
                   "INIT x = 0; TRANS TRUE : v := 1;"),
              ::testing::ExitedWithCode(0), "module error");
}

TEST(F2pDeadlock, TransitionAndCondition) {
  scratch s;
  ggbrec *g = flat("LUM VAR x : 0..3; INIT x = 0; TRANS x < 3 : x := x + 1;");
  f2p1INFO(g);
  prg *p = g->program;
  EXPECT_EQ(txt(p->dead), "(Vx}3)");
  EXPECT_EQ(txt(p->deadtr), "((Vx}3):(Ox=Vx))");
  EXPECT_EQ(p->PURETRANS, 1);
  EXPECT_EQ(p->BOOLN, 2);
  // every transition always enabled: the deadlock guard is FALSE
  g = flat("LUM VAR x : 0..1; INIT x = 0; TRANS TRUE : x := 1; TRUE : x := 0;");
  f2p1INFO(g);
  EXPECT_EQ(txt(g->program->dead), "_");
  // a comparison left in an action is not a pure assignment
  g = flat("LUM VAR x : 0..3; INIT x = 0; TRANS TRUE : x := *;");
  f2p1INFO(g);
  EXPECT_EQ(g->program->PURETRANS, 1);
  g = flat("LUM VAR a[0..1] : 0..1; i : 0..1; INIT TRUE; TRANS TRUE : a[i] := 1;");
  f2p1INFO(g);
  EXPECT_EQ(g->program->PURETRANS, 0);
}

TEST(F2pDump, ModelRecord) {
  scratch s;
  ggbrec *g = flat("LUM VAR x : 0..1; INIT x = 0; TRANS TRUE : x := 1;");
  std::string d = dump(g);
  EXPECT_EQ(d.rfind("FILE=m.lum\nPROG=\n", 0), 0u) << d;
  EXPECT_NE(d.find("TYPE=V\nPAR=\n\nPR\nPROG=\n"), std::string::npos) << d;
  EXPECT_NE(d.find("P1T1:"), std::string::npos) << d;
}

const char *const PROC =
    "LUM VAR x : 0..3; INIT x = 0; TRANS x < 3 : inc(x); x = 3 : inc(x) & x := 0;\n"
    "PROCEDURE inc(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : v := v + 1 & t := 1 & RETURN;\n"
    "ASSUMPTION v : 0..3; v < 3; GUARANTEE v = 1;";

TEST(F2pProcedure, CallsAreSplitOff) {
  scratch s;
  ggbrec *g = load(PROC);
  prgproc &p = g->program->procs[0];
  ASSERT_EQ(p.n, 2);
  EXPECT_EQ(txt(p.trans[0]), "((x<3):^)");
  EXPECT_EQ(txt(p.calls[0]), "(inc:x)");
  EXPECT_EQ(txt(p.trans[1]), "((x=3):(x=0))");
  EXPECT_EQ(txt(p.calls[1]), "(inc:x)");
  f2p1(g->program);
  f2p1INFO(g);
  EXPECT_EQ(g->program->PURETRANS, 0);  // the model has a procedure
}

TEST(F2pProcedure, Instance) {
  scratch s;
  ggbrec *g = flat(PROC);
  f2p1INFO(g);
  tree *call = g->program->procs[0].calls[0];
  tree *pt = keep(procedurecreate(call, g->modules, PROGpart(g->program->prog, 0), 0));
  // with assumption/guarantee: the caller's variables alone, the pair as fourth part
  EXPECT_EQ(txt(pt->left), "(x:0..3)");
  EXPECT_EQ(txt(pt->right->right->right), "(((1=1)&(x<3));(x=1))");
  tree *p2 = procedurecreate(call, g->modules, PROGpart(g->program->prog, 0), -1);
  keep(p2);
  EXPECT_EQ(txt(p2->left), "((x:0..3);((inc_x_001.t:0..1);(ret_001:0..1)))");
  EXPECT_EQ(txt(p2->right->right->left), "((inc_x_001.t=0):((x=(x+1))&((inc_x_001.t=1)&(ret_001=1))))");
  prg *pp = keep(prog2prg(p2));
  EXPECT_EQ(pp->PRCNT, 1);
  EXPECT_EQ(pp->BOOLN, 4);
  EXPECT_EQ(txt(pp->procs[0].trans[0]),
            "((Vinc_x_001.t=0):((Ox=(Vx+1))&((Oinc_x_001.t=1)&(Oret_001=1))))");
}

TEST(F2pProcedure, AssumeGuaranteeHarness) {
  scratch s;
  char name[16] = "inc";
  ggbrec *g = load(PROC, F2P_SEL_AGCHECK, name);
  EXPECT_EQ(name[0], F2P_AG_HARNESS);
  EXPECT_EQ(txt(part(g, 0)), "((x:0..3);((pc_x_:0..1);(v:0..3)))");
  EXPECT_EQ(txt(part(g, 1)), "(((1=1)&(v<3))&(pc_x_=0))");
  EXPECT_EQ(txt(g->program->procs[0].trans[0]), "((pc_x_=0):(pc_x_=1))");
  EXPECT_EQ(txt(g->program->procs[0].calls[0]), "(inc:v)");
  EXPECT_EQ(txt(part(g, 4)), "AG(1=1)");
  char other[16] = "nosuch";
  load(PROC, F2P_SEL_AGCHECK, other);
  EXPECT_EQ(other[0], F2P_AG_NOPROC);
}

TEST(F2pArrayCheck, BoundTransitions) {
  scratch s;
  ggbrec *g = load("LUM VAR a[0..2] : 0..1; i : 0..3; INIT i = 0; TRANS TRUE : a[i] := 1 & i := i + 1;",
           F2P_SEL_ARRAYCHECK);
  ASSERT_EQ(g->program->procs[0].n, 2);
  EXPECT_EQ(txt(g->program->procs[0].trans[1]), "(((1=1)&!((0{i)&(i{2))):(err_x_=1))");
  EXPECT_EQ(txt(part(g, 4)), "AG(err_x_=0)");
}

}  // namespace
