// Truth-table oracle and random TBD generator shared by the TBD tests.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstdlib>
#include <random>
#include <unordered_map>
#include <vector>

#include "tbd/tbdbw.h"
#include "tbd/tbdmm.h"
#include "tbd/tbdop.h"

constexpr int TTVARS = 10;          // variables 1..10 in the truth tables
using TT = std::bitset<1u << TTVARS>;   // bit a: value under assignment a (x_v = bit v-1 of a)

// LUMET_TEST_ORDER=SEED makes the store use a shuffled order of its n bits:
// every test that compares with an oracle must pass under any order, and
// LUMET_TEST_CANON=1 under canonical nodes.
inline void teststore(int n = 64) {
  if (std::getenv("LUMET_TEST_CANON") && !TBDmmexists()) TBDcanon = true;
  if (const char *seed = std::getenv("LUMET_TEST_ORDER"); seed && !TBDmmexists()) {
    std::vector<int> pos((size_t)n);
    for (int k = 0; k < n; k++) pos[(size_t)k] = k;
    std::mt19937 rng((unsigned)std::atoi(seed));
    std::shuffle(pos.begin(), pos.end(), rng);
    TBDmmsetorder(pos);
  }
  TBDmminitialize(n);
}

inline const TT &varTT(int v) {
  static std::vector<TT> vars;
  if (vars.empty()) {
    vars.resize(TTVARS + 1);
    for (int w = 1; w <= TTVARS; w++)
      for (unsigned a = 0; a < (1u << TTVARS); a++) vars[(size_t)w][a] = (a >> (w - 1)) & 1;
  }
  return vars[(size_t)v];
}

// Truth table computed from the node meaning alone, independent of the operations.
inline TT ttof(tbd f, std::unordered_map<tbd, TT> &memo) {
  if (f == TBDtau) return TT().set();
  if (f == TBDomg) return TT();
  auto it = memo.find(f);
  if (it != memo.end()) return it->second;
  const TBDnode n = TBDnd(f);
  int v = n.label < 0 ? -n.label : n.label;
  const TT &x = varTT(v);
  TT r = ((x & ttof(n.hi, memo)) | (~x & ttof(n.lo, memo))) & ttof(n.rest, memo);
  if (n.label < 0) r = ~r;
  memo.emplace(f, r);
  return r;
}

inline TT ttof(tbd f) {
  std::unordered_map<tbd, TT> memo;
  return ttof(f, memo);
}

// Truth table with x_v fixed to val.
inline TT ttfix(const TT &t, int v, int val) {
  TT r;
  unsigned bit = 1u << (v - 1);
  for (unsigned a = 0; a < t.size(); a++) r[a] = t[val ? (a | bit) : (a & ~bit)];
  return r;
}

inline TT ttexists(const TT &t, int v) { return ttfix(t, v, 0) | ttfix(t, v, 1); }
inline TT ttforall(const TT &t, int v) { return ttfix(t, v, 0) & ttfix(t, v, 1); }

struct randfn {
  tbd f;                            // the TBD
  TT t;                             // its expected truth table
};

// Builds functions by random sequences of TBDap, TBDng, TBDcn, TBDds over
// the given variables, tracking the expected truth table of each step.
inline std::vector<randfn> randomfns(std::mt19937 &rng, const std::vector<int> &vars, int steps) {
  std::vector<randfn> pool;
  auto pick = [&]() -> const randfn & { return pool[rng() % pool.size()]; };
  for (int i = 0; i < steps; i++) {
    unsigned op = pool.size() < 2 ? 0 : rng() % 6;
    if (op <= 1) {
      int v = vars[rng() % vars.size()];
      bool neg = rng() & 1;
      pool.push_back({TBDap(neg ? -v : v), neg ? ~varTT(v) : varTT(v)});
    } else if (op == 2) {
      randfn a = pick();
      pool.push_back({TBDng(a.f), ~a.t});
    } else if (op == 3 || op == 4) {
      randfn a = pick(), b = pick();
      pool.push_back({TBDcn(a.f, b.f), a.t & b.t});
    } else {
      randfn a = pick(), b = pick();
      pool.push_back({TBDds(a.f, b.f), a.t | b.t});
    }
  }
  return pool;
}

inline std::vector<int> varrange(int first, int last, int step = 1) {
  std::vector<int> v;
  for (int i = first; i <= last; i += step) v.push_back(i);
  return v;
}

// Truth table of f after renaming variable v to to[v] (to[v] = v keeps it).
inline TT ttrename(const TT &t, const std::vector<int> &to) {
  TT r;
  for (unsigned a = 0; a < t.size(); a++) {
    unsigned b = 0;
    for (int v = 1; v <= TTVARS; v++)
      if ((a >> (to[(size_t)v] - 1)) & 1) b |= 1u << (v - 1);
    r[a] = t[b];
  }
  return r;
}

// Visits every node below f once.
template <class F>
inline void eachnode(tbd f, F visit) {
  std::vector<tbd> stack{f};
  std::unordered_map<tbd, bool> seen;
  while (!stack.empty()) {
    tbd g = stack.back();
    stack.pop_back();
    if (TBDterminal(g) || seen[g]) continue;
    seen[g] = true;
    visit(g);
    stack.push_back(TBDlo(g));
    stack.push_back(TBDhi(g));
    stack.push_back(TBDrest(g));
  }
}
