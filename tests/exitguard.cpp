// Linked into every test binary. The checker ends the process on fatal
// errors (often with status 0), so a test that runs into one would otherwise
// stop its binary and be counted as passed: a process that ends while a test
// is running fails instead.
// Each test process also runs in a scratch directory of its own: the checker
// writes its logs ("logtbd.tmp", ...) into the working directory, and ctest
// runs several test processes of one build directory at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {
std::string running;   // the test in progress, empty between tests
pid_t owner = 0;       // the process that runs it (a forked death-test child does not count)

void atend() {
  if (running.empty() || getpid() != owner) return;
  if (!GTEST_FLAG_GET(internal_run_death_test).empty()) return;
  std::fprintf(stderr, "\nFAILED: the process ended inside test %s\n", running.c_str());
  std::fflush(nullptr);
  _exit(1);
}

struct guard : testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo &t) override {
    running = std::string(t.test_suite_name()) + "." + t.name();
    owner = getpid();
  }
  void OnTestEnd(const testing::TestInfo &) override { running.clear(); }
};

std::string scratch;   // removed at exit by the process that made it
pid_t scratchowner = 0;

void removescratch() {
  if (scratch.empty() || getpid() != scratchowner) return;
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::temp_directory_path(ec), ec);
  std::filesystem::remove_all(scratch, ec);
}

void enterscratch() {
  std::error_code ec;
  std::string base = (std::filesystem::temp_directory_path(ec) / "lumet-test-XXXXXX").string();
  if (ec || !mkdtemp(base.data())) return;   // stay where ctest put us
  if (chdir(base.c_str()) != 0) return;
  scratch = base;
  scratchowner = getpid();
  std::atexit(removescratch);
}

const bool installed = [] {
  enterscratch();
  testing::UnitTest::GetInstance()->listeners().Append(new guard);
  std::atexit(atend);
  return true;
}();
}  // namespace
