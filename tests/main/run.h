// Runs the lumet binary in a scratch directory and collects what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

struct lumrun {
  std::string out;   // standard output, seconds replaced by T (runs may be slow)
  std::string err;   // standard error
  int status;        // exit status, or -1 when the process did not exit normally
};

inline std::string lumquote(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string lumslurp(const std::filesystem::path &p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// A fresh empty directory under the system's temporary directory.
inline std::filesystem::path lumscratch() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "lumet-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) std::abort();
  return tmpl;
}

// Runs lumet with args in dir, standard input from the text input.
inline lumrun lumetrun(const std::vector<std::string> &args, const std::filesystem::path &dir,
                       const std::string &input = "") {
  std::ofstream(dir / ".stdin") << input;
  std::string cmd = "cd " + lumquote(dir.string()) + " && " + lumquote(LUMET_BIN);
  for (const auto &a : args) cmd += " " + lumquote(a);
  cmd += " <.stdin >.stdout 2>.stderr";
  int rc = std::system(cmd.c_str());
  lumrun r;
  r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  static const std::regex secs("time( ?= ?)[0-9]+");
  r.out = std::regex_replace(lumslurp(dir / ".stdout"), secs, "time$1T");
  r.err = lumslurp(dir / ".stderr");
  return r;
}
