// Option decoding: each row is a command line and the record it must give.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "main/param.h"

namespace {

struct parsed {
  const char *model;   // result of mainparameters
  std::string out;     // what it printed
};

// The arguments stay alive until the next call: op0 points into them.
parsed parse(std::vector<std::string> args) {
  static std::vector<std::string> store;
  store = std::move(args);
  store.insert(store.begin(), "lumet");
  std::vector<char *> argv;
  for (auto &a : store) argv.push_back(a.data());
  argv.push_back(nullptr);
  PARdefaults();
  testing::internal::CaptureStdout();
  const char *m = mainparameters((int)store.size(), argv.data());
  std::fflush(stdout);
  return parsed{m, testing::internal::GetCapturedStdout()};
}

const std::string W = "warning: invalid option, ignored: ";

struct row {
  std::vector<std::string> args;
  std::string warnings;                 // expected standard output
  std::function<void()> check;          // expectations on op0 and the switches
};

TEST(mainparameters, DefaultsBeforeParsing) {
  PARdefaults();
  EXPECT_EQ(op0.engine, PARENG_TBD);
  EXPECT_EQ(op0.prop, PARSEL_ALL);
  EXPECT_EQ(op0.ag, 0);
  EXPECT_EQ(op0.om, 0);
  EXPECT_EQ(op0.ovord, 0);
  EXPECT_EQ(op0.alg, -1);
  EXPECT_STREQ(op0.name, "");
  EXPECT_EQ(op0.cfile, nullptr);
  EXPECT_EQ(op0.spfile, nullptr);
  EXPECT_EQ(op0.fspfile, nullptr);
  EXPECT_EQ(op0.lbound, 0);
  EXPECT_EQ(op0.bound, 1000);
  EXPECT_EQ(op0.qbfsolver, nullptr);
  EXPECT_EQ(op0.satsolver, nullptr);
  EXPECT_EQ(PAR_tm, 0);
  EXPECT_EQ(PAR_debug, 0);
  EXPECT_EQ(opDFTT, 0);
  EXPECT_EQ(Xce, 0);
  EXPECT_TRUE(PARdefs.empty());
}

TEST(mainparameters, NoArgumentsGiveNoModel) {
  PARdefaults();
  char prog[] = "lumet";
  char *argv[] = {prog, nullptr};
  EXPECT_EQ(mainparameters(1, argv), nullptr);
}

TEST(mainparameters, OptionTable) {
  const std::vector<row> rows = {
      {{"m.lum"}, "", [] { EXPECT_EQ(op0.prop, PARSEL_ALL); EXPECT_EQ(op0.alg, -1); }},
      // time limit: minutes written directly after -T only
      {{"-T5", "m.lum"}, "", [] { EXPECT_EQ(PAR_tm, 300); }},
      {{"-T", "5", "m.lum"}, "", [] { EXPECT_EQ(PAR_tm, 0); }},
      {{"-Tx", "m.lum"}, "", [] { EXPECT_EQ(PAR_tm, 0); }},
      {{"-T99999999999", "m.lum"}, "", [] { EXPECT_GT(PAR_tm, 0); }},
      // seconds with an "s" after the digits; limits and result files
      {{"-T5s", "m.lum"}, "", [] { EXPECT_EQ(PAR_tm, 5); }},
      {{"-T5sx", "m.lum"}, "", [] { EXPECT_EQ(PAR_tm, 300); }},
      {{"-Ts", "m.lum"}, "", [] { EXPECT_EQ(PAR_tm, 0); }},
      {{"-M", "200", "-wd", "w", "m.lum"}, "", [] {
         EXPECT_EQ(PAR_mem, 200);
         EXPECT_EQ(PARwd, "w");
       }},
      {{"-wd", "m.lum"}, "", [] { EXPECT_EQ(PARwd, "m.lum"); }},
      {{"-M", "m.lum"}, "", [] { EXPECT_EQ(PAR_mem, 0); }},
      {{"-d", "-d", "-d", "m.lum"}, "", [] { EXPECT_EQ(PAR_debug, 3); }},
      {{"-dd", "m.lum"}, W + "-dd\n", [] { EXPECT_EQ(PAR_debug, 0); }},
      // property selection
      {{"-ck", "3", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, 3); }},
      {{"-ck", "300", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, 300); }},
      {{"-ck", "99999999999", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, INT_MAX); }},
      {{"-ck", "2x", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, 2); }},
      {{"-ck", "0", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, PARSEL_ASK); }},
      {{"-ck", "foo", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, PARSEL_MODULE); EXPECT_STREQ(op0.name, "foo"); }},
      {{"-ck", "df", "m.lum"}, "", [] { EXPECT_EQ(opDFTT, 1); EXPECT_EQ(op0.prop, PARSEL_ALL); }},
      {{"-ck", "tt", "m.lum"}, "", [] { EXPECT_EQ(opDFTT, 2); }},
      {{"-ck", "sx", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, PARSEL_SX); }},
      {{"-ck", "3", "-ck", "all", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, PARSEL_ALL); }},
      {{"-ck", "i7", "m.lum"}, "", [] {
         EXPECT_EQ(op0.prop, PARSEL_INTW);
         EXPECT_EQ(PARdefs, std::vector<std::string>{"int=i7"});
       }},
      {{"-ck", "i", "m.lum"}, "", [] { EXPECT_EQ(op0.prop, PARSEL_MODULE); EXPECT_STREQ(op0.name, "i"); }},
      // -ck always consumes its argument, even a rejected one
      {{"-ck", "-5", "-f", "m.lum"}, W + "-ck\n", [] { EXPECT_EQ(op0.prop, PARSEL_ALL); EXPECT_EQ(op0.alg, 11); }},
      {{"-ck", "_x", "m.lum"}, W + "-ck\n", [] { EXPECT_EQ(op0.prop, PARSEL_ALL); }},
      // the name field holds 15 characters
      {{"-ck", "abcdefghijklmno", "m.lum"}, "", [] { EXPECT_STREQ(op0.name, "abcdefghijklmno"); }},
      {{"-ck", "abcdefghijklmnop", "m.lum"}, W + "-ck\n", [] {
         EXPECT_EQ(op0.prop, PARSEL_ALL);
         EXPECT_STREQ(op0.name, "");
       }},
      {{"-v", "order.txt", "m.lum"}, "", [] { EXPECT_STREQ(op0.name, "order.txt"); }},
      {{"-v", "1order", "m.lum"}, W + "-v\n", [] { EXPECT_STREQ(op0.name, ""); }},
      {{"-v", "-f", "m.lum"}, W + "-v\n", [] { EXPECT_STREQ(op0.name, ""); EXPECT_EQ(op0.alg, 11); }},
      {{"-v", "averyveryverylongname", "m.lum"}, W + "-v\n", [] { EXPECT_STREQ(op0.name, ""); }},
      // algorithm
      {{"-f", "m.lum"}, "", [] { EXPECT_EQ(op0.alg, 11); }},
      {{"-f", "-b", "m.lum"}, "", [] { EXPECT_EQ(op0.alg, -1); }},
      {{"-Oalg", "7", "m.lum"}, "", [] { EXPECT_EQ(op0.alg, 7); }},
      {{"-Oalg", "x", "m.lum"}, "", [] { EXPECT_EQ(op0.alg, 0); }},
      {{"-Oalg", "-f", "m.lum"}, "", [] { EXPECT_EQ(op0.alg, 11); }},
      {{"-c", "prog.c", "-sp", "a.sp", "-fsp", "f.fsp", "m.lum"}, "", [] {
         EXPECT_EQ(op0.alg, 11);
         EXPECT_STREQ(op0.cfile, "prog.c");
         EXPECT_STREQ(op0.spfile, "a.sp");
         EXPECT_STREQ(op0.fspfile, "f.fsp");
       }},
      // switches
      {{"-ag", "-Om", "-Ovord", "-Xce", "m.lum"}, "", [] {
         EXPECT_EQ(op0.ag, -1);
         EXPECT_EQ(op0.om, 1);
         EXPECT_EQ(op0.ovord, 1);
         EXPECT_EQ(Xce, 1);
       }},
      {{"-Dprice=3", "-D", "-Dn=2", "m.lum"}, "", [] {
         EXPECT_EQ(PARdefs, (std::vector<std::string>{"price=3", "", "n=2"}));
       }},
      // bounded checking
      {{"-bcc", "m.lum"}, "", [] { EXPECT_EQ(op0.engine, PARENG_BCC); }},
      {{"-QBF", "m.lum"}, "", [] { EXPECT_EQ(op0.engine, PARENG_QBF); }},
      {{"-SAT", "m.lum"}, "", [] { EXPECT_EQ(op0.engine, PARENG_SAT); }},
      {{"-QSAT", "m.lum"}, "", [] { EXPECT_EQ(op0.engine, PARENG_QSAT); }},
      {{"-bound", "20", "-lbound", "5", "m.lum"}, "", [] { EXPECT_EQ(op0.bound, 20); EXPECT_EQ(op0.lbound, 5); }},
      {{"-bound", "x", "m.lum"}, "", [] { EXPECT_EQ(op0.bound, 0); }},
      {{"-qbfsolver", "q", "-satsolver", "s", "m.lum"}, "", [] {
         EXPECT_STREQ(op0.qbfsolver, "q");
         EXPECT_STREQ(op0.satsolver, "s");
       }},
      // words of the help text that the decoder does not accept, and strangers
      {{"-p", "-bs", "-verify", "-O", "-ignore", "-x", "m.lum"},
       W + "-p\n" + W + "-bs\n" + W + "-verify\n" + W + "-O\n" + W + "-ignore\n" + W + "-x\n", [] {}},
      {{"-", "m.lum"}, W + "-\n", [] {}},
      {{"stray", "m.lum"}, "", [] {}},
  };
  for (const auto &r : rows) {
    std::string line;
    for (const auto &a : r.args) line += a + " ";
    SCOPED_TRACE(line);
    parsed p = parse(r.args);
    ASSERT_NE(p.model, nullptr);
    EXPECT_STREQ(p.model, "m.lum");
    EXPECT_EQ(p.out, r.warnings);
    r.check();
  }
}

