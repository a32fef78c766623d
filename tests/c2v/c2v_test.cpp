// C translator: small programs and what their translation must hold, the
// programs it must refuse, and verdicts of translated programs end to end.
#include <gtest/gtest.h>

#include "../main/run.h"
#include "c2v/c2v.h"

namespace {

std::string C2Vmain(const std::string &body, const std::string &decls = "") {
  return decls + "int main()\n{\n" + body + "\n}\n";
}

struct TextCase {
  const char *what;
  std::string src;
  std::vector<std::string> has;     // fragments of the model text
  std::vector<std::string> hasnot;  // fragments it must not hold
  std::string sp = "";              // assertion file
  std::string fsp = "";             // function specifications
  std::vector<std::string> luc = {};
};

TEST(C2vTranslate, ModelText) {
  const std::vector<TextCase> cases = {
      {"assertion before the first statement keeps location 0",
       C2Vmain("char x = 1;\nlumet_assertion(\"x == 1\");\nx = 2;"),
       {"\tpc=0:\t(pc):=(1);\n", "\tpc=1:\t(pc,x):=(2,2);\n", "AG(!(pc=0)|(x=1));"}, {}},
      {"C grouping, written fully parenthesised",
       C2Vmain("char a = 9, b = 3, c = 2, x;\nx = a - b - c;\nx = a / b * c;\nx = a - (b - c) * 2 % 3;"),
       {"(pc,x):=(1,((a-b)-c))", "(pc,x):=(2,((a/b)*c))", "(pc,x):=(3,(a-(((b-c)*2)%3)))"}, {}},
      {"&&, ||, == and != reduced in conditions and assertions",
       C2Vmain("char a, b;\nif (a == 1 && b != 2 || a >= b) a = 0;\nlumet_assertion(\"a == 0 || b != 0 && !(a < b)\");"),
       {"pc=0&(((a=1)&(b!=2))|(a>=b)):", "AG(!(pc=2)|((a=0)|((b!=0)&!(a<b))));"}, {"==", "&&", "||"}},
      {"bare operands as conditions",
       C2Vmain("char x, done;\nif (x) x = 0;\nwhile (!done) done = 1;"),
       {"pc=0&(x!=0):", "pc=0&!(x!=0):", "pc=2&!(done!=0):\t(pc):=(3)", "pc=2&(done!=0):\t(pc):=(4)"}, {}},
      {"comparisons and && on the right of = give 1 or 0",
       C2Vmain("char x, y;\ny = x > 3;\ny = x && y;\ny = (x < 2) + 1;"),
       {"pc=0&(x>3):\t(pc,y):=(1,1);", "pc=0&!(x>3):\t(pc,y):=(1,0);",
        "pc=1&((x!=0)&(y!=0)):\t(pc,y):=(2,1);", "pc=2&!(x<2):\t(pc,y):=(3,(0+1));"}, {}},
      {"increments and compound assignments",
       C2Vmain("char i;\nchar a[3];\ni++;\n++i;\ni--;\n--i;\ni += 2;\ni -= 1;\ni *= 3;\ni /= 2;\ni %= 5;\na[i] += i;"),
       {"(1,(i+1))", "(2,(i+1))", "(3,(i-1))", "(4,(i-1))", "(5,(i+2))", "(6,(i-1))", "(7,(i*3))",
        "(8,(i/2))", "(9,(i%5))", "(pc,a[i]):=(10,(a[i]+i))"}, {}},
      {"for with continue going to the step",
       C2Vmain("char i, s;\nfor (i = 0; i < 5; i++) {\nif (i == 2) continue;\ns = s + 1;\n}"),
       {"pc=0:\t(pc,i):=(1,0);", "pc=1&(i<5):\t(pc):=(2);", "pc=2&(i=2):\t(pc):=(4);",
        "pc=4:\t(pc,i):=(1,(i+1));"}, {}},
      {"switch with fallthrough, break and default",
       C2Vmain("char x, y;\nswitch (x) {\ncase 1: y = 1;\ncase 2: y = 2; break;\ndefault: y = 3;\n}"),
       {"pc=0&(x=1):\t(pc):=(1);", "pc=0&(x=2)&!(x=1):\t(pc):=(2);", "pc=0&!(x=1)&!(x=2):\t(pc):=(3);",
        "pc=1:\t(pc,y):=(2,1);", "pc=2:\t(pc,y):=(4,2);", "pc=3:\t(pc,y):=(4,3);"}, {}},
      {"return in main jumps to the final location",
       C2Vmain("char x;\nif (x) return 0;\nx = 2;\nreturn x;"),
       {"pc=0&(x!=0):\t(pc):=(2);", "pc=1:\t(pc,x):=(2,2);", "pc=2:\t(pc):=(2);"}, {}},
      {"late declarations and constant initialisers",
       "char g = 2 * 3 + 1;\nint main(void)\n{\nchar x = 'a' - 90;\nx = g;\nchar y = x + 1;\nchar z = 4 / 2;\n}\n",
       {"\tg=7;", "\tx=7;", "\tz=2;", "(pc,y):=(2,(x+1))"}, {"(pc,z)"}},
      {"main with argc and argv",
       "int main(int argc, char **argv)\n{\nchar x;\nx = 1;\n}\n", {"\tpc=0:\t(pc,x):=(1,1);"}, {"argc"}},
      {"reserved names renamed in the model, C names in the listing",
       C2Vmain("char A, pc, pid1, running, ret_x, return_val, a_x_1, par_y, format, gotox, myrecord, ok;\n"
               "A = pc + ok;"),
       {"\ta_1:\tchar;", "\tpc_2:\tchar;", "(pc,a_1):=(1,(pc_2+ok))", "\tok:\tchar;"},
       {"\tA:", "\tpid1:", "\trunning:", "\tret_x:", "\treturn_val:", "\ta_x_1:", "\tpar_y:", "\tformat:",
        "\tgotox:", "\tmyrecord:"},
       "", "", {"/* A is a_1 in the model */", "/* pc is pc_2 in the model */"}},
      {"globals and assertions belong to the file, whatever the order",
       "char g = 3;\nchar f(char u)\n{\nlumet_assertion(\"u < 5\");\nreturn u + g;\n}\nchar h;\n"
       "int main()\n{\nchar x;\nx = f(2);\nf(x);\nlumet_assertion(\"x == 5\");\n}\n",
       {"LUM\tmain\nVAR\n\tpc:\t0..3;\n\tx:\tchar;\n", "\tg:\tchar;\n\th:\tchar;\n\tc2v_fail2:", "\tc2v_fail", "pc=0:\tf(2,x)&(pc):=(1);", "pc=1:\tf(x,c2v_r",
        "AG(c2v_fail2=0);\n\tAG(!(pc=2)|(x=5));",
        "\nPROCEDURE f(par_u,return_val)\nVAR\n\tu:\tchar;\n\tpc:\t0..2;\nINIT\n\tu=par_u;",
        "pc=0&!(u<5):\t(pc,c2v_fail2):=(1,1);", "pc=0&(u<5):\t(pc):=(1);",
        "pc=1:\t(pc,return_val):=(2,(u+g))&RETURN;", "pc=2:\t(pc):=(2)&RETURN;"}, {}},
      {"getc into a char is a free choice, into an int through a char",
       C2Vmain("char c;\nint n;\nc = getc(stdin);\nn = getchar();"),
       {"pc=0:\t(pc,c):=(1,*);", "(pc,c2v_in", "):=(3,c2v_in"}, {}},
      {"calls inside expressions and arguments that are not names",
       "char sq(char x) { return x * x; }\nint main()\n{\nchar a;\na = sq(a + 1) + 1;\n}\n",
       {"(pc,c2v_a", "sq(c2v_a", ",c2v_t"}, {}},
      {"assertion file inserts before its line",
       C2Vmain("char x;\nx = 4;\nx = 5;"), {"AG(!(pc=1)|(x=4));", "AG(!(pc=3)|(x<6));", "\tpc=1:\t(pc):=(2);", "\tpc=2:\t(pc,x):=(3,5);"}, {}, "5 : x == 4\nline 6: x < 6;\nno colon\n"},
      {"an assertion at the end of a loop body and one before the loop",
       C2Vmain("char i;\nlumet_assertion(\"i == 0\");\nwhile (i < 3) {\ni = i + 1;\nlumet_assertion(\"i < 3\");\n}"),
       {"\tpc=0:\t(pc):=(1);", "pc=3:\t(pc):=(1);", "AG(!(pc=0)|(i=0));", "AG(!(pc=3)|(i<3));"}, {}},
      {"function specifications",
       "char inc(char u)\n{\nreturn u + 1;\n}\nint main()\n{\nchar x;\nx = inc(x);\n}\n",
       {"ASSUMPTION\n\tpar_u:char;\n\treturn_val:char;\n", "GUARANTEE\n\tpar_u=P(par_u);\n",
        "\t(return_val=(par_u+1));\n"}, {}, "",
       "FUNCTION r = inc(char v)\nASSUMPTION\nGUARANTEE\nr == v + 1;\n"},
  };
  for (const TextCase &c : cases) {
    c2vout o = C2Vtranslate(c.src, C2Vreadsp(c.sp), c.fsp);
    EXPECT_EQ(o.error, "") << c.what;
    for (const std::string &h : c.has) EXPECT_NE(o.lum.find(h), std::string::npos) << c.what << ": " << h << "\n" << o.lum;
    for (const std::string &h : c.hasnot) EXPECT_EQ(o.lum.find(h), std::string::npos) << c.what << ": " << h << "\n" << o.lum;
    for (const std::string &h : c.luc) EXPECT_NE(o.luc.find(h), std::string::npos) << c.what << ": " << h << "\n" << o.luc;
    // the front end reads the model through flattening (int waits for its probe)
    if (!std::filesystem::exists(LUMET_BIN) || o.lum.find("\tint;") != std::string::npos) continue;
    auto dir = lumscratch();
    std::ofstream(dir / "m.lum") << o.lum;
    lumrun r = lumetrun({"-d", "-d", "-d", "m.lum"}, dir);
    EXPECT_EQ(r.err, "") << c.what << "\n" << o.lum;
    EXPECT_EQ(r.out.find("ERROR"), std::string::npos) << c.what << "\n" << r.out;
    std::filesystem::remove_all(dir);
  }
}

TEST(C2vTranslate, OutsideTheSubset) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {C2Vmain("char x;\nx = -x;"), "ERROR:      unsupported C at line 4: unary minus\n"},
      {C2Vmain("char x;\ngoto end;"), "ERROR:      unsupported C at line 4: goto\n"},
      {C2Vmain("char x, *p;"), "ERROR:      unsupported C at line 3: pointer\n"},
      {C2Vmain("char x;\nx = x & 1;"), "ERROR:      unsupported C at line 4: operator &\n"},
      {C2Vmain("char x;\nx = y;"), "ERROR:      unsupported C at line 4: undeclared name y\n"},
      {C2Vmain("char x;\nx = f(1);"), "ERROR:      unsupported C at line 4: call of f, which is not defined in the program\n"},
      {C2Vmain("char x;\nx = (x = 1) + 1;"), "ERROR:      unsupported C at line 4: assignment inside an expression\n"},
      {C2Vmain("char x;\nx = 1 - 3;"), "ERROR:      unsupported C at line 4: negative value -2\n"},
      {C2Vmain("float x;"), "ERROR:      unsupported C at line 3: type float\n"},
      {C2Vmain("char x;\nx = argc;"), "ERROR:      unsupported C at line 4: argc is not modelled\n"},
      {C2Vmain("char a[2];\na[2] = 1;"), "ERROR:      unsupported C at line 4: index 2 outside a\n"},
      {"#if 1\nint main() {}\n", "ERROR:      unsupported C at line 1: #if\n"},
      {C2Vmain("lumet_assertion(\"x ==\");", "char x;\n"), "ERROR:      unsupported C at line 4: 'end of file' in an expression\n"},
      {"int main() { char x; if (x > 0 && g(x)) x = 1; }\nchar g(char y) { return y; }\n",
       "ERROR:      unsupported C at line 1: call in an operand that C may skip\n"},
      {"char a b;\nint main() {}\n", "UNKNOWN 2 b\n"},
      {"int f(int x y) { }\nint main() {}\n", "UNKNOWN 4 y\n"},
      {"int main() { }\n", ""},
      {"char x;\n", "ERROR:      unsupported C at line 2: no function main\n"},
      {"lumet_assertion(\"1\");\nint main() {}\n", "ERROR:      unsupported C at line 1: assertion outside a function\n"},
      {C2Vmain("char c = 200;"), "ERROR:      unsupported C at line 3: initial value of c beyond char\n"},
  };
  for (const auto &c : cases) {
    c2vout o = C2Vtranslate(c.first, {}, "");
    EXPECT_EQ(o.error, c.second) << c.first;
    EXPECT_EQ(o.lum.empty(), !c.second.empty()) << c.first;
  }
  c2vout o = C2Vtranslate("int f(int u) { return u; }\nint main() {}\n", {}, "FUNCTION r inc(v)\n");
  EXPECT_EQ(o.error, "UNKNOWN 7 inc\n");
}

