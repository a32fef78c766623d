// Boolean encoding: the flattened integer program becomes a program over
// numbered Boolean variables.  Bit vectors are ";" lists of formulas, most
// significant bit first, unsigned; a one-element list is the formula itself.
// Current-state bit k is the leaf "k", its next-state copy the leaf "k+BOOLN".
#pragma once

#include "prog/bstore.h"
#include "prog/prg.h"
#include "tree/tree.h"

// The encoded formulas are shared: see the contract in prog/bstore.h (node
// identity, walking with a memo, lifetime until prgfree, never modified).
// ---- the encoding
// A new Boolean program record: every component encoded, the input unchanged.
prg *p2bp(const prg *p);

// In place, on an ordinary tree: number leaves become constant bit lists,
// "V"/"O" occurrences the declared bit lists ("O" adds offset).  Undeclared
// names end with "vlist error".
void BOOLreplace(tree *t, const tree *vlist, int offset);
// Constant bit list of n >= 0 without leading zeros ("_" for 0), an ordinary tree.
tree *BOOLconstructnum(unsigned long long n);
// Encodes operator op ("+-*/%<>=B{}MN") over two shared bit lists of s: a
// shared bit list (a single formula for comparisons).  Values are unsigned:
// "+" is one bit wider than the wider operand, "-" saturates at 0 and has
// the minuend's width, x/0 is all ones of x's width, x%0 = x.
tree *ARITapply(BOOLstore *s, char op, tree *a, tree *b);
// Division by the constant 2 as a shift: the quotient, or null when b is not 2.
tree *ARITdiv2(BOOLstore *s, tree *a, const tree *b);
// Appends k "_" bits at the least significant end (times 2^k).
tree *ARITdoublekt(BOOLstore *s, tree *list, int k);
// Drops leading "_" bits, keeping at least one.
tree *listreduce(BOOLstore *s, tree *list);
// Splits off the subtrahend bits above the minuend's width: *b becomes the
// low part, the result is the condition "one of the split-off bits is 1".
tree *ARITsub0(BOOLstore *s, const tree *a, tree **b);

// Integer-array helpers shared with the solvers.
// First i in [first,last] with a[i] == v, or 0 when absent.
int intin(int v, const int *a, int first, int last);
// Number of elements before the first 0.
int intlen(const int *a);
