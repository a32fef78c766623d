// Mutated example models (tokens and lines deleted, duplicated, swapped)
// never crash or hang the front end: every run gets through or ends with one
// of the checker's error messages.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>

#include "f2ptest.h"

using namespace f2pt;

namespace {
bool INCHILD = false;  // in a child of run(): leaks at its exit are expected
}  // namespace

// Error ends exit with the model's trees still allocated (the checker frees
// nothing before it ends); the leak check at exit is meant for whole runs.
extern "C" __attribute__((weak)) int __lsan_is_turned_off() {
  return INCHILD || testing::internal::InDeathTestChild();
}

namespace {

const char *const EXAMPLES[] = {"gcd",  "lights2d",        "locks_bad", "locks_good", "pingpong",
                                "pingpong_unfair", "river", "robot",     "sensorlog",  "stopwatch",
                                "tas_lock", "thermostat", "vending"};

std::vector<std::string> tokens(const std::string &s) {
  std::vector<std::string> t;
  for (size_t i = 0; i < s.size();) {
    size_t j = i + 1;
    if (isalnum((unsigned char)s[i]) || s[i] == '_')
      while (j < s.size() && (isalnum((unsigned char)s[j]) || s[j] == '_')) ++j;
    else if (isspace((unsigned char)s[i]))
      while (j < s.size() && isspace((unsigned char)s[j])) ++j;
    t.push_back(s.substr(i, j - i));
    i = j;
  }
  return t;
}

std::vector<std::string> lines(const std::string &s) {
  std::vector<std::string> l;
  std::stringstream in(s);
  for (std::string x; std::getline(in, x);) l.push_back(x + "\n");
  return l;
}

std::string join(const std::vector<std::string> &v) {
  std::string s;
  for (const std::string &x : v) s += x;
  return s;
}

std::string mutate(const std::string &model, std::mt19937 &rng) {
  std::string s = model;
  int n = 1 + rng() % 3;
  for (int k = 0; k < n; ++k) {
    int op = rng() % 6;
    std::vector<std::string> v = op < 3 ? tokens(s) : lines(s);
    if (v.size() < 2) continue;
    size_t i = rng() % v.size(), j = rng() % v.size();
    switch (op % 3) {
      case 0: v.erase(v.begin() + i); break;
      case 1: v.insert(v.begin() + i, v[i]); break;
      case 2: std::swap(v[i], v[j]); break;
    }
    s = join(v);
  }
  return s;
}

std::string slurp(const std::string &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the front end on the model in a child; returns "" when the run ended
// soundly, else what went wrong.
std::string run(const std::string &model) {
  std::ofstream("m.lum", std::ios::binary) << model;
  pid_t pid = fork();
  if (pid == 0) {
    INCHILD = true;
    FILE *o = std::freopen("out.txt", "w", stdout);
    if (!o || dup2(fileno(stdout), 2) < 0) _exit(3);
    alarm(20);
    repinit();
    char name[16] = {0};
    ggbrec *g = f2p0("m.lum", 1, name, nullptr, 0);
    f2p1(g->program);
    f2p1INFO(g);
    std::printf("\nDONE\n");
    std::fflush(stdout);
    _exit(0);
  }
  int st = 0;
  waitpid(pid, &st, 0);
  std::string out = slurp("out.txt");
  if (WIFSIGNALED(st)) return "signal " + std::to_string(WTERMSIG(st)) + "\n" + out;
  if (WEXITSTATUS(st) != 0) return "status " + std::to_string(WEXITSTATUS(st)) + "\n" + out;
  while (!out.empty() && out.back() == '\n') out.pop_back();
  std::string last = out.substr(out.rfind('\n') == std::string::npos ? 0 : out.rfind('\n') + 1);
  bool ok = last == "DONE" || (last.size() > 6 && last.compare(last.size() - 6, 6, " error") == 0) ||
            last.rfind("ERROR:      ", 0) == 0;
  return ok ? "" : "unexpected end: " + last;
}

TEST(F2pFuzz, MutatedExamplesEndSoundly) {
  scratch s;
  std::mt19937 rng(20131);
  int done = 0, errors = 0;
  for (const char *e : EXAMPLES) {
    std::string model =
        slurp(std::string(LUMET_SRC) + "/tests/acceptance/examples/models/" + e + ".lum");
    for (int k = 0; k < 12; ++k) {
      std::string m = mutate(model, rng);
      std::string r = run(m);
      EXPECT_EQ(r, "") << e << " mutant " << k << ":\n" << m;
      std::string out = slurp("out.txt");
      (out.find("DONE") != std::string::npos ? done : errors)++;
    }
  }
  // the mutations are mild enough that both outcomes occur
  EXPECT_GT(done, 0);
  EXPECT_GT(errors, 0);
}

}  // namespace
