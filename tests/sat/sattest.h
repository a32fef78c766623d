// Helpers of the SAT tests: a private working directory (the solver writes
// "logsat.tmp" into the current directory), CNF texts and the log.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sat/satis.h"

// Runs each test in a fresh directory under the system's temporary folder.
class SatDir : public ::testing::Test {
 protected:
  std::string old, dir;
  void SetUp() override {
    char buf[4096];
    old = getcwd(buf, sizeof buf) ? buf : ".";
    char tmpl[] = "/tmp/lumet_sat_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    ASSERT_EQ(chdir(dir.c_str()), 0);
  }
  void TearDown() override {
    if (chdir(old.c_str()) != 0) return;
    std::string cmd = "rm -rf '" + dir + "'";
    if (system(cmd.c_str()) != 0) return;
  }
};

inline std::string readfile(const std::string &name) {
  std::ifstream f(name, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

inline CNFmodel cnfof(int32_t nv, const std::vector<std::vector<int32_t>> &cls) {
  CNFmodel m;
  for (const auto &c : cls) CNFaddclause(m, c.data(), (int)c.size());
  m.nv = nv;
  return m;
}

inline std::string dimacs(const CNFmodel &m) {
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  cnfmodelwrite(m, f);
  fclose(f);
  std::string s(buf, len);
  free(buf);
  return s;
}

// The literals of the last section `name` of the solver log.
inline std::vector<int32_t> lastsection(const std::string &log, const std::string &name) {
  std::vector<int32_t> out;
  std::istringstream in(log);
  std::string line;
  bool found = false;
  while (std::getline(in, line)) {
    if (line == name) {
      found = true;
      out.clear();
      int32_t x;
      while (in >> x && x != 0) out.push_back(x);
      std::getline(in, line);
    }
  }
  if (!found) out.push_back(0);   // marks "no such section"
  return out;
}
