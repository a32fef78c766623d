// Helpers of the front-end tests: models written to a scratch directory and
// run through the module parser and the flattening in-process.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

// Everything a test builds stays reachable to the end, as in a checker run
// (the leak check at exit then reports only what the front end lost).
template <class T>
T *keep(T *x) {
  static std::vector<void *> *kept = new std::vector<void *>;  // never destroyed
  kept->push_back(x);
  return x;
}

inline ggbrec *load(const std::string &model, int selector = 1, char *name = nullptr) {
  static char dummy[16];
  repinit();
  std::string f = writemodel(model);
  return keep(f2p0(f.c_str(), selector, name ? name : dummy, nullptr, 0));
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

#include <functional>
#include <map>
#include <vector>

namespace f2pt {

// Independent evaluator of the flattened integer program: leaves "Vx" and
// "Ox" read the current and next state, numbers are constants; "-" saturates
// at 0, "N" is the guarded value and "M" the bitwise or.
using state = std::map<std::string, long long>;

inline long long eval(const tree *t, const state &cur, const state &nxt) {
  if (!t) return 1;
  const char *s = t->text;
  if (!t->left && !t->right) {
    if (s[0] == '^') return 1;
    if (s[0] == '_') return 0;
    if (isdigit((unsigned char)s[0])) return atoll(s);
    const state &st = s[0] == 'O' ? nxt : cur;
    auto it = st.find(s + 1);
    if ((s[0] != 'V' && s[0] != 'O') || it == st.end()) {
      ADD_FAILURE() << "unexpected leaf " << s;
      return 0;
    }
    return it->second;
  }
  long long a = eval(t->left, cur, nxt), b = eval(t->right, cur, nxt);
  switch (s[0]) {
    case '&': return a && b;
    case '|': return a || b;
    case '!': return !b;
    case '=': return a == b;
    case 'B': return a != b;
    case '<': return a < b;
    case '>': return a > b;
    case '{': return a <= b;
    case '}': return a >= b;
    case '+': return a + b;
    case '-': return t->left ? (a > b ? a - b : 0) : -b;
    case '*': return a * b;
    case '/': return b ? a / b : 0;
    case '%': return b ? a % b : a;
    case 'M': return a | b;
    case 'N': return a ? b : 0;
    default: ADD_FAILURE() << "unexpected operator " << s; return 0;
  }
}

struct var {
  std::string name;
  long long lo, hi;
};

inline std::vector<var> vars(ggbrec *g) {
  std::vector<var> v;
  for (tree *d = PROGpart(g->program->prog, 0); d; d = (d->text[0] == ';') ? d->right : nullptr) {
    tree *e = d->text[0] == ';' ? d->left : d;
    v.push_back({e->left->text, ran(e->right->text, 0), ran(e->right->text, 1)});
  }
  return v;
}

// All states over the declared ranges satisfying f (f evaluated on cur).
inline void forall(const std::vector<var> &vs, const std::function<void(const state &)> &f) {
  state s;
  std::function<void(size_t)> rec = [&](size_t i) {
    if (i == vs.size()) return f(s);
    for (long long x = vs[i].lo; x <= vs[i].hi; ++x) {
      s[vs[i].name] = x;
      rec(i + 1);
    }
  };
  rec(0);
}

// Successors of cur under transition t (guard ":" action), by enumeration.
inline std::vector<state> succ(ggbrec *g, const tree *t, const state &cur) {
  std::vector<state> out;
  if (!eval(t->left, cur, cur)) return out;
  forall(vars(g), [&](const state &n) {
    if (eval(t->right, cur, n)) out.push_back(n);
  });
  return out;
}

// Successors of cur under all transitions of the program.
inline std::vector<state> succall(ggbrec *g, const state &cur) {
  std::vector<state> out;
  for (const prgproc &p : g->program->procs)
    for (tree *t : p.trans)
      for (const state &n : succ(g, t, cur)) out.push_back(n);
  return out;
}

// The single initial state (fails when there is not exactly one).
inline state init1(ggbrec *g) {
  std::vector<state> out;
  forall(vars(g), [&](const state &s) {
    if (eval(PROGpart(g->program->prog, 1), s, s)) out.push_back(s);
  });
  EXPECT_EQ(out.size(), 1u);
  return out.empty() ? state{} : out[0];
}

}  // namespace f2pt
