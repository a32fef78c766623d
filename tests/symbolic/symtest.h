// Hand-built Boolean programs and an explicit-state oracle for the symbolic
// engine tests: every state of a few bits is enumerated, transitions and
// formulas are evaluated directly on the trees.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "prog/prg.h"
#include "symbolic/bp2t.h"
#include "symbolic/cex.h"
#include "symbolic/dmc.h"
#include "tbd/tbdbw.h"
#include "tree/tree.h"

inline tree *L(const std::string &s) { return treecompose(s.c_str(), nullptr, nullptr); }
inline tree *N(int k) { return treenum(k); }
inline tree *NOT(tree *a) { return treecompose("!", nullptr, a); }
inline tree *AND(tree *a, tree *b) { return treecompose("&", a, b); }
inline tree *OR(tree *a, tree *b) { return treecompose("|", a, b); }
inline tree *IFF(tree *a, tree *b) {
  return OR(AND(a, b), AND(NOT(treecopy(a)), NOT(treecopy(b))));
}
inline tree *Q(const char *q, const char *op, tree *l, tree *r) {   // A/E over a path operator
  return treecompose(q, nullptr, treecompose(op, l, r));
}

// One hand-built program over n bits: current bit k is leaf k, next bit k is
// leaf n + k. Trees are owned by the record and handed to the prg.
struct bprog {
  int n = 0;                        // state bits
  tree *init = nullptr;             // initial condition (null: every state)
  std::vector<tree *> guard;        // guard per transition
  std::vector<tree *> action;       // action per transition (relation over cur/next)
  std::vector<tree *> fair;         // fairness conditions
  int puretrans = 1;                // PURETRANS of the record
};

// The prg record of the Boolean encoding with one process; copies the trees.
inline prg *mkprg(const bprog &b) {
  prg *p = new prg();
  p->BOOLN = b.n;
  p->PRCNT = 1;
  p->PURETRANS = b.puretrans;
  tree *fl = nullptr;
  for (size_t i = b.fair.size(); i-- > 0;)
    fl = fl ? treecompose(";", treecopy(b.fair[i]), fl) : treecopy(b.fair[i]);
  p->prog = treecompose(
      "#", nullptr,
      treecompose("#", treecopy(b.init), treecompose("#", nullptr, treecompose("#", fl, nullptr))));
  prgproc pr;
  pr.n = (int)b.guard.size();
  for (size_t i = 0; i < b.guard.size(); i++) {
    pr.trans.push_back(treecompose(":", treecopy(b.guard[i]), treecopy(b.action[i])));
    pr.calls.push_back(nullptr);
  }
  p->procs.push_back(pr);
  return p;
}

inline void freeprg(prg *p) {
  treefree(p->prog);
  for (prgproc &pr : p->procs)
    for (tree *t : pr.trans) treefree(t);
  treefree(p->vlist);
  delete p;
}

inline void freebprog(bprog &b) {
  treefree(b.init);
  for (tree *t : b.guard) treefree(t);
  for (tree *t : b.action) treefree(t);
  for (tree *t : b.fair) treefree(t);
  b = bprog();
}

inline int progresscount;
inline void countprogress(int, int) { progresscount++; }

// Makes the transition system of b current (the previous one is released).
inline void useprog(const bprog &b, prg **keep = nullptr) {
  if (ggt) {
    CEXfree(ggt->cex);
    delete ggt;
    ggt = nullptr;
  }
  DMCreset();
  TBDprogresshook = countprogress;
  prg *p = mkprg(b);
  ggt = prg2t(p, nullptr);
  if (keep) *keep = p;
  else freeprg(p);
}

// ---- explicit semantics
using state = unsigned;              // bit k (1-based) is (s >> (k-1)) & 1

inline bool evalf(const tree *t, int n, state cur, state nxt) {
  if (!t) return true;
  const std::string s = t->text;
  if (s == "^") return true;
  if (s == "_") return false;
  if (s == "!") return !evalf(t->right, n, cur, nxt);
  if (s == "&" || s == ":") return evalf(t->left, n, cur, nxt) && evalf(t->right, n, cur, nxt);
  if (s == "|" || s == ";") return evalf(t->left, n, cur, nxt) || evalf(t->right, n, cur, nxt);
  int k = std::atoi(s.c_str());
  if (k >= 1 && k <= n) return (cur >> (k - 1)) & 1;
  if (k > n && k <= 2 * n) return (nxt >> (k - n - 1)) & 1;
  ADD_FAILURE() << "bad leaf " << s;
  return false;
}

using sset = std::vector<bool>;     // set of states [0,2^n)

struct oracle {
  const bprog &b;
  int S;                            // number of states
  std::vector<std::vector<std::pair<state, int>>> succ;   // successor, transition index
  sset fairset;

