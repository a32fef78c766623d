// Traces of the backward checks: one path, or a lasso, from an initial state
// that witnesses an existential formula (a property that holds) or the
// negation of a universal one (a property that fails).
#pragma once

#include <string>
#include <vector>

#include "tbd/tbdbw.h"
#include "tree/tree.h"

struct cexpath {
  std::vector<tbd> states;          // full states (roots)
  std::vector<int> labels;          // labels[j]: transition (from 1) from state j to j + 1;
                                    // with a loop the last one steps back to state `loop`
  int loop = -1;                    // state the last one returns to, or -1
};

// Set by the driver when a trace is to be written.
extern int CEXpathwanted;
// Set where another run writes the trace: CEXpathbuild then stops where the
// search for the path would begin, and CEXpathdue tells whether it would.
extern int CEXpathprobe;
bool CEXpathdue();
// The set m2prop computed for f (a root), remembered while the check runs.
void CEXpathnote(const tree *f, tbd r);
// Forgets the remembered sets and the last trace.
void CEXpathreset();
// After the verdict: w is the formula in negation normal form that holds in
// an initial state (the property when it holds, its negation when it fails).
// Builds the trace when w leads to an existential formula, or, for a failed
// property, to a state condition the initial state violates.
void CEXpathbuild(tree *w, int holds);
const cexpath *CEXpathget();
// Writes the trace as a ".cex" file; nothing when there is none.
void CEXpathwrite(tree *vlist, const std::string &model);
