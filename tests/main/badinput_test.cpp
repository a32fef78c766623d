// Inputs a new user gets wrong end with a message that says what is wrong
// and status 0, never with a crash, a silent renumbering or a wrong verdict.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run.h"

namespace {

std::string model(const std::string &trans, const std::string &props) {
  return "LUM\nVAR\n  x : 0..3;\nINIT\n  x = 0;\nTRANS\n  " + trans + "\nSPEC\n" + props + "\n";
}

struct badcase {
  std::string what;
  std::vector<std::string> args;   // the model file m.lum (or dir.lum) comes last
  std::string text;                // model text; empty: m.lum is not written
  std::string out;                 // expected on standard output
  const char *err;                 // expected on standard error ("" none)
  int status = 0;                  // 1: the run goes on to a verdict of the next property
};

TEST(badinput, EndsWithAClearMessage) {
  const std::string step = "x < 3 : x := x + 1;";
  std::vector<badcase> cases = {
      {"empty property", {"-ck", "1", "m.lum"}, model(step, "  AG;\n  EF(x = 3);"),
       "ERROR:      property 1 (AG) is empty and left out; the later ones move up\n"
       "PROPERTY:   E F (x = 3 )\n",
       "", 1},
      {"undeclared in property", {"m.lum"}, model(step, "  AG(y = 1);"),
       "ERROR:      undeclared name y (line 9)\n", "constant error\n"},
      {"undeclared in guard", {"m.lum"}, model("z < 3 : x := x + 1;", "  AG(x < 4);"),
       "ERROR:      undeclared name z (line 7)\n", "constant error\n"},
      {"-ck 255", {"-ck", "255", "m.lum"}, model(step, "  AG(x < 4);"),
       "error: the selected property does not exist\n", ""},
      {"-ck 500", {"-ck", "500", "m.lum"}, model(step, "  AG(x < 4);"),
       "error: the selected property does not exist\n", ""},
      {"directory", {"dir.lum"}, "", "ERROR:      dir.lum is a directory, not a model file\n", ""},
  };
  // 60,000 nested operators (about 120 KB): every engine refuses them before
  // its recursive walks start
  struct deepform {
    const char *what, *head, *unit, *tail;
    int levels;
  };
  const deepform deeps[] = {
      {"AG", "", "AG", "(x <= 3)", 120002},
      {"AX", "", "AX", "(x <= 3)", 120002},
      {"EF", "", "EF", "(x <= 3)", 120002},
      {"disjunction", "AG(", "x=1|", "x=0)", 60004},
  };
  for (const deepform &d : deeps)
    for (std::string engine : {"", "-f", "-SAT"}) {
      std::string props = std::string("  ") + d.head;
      for (int i = 0; i < 60000; i++) props += d.unit;
      props += std::string(d.tail) + ";";
      std::vector<std::string> args = {"-ck", "1", "m.lum"};
      if (!engine.empty()) args.insert(args.begin(), engine);
      cases.push_back({"60000 nested " + std::string(d.what) + " " + engine, args, model(step, props),
                       "ERROR:      the property is nested too deeply (" + std::to_string(d.levels) +
                           " levels, at most 10000)\n",
                       ""});
    }
  for (const badcase &c : cases) {
    auto dir = lumscratch();
    std::filesystem::create_directory(dir / "dir.lum");
    if (!c.text.empty()) std::ofstream(dir / "m.lum") << c.text;
    lumrun r = lumetrun(c.args, dir);
    EXPECT_EQ(r.status, c.status) << c.what;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << c.what << ":\n" << r.out.substr(0, 2000);
    if (c.status == 0) {
      EXPECT_EQ(r.out.find("CONCLUSION: TRUE"), std::string::npos) << c.what;
      EXPECT_EQ(r.out.find("CONCLUSION: FALSE"), std::string::npos) << c.what;
    }
    EXPECT_EQ(r.err, c.err) << c.what;
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
