// Bounded engine tests: the bound loop run in-process on hand-built and
// random Boolean programs, with the explicit-state oracle of the symbolic
// engine tests as the reference.
#pragma once

#include "../symbolic/symtest.h"
#include "bmc/bmc.h"
#include "formula/tlf.h"
#include "opt/opt.h"
#include "prog/prg.h"
#include "sat/satis.h"

// Result of one bounded run: verdict and bound, and for FALSE the decoded trace.
struct bmcresult {
  int verdict = 0;
  int bound = -1;
  BMCtrace trace;
};

// Bounds 0..K, proof then refutation at each, with the internal solver.
// prop is in negation normal form over bits 1..n; b's trees are only read.
inline tree *bmcprogram(const bprog &b, prg *p) {
  tree *rel = mgett(*p);
  return treecompose("#", nullptr, treecompose("#", treecopy(b.init), treecompose("#", rel, nullptr)));
}

// The answer of the solver on the problem of bound k in a direction.
inline int bmcsolve(const bprog &b, const tree *prop, int k, int dir) {
  prg *p = mkprg(b);
  tree *prog = bmcprogram(b, p);
  auto pb = bp2s(prog, nullptr, prop, b.n, k, dir, 0);
  int a = SATsolve(pb->cnf, SATlimits{}, nullptr);
  treefree(prog);
  freeprg(p);
  return a;
}

inline bmcresult bmcrun(const bprog &b, const tree *prop, int K, int lb = 0) {
  prg *p = mkprg(b);
  tree *prog = bmcprogram(b, p);
  bmcresult r;
  for (int k = lb; k <= K && !r.verdict; k++)
    for (int dir = 1; dir >= 0 && !r.verdict; dir--) {
      auto pb = bp2s(prog, nullptr, prop, b.n, k, dir, 0);
      std::vector<int8_t> model;
      int a = SATsolve(pb->cnf, SATlimits{}, &model);
      if (dir == 1 && a == SATUNSAT) r.verdict = 1;
      if (dir == 0 && a == SATSAT) {
        r.verdict = -1;
        r.trace = BMCdecode(*pb, model, *p, prop);
      }
      r.bound = k;
    }
  treefree(prog);
  freeprg(p);
  return r;
}

inline std::vector<state> tracestates(const BMCtrace &t) {
  std::vector<state> st;
  for (const std::vector<int> &bits : t.states) {
    state s = 0;
    for (size_t b = 0; b < bits.size(); b++)
      if (bits[b] > 0) s |= 1u << b;
    st.push_back(s);
  }
  return st;
}

// Values of f along one path st (a lasso when loop >= 0, else followed by a
// position where everything holds); quantifiers range over this path.
inline std::vector<bool> pathsat(const oracle &o, const tree *f, const std::vector<state> &st, int loop) {
  size_t n = st.size();
  auto next = [&](size_t j) { return j + 1 < n ? j + 1 : j + 1 == n && loop >= 0 ? (size_t)loop : n; };
  std::string s = f->text;
  bool path = s == "X" || s == "F" || s == "G" || s == "U" || s == "R";
  std::vector<bool> v(n + 1, true);
  if (s == "A" || s == "E") return pathsat(o, f->right, st, loop);
  if (s == "&" || s == "|") {
    auto a = pathsat(o, f->left, st, loop), b = pathsat(o, f->right, st, loop);
    for (size_t j = 0; j <= n; j++) v[j] = s == "&" ? a[j] && b[j] : a[j] || b[j];
    return v;
  }
  if (!path) {
    for (size_t j = 0; j < n; j++) v[j] = evalf(f, o.b.n, st[j], 0);
    return v;
  }
  auto b = pathsat(o, f->right, st, loop);
  std::vector<bool> a = f->left ? pathsat(o, f->left, st, loop) : std::vector<bool>(n + 1, true);
  if (s == "X") {
    for (size_t j = 0; j <= n; j++) v[j] = b[next(j)];
    return v;
  }
  bool least = s == "F" || s == "U";
  for (size_t j = 0; j < n; j++) v[j] = !least;
  for (size_t round = 0; round < 2 * n + 2; round++)
    for (size_t j = n; j-- > 0;) {
      bool x = v[next(j)];
      if (s == "F") v[j] = b[j] || x;
      else if (s == "G") v[j] = b[j] && x;
      else if (s == "U") v[j] = b[j] || (a[j] && x);
      else v[j] = b[j] && (a[j] || x);
    }
  return v;
}