// Verdicts of translated programs: lumet -c on a scratch copy.
TEST(C2vVerdict, EndToEnd) {
  if (!std::filesystem::exists(LUMET_BIN)) GTEST_SKIP() << "lumet not built";
  struct Row {
    const char *what;
    std::string src;
    int status;  // 1 true, 255 false
  };
  const std::vector<Row> rows = {
      {"assertion at the end of a loop body holds on every iteration",
       C2Vmain("char i = 0;\nwhile (i < 3) {\ni = i + 1;\nlumet_assertion(\"i < 3\");\n}"), 255},
      {"assertion directly before a loop is checked once",
       C2Vmain("char i = 0;\nlumet_assertion(\"i == 0\");\nwhile (i < 3) i++;"), 1},
      {"assertion at the end of a then-branch only on that branch",
       C2Vmain("char x = 3;\nif (x > 5) {\nx = x + 1;\nlumet_assertion(\"x > 5\");\n}"), 1},
      {"left grouping of / and *", C2Vmain("char a = 9, b = 3, x;\nx = a / b * 2;\nlumet_assertion(\"x == 6\");"), 1},
      {"comparison as a value", C2Vmain("char x = 5, y = 7;\ny = x > 3;\nlumet_assertion(\"y == 1\");"), 1},
      {"for, continue to the step", C2Vmain("char i, s = 0;\nfor (i = 0; i < 5; i++) {\nif (i == 2) continue;\ns++;\n}\nlumet_assertion(\"s < 4\");"), 255},
      {"switch falls through", C2Vmain("char x = 1, y = 0;\nswitch (x) {\ncase 1: y = y + 1;\ncase 2: y = y + 10; break;\ndefault: y = 50;\n}\nlumet_assertion(\"y == 11\");"), 1},
      {"return in main ends main", C2Vmain("char x = 1;\nif (x == 1) return 0;\nlumet_assertion(\"x == 5\");"), 1},
      {"do-while and a bare condition", C2Vmain("char n = 3;\ndo n--; while (n);\nlumet_assertion(\"n == 0\");"), 1},
      {"getc explores every char", C2Vmain("char c;\nc = getc(stdin);\nlumet_assertion(\"c != 127\");"), 255},
      {"getc stays below 128", C2Vmain("char c;\nc = getc(stdin);\nlumet_assertion(\"c < 128\");"), 1},
      {"getc into an int stays below 128", C2Vmain("int n;\nn = getc(stdin);\nlumet_assertion(\"n < 128\");"), 1},
      {"assertion in a function, after the statement before it",
       "char f(char u)\n{\nu = u + 1;\nlumet_assertion(\"u < 4\");\nreturn u;\n}\n" + C2Vmain("char x;\nx = f(3);"), 255},
      {"assertion in a function holds on every call",
       "char f(char u)\n{\nu = u + 1;\nlumet_assertion(\"u < 4\");\nreturn u;\n}\n" + C2Vmain("char x;\nx = f(1);\nf(x);"), 1},
  };
  for (const Row &r : rows) {
    auto dir = lumscratch();
    std::ofstream(dir / "p.c") << r.src;
    lumrun run = lumetrun({"-c", "p.c", "p.c"}, dir);
    EXPECT_EQ(run.status, r.status) << r.what << "\n" << run.out << run.err;
    std::filesystem::remove_all(dir);
  }
}

