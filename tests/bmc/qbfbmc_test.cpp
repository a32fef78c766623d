// The QBF route of the lumet binary: modes, refused formulas, dump files,
// external QBF solvers (depqbf and scripts) and counterexample files.
#include <gtest/gtest.h>

#include <cstring>

#include "../main/run.h"
#include "bmc/bmc.h"

namespace fs = std::filesystem;

namespace {

const char *TOGGLE = R"(LUM
VAR
  a : 0..1;
  b : 0..1;
INIT
  a = 0 & b = 0;
TRANS
  a = 0 : a := 1;
  a = 1 : a := 0 & b := 1;
SPEC
  AG(b = 0);
  EF(b = 1);
  A(F(a = 1) | G(b = 0));
  AG(a = 0 | a = 1);
  AG EF(b = 0);
  AF G(a = 1);
)";

// Every state initial, unguarded choices, fairness.
const char *FREE = R"(LUM
VAR
  x : 0..1;
  y : 0..1;
INIT
  TRUE;
TRANS
  TRUE : x := 1 - x;
  TRUE : y := x;
FAIRNESS
  x = 1;
SPEC
  EF(x = 1);
  AG EF(y = 0);
  EG(y = 0);
  AX(x = 1);
)";

lumrun runin(const fs::path &dir, const std::string &model, std::vector<std::string> args) {
  args.push_back(model);
  return lumetrun(args, dir);
}

bool contains(const std::string &s, const std::string &part) { return s.find(part) != std::string::npos; }

std::string conclusion(const std::string &out) {
  size_t p = out.find("CONCLUSION: ");
  return p == std::string::npos ? "" : out.substr(p, out.find('\n', p) - p);
}

