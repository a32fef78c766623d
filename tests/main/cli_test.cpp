// The command line end to end: help, warnings, missing files, early debug
// stops and the log files, each run in its own scratch directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "run.h"

namespace fs = std::filesystem;

namespace {

const std::string VERSION = "VERSION:    lumet 1.43 - JAN 2013\n";
const std::string HELP =
    "-help (-h) (-?)   : Prints the command line help\n"
    "-p                : Prints the list of the properties in the model\n"
    "-ck i             : Checks the i-th property (default: -ck 1)\n"
    "-ck tt            : Checks whether it is a total transition relation\n"
    "-ck df            : Checks whether it is a deadlock freee transition system\n"
    "-v varfile        : Uses the variable ordering from the file varfile\n"
    "-bs               : Uses qbf-based/sat-based bounded correctness checking\n"
    "-QBF              : Uses qbf-based bounded correctness checking\n"
    "-SAT              : Uses sat-based bounded correctness checking (ACTL formulas)\n"
    "-qbfsolver solver : Sets the qbfsolver variable\n"
    "-satsolver solver : Sets the satsolver variable\n"
    "-bound k          : Sets the bound variable\n"
    "-verify           : Applies verification only\n"
    "-O                : Enables optimization\n"
    "-ignore fairness  : Ignores Fairness Specifications\n";

fs::path vending() { return fs::path(LUMET_SRC) / "examples" / "vending.lum"; }

TEST(cli, HelpTextExactly) {
  const std::vector<std::vector<std::string>> lines = {
      {}, {"-h"}, {"-help"}, {"-?"}, {"-f", "-h", "m.lum"}, {"-d", "-?"}};
  for (const auto &args : lines) {
    fs::path d = lumscratch();
    lumrun r = lumetrun(args, d);
    SCOPED_TRACE(args.empty() ? "(no arguments)" : args[0]);
    EXPECT_EQ(r.out, VERSION + HELP);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    fs::remove_all(d);
  }
}

TEST(cli, InvalidOptionWarnsAndGoesOn) {
  fs::path d = lumscratch();
  lumrun r = lumetrun({"-x", "-p", "m.lum"}, d);
  EXPECT_EQ(r.out, VERSION +
                       "warning: invalid option, ignored: -x\n"
                       "warning: invalid option, ignored: -p\n"
                       "FILE:       m.lum\n"
                       "ERROR:      m.lum not found\n");
  EXPECT_EQ(r.status, 0);
  fs::remove_all(d);
}

TEST(cli, DebugLevelsStopEarly) {
  const struct {
    int level;
    std::string out;
  } rows[] = {
      {6, VERSION},
      {7, VERSION},
      {5, VERSION + "FILE:       " + vending().string() + "\n"},
  };
  for (const auto &row : rows) {
    fs::path d = lumscratch();
    std::vector<std::string> args(row.level, "-d");
    args.push_back(vending().string());
    lumrun r = lumetrun(args, d);
    SCOPED_TRACE(row.level);
    EXPECT_EQ(r.out, row.out);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
    fs::remove_all(d);
  }
}

TEST(cli, LogFilesAreStartedFresh) {
  fs::path d = lumscratch();
  std::ofstream(d / "logtmp.tmp") << "stale preprocessed text\n";
  std::ofstream(d / "loglmt.tmp") << "stale trace\n";
  lumrun r = lumetrun({"-d", "-d", "-d", "-d", "-d", vending().string()}, d);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(fs::exists(d / "logtmp.tmp"));
  EXPECT_TRUE(fs::exists(d / "loglmt.tmp"));
  EXPECT_EQ(fs::file_size(d / "logtmp.tmp"), 0u);
  EXPECT_EQ(lumslurp(d / "loglmt.tmp").find("stale"), std::string::npos);
  fs::remove_all(d);
}

// A log that cannot be created (here a directory stands in its place) is
// reported and the run goes on without it.
TEST(cli, MissingLogsAreReportedNotFatal) {
  fs::path d = lumscratch();
  fs::create_directory(d / "logtmp.tmp");
  fs::create_directory(d / "loglmt.tmp");
  lumrun r = lumetrun({"-d", "-d", "-d", "-d", "-d", "absent.lum"}, d);
  EXPECT_EQ(r.out,
            "ERROR:      cannot create logtmp.tmp\n"
            "ERROR:      cannot create loglmt.tmp\n" +
                VERSION + "FILE:       absent.lum\nERROR:      absent.lum not found\n");
  EXPECT_EQ(r.status, 0);
  // the whole pipeline, dumps included, must cope without the trace log
  r = lumetrun({"-d", vending().string()}, d);
  EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 255) << r.status << r.err;
  EXPECT_EQ(r.err.find("ERROR: AddressSanitizer"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
  fs::remove_all(d);
}

}  // namespace
