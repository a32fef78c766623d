// Preprocessor: substitution rules, definitions, enumerations, transition
// families, STEP/goto and the whole pipeline on model texts.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "front/prep.h"

namespace fs = std::filesystem;

namespace {

// Runs in a scratch directory: PREPfile2txt appends to ./logtmp.tmp.
struct prepdir {
  fs::path old, dir;
  prepdir() {
    old = fs::current_path();
    dir = fs::temp_directory_path() / ("lumet_prep_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~prepdir() {
    fs::current_path(old);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

std::string writemodel(const std::string &text, const char *name = "m.lum") {
  std::ofstream(name, std::ios::binary) << text;
  return name;
}

// Preprocesses a model text with the given command-line definitions, in the
// current directory.
std::string prepraw(const std::string &text, const std::vector<std::string> &defs = {}) {
  repinit(&defs);
  std::string r = PREPfile2txt(writemodel(text + "\n"));
  repinit();
  return r;
}

std::string prep(const std::string &text, const std::vector<std::string> &defs = {}) {
  prepdir d;
  return prepraw(text, defs);
}

std::string prepout(const std::string &text, std::string *out) {
  testing::internal::CaptureStdout();
  std::string r = prep(text);
  *out = testing::internal::GetCapturedStdout();
  return r;
}

std::string subst(const std::string &text, const std::vector<std::pair<std::string, std::string>> &defs) {
  std::vector<std::string> l, r;
  std::vector<int> n;
  for (auto &d : defs) {
    l.push_back(d.first);
    r.push_back(d.second);
    n.push_back((int)d.first.size());
  }
  std::string out;
  stringkstring(text, l, r, n, (int)l.size(), out);
  return out;
}

const std::string HEAD = "LUM\nVAR\n  x : 0..3;\n  y : 0..3;\nINIT\n  x = 0;\nTRANS\n";

}  // namespace

TEST(prepsubst, rules) {
  struct row { const char *in, *out; std::vector<std::pair<std::string, std::string>> defs; };
  const std::vector<row> rows = {
      {"x != y", "x B  y", {{"!=", "B"}}},
      {"a<=b", "a{ b", {{"<=", "{"}}},
      {"TRUEx TRUE) aTRUE TRUE", "TRUEx 1=1 ) aTRUE 1=1 ", {{"TRUE", "1=1"}}},
      {"_TRUE", "_1=1 ", {{"TRUE", "1=1"}}},                      // '_' is copied alone
      {"<= ab", "L= Y ", {{"<", "L"}, {"ab", "Y"}, {"<=", "{"}}},   // lowest slot, not longest
      {"ab", "Y ", {{"a", "X"}, {"ab", "Y"}}},                     // 'a' would end inside "ab"
      {"x", "yy", {{"x", "yy"}, {"yy", "z"}}},                    // no rescan of inserted text
      {"x x", "2 2", {{"x", "2"}, {"x", "1"}}},                   // duplicate: first slot
      {"p[2].a p[2]x", "p_x_2.a p_x_2x", {{"p[2]", "p_x_2"}}},   // ends in ']': no boundary test
      {"s:m(x);t:m(y);", "E      t:m(y);", {{"s:m(x);", "E"}}},
      {"'A''\\n'", "65 10  ", {{"'A'", "65"}, {"'\\n'", "10"}}},
      {"\t\nx\r", "\t\nQ\r", {{"x", "Q"}}},
      {"", "", {{"x", "Q"}}},
  };
  for (auto &r : rows) EXPECT_EQ(subst(r.in, r.defs), r.out) << r.in;
}

TEST(prepdef, getdef) {
  struct row { const char *text; const char *name, *value; size_t used; };
  const std::vector<row> rows = {
      {"N=3", "N", "3", 3},
      {"N=3\nM=4", "N", "3", 3},
      {"N = 3", "N", " 3", 5},                  // blanks keep it text
      {"N=3 ", "N", "3", 4},                    // a leaf starting with a digit
      {"N=2*3+1", "N", "7", 7},
      {"N=10-3-2", "N", "9", 8},                // operators group to the right
      {"N=7/0", "N", "7/0", 5},                 // division by zero: not constant
      {"N=7%0", "N", "7%0", 5},
      {"N=(3", "N", "(3", 4},                   // parse failure: not constant
      {"N=3)", "N", "3)", 4},
      {"N=x[1]", "N", "x[1]", 6},
      {"N=+3", "N", "+3", 4},
      {"N=f(3)", "N", "f(3)", 6},
      {"N=(2+3)*(1+1)", "N", "10", 13},
      {"N=2147483647+1", "N", "-2147483648", 14},   // 32-bit wrap-around
      {"N=a\\\nbc", "N", "abc", 7},            // backslash-newline continues
      {"N=ab\\", "N", "ab", 5},                // trailing backslash ends at the text end
      {"N=ab\\x", "N", "ab", 6},
      {"N x=5", "N", "5", 5},
      {"N=3;", "N", "3", 4},                    // the empty list tail drops out
      {"N=3+", "N", "3", 4},
      {"N=-3", "N", "-3", 4},                   // a sign is not a constant
      {"N=*3", "N", "*3", 4},                   // would end the parse: not constant
      {"N=(*3)", "N", "(*3)", 6},
      {"N=((1)(2))(3)", "N", "((1)(2))(3)", 13},
      {"N=1;2", "N", "1;2", 5},
  };
  for (auto &r : rows) {
    repinit();
    bool stored = false;
    size_t used = repgetdef(r.text, 0, 0, stored);
    EXPECT_TRUE(stored) << r.text;
    EXPECT_EQ(used, r.used) << r.text;
    EXPECT_EQ(cleft[0], r.name) << r.text;
    EXPECT_EQ(clen[0], (int)cleft[0].size());
    EXPECT_EQ(cright[0], r.value) << r.text;
  }
}

TEST(prepdef, malformeddefinitionsreported) {
  repinit();
  testing::internal::CaptureStdout();
  repadddef("=3");
  repadddef("N");
  repadddef("N\nM=3");
  repadddef("");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(cc, 0);
  EXPECT_EQ(out,
            "ERROR:      definition without a name ignored: =3\n"
            "ERROR:      definition without '=' ignored: N\n"
            "ERROR:      definition without '=' ignored: N\n");
}

TEST(prepdef, evalusesearlierslotsonly) {
  repinit();
  repadddef("N=3");
  repadddef("M=N+1");
  repadddef("K=L+1");
  repadddef("L=2");
  repadddef("T= 3");
  repadddef("U=T+1");   // T is text: not a number
  ASSERT_EQ(cc, 6);
  EXPECT_EQ(cright[1], "4");
  EXPECT_EQ(cright[2], "L+1");
  EXPECT_EQ(cright[5], "T+1");
  tree *t = string2tree(std::string("N*M"));
  EXPECT_EQ(eval(t, cleft, cright, cc), 12);
  EXPECT_EQ(eval(t, cleft, cright, 1), -1);   // M not yet visible
  treefree(t);
  EXPECT_EQ(eval(nullptr, cleft, cright, cc), -1);
  // a name defined twice: the first slot with a number wins, indexed or not
  repadddef("P=x");
  repadddef("P=8");
  repadddef("P=9");
  std::vector<std::string> l = cleft, r = cright;
  t = string2tree(std::string("P"));
  EXPECT_EQ(eval(t, cleft, cright, cc), 8);
  EXPECT_EQ(eval(t, l, r, cc), 8);
  EXPECT_EQ(eval(t, cleft, cright, cc - 2), -1);
  EXPECT_EQ(eval(t, l, r, cc - 2), -1);
  treefree(t);
}

TEST(prepdef, longchainevaluates) {
  std::string v = "N=1";
  for (int i = 0; i < 100000; i++) v += "+1";
  repinit();
  repadddef(v);
  ASSERT_EQ(cc, 1);
  EXPECT_EQ(cright[0], "100001");
}

// Values the constant test must not hand to a parse that would end the run:
// every random value is read in one child, which must reach its end.
static void readrandomvalues() {
  std::mt19937 rng(11);
  const char *tok[] = {"(", ")", "1", "a", "+", "*", "-", ";", "#", "!", "[", "]", " ",
                       "A", ":", "=", "12", "%", "/", "x1", "B"};
  for (int i = 0; i < 20000; i++) {
    std::string v = "N=";
    for (int k = rng() % 9; k >= 0; k--) v += tok[rng() % (sizeof tok / sizeof *tok)];
    repinit();
    repadddef(v);
  }
  std::fprintf(stderr, "DONE\n");
  std::exit(0);
}

TEST(prepdef, randomvaluesneverendtherun) {
  EXPECT_EXIT(readrandomvalues(), testing::ExitedWithCode(0), "^DONE");
}

TEST(prepmodel, definitionsandbuiltins) {
  struct row { std::string model, want; std::vector<std::string> defs; };
  const std::vector<row> rows = {
      {"LUM\nDEFINE\nN=3\nM=N+1\nVAR\n  x : 0..M;\nINIT\n  x = N;\nTRANS\n  TRUE : x := M;\n",
       "LUMx:0..4;#x=3;#1=1:x=4;", {}},
      // a later definition is not used by an earlier one
      {"LUM\nDEFINE\nM=N+1\nN=3\nVAR\n  x : 0..M;\nINIT\nTRANS\n", "LUMx:0..N+1;##", {}},
      // blanks: N stays text, M = N's text followed by +1
      {"LUM\nDEFINE\nN = 3\nM = N+1\nVAR\n  x : 0..2*M;\nINIT\nTRANS\n", "LUMx:0..2*3+1;##", {}},
      // command-line slots come first
      {"LUM\nDEFINE\nN=3\nVAR\n  x : 0..N;\nINIT\nTRANS\n  TRUE : x := 1;\n",
       "LUMx:0..5;##0:x=1;", {"N=5", "TRUE=0"}},
      {"LUM\nVAR\n  x : 0..int;\nINIT\nTRANS\n", "LUMx:0..7;##", {"int=7"}},
      {"LUM\nVAR\n  c : 0..127;\nINIT\n  c = 'A' | c = 'z' | c = '\\n' | c = ' ';\nTRANS\n",
       "LUMc:0..127;#c=65|c=122|c=10|c=32;#", {}},
      {"LUM\nVAR\n  x : 0..3;\nINIT\n  x <= 2 & x >= 1 & x != 3;\nTRANS\n  x < 3 : x := x + 1;\n"
       "FAIRNESS\n  x = 1;\nSPEC\n  AG(x <= 3);\n",
       "LUMx:0..3;#x{2&x}1&xB3;#x<3:x=x+1;#1=0;x=1;#AG(x{3);", {}},
      // "// comments" go, "MAIN" is a header too
      {"MAIN // head\nDEFINE\nK=2\nVAR\n  s : {lo, hi}; // mode\nINIT\n  s = lo;\nTRANS\n  s = lo : s := K-1;\n",
       "MAINs:0..1;#s=0;#s=0:s=2-1;", {}},   // K-1 is text
      {"LUM\nVAR\n  x : 0..1;\n  y : 0..1;\nINIT\n  x != y;\nTRANS\n  TRUE : (x, y) := (y, x);\n"
       "  x = 0 : (x,y,x)=(1,2,3);\n",
       "LUMx:0..1;y:0..1;#xBy;#1=1:x=y&y=x;x=0:x=1&y=2&x=3;", {}},
      {"", "", {}},
  };
  for (auto &r : rows) EXPECT_EQ(prep(r.model, r.defs), r.want) << r.model;
}

// The driver sets the table up before it reads the command line: the
// definitions are adopted when preprocessing starts, still ahead of the
// built-ins.
TEST(prepmodel, definitionsaddedafterrepinit) {
  prepdir d;
  std::vector<std::string> defs;
  repinit(&defs);
  defs = {"N=5", "FALSE=1=1"};
  std::string t = PREPfile2txt(writemodel("LUM\nDEFINE\nN=3\nVAR\n  x : 0..N;\nINIT\n  FALSE;\nTRANS\n\n"));
  repinit();
  EXPECT_EQ(t, "LUMx:0..5;#1=1;#");
}

TEST(prepmodel, enumerations) {
  struct row { std::string model, want; };
  const std::vector<row> rows = {
      {"LUM\nVAR\n  m : {idle, busy};\nINIT\n  m = idle;\nTRANS\n  m = idle : m := busy;\n",
       "LUMm:0..1;#m=0;#m=0:m=1;"},
      {"LUM\nVAR\n  m : {a};\n  n : {};\nINIT\n  m = a;\nTRANS\n", "LUMm:0..0;n:0..-1;#m=0;#"},
      // the scan of a VAR section ends at its upper-case 'I'
      {"LUM\nVAR\n  m : {a,b};\nINIT\n  m = {c};\nTRANS\n", "LUMm:0..1;#m={c};#"},
      // every VAR section is scanned, also a module's
      {"LUM\nVAR\n  m : {a,b};\nINIT\nTRANS\n  p : q(m);\nMODULE q(v)\nVAR\n  s : {u, w};\nINIT\n  s = w;\nTRANS\n",
       "LUMm:0..1;##p:q(m);MODULEq(v)s:0..1;#s=1;#"},
      // "recorded" is an ordinary name: the enumeration after it is expanded
      {"LUM\nVAR\n  recorded : 0..1;\n  m : {c, d};\nINIT\n  m = d & recorded = 0;\nTRANS\n",
       "LUMrecorded:0..1;m:0..1;#m=1&recorded=0;#"},
  };
  for (auto &r : rows) EXPECT_EQ(prep(r.model), r.want) << r.model;
  // an enumeration in a record body stays as written
  repinit();
  std::string t = PREPreplaceENUM("LUM\nVAR\n  r : record { k : {a, b} };\n  m : {c, d};\nINIT\n");
  EXPECT_NE(t.find("record { k : {a, b} }"), std::string::npos) << t;
  EXPECT_NE(t.find("m : 0..1  ;"), std::string::npos) << t;
}

TEST(prepmodel, mainwithoutvariables) {
  EXPECT_EQ(prep("LUM\nINIT\nTRANS\n  g : m(1);\nMODULE m(a)\nVAR\n  s : {u, w};\nINIT\n  s = u;\nTRANS\n  s = u : s := w;\n"),
            "LUM##g:m(1);MODULEm(a)s:0..1;#s=0;#s=0:s=1;");
}

TEST(prepmodel, novarreported) {
  std::string out;
  EXPECT_EQ(prepout("LUM\nINIT\n  1 = 1;\nTRANS\n", &out), "LUM#1=1;#");
  EXPECT_EQ(out, "ERROR:      VAR not found\n");
}

TEST(prepmodel, families) {
  const std::string tail = "SPEC\n  AG(p[2].x = 0);\nMODULE m(a)\nVAR\n  z : 0..1;\nINIT\n  z = 0;\nTRANS\n  z = 0 : z := a;\n";
  const std::string mod = "MODULEm(a)z:0..1;#z=0;#z=0:z=a;";
  struct row { std::string trans, want; };
  const std::vector<row> rows = {
      {"  p[1..3] : m(x);\n", "p_x_1:m(x);p_x_2:m(x);p_x_3:m(x);#AG(p_x_2.x=0);"},
      {"  p[5] : m(x);\n", "p_x_5:m(x);#AG(p[2].x=0);"},
      {"  p[3..1] : m(x);\n", "p[3..1]:m(x);#AG(p[2].x=0);"},
      {"  p[0..2] : m();\n", "p_x_0:m();p_x_1:m();p_x_2:m();#AG(p_x_2.x=0);"},
      {"  p[i1] : m;\n", "p_x_0:m();p_x_1:m();#AG(p[2].x=0);"},
      {"  for i in [1..3] : p[i] : m(pid);\n", "p_x_1:m(p1d);p_x_2:m(p2d);p_x_3:m(p3d);#AG(p_x_2.x=0);"},
      {"  for k in [2..3] : p : m(k);\n", "p_x_2:m(2);p_x_3:m(3);#AG(p_x_2.x=0);"},
      {"  for idx in [1..2] : p[idx] : m(idx);\n", "p_x_1:m(1);p_x_2:m(2);#AG(p_x_2.x=0);"},
      // statements written back to back are both expanded
      {"  p[1..2]:m(x);q[0..1]:m(y);\n", "p_x_1:m(x);p_x_2:m(x);q_x_0:m(y);q_x_1:m(y);#AG(p_x_2.x=0);"},
      // a guarded command with an indexed guard is not a family
      {"  b[1] : x := 1;\n  b[1] = 1 : m(x);\n", "b[1]:x=1;b[1]=1:m(x);#AG(p[2].x=0);"},
      {"  b[1] : m(x);\n", "b_x_1:m(x);#AG(p[2].x=0);"},
  };
  for (auto &r : rows) {
    std::string model = "LUM\nVAR\n  x : 0..1;\nINIT\n  x = 0;\nTRANS\n" + r.trans + tail;
    EXPECT_EQ(prep(model), "LUMx:0..1;#x=0;#" + r.want + mod) << r.trans;
  }
  // the same family in a later module's TRANS section stays as written
  EXPECT_EQ(prep("LUM\nVAR\n  x : 0..1;\nINIT\nTRANS\n  g : m(x);\nSPEC\nMODULE m(a)\nVAR\nINIT\nTRANS\n  p[1..2] : n(a);\n"),
            "LUMx:0..1;##g:m(x);#MODULEm(a)##p[1..2]:n(a);");
}

TEST(prepmodel, familyscanstopsatdefinitions) {
  // no section after TRANS: the scan must not run into the module's text
  EXPECT_EQ(prep("LUM\nVAR\n  x : 0..1;\nINIT\n  x = 0;\nTRANS\n  w[1..2] : m(x);\nMODULE m(a)\nVAR\n  z : 0..1;\nINIT\n  z = 0;\nTRANS\n  z = 0 : z := a;\n"),
            "LUMx:0..1;#x=0;#w_x_1:m(x);w_x_2:m(x);MODULEm(a)z:0..1;#z=0;#z=0:z=a;");
  EXPECT_EQ(prep("LUM\nVAR\n  x : 0..1;\nINIT\nTRANS\n  g : m(x)\nPROCEDURE m(a)\nVAR\nINIT\nTRANS\n  x := 1;\n"),
            "LUMx:0..1;##g:m(x)PROCEDUREm(a)##x=1;");
}

TEST(prepmodel, stepandgoto) {
  struct row { std::string trans, want; };
  const std::vector<row> rows = {
      {"  STEP1: x := 1; goto STEP2;\n  STEP2 : goto STEP1;\n", "s_p=1:x=1&s_p=2;s_p=2:s_p=1;"},
      {"  STEP 0 & x = 1 : x := 0 ; goto STEP 1;\n", "s_p=0&x=1:x=0&s_p=1;"},
  };
  for (size_t i = 0; i < rows.size(); i++) {
    std::string model = "LUM\nVAR\n  x : 0..1;\n  STEP : 0..2;\nINIT\n  STEP = 0;\nTRANS\n" + rows[i].trans;
    EXPECT_EQ(prep(model), "LUMx:0..1;s_p:0..2;#s_p=0;#" + rows[i].want) << rows[i].trans;
  }
  struct srow { const char *in, *out; };
  for (auto r : std::vector<srow>{{"STEP3", "s_p=3"}, {"STEP;", "s_p;"}, {"STEPa", "s_p=a"},
                                  {"xSTEP", "xs_p"}, {"STEP", "s_p"}, {"STEP_", "s_p_"}}) {
    std::string s = r.in;
    PREPreplaceSTEP(s);
    EXPECT_EQ(s, r.out);
  }
}

TEST(prepmodel, logcopy) {
  prepdir d;
  repinit();
  PREPfile2txt(writemodel("LUM\nVAR\n  x : 0..1;\nINIT\nTRANS\n\n"));
  std::string big = "LUM\nVAR\n";
  for (int i = 0; i < 600; i++) big += "  v" + std::to_string(i) + " : 0..1;\n";
  big += "INIT\nTRANS\n\n";
  repinit();
  std::string t = PREPfile2txt(writemodel(big));
  EXPECT_GT(t.size(), 4095u);
  std::ifstream in("logtmp.tmp");
  std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(log, "PREP\nLUMx:0..1;##\n");
}

TEST(prepmodel, examplemodels) {
  fs::path dir = fs::path(LUMET_SRC) / "tests/acceptance/examples/models";
  int n = 0;
  for (auto &e : fs::directory_iterator(dir)) {
    if (e.path().extension() != ".lum") continue;
    repinit();
    std::string t = PREPfile2txt(e.path().string());
    n++;
    EXPECT_EQ(t.compare(0, 3, "LUM"), 0) << e.path();
    EXPECT_EQ(t.find_first_of(" \t\r\n"), std::string::npos) << e.path();
    for (const char *kw : {"VAR", "INIT", "TRANS", "SPEC", "TRUE", "record", ":=", "!=", "<=", ">=", "goto", "STEP"})
      EXPECT_EQ(t.find(kw), std::string::npos) << e.path() << " " << kw;
    EXPECT_GE(std::count(t.begin(), t.end(), '#'), 2) << e.path();
    // the same model with CR LF line ends gives the same text
    std::ifstream in(e.path(), std::ios::binary);
    std::string src((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), crlf;
    for (char c : src) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    prepdir d;
    repinit();
    EXPECT_EQ(PREPfile2txt(writemodel(crlf)), t) << e.path();
  }
  EXPECT_EQ(n, 13);
}

// Long lists stay iterative: 100,000 record fields and tuple components;
// 20,000 enumeration items and family members.
TEST(prepmodel, largeinputs) {
  const int n = 100000, m = 20000;
  std::string fields, items, names, values;
  for (int i = 0; i < n; i++) {
    fields += "f" + std::to_string(i) + " : 0..1; ";
    names += (i ? ",v" : "v") + std::to_string(i % 7);
    values += (i ? "," : "") + std::to_string(i % 2);
  }
  for (int i = 0; i < m; i++) items += (i ? ", k" : "k") + std::to_string(i);
  std::string t = prep("LUM\nVAR\n  r : record { " + fields + "};\n  e : {" + items + "};\nINIT\n  e = k19999 & r.f5 = 1;\n"
                       "TRANS\n  p[1.." + std::to_string(m) + "] : m(x);\n  1 = 1 : (" + names + ") := (" + values + ");\n"
                       "SPEC\n  AG(p[7777].x = 0);\n");
  EXPECT_EQ(t.compare(0, 20, "LUMr_f0:0..1;r_f1:0."), 0);
  EXPECT_NE(t.find("r_f99999:0..1;e:0..19999;#e=19999&r_f5=1;#p_x_1:m(x);p_x_2:m(x);"), std::string::npos);
  EXPECT_NE(t.find("p_x_20000:m(x);1=1:v0=0&v1=1&v2=0&"), std::string::npos);
  EXPECT_NE(t.find("v4=1;#AG(p_x_7777.x=0);"), std::string::npos);
}

using prepdeath = testing::Test;

TEST(prepdeath, familyerrors) {
  prepdir d;
  const char *bad[] = {
      "  x := 1;\n",                              // no ':' root
      "  for in [1..2] : p : m(x);\n",            // empty loop variable
      "  for i in [1..2] : p[j] : m(i);\n",       // index is not the loop variable
      "  STEP;\n",
      "  p[0..2000000] : m(x);\n",                // absurd family size
  };
  for (const char *t : bad)
    EXPECT_EXIT(prepraw(HEAD + t), testing::ExitedWithCode(0), "REPforp1 error") << t;
}

// Malformed texts end cleanly (normal return or a tagged error exit with
// status 0); the sanitizer build turns any memory fault into a failure.
TEST(prepdeath, malformedtexts) {
  prepdir d;
  std::vector<std::string> texts = {
      "",
      "LUM",
      "LUM\nVAR\n  r : record { a : 0..1;\n",
      "LUM\nVAR\n  r : record { a : 0..1; };\n  q : record { b : 0..1;\nINIT\n  r.a = 0;\n",
      "LUM\nVAR\n  x : }{ 0..1;\n  y : { a, b\nINIT\nTRANS\n  }} : {{;\n",
      "LUM\nVAR\n  : record { a : 0..1 };\nINIT\n",
      "LUM\nVAR\n  r : record { k : {a, b}; };\n  m : {c, d};\nINIT\n  m = d;\nTRANS\n",
      "LUM\nDEFINE\nA=\\",
      "DEFINE",
      "LUM\nVAR\n x : 0..1;\nINIT\n (a,b) = (1,2,3); ((a,b)) = ((1,2)); (a,b) = (1,2\nTRANS\n",
      "LUM\nVAR\n  x : 0..1;\nINIT\nTRANS\n  p[1..2] : m(x);\n  q[9] :",
      std::string("LUM\nVAR\n  x\0 : 0..1;\n", 20),
  };
  std::mt19937 rng(7);
  for (int k = 0; k < 6; k++) {
    std::string g = k % 2 ? "LUM\nVAR\n" : "";
    for (int i = 0; i < 3000; i++) g += (char)(rng() & 0xff);
    texts.push_back(g);
  }
  for (auto &t : texts)
    EXPECT_EXIT({ prepraw(t); std::exit(0); }, testing::ExitedWithCode(0), "") << t.substr(0, 40);
}
