// The order file and the automatic order on programs flattened in-process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "coi/coi.h"
#include "front/f2p.h"

namespace {

namespace fs = std::filesystem;

struct scratch {
  fs::path old, dir;
  scratch() {
    old = fs::current_path();
    dir = fs::temp_directory_path() / ("lumet_coi_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~scratch() {
    fs::current_path(old);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

// The flattened program of a model text, and its declarations before flattening.
prg *flatten(const std::string &model, tree **declared) {
  std::ofstream("m.lum", std::ios::binary) << model << "\n";
  char name[16] = "";
  prg *p = f2p0("m.lum", 1, name, nullptr, 0)->program;
  if (declared) *declared = treecopy(PROGpart(p->prog, 0));
  f2p1(p);
  return p;
}

std::string names(prg *p) {
  std::string s;
  for (tree *l = PROGpart(p->prog, 0); l;) {
    bool cell = l->text[0] == ';' && !l->text[1];
    s += std::string(s.empty() ? "" : " ") + (cell ? l->left : l)->left->text;
    l = cell ? l->right : nullptr;
  }
  return s;
}

const char *ARRAYS =
    "LUM\nVAR\n  x : 0..1;\n  a[0..3][0..4] : 0..1;\n  b[2..4] : 0..3;\n  y : 0..2;\n"
    "INIT\n  x = 0;\nTRANS\n  x = 0 : x := 1;\nSPEC\n  AG(x = 0);\n";

TEST(order, FileNamesVariablesAsDeclared) {
  struct row {
    const char *file;     // order file text, or null: no file
    const char *first;    // expected start of the declaration list
    const char *printed;  // expected standard output
  };
  const row rows[] = {
      {"y\na[1][2]\n", "y a_x_7 x a_x_0", ""},
      {"a[1][2]\r\n\n  \ny\r\ny\na[1][2]\n", "a_x_7 y x a_x_0", ""},  // CR, blanks, repeats
      {"zz\ny\n", "y x a_x_0",
       "warning: unknown variable in order file: zz\n"},
      {"a[0][7]\na[4][0]\na[1]\nb[5]\nb[x]\n", "x a_x_0",  // beyond a bound, too few indexes
       "warning: unknown variable in order file: a[0][7]\n"
       "warning: unknown variable in order file: a[4][0]\n"
       "warning: unknown variable in order file: a[1]\n"
       "warning: unknown variable in order file: b[5]\n"
       "warning: unknown variable in order file: b[x]\n"},
      {"b[3]\na[3][4]", "b_x_3 a_x_19 x a_x_0", ""},  // no line end at the end
      {"b\n", "b_x_2 b_x_3 b_x_4 x a_x_0", ""},      // a whole array, element by element
      {"a_x_7\n", "a_x_7 x a_x_0", ""},              // the flattened name
      {nullptr, "x a_x_0 a_x_1", "ERROR:      ord not found\n"},
  };
  scratch s;
  for (const row &r : rows) {
    SCOPED_TRACE(r.file ? r.file : "(no file)");
    tree *declared;
    prg *p = flatten(ARRAYS, &declared);
    std::string before = names(p);
    fs::remove("ord");
    if (r.file) std::ofstream("ord", std::ios::binary) << r.file;
    testing::internal::CaptureStdout();
    var_order(p, "ord", declared);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), r.printed);
    std::string after = names(p);
    EXPECT_EQ(after.substr(0, std::strlen(r.first)), r.first) << after;
    // the same variables, each once
    std::vector<std::string> a, b;
    for (auto [t, v] : {std::pair{&before, &a}, std::pair{&after, &b}}) {
      std::istringstream in(*t);
      for (std::string w; in >> w;) v->push_back(w);
      std::sort(v->begin(), v->end());
    }
    EXPECT_EQ(a, b);
    std::string t, v;  // the record's copy follows
    treewrites(PROGpart(p->prog, 0), t, 0);
    treewrites(p->vlist, v, 0);
    EXPECT_EQ(t, v);
  }
}

}  // namespace
