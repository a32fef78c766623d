// The pipeline end to end on small models: debug stops and their dumps,
// property selection, folding, built-in properties, counterexample files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run.h"

namespace fs = std::filesystem;

namespace {

const std::string VERSION = "VERSION:    lumet 1.43 - JAN 2013\n";

// x counts from 0 to 3 and then has no successor.
const char *COUNTER =
    "LUM\n"
    "VAR\n  x : 0..3;\n"
    "INIT\n  x = 0;\n"
    "TRANS\n  x < 3 : x := x + 1;\n"
    "SPEC\n  AG(x < 3);\n  AG(x <= 3);\n  EF(x = 3);\n";
const char *ALLAG =
    "LUM\nVAR\n  x : 0..3;\nINIT\n  x = 0;\nTRANS\n  x < 3 : x := x + 1;\n"
    "SPEC\n  AG(x <= 3);\n  AG(x >= 0);\n  AG(x != 4)\n";
const char *NOSPEC = "LUM\nVAR\n  x : 0..1;\nINIT\n  x = 0;\nTRANS\n  x = 0 : x := 1;\n";

class pipeline : public testing::Test {
 protected:
  void SetUp() override { dir = lumscratch(); }
  void TearDown() override { fs::remove_all(dir); }
  lumrun run(const char *model, std::vector<std::string> args, const std::string &input = "") {
    std::ofstream(dir / "m.lum") << model;
    args.push_back("m.lum");
    return lumetrun(args, dir, input);
  }
  std::string trace() { return lumslurp(dir / "loglmt.tmp"); }
  static bool has(const std::string &s, const std::string &part) { return s.find(part) != std::string::npos; }
  fs::path dir;
};

TEST_F(pipeline, DebugLevelsStopAfterTheirStage) {
  const struct {
    int level;
    bool property;                      // the PROPERTY line was reached
    std::vector<std::string> dumps;     // in the trace log
    std::vector<std::string> absent;    // not yet in the trace log
  } rows[] = {
      {4, false, {"FILE=m.lum\n", "PROG=\n", "TYPE=V\n"}, {"VARALL\n", "BOOLN=2\n"}},
      {3, true, {"FILE=m.lum\n", "PROG=\n"}, {"VARALL\n", "BOOLN=2\n"}},
      // x takes two bits once encoded
      {2, true, {"VARALL\n", "TRANSALL\n", "VAR ", "BOOLN=2\n", "PRCNT=1\n"}, {}},
  };
  for (const auto &r : rows) {
    SCOPED_TRACE(r.level);
    std::vector<std::string> args(r.level, "-d");
    args.push_back("-ck");
    args.push_back("2");
    lumrun o = run(COUNTER, args);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "");
    std::string head = VERSION + "FILE:       m.lum\n";
    EXPECT_EQ(o.out, r.property ? head + "PROPERTY:   A G (x { 3 )\n" : head);
    std::string log = trace();
    for (const auto &d : r.dumps) EXPECT_TRUE(has(log, d)) << d;
    for (const auto &d : r.absent) EXPECT_FALSE(has(log, d)) << d;
  }
}

TEST_F(pipeline, VerdictsAndCounterexampleFiles) {
  const struct {
    std::vector<std::string> args;
    std::string verdict;   // the word after "CONCLUSION: "
    int status;
    bool preparing;        // "The property is false, preparing files ..." printed
    bool cex;              // m.cex written
  } rows[] = {
      {{"-ck", "1", "-f"}, "FALSE", 255, true, true},
      {{"-ck", "1", "-f", "-Xce"}, "FALSE", 255, false, false},
      {{"-ck", "1"}, "FALSE", 255, false, true},        // backward: written silently
      {{"-ck", "2", "-f"}, "TRUE", 1, false, false},
      {{"-ck", "2", "-f", "-d"}, "TRUE", 1, true, true},  // level 1 writes a trace anyway
      {{"-ck", "3"}, "TRUE", 1, false, true},           // a witness
      {{"-ck", "df"}, "FALSE", 255, true, true},          // x = 3 is a deadlock
      {{"-ck", "df", "-Xce"}, "FALSE", 255, false, false},
  };
  for (const auto &r : rows) {
    std::string line;
    for (const auto &a : r.args) line += a + " ";
    SCOPED_TRACE(line);
    fs::remove(dir / "m.cex");
    lumrun o = run(COUNTER, r.args);
    EXPECT_EQ(o.status, r.status);
    EXPECT_TRUE(has(o.out, "\nCONCLUSION: " + r.verdict + " (time=")) << o.out;
    EXPECT_EQ(has(o.out, "The property is false, preparing files ...\n"), r.preparing) << o.out;
    EXPECT_EQ(fs::exists(dir / "m.cex"), r.cex);
    EXPECT_EQ(o.err, "");
  }
  // the deadlock trace ends in the state without successor
  run(COUNTER, {"-ck", "df"});
  std::string cex = lumslurp(dir / "m.cex");
  EXPECT_TRUE(has(cex, "--- STATE 0 ---\nx\t=")) << cex;
  EXPECT_TRUE(cex.size() >= 5 && cex.substr(cex.size() - 5) == "x\t=3\n") << cex;
}

