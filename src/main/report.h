// Verdict and progress lines, property selection, and the forms of the
// program that the engines are handed.
#pragma once

#include <ctime>

#include "boolean/prg.h"
#include "tree/tree.h"

extern time_t t0;   // wall-clock start of the run, for the verdict and progress lines

// Verdicts: 1 true, -1 false, 0 unknown.  Exit statuses are the verdict modulo 256.
constexpr int VERDICT_TRUE = 1;
constexpr int VERDICT_FALSE = -1;
constexpr int VERDICT_UNKNOWN = 0;
constexpr int BOUND_NONE = -2;   // reportresult: print seconds only

// Prints the verdict line and returns v.
int reportresult(int v, int bound);

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

// The transition relation for bounded checking: the disjunction of every
// process's transitions as guard & action (copies); FALSE when every one was
// skipped, null without processes.
tree *mgett(const prg &p);