  explicit oracle(const bprog &p) : b(p), S(1 << p.n), succ((size_t)S) {
    for (state s = 0; s < (state)S; s++)
      for (size_t t = 0; t < b.guard.size(); t++)
        if (evalf(b.guard[t], b.n, s, 0))
          for (state x = 0; x < (state)S; x++)
            if (evalf(b.action[t], b.n, s, x)) succ[s].push_back({x, (int)t});
    fairset = b.fair.empty() ? all(true) : egfair(all(true));   // Fair is true without conditions
  }
  sset all(bool v) const { return sset((size_t)S, v); }
  sset pre(const sset &z) const {
    sset r = all(false);
    for (int s = 0; s < S; s++)
      for (auto &e : succ[(size_t)s])
        if (z[e.first]) r[(size_t)s] = true;
    return r;
  }
  static sset band(sset a, const sset &b) {
    for (size_t i = 0; i < a.size(); i++) a[i] = a[i] && b[i];
    return a;
  }
  static sset bor(sset a, const sset &b) {
    for (size_t i = 0; i < a.size(); i++) a[i] = a[i] || b[i];
    return a;
  }
  static sset bnot(sset a) {
    a.flip();
    return a;
  }
  sset eu(const sset &h, const sset &g) const {   // plain E[h U g]
    sset z = g;
    for (;;) {
      sset nz = bor(g, band(h, pre(z)));
      if (nz == z) return z;
      z = nz;
    }
  }
  sset egfair(const sset &g) const {   // nu Z. g & AND_i EX E[g U (Z & C_i)]
    sset z = g;
    for (;;) {
      sset nz = g;
      if (b.fair.empty()) {
        nz = band(g, pre(z));
      } else {
        for (tree *c : b.fair) {
          sset cs = all(false);
          for (int s = 0; s < S; s++) cs[(size_t)s] = evalf(c, b.n, (state)s, 0);
          nz = band(nz, pre(eu(g, band(z, cs))));
        }
      }
      if (nz == z) return z;
      z = nz;
    }
  }
  sset sat(const tree *f) const {
    const std::string s = f->text;
    if (s == "!") return bnot(sat(f->right));
    if (s == "&") return band(sat(f->left), sat(f->right));
    if (s == "|") return bor(sat(f->left), sat(f->right));
    if (s == "E" || s == "A") {
      const tree *p = f->right;
      const std::string o = p->text;
      sset g = sat(p->right);
      sset h = p->left ? sat(p->left) : all(true);
      if (s == "A") {               // A phi = !E !phi, negated by hand
        g = bnot(g);
        h = bnot(h);
        if (o == "X") return bnot(pre(band(g, fairset)));
        if (o == "F") return bnot(egfair(g));
        if (o == "G") return bnot(eu(all(true), band(g, fairset)));
        if (o == "U") return bnot(bor(egfair(g), eu(g, band(band(g, h), fairset))));   // !h R !g
        return bnot(eu(h, band(g, fairset)));                                        // !h U !g
      }
      if (o == "X") return pre(band(g, fairset));
      if (o == "F") return eu(all(true), band(g, fairset));
      if (o == "G") return egfair(g);
      if (o == "U") return eu(h, band(g, fairset));
      return bor(egfair(g), eu(g, band(band(g, h), fairset)));   // h R g
    }
    sset r = all(false);
    for (int x = 0; x < S; x++) r[(size_t)x] = evalf(f, b.n, (state)x, 0);
    return r;
  }
  sset initset() const {
    sset r = all(false);
    for (int x = 0; x < S; x++) r[(size_t)x] = evalf(b.init, b.n, (state)x, 0);
    return r;
  }
  bool holds(const tree *f) const {
    sset v = sat(f), i = initset();
    for (int x = 0; x < S; x++)
      if (i[(size_t)x] && !v[(size_t)x]) return false;
    return true;
  }
  sset reach() const {
    sset r = initset();
    for (bool more = true; more;) {
      more = false;
      for (int s = 0; s < S; s++)
        if (r[(size_t)s])
          for (auto &e : succ[(size_t)s])
            if (!r[e.first]) r[e.first] = more = true;
    }
    return r;
  }
  bool deadlockfree() const {
    sset r = reach();
    for (int s = 0; s < S; s++) {
      if (!r[(size_t)s]) continue;
      bool ok = false;
      for (auto &e : succ[(size_t)s]) ok = ok || (r[e.first] && fairset[e.first]);
      if (!ok) return false;
    }
    return true;
  }
  bool total() const {
    sset p = pre(fairset);
    for (int s = 0; s < S; s++)
      if (!p[(size_t)s]) return false;
    return true;
  }
  bool step(state a, state c, int t) const {
    for (auto &e : succ[a])
      if (e.first == c && e.second == t) return true;
    return false;
  }
};

// The state held by a full-state cube over n bits.
inline state cubestate(tbd cube, int n) {
  std::vector<int> v = TBDwriteOne(cube, n);
  state s = 0;
  for (int k = 1; k <= n; k++)
    if (v[(size_t)k - 1] > 0) s |= 1u << (k - 1);
  return s;
}

