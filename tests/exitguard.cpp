// Linked into every test binary. The checker ends the process on fatal
// errors (often with status 0), so a test that runs into one would otherwise
// stop its binary and be counted as passed: a process that ends while a test
// is running fails instead.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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

const bool installed = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new guard);
  std::atexit(atend);
  return true;
}();
}  // namespace
