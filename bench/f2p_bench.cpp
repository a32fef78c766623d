// Front-end timing: parsing (f2p0) and flattening (f2p1) of generated
// models, median of several runs.  Usage: f2p_bench [instances] [elements] [runs]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "front/f2p.h"
#include "front/prep.h"

static std::string instances(int n) {
  std::string m = "LUM\nVAR\n  tok : 0.." + std::to_string(n - 1) + ";\nINIT\n  tok = 0;\nTRANS\n";
  m += "  p[0.." + std::to_string(n - 1) + "] : proc(tok);\nSPEC\n  AG(tok < " + std::to_string(n) + ");\n";
  m += "MODULE proc(t)\nVAR\n  st : 0..2;\n  c : 0..3;\nINIT\n  st = 0; c = 0;\nTRANS\n";
  m += "  st = 0 & t = pid : st := 1;\n  st = 1 : st := 2 & c := c + 1 & t := (t + 1) % " +
       std::to_string(n) + ";\n  st = 2 : st := 0;\nFAIRNESS\n  running;\n";
  return m;
}

static std::string array(int n) {
  std::string h = std::to_string(n - 1);
  return "LUM\nVAR\n  a[0.." + h + "] : 0..3;\n  i : 0.." + h + ";\nINIT\n  i = 0;\nTRANS\n"
         "  TRUE : a[i] := a[i] + 1 & i := (i + 1) % " + std::to_string(n) + ";\n"
         "  a[i] = 3 : a[i] := 0;\nSPEC\n  AG(a[0] < 3);\n";
}

static double secs(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

static double cpu(int who) {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  const timeval &t = who ? u.ru_stime : u.ru_utime;
  return t.tv_sec + t.tv_usec / 1e6;
}

// Every run allocates fresh memory, as one checker run does; the system time
// is mostly first-touch page faults.
static void measure(const char *what, const std::string &model, int runs) {
  std::ofstream("f2p_bench.lum") << model << "\n";
  std::vector<double> t0, t1, u1, s1;
  int vars = 0, trans = 0, nodes = 0;
  for (int r = 0; r < runs; ++r) {
    repinit();
    char name[16] = {0};
    auto a = std::chrono::steady_clock::now();
    ggbrec *g = f2p0("f2p_bench.lum", 1, name, nullptr, 0);
    auto b = std::chrono::steady_clock::now();
    double ub = cpu(0), sb = cpu(1);
    f2p1(g->program);
    auto c = std::chrono::steady_clock::now();
    u1.push_back(cpu(0) - ub);
    s1.push_back(cpu(1) - sb);
    t0.push_back(secs(a, b));
    t1.push_back(secs(b, c));
    tree *prog = g->program->prog;
    vars = listlength(PROGpart(prog, 0));
    trans = listlength(PROGpart(prog, 2));
    nodes = treesize(prog);
  }
  std::sort(t0.begin(), t0.end());
  std::sort(t1.begin(), t1.end());
  std::sort(u1.begin(), u1.end());
  std::sort(s1.begin(), s1.end());
  std::printf("%-24s vars %5d  transitions %4d  nodes %8d  f2p0 %.3f s  f2p1 %.3f s"
              " (user %.3f sys %.3f)  median of %d\n",
              what, vars, trans, nodes, t0[runs / 2], t1[runs / 2], u1[runs / 2], s1[runs / 2], runs);
}

int main(int argc, char **argv) {
  int inst = argc > 1 ? std::atoi(argv[1]) : 200;
  int elems = argc > 2 ? std::atoi(argv[2]) : 1000;
  int runs = argc > 3 ? std::atoi(argv[3]) : 5;
  lmtlog = nullptr;
  measure((std::to_string(inst) + " module instances").c_str(), instances(inst), runs);
  measure((std::to_string(elems) + "-element array").c_str(), array(elems), runs);
  return 0;
}
