// The checker at debug level 2 on the bundled examples: the Boolean program
// dump ends the run, and its bit count is the sum of the declared widths.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path &p) {
  std::ifstream f(p);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

int width(unsigned long long hi) {
  int w = 1;
  while (hi >> w) w++;
  return w;
}

TEST(BoolDump, DebugLevelTwoOnExamples) {
  if (!fs::exists(LUMET_BIN)) GTEST_SKIP() << "lumet not built";
  const fs::path models = fs::path(LUMET_SRC) / "tests/acceptance/examples/models";
  const fs::path dir = fs::temp_directory_path() / ("booldump" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::pair<const char *, int> known[] = {{"gcd.lum", 8}, {"vending.lum", 4}};
  int checked = 0;
  for (const auto &e : fs::directory_iterator(models)) {
    if (e.path().extension() != ".lum") continue;
    fs::remove(dir / "loglmt.tmp");
    std::string cmd = "cd '" + dir.string() + "' && '" + LUMET_BIN + "' -d -d '" +
                      e.path().string() + "' > out.txt 2> err.txt";
    int rc = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc)) << e.path();
    EXPECT_EQ(WEXITSTATUS(rc), 0) << e.path();
    EXPECT_EQ(slurp(dir / "out.txt").find("CONCLUSION"), std::string::npos) << e.path();
    std::string log = slurp(dir / "loglmt.tmp");
    size_t at = log.rfind("PR\nPROG=");  // the Boolean program is the last dump
    size_t b = log.rfind("BOOLN=");
    ASSERT_NE(b, std::string::npos) << e.path() << ": no Boolean program dump";
    if (at != std::string::npos) {
      ASSERT_LT(at, b);
    }
    int booln = std::atoi(log.c_str() + b + 6);
    size_t v = log.find("VLIST=\n", b), pt = log.find("PURETRANS=", b);
    ASSERT_TRUE(v != std::string::npos && pt != std::string::npos) << e.path();
    std::string vl = log.substr(v, pt - v);
    std::regex decl(R"(\(\((\d+) [^ ]+ (\d+) \): (\d+)\.\.(\d+) \))");
    int next = 1, sum = 0;
    for (std::sregex_iterator it(vl.begin(), vl.end(), decl), end; it != end; ++it) {
      int first = std::stoi((*it)[1]), last = std::stoi((*it)[2]);
      EXPECT_EQ(first, next) << e.path() << " " << it->str();
      EXPECT_EQ(last - first + 1, width(std::stoull((*it)[4]))) << e.path() << " " << it->str();
      next = last + 1;
      sum += last - first + 1;
    }
    EXPECT_EQ(booln, sum) << e.path();
    EXPECT_GT(sum, 0) << e.path();
    for (auto &k : known)
      if (e.path().filename() == k.first) {
        EXPECT_EQ(booln, k.second) << k.first;
      }
    checked++;
  }
  EXPECT_EQ(checked, 13);
  fs::remove_all(dir);
}

double childseconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return (double)u.ru_utime.tv_sec + (double)u.ru_utime.tv_usec / 1e6;
}

#ifdef __SANITIZE_ADDRESS__
constexpr double CHAINSECONDS = 20;
#else
constexpr double CHAINSECONDS = 1;
#endif

// Chains of 100 terms as a user writes them, through the whole front end and
// encoding up to the Boolean dump: the work and the dump stay small.
TEST(BoolDump, ChainsOf100Terms) {
  if (!fs::exists(LUMET_BIN)) GTEST_SKIP() << "lumet not built";
  struct row {
    const char *name, *decl, *term, *last;
    size_t maxdump;  // bytes of loglmt.tmp
  };
  const row rows[] = {
      {"sends", "q[4] : 0..3;", "q[.]!", "1", 200000},
      {"sum", "a : 0..7; b : 0..7;", "a + ", "b", 2000000},
      {"difference", "a : 0..7; b : 0..7;", "a - ", "b", 300000},
  };
  const fs::path dir = fs::temp_directory_path() / ("boolchain" + std::to_string(getpid()));
  fs::create_directories(dir);
  for (const row &r : rows) {
    std::string e;
    for (int i = 1; i < 100; i++) e += r.term;
    e += r.last;
    std::string lhs = std::string(r.term) == "q[.]!" ? "" : "a := ";
    {
      std::ofstream m(dir / "chain.lum");
      m << "LUM\nVAR\n  " << r.decl << "\nINIT\n  TRUE;\nTRANS\n  TRUE : " << lhs << e
        << ";\nSPEC\n  AG(TRUE);\n";
    }
    fs::remove(dir / "loglmt.tmp");
    std::string cmd = "cd '" + dir.string() + "' && '" + LUMET_BIN +
                      "' -d -d chain.lum > out.txt 2> err.txt";
    double t0 = childseconds();
    int rc = std::system(cmd.c_str());
    double secs = childseconds() - t0;
    ASSERT_TRUE(WIFEXITED(rc)) << r.name;
    EXPECT_EQ(WEXITSTATUS(rc), 0) << r.name << ": " << slurp(dir / "err.txt");
    std::string log = slurp(dir / "loglmt.tmp");
    EXPECT_NE(log.rfind("P0T0:"), std::string::npos) << r.name << ": no Boolean program dump";
    EXPECT_LT(log.size(), r.maxdump) << r.name;
    EXPECT_LT(secs, CHAINSECONDS) << r.name;
  }
  fs::remove_all(dir);
}

}  // namespace
