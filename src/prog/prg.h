// Program record: the flattened integer program (filled by the front end)
// and, with the same layout, its Boolean encoding.
#pragma once

#include <cstdio>
#include <vector>

#include "tree/tree.h"

struct prgproc {
  int n = 0;                        // number of transitions
  std::vector<tree *> trans;        // transitions [0,n): guard ":" body
  std::vector<tree *> calls;        // procedure call split off each transition, or null
};

struct BOOLstore;

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
  BOOLstore *store = nullptr;       // encoded record: owns every formula node (prog/bstore.h)
};

// Numbers the bits of a declaration list (";" list of name ":" type) in place:
// each name node gets a left leaf with its first (most significant) bit and a
// right leaf with its last bit, numbered from 1 in declaration order.  A type
// "lo..hi" gets max(1, bits of hi) bits, any other type one bit.  Returns the
// total, i.e. BOOLN.  Ends with "vlist error" when a bound is too large.
int INFOvlist(tree *vlist);
// Range constraints: a new integer formula, the left-nested conjunction over
// the declarations "lo..hi", in order, of !(Vname > hi); "^" when there are
// none.  The declaration list is only read.  p2bp encodes it into VARC.
tree *INFOconstr_a(const tree *vlist);

// Releases a record: an encoded one with its store, an integer one with its trees.
void prgfree(prg *p);
// Dump of a program record (the debug dump of the driver) on out.  A formula
// whose expanded text is small is written as a tree; in larger ones every
// operator node with more than one parent is written once, before the field
// that first uses it, as a line "$k = <text>", and referred to as "$k".
void prgwrite(const prg *p, FILE *out);

// The transition relation for bounded checking: the disjunction of every
// process's transitions as guard & action (copies); FALSE when every one was
// skipped, null without processes.
tree *mgett(const prg &p);