// A failing program's counterexample names the C line and the C names.
TEST(C2vVerdict, CounterexampleInCTerms) {
  if (!std::filesystem::exists(LUMET_BIN)) GTEST_SKIP() << "lumet not built";
  auto dir = lumscratch();
  std::ofstream(dir / "p.c") << "int main()\n{\n  char N = 0;\n  N = N + 2;\n  lumet_assertion(\"N == 1\");\n}\n";
  lumrun run = lumetrun({"-c", "p.c", "p.c"}, dir);
  EXPECT_EQ(run.status, 255) << run.out;
  std::string cex = lumslurp(dir / "p.cex");
  EXPECT_NE(cex.find("// C line 4: N = N + 2;\n// C N\t=0\n"), std::string::npos) << cex;
  EXPECT_NE(cex.find("n_1\t=2\n"), std::string::npos) << cex;
  EXPECT_NE(cex.find("// C line 5: lumet_assertion(\"N == 1\");\n// C N\t=2\n"), std::string::npos) << cex;
  EXPECT_NE(lumslurp(dir / "p.luc").find("/* N is n_1 in the model */"), std::string::npos);
  // a program outside the subset: its message, no model, no verdict
  std::ofstream(dir / "q.c") << "int main() { char x; x = -x; }\n";
  run = lumetrun({"-c", "q.c", "q.c"}, dir);
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("ERROR:      unsupported C at line 1: unary minus\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("CONCLUSION"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "q.lum"));
  std::filesystem::remove_all(dir);
}

}  // namespace
