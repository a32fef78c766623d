// SAT encoding of bounded model checking: the Boolean program unrolled to
// bound k on P paths, and the property (universal CTL or a path formula)
// translated over those paths, as one CNF.
//
// Variables of a bound-k problem on P paths: state s = p*(k+1)+j (path p from
// 0, position j) owns s*V+1 .. s*V+V; then one halt bit per state,
// P*(k+1)*V + s + 1; auxiliary variables follow.
//
// Halt bits let every path stop early, so that a model with dead ends (states
// without successors) is checked as the decision-diagram engine checks it: a
// halted position behaves as "everything holds" in the proof direction and as
// "nothing holds" in the refutation direction. A path that stops early can
// only make the proof harder and the refutation harder, so halting is allowed
// at any position, and no verdict rests on paths of length k existing.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>
#include <memory>
#include <vector>

#include "sat/cnf.h"
#include "tree/tree.h"

// ---- shared formula nodes of one problem

// Tree records in an arena, hash-consed: a node is never built twice, so a
// subformula met at several places is one node and gets one CNF variable.
// Nodes are immutable once built; the arena frees them all at once.
struct BMCfml {
  std::vector<std::unique_ptr<tree[]>> blocks;              // nodes, BMCBLOCK per block
  size_t used = 0;                                          // nodes used in the last block
  std::vector<tree *> uniq;                                 // open addressing over operator nodes
  std::vector<uint32_t> tags;                               // [i]: high hash bits of uniq[i]
  size_t count = 0;                                         // entries in uniq
  std::vector<tree *> leaves;                               // [v]: leaf of variable v
  tree *t = nullptr, *f = nullptr;                          // "^" and "_"
};

tree *BMCconst(BMCfml &F, bool v);
tree *BMClit(BMCfml &F, int lit);                // leaf v, or "!" over it for -v
// Connectives folding constants and equal or complementary literals.
tree *BMCand(BMCfml &F, tree *a, tree *b);
tree *BMCor(BMCfml &F, tree *a, tree *b);
// Balanced conjunction/disjunction of a list (true/false for an empty one).
tree *BMCandv(BMCfml &F, std::vector<tree *> v);
tree *BMCorv(BMCfml &F, std::vector<tree *> v);
// Negation in normal form of an arena formula.
tree *BMCneg(BMCfml &F, tree *t);
// Signed variable of a literal node (leaf or "!" over a leaf), 0 otherwise.
int BMClitof(const tree *t);
// A propositional formula of the Boolean program ('!', '&', ':', '|', ';',
// numbers, "^", "_"; an absent operand leaves the other alone, an absent
// formula is true) as an arena formula in negation normal form, every
// variable v renamed to map(v). With semiand, ';' is a conjunction (the
// initial condition's list). The source is only read.
tree *BMCimport(BMCfml &F, const tree *src, const std::function<int(int)> &map, bool semiand = false);
// Truth value of an arena formula under an assignment (value[v] != 0: v true).
bool BMCeval(const tree *t, const std::vector<int8_t> &value);

// ---- problems

// A branch of the refutation: path `child` starts at position `pos` of path
// `parent` (path numbers from 1), where the existential subformula `r` holds.
struct BMClink {
  int parent, pos, child;
  tree *r;
};

struct BMCproblem {
  CNFmodel cnf;                     // the problem
  int V = 0, k = 0, P = 1, dir = 0; // state bits, bound, paths, direction
  bool ltl = false;                 // path formula route (one path, loop cases)
  std::vector<BMClink> links;       // refutation branches, in order of translation
  std::vector<tree *> loops;        // path route, refutation: [0] no loop, [l+1] loop back to l
  BMCfml fml;                       // owns the nodes above
  int haltvar(int s) const { return P * (k + 1) * V + s + 1; }
};

// Problem of bound k in a direction (1 proof: unsatisfiable only if the
// property holds; 0 refutation: every model is a counterexample). program is
// "#"(vars, "#"(init, "#"(transition relation, ...))); constraints and variant
// are not used. The property is in negation normal form over bits 1..V; it
// must not contain E ("bp2s specificaiton problem"). A problem too large for
// 32-bit variable numbers throws std::bad_alloc.
std::unique_ptr<BMCproblem> bp2s(const tree *program, const tree *constraints, const tree *property,
                                 int V, int k, int direction, int variant);
void bp2s0(BMCproblem &p, const tree *program, const tree *property);
void bp2sCTL(BMCproblem &p, const tree *init, const tree *trans, const tree *property);
void bp2sLTL(BMCproblem &p, const tree *init, const tree *trans, const tree *property);

// The unrolled system: init at state 0, on every path and step the transition
// relation or a halt (a halted state stays halted).
CNFmodel CNFsys2model(const tree *init, const tree *trans, int V, int k, int P);
// Clauses asserting an arena formula (or any propositional tree in negation
// normal form over number leaves); auxiliary variables first+1, first+2, ...
CNFmodel CNFspec2model(const tree *formula, int first);
// Definitional conversion appended to out: one auxiliary variable per
// distinct compound node (by identity), standing for the implication from the
// variable to its node. Returns the highest variable used. The tree is only read.
int CNFnnf2cnf(const tree *formula, int next, CNFmodel &out);

// Path counts of the proof (on the property) and refutation (on its negation)
// translations; 0 when k = 0.
long long fkx(const tree *f, int k);
long long gkx(const tree *f, int k);
int SPECnpath(const tree *f, int direction, int k, int variant);