TEST(mainparameters, LastArgumentIsAlwaysTheModel) {
  parsed p = parse({"-f", "-d"});
  EXPECT_STREQ(p.model, "-d");
  EXPECT_EQ(PAR_debug, 0);
  EXPECT_EQ(op0.alg, 11);
  // an option just before the model may take the model's text as its argument
  p = parse({"-ck", "model.lum"});
  EXPECT_STREQ(p.model, "model.lum");
  EXPECT_EQ(op0.prop, PARSEL_MODULE);
  p = parse({"-x"});
  EXPECT_STREQ(p.model, "-x");
  EXPECT_EQ(p.out, "");
}

TEST(mainparameters, DecoderStagesReportConsumption) {
  PARdefaults();
  char a0[] = "-bound", a1[] = "7", a2[] = "-Om", a3[] = "-bcc";
  char *v1[] = {a0, a1, nullptr};
  EXPECT_EQ(param0(v1, 0), 1);
  EXPECT_EQ(op0.bound, 7);
  char *v2[] = {a2, a1, nullptr};
  EXPECT_EQ(param0(v2, 0), 0);
  EXPECT_EQ(op0.om, 1);
  char *v3[] = {a3, a1, nullptr};
  EXPECT_EQ(param2(v3, 0), 0);
  EXPECT_EQ(op0.engine, PARENG_BCC);
  // an option that needs an argument at the end of the vector consumes nothing
  char *v4[] = {a0, nullptr};
  testing::internal::CaptureStdout();
  EXPECT_EQ(param0(v4, 0), 0);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), W + "-bound\n");
}

