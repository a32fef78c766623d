// The cone of influence (-Om) keeps the verdict: hand-made models that a
// careless cone gets wrong, each run with and without -Om.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "../main/run.h"

namespace {

namespace fs = std::filesystem;

struct row {
  const char *name;
  const char *model;
  const char *check;   // -ck argument
  int status;          // verdict as exit status, the same with -Om
  const char *info;    // what -Om prints; null: it removes nothing
};

const char *REDUCED = "INFO:       -Om removed ";
const char *REFUSED = "INFO:       -Om not applied: ";

const row ROWS[] = {
    // x is set once a[2] = 3, which only the write through the index i does;
    // z is outside the cone
    {"selection write",
     "LUM\nVAR\n  i : 0..3;\n  a[0..3] : 0..3;\n  x : 0..1;\n  z : 0..3;\n"
     "INIT\n  i = 0; a[0] = 0; a[1] = 0; a[2] = 0; a[3] = 0; x = 0; z = 0;\n"
     "TRANS\n  i < 3 : i := i + 1;\n  TRUE : a[i] := 3;\n  a[2] = 3 : x := 1;\n"
     "  z < 3 : z := z + 1;\nSPEC\n  AG(x = 0);\n",
     "1", 255, REDUCED},
    // x = y ties x to the y of the initial state
    {"init link",
     "LUM\nVAR\n  x : 0..3;\n  y : 0..3;\n  z : 0..1;\nINIT\n  x = y & y = 2; z = 0;\n"
     "TRANS\n  z = 0 : z := 1;\nSPEC\n  AG(x = 2);\n",
     "1", 1, REDUCED},
    // the y steps run out, then x must move: without y they would be
    // self-loops forever
    {"stutter EG",
     "LUM\nVAR\n  x : 0..1;\n  y : 0..3;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  x = 0 : x := 1;\n  y < 3 : y := y + 1;\nSPEC\n  EG(x = 0);\n",
     "1", 255, REFUSED},
    {"stutter AF",
     "LUM\nVAR\n  x : 0..1;\n  y : 0..3;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  x = 0 : x := 1;\n  y < 3 : y := y + 1;\nSPEC\n  AF(x = 1);\n",
     "1", 1, REFUSED},
    // deadlock at y = 3 although property 1 names only x
    {"deadlock",
     "LUM\nVAR\n  x : 0..1;\n  y : 0..3;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  y < 3 : y := y + 1;\nSPEC\n  AG(x = 0);\n",
     "df", 255, REFUSED},
    {"totalness",
     "LUM\nVAR\n  x : 0..1;\n  y : 0..2;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  y < 2 : y := y + 1;\n  y = 2 : y := 0;\nSPEC\n  AG(x = 0);\n",
     "tt", 255, REFUSED},
    // y := 5 does not fit y's two bits: the transition never fires, and x
    // never becomes 1
    {"blocking assignment",
     "LUM\nVAR\n  x : 0..1;\n  y : 0..3;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  x = 0 : x := 1 & y := 5;\nSPEC\n  AG(x = 0);\n  EF(y = 1);\n",
     "1", 1, nullptr},
    // fairness restricts the paths: not reduced
    {"fairness",
     "LUM\nVAR\n  x : 0..1;\n  y : 0..1;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  x = 0 : x := 1;\n  TRUE : y := 1 - y;\nFAIRNESS\n  x = 1;\nSPEC\n  EF(x = 1);\n",
     "1", 1, REFUSED},
    // E[U] and nested AG EF are reachability too
    {"until",
     "LUM\nVAR\n  x : 0..3;\n  y : 0..3;\nINIT\n  x = 0; y = 0;\n"
     "TRANS\n  x < 3 : x := x + 1;\n  y < 3 : y := y + 1;\n"
     "SPEC\n  E(x < 3 U x = 3);\n  AG(EF(x = 3));\n",
     "2", 1, REDUCED},
};

TEST(cone, KeepsTheVerdict) {
  for (const row &r : ROWS) {
    SCOPED_TRACE(r.name);
    fs::path dir = lumscratch();
    std::ofstream(dir / "m.lum") << r.model;
    lumrun plain = lumetrun({"-ck", r.check, "m.lum"}, dir);
    lumrun cone = lumetrun({"-Om", "-ck", r.check, "m.lum"}, dir);
    EXPECT_EQ(plain.status, r.status) << plain.out << plain.err;
    EXPECT_EQ(cone.status, r.status) << cone.out << cone.err;
    if (r.info) EXPECT_NE(cone.out.find(r.info), std::string::npos) << cone.out;
    else EXPECT_EQ(cone.out.find("INFO:       -Om"), std::string::npos) << cone.out;
    fs::remove_all(dir);
  }
}

}  // namespace