// After CEXselect: every layer is one full state, the first initial, each
// next a successor by the labelled transition, the last in `last`.
inline void checktrace(const oracle &o, const cexstore &s, const std::vector<int> &labels,
                       const sset &last) {
  int n = o.b.n;
  ASSERT_FALSE(s.layers.empty());
  ASSERT_EQ(labels.size() + 1, s.layers.size());
  std::vector<state> st;
  for (tbd l : s.layers) {
    state x = cubestate(l, n);
    tbd full = TBDtau;                 // the layer is exactly that state
    for (int k = n; k >= 1; k--) full = TBDcn(TBDap((x >> (k - 1)) & 1 ? 2 * k - 1 : -(2 * k - 1)), full);
    EXPECT_EQ(1, TBDmp(TBDcn(l, TBDng(full)))) << "layer is not one state";
    st.push_back(x);
  }
  EXPECT_TRUE(o.initset()[st[0]]) << "first state not initial";
  for (size_t j = 0; j + 1 < st.size(); j++)
    EXPECT_TRUE(o.step(st[j], st[j + 1], labels[j] - 1))
        << "state " << j + 1 << " is no successor by transition " << labels[j];
  EXPECT_TRUE(last[st.back()]) << "last state not in the target";
}

// A trace given as states: the first initial, each next a successor by its
// label (from 1); with loop >= 0 the last state steps back to state loop by
// the last label.
inline void checklasso(const oracle &o, const std::vector<state> &st, const std::vector<int> &labels,
                       int loop) {
  ASSERT_FALSE(st.empty());
  ASSERT_EQ(labels.size() + 1, st.size() + (loop >= 0 ? 1 : 0));
  ASSERT_LT(loop, (int)st.size());
  EXPECT_TRUE(o.initset()[st[0]]) << "first state not initial";
  for (size_t j = 0; j + 1 < st.size(); j++)
    EXPECT_TRUE(o.step(st[j], st[j + 1], labels[j] - 1))
        << "state " << j + 1 << " is no successor by transition " << labels[j];
  if (loop >= 0) {
    EXPECT_TRUE(o.step(st.back(), st[(size_t)loop], labels.back() - 1))
        << "no step back to state " << loop << " by transition " << labels.back();
  }
}

// Random formula over current bits 1..n with connectives only.
inline tree *randprop(std::mt19937 &rng, int n, int depth) {
  unsigned k = rng() % 8;
  if (depth <= 0 || k < 3) {
    if (k == 7) return L(rng() % 2 ? "^" : "_");
    tree *l = N(1 + (int)(rng() % (unsigned)n));
    return rng() % 2 ? NOT(l) : l;
  }
  tree *a = randprop(rng, n, depth - 1), *b = randprop(rng, n, depth - 1);
  return k % 2 ? AND(a, b) : OR(a, b);
}

// Random CTL state formula: connectives, A/E over X F G U R.
inline tree *randctl(std::mt19937 &rng, int n, int depth) {
  unsigned k = rng() % 10;
  if (depth <= 0 || k < 2) return randprop(rng, n, 1);
  if (k == 2) return NOT(randctl(rng, n, depth - 1));
  if (k == 3) return AND(randctl(rng, n, depth - 1), randctl(rng, n, depth - 1));
  if (k == 4) return OR(randctl(rng, n, depth - 1), randctl(rng, n, depth - 1));
  const char *q = rng() % 2 ? "A" : "E";
  const char *ops[] = {"X", "F", "G", "U", "R"};
  const char *op = ops[rng() % 5];
  bool bin = op[0] == 'U' || op[0] == 'R';
  return Q(q, op, bin ? randctl(rng, n, depth - 1) : nullptr, randctl(rng, n, depth - 1));
}

// Random transition: a guard and a per-bit action (copy, constant, function,
// free choice, or a relation tying two next bits).
inline void randtrans(std::mt19937 &rng, bprog &b) {
  int n = b.n;
  b.guard.push_back(rng() % 4 ? randprop(rng, n, 2) : L("^"));
  tree *act = nullptr;
  for (int k = 1; k <= n; k++) {
    tree *c;
    switch (rng() % 7) {
      case 0: case 1: c = IFF(N(n + k), N(k)); break;
      case 2: c = rng() % 2 ? N(n + k) : NOT(N(n + k)); break;
      case 3: case 4: c = IFF(N(n + k), randprop(rng, n, 2)); break;
      case 5: c = nullptr; break;                                   // free choice
      default: c = OR(N(n + k), N(n + 1 + (int)(rng() % (unsigned)n))); break;
    }
    if (c) act = act ? AND(act, c) : c;
  }
  b.action.push_back(act ? act : L("^"));
}

inline bprog randprog(std::mt19937 &rng, int n, int fair) {
  bprog b;
  b.n = n;
  b.init = rng() % 5 ? randprop(rng, n, 2) : nullptr;
  int t = 1 + (int)(rng() % 4);
  for (int i = 0; i < t; i++) randtrans(rng, b);
  for (int i = 0; i < fair; i++) b.fair.push_back(randprop(rng, n, 1));
  return b;
}