// The work directory is found before the logs open: by the decoder's own
// consumption rules, silently, and with every default left in place.
TEST(PARworkdir, DecodedAsTheRealScanWithoutSideEffects) {
  const struct {
    std::vector<std::string> args;
    std::string wd;
  } rows[] = {
      {{"-wd", "w", "m.lum"}, "w"},
      {{"-ck", "-wd", "w", "m.lum"}, ""},           // -ck takes "-wd"
      {{"-v", "9", "-wd", "w", "m.lum"}, "w"},      // a refused order file is not taken
      {{"-h", "-bogus", "-wd", "w", "m.lum"}, "w"},  // no help, no warning
      {{"-wd", "a", "-wd", "b", "m.lum"}, "b"},
      {{"m.lum"}, ""},
  };
  for (const auto &r : rows) {
    std::vector<std::string> store = r.args;
    store.insert(store.begin(), "lumet");
    std::vector<char *> argv;
    for (auto &a : store) argv.push_back(a.data());
    argv.push_back(nullptr);
    testing::internal::CaptureStdout();
    std::string wd = PARworkdir((int)store.size(), argv.data());
    std::fflush(stdout);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << store[1];
    EXPECT_EQ(wd, r.wd) << store[1];
    EXPECT_TRUE(PARwd.empty() && PARdefs.empty() && op0.prop == PARSEL_ALL) << store[1];
  }
}

TEST(PARatoi, DecimalConversion) {
  const struct {
    const char *s;
    int v;
  } rows[] = {{"42", 42}, {"  -7x", -7}, {"+3", 3}, {"", 0}, {"abc", 0},
              {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
  for (const auto &r : rows) EXPECT_EQ(PARatoi(r.s), r.v) << r.s;
  EXPECT_EQ(PARatoi(nullptr), 0);
}

}  // namespace
