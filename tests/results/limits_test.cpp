// -T and -M end runs that need minutes or gigabytes cleanly: the limit line,
// UNKNOWN, status 0, in time and within the memory, on every engine.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fcntl.h>
#include <string>
#include <vector>

#include "../main/run.h"

namespace {

// N-bit binary counter: AG top bit clear is false only after 2^(N-1) steps.
std::string counter(int n) {
  std::string m = "LUM\nVAR\n  b[0.." + std::to_string(n - 1) + "] : 0..1;\nINIT\n  for zz in [0.." +
                  std::to_string(n - 1) + "] : b[zz] = 0;\nTRANS\n";
  for (int k = 0; k < n; k++) {
    std::string g, a = "b[" + std::to_string(k) + "] := 1";
    for (int j = 0; j < k; j++) {
      g += "b[" + std::to_string(j) + "] = 1 & ";
      a += " & b[" + std::to_string(j) + "] := 0";
    }
    m += "  " + g + "b[" + std::to_string(k) + "] = 0 : " + a + ";\n";
  }
  return m + "SPEC\n  AG (b[" + std::to_string(n - 1) + "] = 0);\n";
}

// Token ring of n stations under fairness, AG AF station 0 holds the token:
// its QBF at bound 1 outgrows a gigabyte from n = 40 on.
std::string ring(int n) {
  std::string m = "LUM\nVAR\n  t[0.." + std::to_string(n - 1) + "] : 0..1;\n  s[0.." + std::to_string(n - 1) +
                  "] : 0..2;\nINIT\n  for zz in [1.." + std::to_string(n - 1) +
                  "] : t[zz] = 0;\n  t[0] = 1;\n  for zz in [0.." + std::to_string(n - 1) + "] : s[zz] = 0;\nTRANS\n";
  std::string fair;
  for (int k = 0; k < n; k++) {
    std::string i = std::to_string(k), j = std::to_string((k + 1) % n);
    m += "  s[" + i + "] = 0 : s[" + i + "] := 1;\n  s[" + i + "] = 1 & t[" + i + "] = 1 : s[" + i + "] := 2;\n  s[" +
         i + "] = 2 : s[" + i + "] := 0;\n  t[" + i + "] = 1 & s[" + i + "] != 2 : t[" + i + "] := 0 & t[" + j +
         "] := 1;\n";
    fair += "  t[" + i + "] = 0;\n";
  }
  return m + "FAIRNESS\n" + fair + "SPEC\n  AG (AF (t[0] = 1));\n";
}

// A channel of 256 places written and read by two transitions.
const char *CHANNEL =
    "LUM\nVAR\n  q[256] : 0..3;\n  x : 0..3;\nINIT\n  x = 0;\nTRANS\n"
    "  TRUE : q[.]!x & x := x + 1;\n  TRUE : q[.]?x;\nSPEC\n  AG(x < 4);\n";

// A transition family of 65,536 instances, each with a variable of its own.
const char *FAMILY =
    "LUM\nVAR\n  c : 0..65535;\nINIT\n  c = 0;\nTRANS\n  w[0..65535] : step(c);\nSPEC\n"
    "  AG(c < 65535);\nMODULE step(v)\nVAR\n  d : 0..1;\nINIT\n  d = 0;\nTRANS\n"
    "  v < 65535 : v := v + 1 & d := 1 - d;\n";

struct limitcase {
  const char *name;
  std::string model;
  std::vector<std::string> args;
  const char *line;                 // the limit line expected
  double seconds;                   // the run ends within (wall clock)
  long maxrssmb;                    // peak resident memory stays below (0: not checked)
};

struct started {
  pid_t pid;
  std::filesystem::path dir;
  std::chrono::steady_clock::time_point t;
};

}  // namespace

// All rows run at once (each alone in its directory); the time rows are
// measured on the wall clock from their start.
TEST(Limits, EndCleanly) {
  std::vector<limitcase> rows = {
      {"default engine, backward", counter(40), {"-T5s", "-ck", "1"}, "time", 7, 0},
      {"default engine, forward", counter(40), {"-T5s", "-ck", "1", "-f"}, "time", 7, 0},
      {"SAT route", counter(40), {"-T5s", "-SAT", "-ck", "1"}, "time", 7, 0},
      {"channel, totalness", CHANNEL, {"-T5s", "-ck", "tt"}, "time", 7, 0},
      {"channel, node store", CHANNEL, {"-M", "100", "-ck", "tt"}, "memory", 60, 200},
      {"family, time", FAMILY, {"-T5s", "-f"}, "time", 7, 0},
      {"family, memory", FAMILY, {"-M", "200", "-f"}, "memory", 60, 400},
      {"SAT route, memory", counter(40), {"-M", "50", "-SAT", "-ck", "1"}, "memory", 60, 100},
      {"QBF route", counter(40), {"-T5s", "-QBF", "-ck", "1"}, "time", 7, 0},
      {"QBF route, memory", ring(40), {"-M", "200", "-QBF", "-ck", "1"}, "memory", 60, 400},
      {"QBF to SAT, memory", ring(40), {"-M", "200", "-QSAT", "-ck", "1"}, "memory", 60, 400},
  };
  std::vector<started> runs;
  for (const limitcase &c : rows) {
    std::filesystem::path dir = lumscratch();
    std::ofstream(dir / "m.lum") << c.model;
    std::vector<std::string> args = {LUMET_BIN};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.push_back("m.lum");
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir.c_str()) != 0) _exit(127);
      int out = open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (out < 0 || dup2(out, 1) < 0) _exit(127);
      std::vector<char *> argv;
      for (std::string &a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    runs.push_back({pid, dir, std::chrono::steady_clock::now()});
  }
  std::vector<int> status(rows.size());
  std::vector<rusage> usage(rows.size());
  std::vector<double> seconds(rows.size());
  for (size_t left = rows.size(); left > 0; left--) {   // reaped as they end
    int st = 0;
    rusage ru{};
    pid_t pid = wait4(-1, &st, 0, &ru);
    ASSERT_GT(pid, 0);
    for (size_t i = 0; i < runs.size(); i++)
      if (runs[i].pid == pid) {
        status[i] = st;
        usage[i] = ru;
        seconds[i] = std::chrono::duration<double>(std::chrono::steady_clock::now() - runs[i].t).count();
      }
  }
  for (size_t i = 0; i < rows.size(); i++) {
    int st = status[i];
    double secs = seconds[i];
    rusage &ru = usage[i];
    const limitcase &c = rows[i];
    std::string out = lumslurp(runs[i].dir / ".stdout");
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << c.name << "\n" << out;
    std::string want = std::string("INFO:       ") + c.line + " limit reached\nCONCLUSION: UNKNOWN (time=";
    EXPECT_NE(std::string::npos, out.find(want)) << c.name << "\n" << out;
    EXPECT_LT(secs, c.seconds) << c.name;
#if !defined(__SANITIZE_ADDRESS__)
    if (c.maxrssmb) {
      EXPECT_LT(ru.ru_maxrss / 1024, c.maxrssmb) << c.name;   // ru_maxrss in KB
    }
#endif
    std::filesystem::remove_all(runs[i].dir);
  }
}
