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
  const char *what;
  std::vector<std::string> args;   // the model file m.lum (or dir.lum) comes last
  std::string text;                // model text; empty: m.lum is not written
  const char *out;                 // expected on standard output
  const char *err;                 // expected on standard error ("" none)
  int status = 0;                  // 1: the run goes on to a verdict of the next property
};

TEST(badinput, EndsWithAClearMessage) {
  const std::string step = "x < 3 : x := x + 1;";
  std::string deep = "  ";
  for (int i = 0; i < 60000; i++) deep += "AG";
  deep += "(x <= 3);";
  const badcase cases[] = {
      {"deep property", {"-ck", "1", "m.lum"}, model(step, deep),
       "ERROR:      the property is nested too deeply (120002 levels, at most 10000)\n", ""},
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
