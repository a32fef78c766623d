// Program record: the flattened integer program (filled by the front end)
// and, with the same layout, its Boolean encoding.
#pragma once

#include <vector>

#include "tree/tree.h"

struct prgproc {
  int n = 0;                        // number of transitions
  std::vector<tree *> trans;        // transitions [0,n): guard ":" body
  std::vector<tree *> calls;        // procedure call split off each transition, or null
};

struct prg {
  tree *vlist = nullptr;            // declarations (name node carries first/last bit numbers)
  tree *prog = nullptr;             // "#"(vars, "#"(init, "#"(trans, "#"(fairness, props))))
  int BOOLN = 0;                    // current-state bits 1..BOOLN; next-state BOOLN+1..2*BOOLN
  int PRCNT = 0;                    // number of processes
  tree *deadtr = nullptr;           // deadlock transition: enabled exactly when no other is
  int PURETRANS = 0;                // 1: every assignment has a next-state left side, no procedures
  tree *varc = nullptr;             // range constraints (VARC)
  tree *dead = nullptr;             // deadlock condition (DEAD)
  std::vector<prgproc> procs;       // [0,PRCNT)
};