TEST_F(pipeline, BuiltinPropertiesNeverAsk) {
  lumrun o = run(NOSPEC, {"-ck", "tt"}, "1\n");
  EXPECT_EQ(o.out.substr(0, VERSION.size()), VERSION);
  EXPECT_TRUE(has(o.out, "PROPERTY:   tr-totalness\n")) << o.out;
  EXPECT_FALSE(has(o.out, "select a property")) << o.out;
  EXPECT_FALSE(has(o.out, "error:")) << o.out;   // no property needed, none missing
  EXPECT_TRUE(has(o.out, "CONCLUSION: ")) << o.out;
}

TEST_F(pipeline, InteractiveSelection) {
  const std::string menu =
      "1: A G (x < 3 )\n2: A G (x { 3 )\n3: E F (x = 3 )\nselect a property (1-3): ";
  lumrun o = run(COUNTER, {"-ck", "0"}, "5\n2\n");
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(has(o.out, "FILE:       m.lum\n" + menu + "error: the selection is not valid\n" +
                             "select a property (1-3): PROPERTY:   A G (x { 3 )\n"))
      << o.out;
  // input ends before a valid choice: no verdict
  o = run(COUNTER, {"-ck", "0"}, "0\n");
  EXPECT_EQ(o.status, 0);
  EXPECT_TRUE(has(o.out, menu + "error: the selection is not valid\nselect a property (1-3): \n"
                             "CONCLUSION: UNKNOWN (time=T bound=-1)\n"))
      << o.out;
}

TEST_F(pipeline, MissingProperties) {
  const struct {
    const char *model;
    std::vector<std::string> args;
    std::string message;
  } rows[] = {
      {NOSPEC, {"-ck", "0"}, "error: no properties have been specified\n"},
      {NOSPEC, {"-ck", "1"}, "error: the selected property does not exist\n"},
      {NOSPEC, {}, "error: the selected property does not exist\n"},
      {COUNTER, {"-ck", "4"}, "error: the selected property does not exist\n"},
  };
  for (const auto &r : rows) {
    lumrun o = run(r.model, r.args);
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.out, VERSION + "FILE:       m.lum\n" + r.message + "CONCLUSION: UNKNOWN (time=T bound=-1)\n");
  }
}

TEST_F(pipeline, AllAgPropertiesFoldIntoOne) {
  lumrun o = run(ALLAG, {});
  EXPECT_EQ(o.status, 1);
  EXPECT_TRUE(has(o.out, "PROPERTY:   A G ((x { 3 )& ((x } 0 )& (x B 4 )))\n")) << o.out;
  o = run(ALLAG, {"-ck", "all"});
  EXPECT_TRUE(has(o.out, "PROPERTY:   A G ((x { 3 )& ((x } 0 )& (x B 4 )))\n")) << o.out;
}

TEST_F(pipeline, UnknownProcedure) {
  lumrun o = run(COUNTER, {"-ck", "nosuchproc"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, VERSION + "FILE:       m.lum\nINFO:       PROCEDURE not available\n"
                             "CONCLUSION: UNKNOWN (time=T sec)\n");
}

}  // namespace
