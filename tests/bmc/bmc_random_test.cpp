// Random small programs (with and without dead ends) and random universal CTL
// and path formulas: a conclusive bounded verdict is the oracle's, and every
// counterexample is an execution of the program that violates the property.
#include "bmctest.h"
#include "../rounds.h"

#include <functional>

namespace {

tree *A(const char *op, tree *l, tree *r) { return Q("A", op, l, r); }
tree *P(const char *op, tree *l, tree *r) { return treecompose(op, l, r); }

// Universal CTL with nesting and disjunctions of quantified operands.
tree *randactl(std::mt19937 &rng, int n, int depth) {
  unsigned k = rng() % 8;
  if (depth <= 0 || k < 2) return randprop(rng, n, 1);
  if (k == 2) return AND(randactl(rng, n, depth - 1), randactl(rng, n, depth - 1));
  if (k == 3) return OR(randactl(rng, n, depth - 1), randactl(rng, n, depth - 1));
  const char *ops[] = {"X", "F", "G", "U", "R"};
  const char *op = ops[rng() % 5];
  bool bin = op[0] == 'U' || op[0] == 'R';
  return A(op, bin ? randactl(rng, n, depth - 1) : nullptr, randactl(rng, n, depth - 1));
}

// Universal CTL whose counterexamples are single executions.
tree *randlinear(std::mt19937 &rng, int n, int depth) {
  unsigned k = rng() % 9;
  if (depth <= 0 || k < 2) return randprop(rng, n, 1);
  switch (k) {
    case 2: return AND(randlinear(rng, n, depth - 1), randlinear(rng, n, depth - 1));
    case 3: return OR(randprop(rng, n, 1), randlinear(rng, n, depth - 1));
    case 4: return A("X", nullptr, randlinear(rng, n, depth - 1));
    case 5: return A("G", nullptr, randlinear(rng, n, depth - 1));
    case 6: return A("F", nullptr, randprop(rng, n, 1));
    case 7: return A("U", randlinear(rng, n, depth - 1), randprop(rng, n, 1));
    default: return A("R", randprop(rng, n, 1), randlinear(rng, n, depth - 1));
  }
}

// Path formulas; with `auniv` only those equal to the universal CTL formula
// that puts A before every operator (built alongside in *actl).
tree *randltl(std::mt19937 &rng, int n, int depth, bool auniv, tree **actl) {
  unsigned k = rng() % 9;
  tree *a = nullptr, *b = nullptr, *r;
  if (depth <= 0 || k < 2) {
    r = randprop(rng, n, 1);
    *actl = treecopy(r);
    return r;
  }
  auto sub = [&](tree **x) { return randltl(rng, n, depth - 1, auniv, x); };
  auto prop = [&](tree **x) {
    tree *p = randprop(rng, n, 1);
    *x = treecopy(p);
    return p;
  };
  switch (k) {
    case 2: r = AND(sub(&a), sub(&b)); *actl = AND(a, b); return r;
    case 3: r = OR(auniv ? prop(&a) : sub(&a), sub(&b)); *actl = OR(a, b); return r;
    case 4: r = P("X", nullptr, sub(&b)); *actl = A("X", nullptr, b); return r;
    case 5: r = P("G", nullptr, sub(&b)); *actl = A("G", nullptr, b); return r;
    case 6: r = P("F", nullptr, auniv ? prop(&b) : sub(&b)); *actl = A("F", nullptr, b); return r;
    case 7: r = P("U", auniv ? prop(&a) : sub(&a), auniv ? prop(&b) : sub(&b)); break;
    default: r = P("R", auniv ? prop(&a) : sub(&a), auniv ? prop(&b) : sub(&b)); break;
  }
  *actl = A(r->text, a, b);
  return r;
}

// Every execution of at most `len` states from an initial state, as lassos
// and as paths ending in a dead end: true when one of them violates f.
bool smallviolation(const oracle &o, const tree *f, int len) {
  std::vector<state> path;
  std::function<bool()> walk = [&]() -> bool {
    state last = path.back();
    if (o.succ[last].empty() && !pathsat(o, f, path, -1)[0]) return true;
    for (auto &e : o.succ[last])
      for (size_t j = 0; j < path.size(); j++)
        if (path[j] == e.first && !pathsat(o, f, path, (int)j)[0]) return true;
    if ((int)path.size() >= len) return false;
    for (auto &e : o.succ[last]) {
      path.push_back(e.first);
      if (walk()) return true;
      path.pop_back();
    }
    return false;
  };
  sset init = o.initset();
  for (int s = 0; s < o.S; s++) {
    if (!init[(size_t)s]) continue;
    path.assign(1, (state)s);
    if (walk()) return true;
  }
  return false;
}

struct tally {
  int cases = 0, conclusive = 0, falses = 0;
};

// One program and property: verdict against the reference, trace checks.
void check(const bprog &b, const oracle &o, tree *prop, int expect, bool linear, tally &t,
           const std::string &what) {
  SCOPED_TRACE(what);
  int K = (1 << b.n) + 1;
  bmcresult r = bmcrun(b, prop, K);
  t.cases++;
  if (r.verdict == 0) return;
  t.conclusive++;
  if (expect != 0) {
    EXPECT_EQ(expect, r.verdict) << "bound " << r.bound;
  }
  if (expect == 0 && r.verdict == 1) {
    EXPECT_FALSE(smallviolation(o, prop, 5)) << "TRUE at " << r.bound;
  }
  if (r.verdict != -1) return;
  t.falses++;
  std::vector<state> st = tracestates(r.trace);
  checklasso(o, st, r.trace.labels, r.trace.loop);
  if (linear) {
    EXPECT_FALSE(pathsat(o, prop, st, r.trace.loop)[0]) << "trace does not violate";
  }
}

bprog randmodel(std::mt19937 &rng, int n, bool total) {
  bprog b = randprog(rng, n, 0);
  if (total) {   // a stuttering step keeps every state alive
    tree *id = nullptr;
    for (int k = 1; k <= n; k++) id = id ? AND(id, IFF(N(n + k), N(k))) : IFF(N(n + k), N(k));
    b.guard.push_back(L("^"));
    b.action.push_back(id);
  }
  return b;
}

std::string text(const tree *t) {
  std::string s;
  treewrites(t, s, 0);
  return s;
}

TEST(BmcRandom, UniversalCtlAgreesWithTheOracle) {
  std::mt19937 rng(11);
  tally t;
  for (int i = 0, rounds = lumrounds(60, 240); i < rounds; i++) {
    int n = 2 + (int)(rng() % 2);
    bprog b = randmodel(rng, n, i % 2);
    oracle o(b);
    bool linear = i % 3 == 0;
    tree *f = TLFnnf(linear ? randlinear(rng, n, 3) : randactl(rng, n, 3));
    check(b, o, f, o.holds(f) ? 1 : -1, linear, t, text(f));
    treefree(f);
    freebprog(b);
  }
  EXPECT_GT(t.conclusive, t.cases * 8 / 10);
  EXPECT_GT(t.falses, t.cases / 5);
}

TEST(BmcRandom, PathFormulasAgreeWithTheOracle) {
  std::mt19937 rng(12);
  tally t;
  for (int i = 0, rounds = lumrounds(50, 200); i < rounds; i++) {
    int n = 2 + (int)(rng() % 2);
    bprog b = randmodel(rng, n, i % 2);
    oracle o(b);
    bool auniv = i % 2 == 0;
    tree *actl = nullptr;
    tree *f = TLFnnf(randltl(rng, n, 3, auniv, &actl));
    actl = TLFnnf(actl);
    // universal ones: the oracle's verdict; others: no violating execution
    // of a few steps when TRUE
    int expect = auniv ? (o.holds(actl) ? 1 : -1) : 0;
    check(b, o, f, expect, true, t, text(f));
    treefree(f);
    treefree(actl);
    freebprog(b);
  }
  EXPECT_GT(t.conclusive, t.cases * 7 / 10);
  EXPECT_GT(t.falses, t.cases / 5);
}

}  // namespace
