// The bounded route of the lumet binary: route messages, bounds, dump mode,
// external solvers (real ones and failing scripts) and counterexample files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "../main/run.h"

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
  AF G(a = 1);
  AG(a = 0 | a = 1);
)";

const char *FAIR = R"(LUM
VAR
  a : 0..1;
INIT
  a = 0;
TRANS
  TRUE : a := 1 - a;
FAIRNESS
  a = 1;
SPEC
  AG AF(a = 1);
)";

fs::path examples() { return fs::path(LUMET_SRC) / "tests/acceptance/examples"; }

lumrun runin(const fs::path &dir, const std::string &model, std::vector<std::string> args) {
  args.push_back(model);
  return lumetrun(args, dir);
}

bool contains(const std::string &s, const std::string &part) { return s.find(part) != std::string::npos; }

std::string conclusion(const std::string &out) {
  size_t p = out.find("CONCLUSION: ");
  return p == std::string::npos ? "" : out.substr(p, out.find('\n', p) - p);
}

TEST(BmcCli, RoutesAndBounds) {
  struct cli {
    const char *model;
    std::vector<std::string> args;
    const char *line;               // a line the output must hold
    const char *verdict;            // the conclusion line
    int status;
  } cases[] = {
      {FAIR, {"-SAT"}, "ERROR:      invalid options", "CONCLUSION: UNKNOWN (time=T bound=-1)", 0},
      {FAIR, {"-bcc"}, "INFO:       applying an internal QBF-solver", "CONCLUSION: TRUE (time=T bound=2)", 1},
      {TOGGLE, {"-ck", "2", "-SAT"}, "INFO:       existential properties are decided with -QBF",
       "CONCLUSION: UNKNOWN (time=T bound=-1)", 0},
      {TOGGLE, {"-ck", "2", "-bcc"}, "INFO:       applying an internal QBF-solver",
       "CONCLUSION: TRUE (time=T bound=2)", 1},
      {TOGGLE, {"-ck", "3", "-SAT"}, "ERROR:      invalid options", "CONCLUSION: UNKNOWN (time=T bound=-1)", 0},
      {TOGGLE, {"-ck", "1", "-SAT"}, "INFO:       applying an internal SAT-solver",
       "CONCLUSION: FALSE (time=T bound=2)", 255},
      {TOGGLE, {"-ck", "1", "-bcc"}, "bound =  2  time = T", "CONCLUSION: FALSE (time=T bound=2)", 255},
      {TOGGLE, {"-ck", "4", "-SAT"}, "bound =  4  time = T", "CONCLUSION: TRUE (time=T bound=4)", 1},
      {TOGGLE, {"-ck", "1", "-SAT", "-lbound", "3", "-bound", "2"}, "applying",
       "CONCLUSION: UNKNOWN (time=T bound=2)", 0},
      {TOGGLE, {"-ck", "1", "-SAT", "-bound", "1"}, "----------  time = T",
       "CONCLUSION: UNKNOWN (time=T bound=1)", 0},
      {TOGGLE, {"-ck", "1", "-SAT", "-satsolver", "no-such-solver-here"},
       "ERROR:      no-such-solver-here not found", "CONCLUSION: FALSE (time=T bound=2)", 255},
  };
  for (const cli &c : cases) {
    SCOPED_TRACE(c.args.back());
    auto dir = lumscratch();
    std::ofstream(dir / "m.lum") << c.model;
    lumrun r = runin(dir, "m.lum", c.args);
    EXPECT_TRUE(contains(r.out, c.line)) << r.out;
    if (*c.verdict) EXPECT_EQ(c.verdict, conclusion(r.out)) << r.out;
    else EXPECT_EQ("", conclusion(r.out)) << r.out;
    EXPECT_EQ(c.status, r.status);
    fs::remove_all(dir);
  }
}

TEST(BmcCli, DumpModeAndCounterexampleFile) {
  auto dir = lumscratch();
  std::ofstream(dir / "m.lum") << TOGGLE;
  lumrun r = runin(dir, "m.lum", {"-ck", "1", "-SAT", "-satsolver", "_", "-bound", "3"});
  EXPECT_FALSE(contains(r.out, "applying")) << r.out;
  EXPECT_EQ("CONCLUSION: UNKNOWN (time=T bound=3)", conclusion(r.out));
  for (const char *n : {".lumet_1.000", ".lumet_0.000", ".lumet_1.003", ".lumet_0.003"}) {
    std::string text = lumslurp(dir / n);
    EXPECT_EQ(0u, text.rfind("p cnf ", 0)) << n;
  }
  EXPECT_FALSE(fs::exists(dir / ".lumet_1.004"));
  EXPECT_FALSE(fs::exists(dir / "m.cex"));

  r = runin(dir, "m.lum", {"-ck", "1", "-SAT"});
  EXPECT_TRUE(contains(r.out, "The property is false, preparing files ...\n"));
  EXPECT_EQ("--- STATE 0 ---\na\t=0\nb\t=0\n--- TRANS 1 ---\n--- STATE 1 ---\na\t=1\nb\t=0\n"
            "--- TRANS 2 ---\n--- STATE 2 ---\na\t=0\nb\t=1\n",
            lumslurp(dir / "m.cex"));
  fs::remove(dir / "m.cex");
  r = runin(dir, "m.lum", {"-ck", "1", "-SAT", "-Xce"});
  EXPECT_EQ(255, r.status);
  EXPECT_FALSE(fs::exists(dir / "m.cex"));
  EXPECT_FALSE(contains(r.out, "preparing files"));
  fs::remove_all(dir);
}

