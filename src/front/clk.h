// Discrete clocks and fractional constants: clock variables become bounded
// counters that advance together, one tick per step; the declaration types
// "char" and iN become plain ranges.
#pragma once

#include "tree/tree.h"

// Rewrites the declarations, initial condition and transitions of a module
// body "#"(vars, "#"(init, "#"(trans, rest))) in place and returns the two
// clock transitions as a ";" list, or null when no clock is declared.
tree *clkcheckvlist(tree *body);
// Scale (s > 0), tick conversion (s < 0) of every constant compared with the
// clock name in t; see clk.cpp.
int clkcheckcst(const char *name, tree *t, int s);
// The fraction "/"(numerator, denominator) of a decimal number text, reduced,
// taken to five decimal places.
tree *fractal(const char *x);
// ";" -> "&" along the right spine, in place.
void list2cn(tree *list);
// Every leaf whose text equals name becomes a copy of repl.
void treesubstitute(tree *&t, const char *name, const tree *repl);
long long gcd(long long a, long long b);
