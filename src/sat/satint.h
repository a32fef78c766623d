// Internal interface between the preprocessing (satis.cpp) and the search
// (satcdcl.cpp).
#pragma once

#include <cstdint>
#include <vector>

#include "sat/satis.h"

// Conflict-driven search on a CNF without unit clauses. On SATSAT, trail holds
// the assignment of every variable that occurs in m, as signed literals in
// the order they were assigned. Updates SATstat.
int SATcdcl(const CNFmodel &m, const SATlimits &lim, std::vector<int32_t> &trail);

// Clauses kept for the variables that elimination removed: for record r,
// lits[recs[r].begin ..] up to the next record holds the 0-terminated
// clauses containing recs[r].lit (the side with fewer clauses).
struct SATelimstack {
  struct Rec {
    int32_t lit;                    // literal of the eliminated variable on the kept side
    uint32_t begin;                 // first literal of its clauses in lits
  };
  std::vector<Rec> recs;            // in elimination order
  std::vector<int32_t> lits;
  int eliminated = 0;
};

// Eliminates variables by resolution where the clause count does not grow.
// Returns 0 when an empty resolvent shows the CNF unsatisfiable.
int SATeliminate(CNFmodel &m, SATelimstack &st);
// Gives the eliminated variables values (value[v] = +1/-1) satisfying their
// clauses, last eliminated first; every other variable must be set.
void SATextend(const SATelimstack &st, std::vector<int8_t> &value);
