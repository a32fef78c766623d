// Module parser: headers, sections, definitions, instances.
#include "f2ptest.h"

using namespace f2pt;

namespace {

TEST(F2pParse, Headers) {
  struct row {
    const char *text;
    const char *body;
  } rows[] = {
      // MAIN and LUM both start a file; no section after TRANS: empty rest
      {"LUMx:0..1;#x=0;#1=1:x=1;", "((x:0..1)#((x=0)#(((1=1):(x=1))#)))"},
      {"MAINx:0..1;#x=0;#1=1:x=1;", "((x:0..1)#((x=0)#(((1=1):(x=1))#)))"},
      // an empty INIT section means every state is initial
      {"LUMx:0..1;##1=1:x=1;", "((x:0..1)#((1=1)#(((1=1):(x=1))#)))"},
      // only declarations: the missing sections are made
      {"LUMx:0..1;", "((x:0..1)#((1=1)##))"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.text);
    modrec *m = keep(PROGtxt2modules(r.text));
    EXPECT_EQ(m->kind, 'V');
    EXPECT_EQ(m->header, nullptr);
    EXPECT_EQ(txt(m->body), r.body);
    EXPECT_EQ(m->next, nullptr);
  }
}

TEST(F2pParse, MissingHeader) {
  EXPECT_EXIT(PROGtxt2modules("x:0..1;#x=0;#1=1:x=1;"), ::testing::ExitedWithCode(0),
              "LUM must be specified at the beginning of the input file. error");
}

TEST(F2pParse, Definitions) {
  modrec *m = keep(PROGtxt2modules(
      "LUMx:0..1;#x=0;#p:m(x,1);q:n();"
      "MODULEm(a,b)y:0..1;#y=0;#a=b:y=1;"
      "MODULEn()z:0..1;#z=0;#z=0:z=1;#1=0;running;"));
  ASSERT_TRUE(m && m->next && m->next->next);
  // instances: the parentheses and commas of the section are rewritten
  EXPECT_EQ(txt(m->body->right->right->left), "((p:(m:(x|1)));(q:(n:1)))");
  modrec *a = m->next, *b = a->next;
  EXPECT_EQ(a->kind, 'M');
  EXPECT_EQ(txt(a->header), "(m:(a|b))");
  EXPECT_EQ(txt(b->header), "(n:1)");  // name() gets the parameter list 1
  EXPECT_EQ(txt(b->body->right->right->right), "((1=0);running)");
  EXPECT_EQ(PROGfindmodule(m, "n"), b);
  EXPECT_EQ(PROGfindmodule(m, "x"), nullptr);
}

TEST(F2pParse, InstanceKeepsIndexExpression) {
  modrec *m = keep(PROGtxt2modules("LUMf[0..2]:0..1;#f[0]=0;#p0:phil(f[0],f[(0+1)%3]);"
                                   "MODULEphil(l,r)s:0..1;#s=0;#l=0:s=1;"));
  EXPECT_EQ(txt(m->body->right->right->left), "(p0:(phil:(f[0]|f[(0+1)%3])))");
}

TEST(F2pParse, ProceduresOnly) {
  // a main module followed by PROCEDURE definitions only keeps its calls
  modrec *m = keep(PROGtxt2modules("LUMx:0..1;#x=0;#x=0:inc(x);PROCEDUREinc(v)#1=1;#v=0:v=1;"));
  EXPECT_EQ(txt(m->body->right->right->left), "((x=0):(inc:x))");
  ASSERT_TRUE(m->next);
  EXPECT_EQ(m->next->kind, 'P');
  EXPECT_EQ(txt(m->next->header), "(inc:v)");
}

TEST(F2pParse, MalformedEndsCleanly) {
  EXPECT_EXIT(PROGtxt2modules("LUMx:0..1;#x=0;#MODULEm(a"), ::testing::ExitedWithCode(0),
              "module error");
  EXPECT_EXIT(PROGtxt2modules("LUMx:0..1;#x=0;#Mx"), ::testing::ExitedWithCode(0), "module error");
  EXPECT_EXIT(PROGtxt2modules("LUMx:0..1;#x=(0;#"), ::testing::ExitedWithCode(0), "");
}

}  // namespace
