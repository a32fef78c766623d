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
