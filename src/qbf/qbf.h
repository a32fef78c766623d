// Non-prenex quantified Boolean formulas: the tree the QBF encoder builds,
// its simplification, its text forms (the QBF file and QDIMACS) and the
// internal search.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "tree/tree.h"

// Node kinds: quantifier blocks and the two connectives.
constexpr int QMD_A = 'a';   // universal block
constexpr int QMD_E = 'e';   // existential block
constexpr int QMD_C = 'c';   // conjunction
constexpr int QMD_D = 'd';   // disjunction

// TRUE is a 'c' node without entries, FALSE a 'd' node without entries: the
// constants need no variable, so they are never left free.
struct qmd {
  int kind;                 // QMD_A, QMD_E, QMD_C or QMD_D
  std::vector<int> list;    // a/e: bound variables; c/d: literals (+v, -v)
  std::vector<qmd *> kids;  // a/e: exactly one (the scope); c/d: any number
};

// Result of QBFapply when the deadline passed before the answer.
constexpr int QBF_TIMEOUT = -1;

struct qmdata {
  int V = 0;                 // variable count; the encoder's allocation counter
  int N = 0;                 // node count (qmdclauses)
  int len = 0;               // total list length (qmdlen)
  time_t deadline = 0;       // QBFapply gives up after this wall time; 0 = none
  uint64_t maxbytes = 0;     // or past this resident size (answering QBF_TIMEOUT); 0 = none
  std::vector<signed char> outer;  // after a true answer of a formula whose root is an
                                   // existential chain: 1/0 per variable [0,V] of that
                                   // chain (others 0); empty otherwise
};

// Search counters of the last QBFapply.
struct qbfstats {
  long long decisions;       // branching levels opened
  long long pures;           // levels opened by the pure-literal rule
  long long implied;         // literals implied by unit propagation
  long long lookaheads;      // trial propagations of the branching heuristic
};
extern qbfstats QBFstats;

// ---- tree construction and operations
qmd *qmdnew(int kind, std::vector<int> list = {}, std::vector<qmd *> kids = {});
qmd *qmdconst(int v);                          // 1: TRUE (empty 'c'), 0: FALSE (empty 'd')
int qmdisconst(const qmd *t);                  // 1 TRUE, 0 FALSE, -1 not a constant
void freeqmdata(qmd *t);                       // frees the whole tree
qmd *qmdcopy(const qmd *t);
int qmdclauses(const qmd *t);                  // number of nodes
int qmdlen(const qmd *t);                      // sum of list + kids + 1 over the nodes
// Merges same-kind children and leaves of exactly one literal into their
// parent, folds the constants (an empty leaf decides or leaves its parent),
// drops repeated literals (a complementary pair decides the node); in place,
// and sets d.N and d.len.
void qmdsimp(qmd *t, qmdata &d);
// A node of the kind over a and b; an empty side gives the other unchanged.
// Kind 'I' builds the implication: a is negated in place and 'd' is used.
qmd *mdcompose(int kind, qmd *a, qmd *b);
void mdnegate(qmd *t);                         // in place: the negated formula
int md2treetype(const qmd *t);                 // 1 some 'a' block, 2 some 'e' block (bits)
// The matrix as an expression tree over variable numbers ("&", "|", "!",
// TRUE "^", FALSE "_"); the quantifier nodes are skipped.
tree *md2tree(const qmd *t);

// ---- files
void qmdwrite(const qmd *t, const qmdata &d, FILE *out);
// Reads the QBF file format; null (and why in err) on malformed text.
qmd *qmdread(const std::string &text, int &V, std::string &err);
// QDIMACS: the blocks in a prenex order that respects the tree's scopes
// (fewest alternations), the matrix as clauses with one auxiliary variable
// per nested connective, the auxiliaries in the innermost existential block.
// Variables that no block binds are existential in the outermost block.
void qmdwriteqdimacs(const qmd *t, const qmdata &d, FILE *out);

// ---- search
// Decides the tree (taken and freed): 1 true, 0 false, QBF_TIMEOUT.
int QBFapply(qmdata &d, qmd *t);
