// Records and tuple assignments of the preprocessor.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "front/prep.h"

namespace {

// The rewrite followed by blanks up to the length of the original span.
std::string padded(const std::string &rewrite, const std::string &span) {
  return rewrite + std::string(span.size() - rewrite.size(), ' ');
}

}  // namespace

TEST(preprecord, declarationsandaccesses) {
  struct row { const char *in, *out; };
  const std::vector<row> rows = {
      {"VAR\n  r : record { a : 0..1; b : 0..7 };\n  x : 0..1;\nINIT\n  r.a = 1 & x = r.b;",
       "VAR\n  r_a:0..1;r_b:0..7;x : 0..1;\nINIT\n  r_a = 1 & x = r_b;"},
      // arrays of records: the index moves behind the field name
      {"VAR\n  q[0..3] : record { a : 0..1; };\nINIT\n  q[2].a = 1 & q[i+1].a = 0 & q[r[1]].a = 1;",
       "VAR\n  q_a[0..3]:0..1;INIT\n  q_a[2] = 1 & q_a[i+1] = 0 & q_a[r[1]] = 1;"},
      // two records, the second uses the first's name as a prefix
      {"VAR\n  r : record { a : 0..1 };\n  rr : record { a : 0..1 };\nINIT\n  r.a = rr.a;",
       "VAR\n  r_a:0..1;rr_a:0..1;INIT\n  r_a = rr_a;"},
      // an access before the declaration is not rewritten
      {"VAR\n  x : 0..r.a;\n  r : record { a : 0..1 };\nINIT\n  r.a = 1;",
       "VAR\n  x : 0..r.a;\n  r_a:0..1;INIT\n  r_a = 1;"},
      // every character before the name is kept
      {"x:0..1;r:record{a:0..1};r.a=1", "x:0..1;r_a:0..1;r_a=1"},
      // names end at '_' and upper-case letters; accesses preceded by them too
      {"my_rec : record {a : 0..1}; my_rec.a = 1", "my_rec_a:0..1;my_rec_a = 1"},
      {"r : record {a : 0..1}; r.a xr.a 2r.a _r.a r.ab rs.a", "r_a:0..1;r_a xr.a 2r.a _r_a r_ab rs.a"},
      // an index not followed by '.' stays; the next access is still rewritten
      {"q[0..1] : record {a : 0..1}; q[1] = q[0].a", "q_a[0..1]:0..1;q[1] = q_a[0]"},
      // "record" only as a whole word after ':' and before '{'
      {"recorded : 0..1; x : 0..recorded;", "recorded : 0..1; x : 0..recorded;"},
      {"x : record;", "x : record;"},
      // a type written as an expression keeps its whole text
      {"r : record { a : 0..3+1; b : 0..7 }; r.a", "r_a:(0..3+1);r_b:0..7;r_a"},
      {"no records here", "no records here"},
  };
  for (auto &r : rows) EXPECT_EQ(PREPreplaceRECORD(r.in), r.out) << r.in;
}

TEST(preprecord, accessesofonename) {
  std::string t = "r.a r[1].b xr.a r[2] (r[i].c)";
  PREPreplaceRECORD1(t, 0, "r:junk");
  EXPECT_EQ(t, "r_a r_b[1] xr.a r[2] (r_c[i])");
  std::string u = "r.a r.a";
  PREPreplaceRECORD1(u, 1, "r");
  EXPECT_EQ(u, "r.a r_a");
}

TEST(preprecord, malformedreported) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(PREPreplaceRECORD("r : record { a : 0..1;"), "r : record { a : 0..1;");
  EXPECT_EQ(PREPreplaceRECORD("VAR\n : record { a : 0..1 };"), "VAR\n : record { a : 0..1 };");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR:      record without '}'\nERROR:      record without a name\n");
}

TEST(preprecord, isrecord) {
  const std::string t = "a : record {x:0..1}; b :record{ ; c : records {; d : record\n\t{";
  std::vector<size_t> hits;
  for (size_t p = t.find("record"); p != std::string::npos; p = t.find("record", p + 1))
    if (PREPisrecord(t, p)) hits.push_back(p);
  EXPECT_EQ(hits, (std::vector<size_t>{4, t.find(":record") + 1, t.rfind("record")}));
}

TEST(preptuple, assignments) {
  struct row { std::string in, out; };
  const std::vector<row> rows = {
      {"(a,b,c)=(1,2,3)", padded("a=1&b=2&c=3", "(a,b,c)=(1,2,3)")},
      {"(pc,x) = (4,x+1)", padded("pc=4&x=x+1", "(pc,x) = (4,x+1)")},
      {"g : (a, b) =  (b, a);", "g : " + padded("a=b& b= a", "(a, b) =  (b, a)") + ";"},
      {"(a,b)=(1,2);(c,d)=(3,4) & x = 1",
       padded("a=1&b=2", "(a,b)=(1,2)") + ";" + padded("c=3&d=4", "(c,d)=(3,4)") + " & x = 1"},
      // components split at every ',' regardless of parentheses
      {"(a,b,c) = (f(1,2), 3)", padded("a=f(1&b=2)&c= 3", "(a,b,c) = (f(1,2), 3)")},
      // not tuple assignments: left unchanged
      {"(pc) = (5)", "(pc) = (5)"},
      {"x = 0\n#\n p1 : m(x, y)", "x = 0\n#\n p1 : m(x, y)"},
      {"pc = 0 : swap(a, b)", "pc = 0 : swap(a, b)"},
      {"(a,b) = f(1,2)", "(a,b) = f(1,2)"},
      {"x) = (1,2)", "x) = (1,2)"},
      {"(a,b) = (1,2", "(a,b) = (1,2"},
      {"", ""},
  };
  for (auto &r : rows) {
    std::string s = r.in;
    PREPreplaceASSEQ(s);
    EXPECT_EQ(s, r.out) << r.in;
    EXPECT_EQ(s.size(), r.in.size());
  }
}

TEST(preptuple, sizemismatchreported) {
  testing::internal::CaptureStdout();
  std::string a = "(a,b) = (1,2,3)", b = "(a,b,c) = (1,2)";
  PREPreplaceASSEQ(a);
  PREPreplaceASSEQ(b);
  EXPECT_EQ(a, "(a,b) = (1,2,3)");
  EXPECT_EQ(b, "(a,b,c) = (1,2)");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "ERROR:      tuple assignment of 2 names and 3 values ignored\n"
            "ERROR:      tuple assignment of 3 names and 2 values ignored\n");
}

TEST(preptuple, vlist) {
  const std::string t = "(a, b,c)";
  EXPECT_EQ(PREPcreatevlist(t, 1, 7), (std::vector<std::string>{"a", " b", "c"}));
  EXPECT_EQ(PREPcreatevlist(t, 1, 1), (std::vector<std::string>{""}));
  std::string out;
  PREPwritevlist({"x", "y"}, {"1", "2"}, out);
  EXPECT_EQ(out, "x=1&y=2");
}