bool onpath(const std::string &name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

TEST(QbfCli, ModesAndVerdicts) {
  struct cli {
    const char *model;
    std::vector<std::string> args;
    const char *line;      // a line the output must hold
    const char *verdict;   // the conclusion line
    int status;
  } cases[] = {
      {TOGGLE, {"-ck", "1", "-QBF"}, "INFO:       applying an internal QBF-solver",
       "CONCLUSION: FALSE (time=T bound=2)", 255},
      {TOGGLE, {"-ck", "2", "-QSAT"}, "INFO:       applying an internal SAT-solver",
       "CONCLUSION: TRUE (time=T bound=2)", 1},
      {TOGGLE, {"-ck", "3", "-QBF"}, "ERROR:      invalid options", "CONCLUSION: UNKNOWN (time=T bound=-1)", 0},
      {TOGGLE, {"-ck", "3", "-bcc"}, "ERROR:      invalid options", "CONCLUSION: UNKNOWN (time=T bound=-1)", 0},
      {TOGGLE, {"-ck", "4", "-QSAT"}, "bound =  4", "CONCLUSION: TRUE (time=T bound=4)", 1},
      {TOGGLE, {"-ck", "5", "-bcc"}, "applying an internal QBF-solver", "CONCLUSION: FALSE (time=T bound=2)", 255},
      {TOGGLE, {"-ck", "6", "-QBF"}, "applying", "CONCLUSION: FALSE (time=T bound=4)", 255},
      {TOGGLE, {"-ck", "6", "-QSAT", "-lbound", "5"}, "bound =  5", "CONCLUSION: FALSE (time=T bound=5)", 255},
      {FREE, {"-ck", "1", "-QBF"}, "applying", "CONCLUSION: TRUE (time=T bound=2)", 1},
      {FREE, {"-ck", "2", "-QSAT"}, "applying", "CONCLUSION: TRUE (time=T bound=4)", 1},
      {FREE, {"-ck", "3", "-QBF"}, "applying", "CONCLUSION: FALSE (time=T bound=0)", 255},
      {FREE, {"-ck", "4", "-QBF", "-bound", "0"}, "----------", "CONCLUSION: UNKNOWN (time=T bound=0)", 0},
      {FREE, {"-ck", "4", "-QBF", "-qbfsolver", "no-such-qbf-solver"},
       "ERROR:      no-such-qbf-solver not found", "CONCLUSION: FALSE (time=T bound=2)", 255},
  };
  for (const cli &c : cases) {
    SCOPED_TRACE(c.args[1] + " " + c.args[2]);
    auto dir = lumscratch();
    std::ofstream(dir / "m.lum") << c.model;
    lumrun r = runin(dir, "m.lum", c.args);
    EXPECT_TRUE(contains(r.out, c.line)) << r.out;
    EXPECT_EQ(c.verdict, conclusion(r.out)) << r.out << r.err;
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ("", r.err);
    fs::remove_all(dir);
  }
}

TEST(QbfCli, DumpNames) {
  struct { int dir, k; char blank; const char *name; } names[] = {
      {1, 7, '0', ".lumet_1.007"}, {1, 0, 'a', ".lumet_1.aa0"}, {0, 42, 'e', ".lumet_0.e42"},
      {1, 100, 'a', ".lumet_1.a100"}, {0, 1000, '0', ".lumet_0.1000"},
  };
  for (auto &n : names) EXPECT_EQ(n.name, BMCdumpname(n.dir, n.k, n.blank));

  auto dir = lumscratch();
  std::ofstream(dir / "m.lum") << TOGGLE;
  // EF: existential in the proof direction; its negation AG: universal
  lumrun r = runin(dir, "m.lum", {"-ck", "2", "-QBF", "-qbfsolver", "_", "-bound", "1"});
  EXPECT_FALSE(contains(r.out, "applying")) << r.out;
  EXPECT_EQ("CONCLUSION: UNKNOWN (time=T bound=1)", conclusion(r.out));
  for (const char *n : {".lumet_1.000", ".lumet_0.001"}) EXPECT_EQ(0u, lumslurp(dir / n).rfind("QBF\n", 0)) << n;
  for (const char *n : {".lumet_1.000.qdimacs", ".lumet_0.001.qdimacs", ".lumet_1.ee1", ".lumet_0.aa1"})
    EXPECT_EQ(0u, lumslurp(dir / n).rfind("p cnf ", 0)) << n;
  EXPECT_FALSE(fs::exists(dir / ".lumet_1.002"));
  if (onpath("depqbf")) {
    // bound 2 reaches b = 1; bound 1 does not
    r = runin(dir, "m.lum", {"-ck", "2", "-QBF", "-qbfsolver", "_", "-lbound", "2", "-bound", "2"});
    EXPECT_EQ(10, WEXITSTATUS(std::system(("depqbf " + (dir / ".lumet_1.002.qdimacs").string() + " >/dev/null").c_str())));
    EXPECT_EQ(20, WEXITSTATUS(std::system(("depqbf " + (dir / ".lumet_1.001.qdimacs").string() + " >/dev/null").c_str())));
  }
  fs::remove_all(dir);
}

TEST(QbfCli, CounterexampleFile) {
  auto dir = lumscratch();
  std::ofstream(dir / "m.lum") << TOGGLE;
  lumrun r = runin(dir, "m.lum", {"-ck", "1", "-QBF"});
  EXPECT_TRUE(contains(r.out, "The property is false, preparing files ...\n")) << r.out;
  EXPECT_EQ("--- STATE 0 ---\na\t=0\nb\t=0\n--- TRANS 1 ---\n--- STATE 1 ---\na\t=1\nb\t=0\n"
            "--- TRANS 2 ---\n--- STATE 2 ---\na\t=0\nb\t=1\n",
            lumslurp(dir / "m.cex"));
  fs::remove(dir / "m.cex");
  // the refutation of AG EF needs more than one path: the decision-diagram
  // engine writes the trace, except under a limit, whose budget is the user's
  r = runin(dir, "m.lum", {"-ck", "5", "-QBF"});
  EXPECT_TRUE(contains(r.out, "The property is false, preparing files ...\n")) << r.out;
  EXPECT_FALSE(contains(r.out, "no trace is available")) << r.out;
  EXPECT_TRUE(fs::exists(dir / "m.cex"));
  fs::remove(dir / "m.cex");
  r = runin(dir, "m.lum", {"-ck", "5", "-QBF", "-T60s"});
  EXPECT_TRUE(contains(r.out, "INFO:       no trace is available for this refutation")) << r.out;
  EXPECT_FALSE(fs::exists(dir / "m.cex"));
  fs::remove_all(dir);
}

// External QBF solvers: depqbf gives the internal verdicts; exit status 20
// on a mixed problem never ends the run; any other status fails once.
TEST(QbfCli, ExternalSolvers) {
  auto dir = lumscratch();
  std::ofstream(dir / "m.lum") << TOGGLE;
  struct script { const char *name, *body, *line, *verdict; } scripts[] = {
      {"always20", "exit 20", "bound =  3", "CONCLUSION: UNKNOWN (time=T bound=3)"},
      {"exit3", "exit 3", "ERROR:      solver ./exit3 failed (status 3)", "CONCLUSION: UNKNOWN (time=T bound=0)"},
      {"prenex", "grep -q '^a ' \"$1\" && tail -n +2 \"$1\" | grep '^[ae] ' | tail -1 | grep -q '^e ' && touch seen\n"
                 "exec depqbf \"$1\"", "INFO:       applying ./prenex",
       "CONCLUSION: FALSE (time=T bound=2)"},
  };
  for (const script &s : scripts) {
    SCOPED_TRACE(s.name);
    if (!std::strcmp(s.name, "prenex") && !onpath("depqbf")) continue;
    fs::path p = dir / s.name;
    std::ofstream(p) << "#!/bin/sh\n" << s.body << "\n";
    fs::permissions(p, fs::perms::owner_all);
    // AG EF: mixed problems in both directions from bound 1 on
    lumrun r = runin(dir, "m.lum", {"-ck", "5", "-QBF", "-lbound", "1", "-bound", "3", "-qbfsolver",
                                    std::string("./") + s.name});
    EXPECT_TRUE(contains(r.out, s.line)) << r.out;
    EXPECT_EQ(s.verdict, conclusion(r.out)) << r.out;
  }
  // a problem with universal blocks ends its prefix with the auxiliaries' block
  if (onpath("depqbf")) EXPECT_TRUE(fs::exists(dir / "seen"));
  // universal problems go negated (existential): status 20 proves them
  std::ofstream(dir / "exit20") << "#!/bin/sh\nexit 20\n";
  fs::permissions(dir / "exit20", fs::perms::owner_all);
  lumrun r = runin(dir, "m.lum", {"-ck", "4", "-QBF", "-qbfsolver", "./exit20"});
  EXPECT_EQ("CONCLUSION: TRUE (time=T bound=0)", conclusion(r.out)) << r.out;
  if (onpath("depqbf")) {
    lumrun r = runin(dir, "m.lum", {"-ck", "1", "-QBF", "-qbfsolver", "depqbf"});
    EXPECT_EQ("CONCLUSION: FALSE (time=T bound=2)", conclusion(r.out)) << r.out;
    EXPECT_TRUE(contains(r.out, "The property is false, preparing files ...\n")) << r.out;
    EXPECT_TRUE(fs::exists(dir / "m.cex"));
    r = runin(dir, "m.lum", {"-ck", "2", "-QBF", "-qbfsolver", "depqbf"});
    EXPECT_EQ("CONCLUSION: TRUE (time=T bound=2)", conclusion(r.out)) << r.out;
  }
  fs::remove_all(dir);
}

// The Q cases of the examples: depqbf gives the internal verdicts and bounds.
TEST(QbfCli, DepqbfAgreesOnExamples) {
  if (!onpath("depqbf")) GTEST_SKIP() << "depqbf is not installed";
  const std::vector<std::vector<std::string>> runs = {
      {"-ck", "2", "-QBF", "models/thermostat.lum"}, {"-ck", "4", "-QBF", "models/thermostat.lum"},
      {"-ck", "1", "-QBF", "models/river.lum"},      {"-ck", "1", "-bcc", "models/stopwatch.lum"},
      {"-ck", "2", "-QBF", "models/tas_lock.lum"},
      {"-ck", "1", "-bcc", "models/pingpong.lum"},
  };
  auto dir = lumscratch();
  fs::copy(fs::path(LUMET_SRC) / "tests/acceptance/examples/models", dir / "models");
  for (const auto &a : runs) {
    SCOPED_TRACE(a[1] + " " + a.back());
    std::vector<std::string> ext = {"-qbfsolver", "depqbf"};
    ext.insert(ext.end(), a.begin(), a.end());
    std::string want = conclusion(lumetrun(a, dir).out);
    EXPECT_NE("", want);
    EXPECT_EQ(want, conclusion(lumetrun(ext, dir).out));
  }
  fs::remove_all(dir);
}

}  // namespace
