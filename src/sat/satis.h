// Internal SAT solver. Preprocessing: clause normalisation, equivalence
// reduction over binary clauses, initial unit propagation, then bounded
// variable elimination. Search: conflict driven (two watched literals,
// first-UIP learning with minimisation, backjumping, activity decisions with
// phase saving, restarts, learned-clause reduction). The run is logged to
// "logsat.tmp":
//   "NN" with the variable count,
//   two "EQ" sections (replaced variables, their literals) when equivalences
//   were substituted,
//   "IL" with the literals fixed by the initial units, when there were units,
//   "IL" with the satisfying assignment (every variable 1..nv) when satisfiable.
#pragma once

#include <cstdint>
#include <ctime>
#include <vector>

#include "sat/cnf.h"

// Answers of SATsolve / issat1.
constexpr int SATUNSAT = 0;
constexpr int SATSAT = 1;
constexpr int SATUNKNOWN = 2;       // a limit ended the search first

// Limits of one search; 0 means none.
struct SATlimits {
  time_t deadline = 0;              // wall-clock time (time()) at which the search gives up
  uint64_t maxbytes = 0;            // clause and watch memory beyond which it gives up
  uint64_t maxconflicts = 0;        // conflicts after which it gives up
};

// Counters of the last search (not printed by default).
struct SATstats {
  uint64_t decisions;
  uint64_t propagations;            // literals assigned by propagation
  uint64_t conflicts;
  uint64_t restarts;
  uint64_t learned;                 // learned clauses kept (units included)
  uint64_t deleted;                 // learned clauses removed by reductions
  uint64_t eqvars;                  // variables replaced by equivalence reduction
  uint64_t elimvars;                // variables eliminated by resolution
};
extern SATstats SATstat;

// 1 satisfiable, 0 unsatisfiable, without limits. Normalises and compacts the
// CNF in place; the caller still owns (and frees) it.
int SATapply(CNFmodel &cnf);

// SATSAT, SATUNSAT or SATUNKNOWN. When the answer is SATSAT and model is
// given, *model becomes the satisfying assignment of the CNF as it was passed
// in: (*model)[v] is 1 (true) or 0 (false) for v in [1,nv]; index 0 unused.
int SATsolve(CNFmodel &cnf, const SATlimits &lim, std::vector<int8_t> *model);

// The solver run proper on a normalised CNF (SATsolve = CNFnormalise + issat1).
int issat1(CNFmodel &cnf, const SATlimits &lim, std::vector<int8_t> *model);
