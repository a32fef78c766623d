// The integer type end to end: the width probe's child runs, the verdict at
// the chosen width, "int too big", the overflow check -ck iN, and model
// paths and definitions that a shell would have interpreted.
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

#include "run.h"

namespace fs = std::filesystem;

namespace {

const char *UPTO5 = "LUM VAR x : int;\nINIT x = 0;\nTRANS x < 5 : x := x + 1;\nSPEC AG x < 3\n";
const char *UPTO5PROC =
    "LUM VAR x : int;\nINIT x = 0;\nTRANS x < 5 : inc(x);\nSPEC AG x < 3\n"
    "PROCEDURE inc(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : v := v + 1 & t := 1 & RETURN;\n";
const char *ONCE = "LUM VAR x : int;\nINIT x = 0;\nTRANS x = 0 : x := 1;\nSPEC AG x = 0\n";
const char *UPTOLIM = "LUM VAR x : int; y : 0..1;\nINIT x = 0 & y = 0;\n"
                      "TRANS x < lim : x := x + 1; 1 : y := *;\nSPEC AG x < lim + 1\n";
const char *DOUBLING = "LUM VAR x : int;\nINIT x = 1;\nTRANS 1 : x := x + x;\nSPEC AG x > 0\n";
const char *INTERRUPT = "LUM VAR interrupt : 0..1;\nINIT interrupt = 0;\n"
                        "TRANS interrupt = 0 : interrupt := 1;\nSPEC AG interrupt < 2\n";
const char *WEIRD = "m $(touch PWNED);'q\" `touch PWNED`.lum";

int count(const std::string &s, const std::string &what) {
  int n = 0;
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1)) n++;
  return n;
}

TEST(intprobe, WidthsVerdictsAndEnds) {
  struct row {
    const char *model, *file;
    std::vector<std::string> args;
    int status;
    const char *conclusion;  // "" = no verdict line
    int width;               // width printed and last logged; 0 = no probe
    const char *out;         // further text expected on standard output
  } rows[] = {
      // the width is chosen by the overflow check, the property is checked at it
      {UPTO5, "m.lum", {}, 255, "FALSE", 3, ""},
      {ONCE, "m.lum", {"-ck", "1"}, 255, "FALSE", 2, ""},
      {UPTOLIM, "m.lum", {"-Dlim=200"}, 1, "TRUE", 8, ""},
      {UPTOLIM, "m.lum", {"-f", "-T5", "-Dlim=9"}, 1, "TRUE", 4, ""},
      {DOUBLING, "m.lum", {}, 0, "UNKNOWN", 31, "int too big: x still overflows at 31 bits"},
      {INTERRUPT, "m.lum", {}, 1, "TRUE", 0, ""},
      // shell characters in the model path and in a definition are just text
      {UPTO5, WEIRD, {"-Dzz=$(touch PWNED)"}, 255, "FALSE", 3, ""},
      // the children check to the end whatever stage the run itself stops at
      {UPTO5, "m.lum", {"-d", "-d"}, 0, "", 3, "INFO:       int width 3"},
      {UPTO5, "m.lum", {"-SAT"}, 255, "FALSE", 3, "INFO:       int width 3"},
      // an overflow inside a procedure counts
      {UPTO5PROC, "m.lum", {}, 255, "FALSE", 3, "INFO:       int width 3"},
      // -ck iN is the overflow check at N bits, without a probe
      {UPTO5, "m.lum", {"-ck", "i3"}, 1, "TRUE", 0, "PROPERTY:   A G (err_x_ = 0 )"},
      {UPTO5, "m.lum", {"-ck", "i2"}, 0, "UNKNOWN", 0, "INFO:       CONSTANT=5"},
      {DOUBLING, "m.lum", {"-ck", "i4"}, 255, "FALSE", 0, "INFO:       OVERFLOW=x"},
  };
  for (const row &r : rows) {
    fs::path d = lumscratch();
    std::ofstream(d / r.file) << r.model;
    std::vector<std::string> args = r.args;
    args.push_back(r.file);
    lumrun run = lumetrun(args, d);
    SCOPED_TRACE(std::string(r.model).substr(0, 40) + " " + (r.args.empty() ? "" : r.args[0]));
    EXPECT_EQ(run.status, r.status);
    if (*r.conclusion) {
      EXPECT_NE(run.out.find(std::string("CONCLUSION: ") + r.conclusion), std::string::npos) << run.out;
    } else {
      EXPECT_EQ(run.out.find("CONCLUSION"), std::string::npos) << run.out;
    }
    EXPECT_NE(run.out.find(r.out), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(d / "PWNED"));
    std::string lmt = lumslurp(d / "loglmt.tmp");
    if (r.width == 0) {
      EXPECT_FALSE(fs::exists(d / ".log1.tmp"));
      EXPECT_EQ(lmt.find("int width"), std::string::npos);
    } else {
      // one logged line per child, widths rising from 1 to width (widths that
      // cannot hold the largest constant are skipped); the children wrote no
      // logs of their own
      std::vector<int> widths;
      for (size_t p = lmt.find("INFO:       int width "); p != std::string::npos;
           p = lmt.find("INFO:       int width ", p + 1))
        widths.push_back(std::atoi(lmt.c_str() + p + 22));
      ASSERT_FALSE(widths.empty()) << lmt;
      EXPECT_EQ(widths.front(), 1) << lmt;
      EXPECT_EQ(widths.back(), r.width) << lmt;
      EXPECT_TRUE(std::is_sorted(widths.begin(), widths.end()) &&
                  std::adjacent_find(widths.begin(), widths.end()) == widths.end()) << lmt;
      std::string w = "INFO:       int width " + std::to_string(r.width) + "\n";
      EXPECT_NE(lmt.find(w), std::string::npos);
      bool chosen = run.out.find(w) != std::string::npos;
      if (r.status != 0) {
        EXPECT_TRUE(chosen) << run.out;
      }
      if (chosen) {
        EXPECT_NE(lumslurp(d / (".log" + std::to_string(r.width) + ".tmp")).find("CONCLUSION: TRUE"),
                  std::string::npos);
      }
      EXPECT_EQ(count(lumslurp(d / "logtmp.tmp"), "PREP\n"), 1);
      EXPECT_FALSE(fs::exists(d / (".log" + std::to_string(r.width + 1) + ".tmp")));
    }
    if (r.status == 0 && *r.conclusion && r.width) {
      EXPECT_EQ(run.err, "int too big error\n");
    }
    fs::remove_all(d);
  }
}

}  // namespace
