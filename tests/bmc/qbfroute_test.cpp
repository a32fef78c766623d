// The QBF encoding decided by the internal solver against the decision-
// diagram engine on random small programs and CTL formulas mixing A and E,
// with up to three fairness constraints: a true proof-direction QBF means
// TRUE, a true refutation-direction QBF means FALSE, and neither may
// contradict the engine.
#include "../rounds.h"
#include "../symbolic/symtest.h"

#include "bmc/bp2q.h"
#include "formula/tlf.h"
#include "prog/prg.h"

static const int storeready = (TBDmminitialize(64), 1);

namespace {

// The program spine the bounded engine gets: the transition relation in
// place of the transitions.
struct spine {
  tree *t = nullptr;
  explicit spine(const bprog &b) {
    prg *p = mkprg(b);
    tree *rel = mgett(*p);
    freeprg(p);
    tree *fl = nullptr;
    for (size_t i = b.fair.size(); i-- > 0;)
      fl = fl ? treecompose(";", treecopy(b.fair[i]), fl) : treecopy(b.fair[i]);
    t = treecompose("#", nullptr, treecompose("#", treecopy(b.init), treecompose("#", rel, treecompose("#", fl, nullptr))));
  }
  ~spine() { treefree(t); }
  const tree *fair() const { return t->right->right->right->left; }
};

int qsolve(const spine &s, const tree *f, int w, int k, int dir, int flags) {
  qmdata d;
  qmd *q = bp2q(d, s.t, s.fair(), f, w, k, dir, flags);
  return QBFapply(d, q);
}

}  // namespace

TEST(QbfRoute, RandomProgramsAgainstEngine) {
  std::mt19937 rng(11);
  int proofs = 0, refutations = 0, formulas = 0, rounds = lumrounds(80, 320);
  for (int round = 0; round < rounds; round++) {
    int n = 2 + round % 2;
    bprog b = randprog(rng, n, round % 4);
    useprog(b);
    spine s(b);
    int flags = (BP2Qhalting(s.t, n, 0, nullptr) ? BP2Q_HALTING : 0) | (BP2Qoneinit(s.t, n, 0) ? BP2Q_ONEINIT : 0);
    tree *phi = TLFnnf(randctl(rng, n, 2));
    if (!TLFisCTLx(phi)) {
      treefree(phi);
      freebprog(b);
      continue;
    }
    formulas++;
    int want = dmc(phi, -1);
    for (int k = 0; k <= 3; k++) {
      int t = qsolve(s, phi, n, k, 1, flags), f = qsolve(s, phi, n, k, 0, flags);
      std::string text;
      treewrites(phi, text, 0);
      EXPECT_FALSE(t == 1 && want != 1) << "proof of a false property, round " << round << " k " << k << " " << text.c_str();
      EXPECT_FALSE(f == 1 && want != 0) << "refutation of a true property, round " << round << " k " << k << " " << text.c_str();
      proofs += t == 1;
      refutations += f == 1;
      if (t == 1 || f == 1) break;
    }
    treefree(phi);
    freebprog(b);
  }
  EXPECT_GE(formulas, rounds * 15 / 16);
  EXPECT_GT(proofs, rounds / 8);
  EXPECT_GT(refutations, rounds / 8);
}

// One bit x, both states initial, x kept (with fairness x in the last rows).
TEST(QbfRoute, InitialStatesAndBoundZero) {
  struct { tree *f; bool fair; int k, dir, want; } rows[] = {
    {Q("E", "F", nullptr, N(1)), false, 1, 0, 1},                 // the state x = 0 never reaches x
    {Q("E", "F", nullptr, N(1)), false, 3, 1, 0},
    {OR(Q("A", "G", nullptr, N(1)), Q("A", "F", nullptr, NOT(N(1)))), false, 1, 1, 1},   // one disjunct each
    {Q("A", "X", nullptr, N(1)), true, 0, 1, 0},                  // no position 1 at bound 0
    {Q("A", "X", nullptr, N(1)), false, 1, 1, 0},                 // x = 0 keeps x = 0
    {Q("E", "G", nullptr, N(1)), true, 1, 0, 1},                  // x = 0 has no fair path
  };
  for (auto &r : rows) {
    bprog b;
    b.n = 1;
    b.guard.push_back(L("^"));
    b.action.push_back(IFF(N(2), N(1)));
    if (r.fair) b.fair.push_back(N(1));
    spine s(b);
    tree *f = TLFnnf(r.f);
    EXPECT_EQ(qsolve(s, f, 1, r.k, r.dir, 0), r.want) << "k " << r.k << " dir " << r.dir;
    treefree(f);
    freebprog(b);
  }
}
