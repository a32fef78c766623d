// Short texts, ranges, file names, files, processor time.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "tree/tree.h"

TEST(Text, CommentsAndCompress) {
  struct row {
    const char *in, *comments, *compressed;
  } rows[] = {
      {"a // c\nb", "a \nb", "ab"},
      {"x//y", "x", "x"},
      {"x = 1;\r\n// all\r\ny := 2 //", "x = 1;\r\n\r\ny := 2 ", "x=1;y:=2"},
      {"a/b // c/d\n/", "a/b \n/", "a/b/"},
      {"c[.] !x\tc[.]!y", "c[.] !x\tc[.]!y", "c[.]@xc[.]@y"},
      {"", "", ""},
  };
  for (auto &r : rows) {
    std::string a = r.in, b = r.in;
    stringcomments(a);
    stringcompress(b, ' ', ' ');
    EXPECT_EQ(a, r.comments) << r.in;
    EXPECT_EQ(b, r.compressed) << r.in;
  }
  std::string s = "a,b c";
  stringcompress(s, ',', ' ');
  EXPECT_EQ(s, "abc");
}

TEST(Text, Replacements) {
  char buf[64] = "a.b.c#d.e";
  stringreplacechar(buf, '.', '_');
  EXPECT_STREQ(buf, "a_b_c#d.e");   // stops at '#'
  std::string s = "a.b#.";
  stringreplacechar(s, '.', ':');
  EXPECT_EQ(s, "a:b#.");

  struct row {
    const char *in, *p, *r, *out;
  } rows[] = {
      {"aXbXc", "X", "YY", "aYYbYYc"}, {"aa", "a", "aa", "aaaa"}, {"abab", "ab", "", ""},
      {"abc", "", "z", "abc"},         {"xyz", "q", "r", "xyz"},  {"i+i1", "i", "10", "10+101"},
  };
  for (auto &r : rows) {
    std::string e = r.in;
    stringed(e, r.p, r.r);
    EXPECT_EQ(e, r.out) << r.in;
    char n[64];
    strcpy(n, r.in);
    stringreplacesubstring(n, r.p, r.r);
    EXPECT_STREQ(n, r.out) << r.in;
  }
  std::string big(60, 'a');
  EXPECT_EXIT(
      {
        char n[64];
        strcpy(n, "iii");
        stringreplacesubstring(n, "i", big.c_str());
      },
      testing::ExitedWithCode(0), "^stringreplacesubstring error\n$");
}

TEST(Text, ReplaceAtStart) {
  struct row {
    const char *in, *p, *r, *out;
    int ret;
  } rows[] = {
      {"ab1", "ab", "x", "ab1", 0},   {"ab_1", "ab", "x", "x_1", 1}, {"ab", "ab", "x", "x", 1},
      {"abc", "ab", "x", "abc", 0},   {"xab", "ab", "x", "xab", 0},  {"a[3]", "a[", "bb[", "bb[3]", 1},
      {"ab.c", "ab", "long", "long.c", 1},
  };
  for (auto &r : rows) {
    char n[64];
    strcpy(n, r.in);
    EXPECT_EQ(stringreplacestringfixlength(n, r.p, r.r), r.ret) << r.in;
    EXPECT_STREQ(n, r.out) << r.in;
  }
  std::string big(62, 'z');
  EXPECT_EXIT(
      {
        char n[64] = "ab_1";
        stringreplacestringfixlength(n, "ab", big.c_str());
      },
      testing::ExitedWithCode(0), "^stringreplacestringfixlength error\n$");
}

TEST(Text, Indices) {
  struct row {
    const char *s;
    int a, m, c;
  } rows[] = {
      {"a[3]", 2, 0, 3},  {"ab[1][2]", 3, 3, 1}, {"x", 0, 0, 0},          {"c[12]", 2, 0, 12},
      {"c[i]", 2, 0, 0},  {"c[1+1]", 2, 0, 0},   {"c[99999999999]", 2, 0, 0}, {"c[]", 2, 0, 0},
  };
  for (auto &r : rows) {
    EXPECT_EQ(arrayindex(r.s), r.a) << r.s;
    EXPECT_EQ(marrayindex(r.s), r.m) << r.s;
    EXPECT_EQ(chanindex(r.s), r.c) << r.s;
  }
}

TEST(Text, Ranges) {
  struct row {
    const char *s;
    int which;
    long long v;
  } rows[] = {
      {"0..7", 1, 7},   {"0..7", 0, 0},   {"[2..5]", 0, 2}, {"[2..5]", 1, 5},   {"i3", 1, 7},
      {"i3", 0, 0},     {"i0", 1, 0},     {"i1", 1, 1},     {"i31", 1, 2147483647},
      {"12..345", 1, 345}, {"-3..4", 0, 3}, {"5", 1, 0},    {"", 0, 0},         {"x]7", 0, 0},
      {"3]..9", 1, 0},  {"0..2147483647", 1, 2147483647},
  };
  for (auto &r : rows) EXPECT_EQ(ran(r.s, r.which), r.v) << r.s << " " << r.which;
  for (const char *bad : {"i32", "i99999999999999999999", "0..2147483648", "99999999999999999999..1"})
    EXPECT_EXIT(ran(bad, 1), testing::ExitedWithCode(0), "^type error\n$") << bad;
}

TEST(Text, FileNames) {
  struct row {
    const char *path, *out;
  } rows[] = {
      {"model.lum", "model"}, {"model", ""},         {"a", ""},          {".lum", ""},
      {"x.tar.gz", "x.tar"},  {"dir.d/model", ""},   {"dir.d/m.lum", "dir.d/m"},
      {"../m.lum", "../m"},
  };
  for (auto &r : rows) EXPECT_EQ(gfilename(r.path), r.out) << r.path;
}

TEST(Text, Files) {
  char dir[] = "/tmp/treetextXXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  std::string path = std::string(dir) + "/f.lum";
  struct row {
    const char *content, *text;
  } rows[] = {
      {"SPEC AG x < 10", "SPEC AG x < 10"}, {"SPEC AG x < 10\n", "SPEC AG x < 10"},
      {"ab\r\n", "ab"},                      {"a\n\n", "a\n"},
      {"", ""},                              {"\n", ""},
      {"x\r", "x\r"},
  };
  for (auto &r : rows) {
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs(r.content, f);
    fclose(f);
    EXPECT_EQ(file2string(path), r.text) << r.content;
    EXPECT_EQ(fileok(path), 1);
  }
  std::string nul("a\0b\n", 4);
  FILE *f = fopen(path.c_str(), "wb");
  fwrite(nul.data(), 1, nul.size(), f);
  fclose(f);
  EXPECT_EQ(file2string(path), std::string("a\0b", 3));
  unlink(path.c_str());
  rmdir(dir);

  testing::internal::CaptureStdout();
  EXPECT_EQ(fileok(path), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR:      " + path + " not found\n");
  EXPECT_EQ(file2string(path), "");
}

TEST(Text, UserTime) {
  EXPECT_EQ(utiltime(0), 0.0);
  volatile double x = 0;
  std::clock_t start = std::clock();
  // user time advances while computing (bounded in case it does not)
  while (utiltime(1) < 0.05 && std::clock() - start < 20 * CLOCKS_PER_SEC)
    for (int i = 0; i < 100000; i++) x = x + 1;
  double t = utiltime(1);
  EXPECT_GE(t, 0.05);
  EXPECT_LT(t, 20.0);
}
