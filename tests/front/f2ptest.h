// Helpers of the front-end tests: models written to a scratch directory and
// run through the module parser and the flattening in-process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "front/f2p.h"
#include "front/prep.h"

namespace f2pt {

namespace fs = std::filesystem;

// A scratch working directory per test: the front end appends to logtmp.tmp.
struct scratch {
  fs::path old, dir;
  scratch() {
    old = fs::current_path();
    const ::testing::TestInfo *ti = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string n = ti ? std::string(ti->test_suite_name()) + "_" + ti->name() : "x";
    for (char &c : n)
      if (!isalnum((unsigned char)c)) c = '_';
    dir = fs::temp_directory_path() / ("lumet_f2p_" + std::to_string(::getpid()) + "_" + n);
    fs::create_directories(dir);
    fs::current_path(dir);
  }
  ~scratch() {
    fs::current_path(old);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

inline std::string writemodel(const std::string &text, const char *name = "m.lum") {
  // the preprocessor drops a file's last byte
  std::ofstream(name, std::ios::binary) << text << "\n";
  return name;
}

inline std::string txt(const tree *t) {
  std::string s;
  treewrites(t, s, 0);
  return s;
}

inline ggbrec *load(const std::string &model, int selector = 1, char *name = nullptr) {
  static char dummy[16];
  repinit();
  std::string f = writemodel(model);
  return f2p0(f.c_str(), selector, name ? name : dummy, nullptr, 0);
}

inline ggbrec *flat(const std::string &model) {
  ggbrec *g = load(model);
  f2p1(g->program);
  return g;
}

inline tree *part(ggbrec *g, int k) { return PROGpart(g->program->prog, k); }

inline std::string dump(const ggbrec *g) {
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  ggbwrite(g, f);
  std::fclose(f);
  std::string s(buf, len);
  free(buf);
  return s;
}

}  // namespace f2pt
