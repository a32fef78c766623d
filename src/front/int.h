// The integer type: overflow checks and the width probe.  A model declaring
// `int` is checked at the smallest width N at which no overflow is reachable;
// a run with -ck iN is that overflow check at N bits: every assignment that
// could store a value beyond its variable's range gets a companion
// transition setting "err_x_", and AG err_x_ = 0 becomes the first property.
#pragma once

#include <string>
#include <vector>

#include "front/f2p.h"

constexpr int F2P_INTMAXW = 31;   // widest width the probe tries

// True when the preprocessed text declares the type int: the word int after
// a ':' (blanks between allowed), not the beginning of a longer name.
bool F2Phasint(const std::string &text);
// Every such int becomes "i%02d" with the width.
void F2Psetintwidth(std::string &text, int w);

// Runs the overflow check at widths 1, 2, ... in child processes and returns
// the first width without reachable overflow.  Ends the run itself (status
// 0) when the check needs more than F2P_INTMAXW bits, when a child ends
// without an answer, and at the time limit.  In a child it returns the
// child's width with child set: the run continues as -ck iN at that width.
int F2Pintprobe(bool &child);
// Set by the driver: its run may fork the probe's children, which go on
// with the driver's pipeline.  Without it (a test harness calling f2p0) a
// model declaring int ends with "int error".
extern bool F2Pprobing;

// Largest constant directly combined with name in t (0 when none).
long long intcheckcst(const char *name, const tree *t);
// Overflow condition of an action or initial element e over the declaration
// list vars, or null.  cmax is the largest constant combined with an integer
// variable: a run whose iN width cannot hold it ends with "CONSTANT=".
tree *intconstruct(const tree *e, tree *vars, long long cmax);
// The ";" list of overflow transitions of a merged program (null when none):
// (c & g) : err_x_ = 1 per transition g : a with a condition c, and c :
// err_x_ = 1 per initial conjunct (a constant-true one is replaced by 1 = 1).
// With a flag name, flag = 1 joins every action.  The newest is first.
tree *intcheckvlist(modrec *modules, tree *prog, const char *flag);

// When set (by the driver, before f2p0), a -ck iN run also adds, after
// AG err_x_ = 0, one property AG !c(v) per checked variable v (c(v): v can
// overflow in the next step) and names the variables in F2Poverflowvars:
// property k + 2 belongs to F2Poverflowvars[k].
extern bool F2Poverflownames;
// Prints the verdict line "CONCLUSION: UNKNOWN" (set by the driver) before
// the ends of the probe and of a constant that does not fit; null prints none.
extern void (*F2Punknownhook)();
extern std::vector<std::string> F2Poverflowvars;
// Step 8 of the model build for -ck iN: err_x_, the overflow transitions
// (last process), the properties above.
void F2Paddoverflow(prg *p, modrec *modules);
