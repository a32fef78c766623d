// Verdict and progress lines, property selection and folding.
#pragma once

#include "opt/opt.h"
#include "tree/tree.h"

// Verdicts: 1 true, -1 false, 0 unknown.  Exit statuses are the verdict modulo 256.
constexpr int VERDICT_TRUE = 1;
constexpr int VERDICT_FALSE = -1;
constexpr int VERDICT_UNKNOWN = 0;
constexpr int BOUND_NONE = -2;   // reportresult: print seconds only

// Prints the verdict line and returns v.
int reportresult(int v, int bound);

// The last verdict line printed: its verdict and the bound it shows
// (BOUND_NONE when it shows seconds only); printed is false before one.
struct repline {
  bool printed;
  int verdict;
  int bound;
};
extern repline REPlast;

// Progress line of the engines: kind 0 "----------", kind 1 with the bound.
// Silent while a built-in property is being decided.
void reportprogress(int kind, int bound);

// The property list: the fifth part of the program tree's "#" chain.
tree *MAINproperties(tree *prog);

// Selects a property (a node of the list, not a copy) by selector; 0 asks on
// standard input.  With announce it prints "PROPERTY:   " and the formula and
// records an interactive choice in op0.prop.  Null when none is selected.
tree *mgetp(tree *prog, int sel, int announce);

// Folds the property list in place into one formula (AG a; AG b -> AG(a & b)).
void specmerge21(tree *list);