bool onpath(const std::string &name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

// The B cases of the examples: a solver named on the command line gives the
// internal solver's verdicts and bounds.
TEST(BmcCli, ExternalSolversAgree) {
  const std::vector<std::vector<std::string>> runs = {
      {"-ck", "2", "-SAT", "models/river.lum"},
      {"-ck", "2", "-SAT", "models/lights2d.lum"},
      {"-ck", "3", "-SAT", "models/vending.lum"},
      {"-ck", "1", "-SAT", "models/pingpong_unfair.lum"},
  };
  auto dir = lumscratch();
  fs::copy(examples() / "models", dir / "models");
  std::vector<std::string> internal;
  for (const auto &a : runs) internal.push_back(conclusion(lumetrun(a, dir).out));
  int tried = 0;
  for (const char *solver : {"minisat", "cadical", "picosat", "cryptominisat5"}) {
    if (!onpath(solver)) {
      std::printf("skipped: %s is not installed\n", solver);
      continue;
    }
    tried++;
    for (size_t i = 0; i < runs.size(); i++) {
      std::vector<std::string> a = {"-satsolver", solver};
      a.insert(a.end(), runs[i].begin(), runs[i].end());
      fs::remove(dir / "models/river.cex");
      lumrun r = lumetrun(a, dir);
      SCOPED_TRACE(std::string(solver) + " " + runs[i][1] + " " + runs[i].back());
      EXPECT_TRUE(contains(r.out, std::string("INFO:       applying ") + solver)) << r.out;
      EXPECT_EQ(internal[i], conclusion(r.out)) << r.out;
      if (i == 0) EXPECT_TRUE(contains(lumslurp(dir / "models/river.cex"), "far\t=1\nwolf\t=1\ngoat\t=1\ncab\t=1\n"));
    }
  }
  fs::remove_all(dir);
  if (!tried) GTEST_SKIP() << "no external SAT solver installed";
}

// Solver programs that give no answer, and a path with a blank and a quote.
TEST(BmcCli, SolverScripts) {
  auto dir = lumscratch();
  std::ofstream(dir / "m.lum") << TOGGLE;
  fs::create_directory(dir / "so lver's");
  struct script {
    const char *name;
    const char *body;
    const char *error;              // expected ERROR line, or empty
    bool model;                     // the solver writes its model
  } scripts[] = {
      {"exit0", "exit 0", "ERROR:      solver ./exit0 failed (status 0)", false},
      {"exit1", "exit 1", "ERROR:      solver ./exit1 failed (status 1)", false},
      {"exit127", "exit 127", "ERROR:      solver ./exit127 failed (status 127)", false},
      // takes the problem file only, as PicoSAT does (MiniSat then prints no model)
      {"onearg", "[ $# -eq 1 ] || exit 1\nexec minisat \"$1\"", "", false},
      {"so lver's/my solver", "exec minisat \"$@\"", "", true},
  };
  bool minisat = onpath("minisat");
  for (const script &s : scripts) {
    SCOPED_TRACE(s.name);
    if (!*s.error && !minisat) continue;
    fs::path p = dir / s.name;
    std::ofstream(p) << "#!/bin/sh\n" << s.body << "\n";
    fs::permissions(p, fs::perms::owner_all);
    std::string name = std::string("./") + s.name;
    lumrun r = runin(dir, "m.lum", {"-ck", "1", "-SAT", "-satsolver", name});
    if (*s.error) {
      size_t at = r.out.find(s.error);
      EXPECT_NE(std::string::npos, at) << r.out;
      EXPECT_EQ(std::string::npos, r.out.find("ERROR:      solver", at + 1)) << "reported once";
      EXPECT_EQ("CONCLUSION: UNKNOWN (time=T bound=-1)", conclusion(r.out));
      EXPECT_EQ(0, r.status);
    } else {
      EXPECT_EQ("CONCLUSION: FALSE (time=T bound=2)", conclusion(r.out)) << r.out;
      EXPECT_FALSE(contains(r.out, "ERROR")) << r.out;
      EXPECT_EQ(s.model, fs::exists(dir / "m.cex"));
      if (!s.model) EXPECT_TRUE(contains(r.out, "INFO:       the solver gave no model")) << r.out;
      fs::remove(dir / "m.cex");
    }
  }
  fs::remove_all(dir);
}

}  // namespace
