// Boolean encoding: the flattened integer program becomes a program over
// numbered Boolean variables.  Bit vectors are ";" lists of formulas, most
// significant bit first, unsigned; a one-element list is the formula itself.
// Current-state bit k is the leaf "k", its next-state copy the leaf "k+BOOLN".
#pragma once

#include "prog/prg.h"
#include "tree/tree.h"

// ---- the encoding
// A new Boolean program record: every component encoded, the input unchanged.
prg *p2bp(const prg *p);

// In place: number leaves become constant bit lists, "V"/"O" occurrences the
// declared bit lists ("O" adds offset).  Undeclared names end with "vlist error".
void BOOLreplace(tree *t, const tree *vlist, int offset);
// Constant bit list of n >= 0 without leading zeros ("_" for 0).
tree *BOOLconstructnum(unsigned long long n);
// Encodes one operator node whose operands are already bit lists; other
// nodes come back unchanged.  Takes the node, returns its replacement.
tree *ARITapply(tree *node);

// Step functions of the list folds: bit a, bit b, result for the less
// significant bits (or null).  They take their arguments.
tree *ARITadd(tree *a, tree *b, tree *rest);
tree *ARITsub(tree *a, tree *b, tree *rest);
tree *ARITeq(tree *a, tree *b, tree *rest);
tree *ARITband(tree *a, tree *b, tree *rest);
tree *ARITbor(tree *a, tree *b, tree *rest);
// Splits off the subtrahend bits above the minuend's width: *b keeps the low
// part, the result is the condition "one of the split-off bits is 1" ("_" if
// none).  Takes and replaces *b.
tree *ARITsub0(const tree *a, tree **b);
// Multiplication, division, remainder of two bit lists (taken).
tree *ARITmul(tree *a, tree *b);
tree *ARITdiv(tree *a, tree *b);
tree *ARITmod(tree *a, tree *b);
// Division by the constant 2 as a shift: the quotient, or null when b is not 2.
// Takes a only when it answers.
tree *ARITdiv2(tree *a, const tree *b);
// Appends k "_" bits at the least significant end (times 2^k); takes the list.
tree *ARITdoublekt(tree *list, int k);
// Drops leading "_" bits, keeping at least one; takes the list.
tree *listreduce(tree *list);
// Every bit in negation normal form, reduced and in disjunctive normal form.
tree *ARITred(tree *list);

// Integer-array helpers shared with the solvers.
// First i in [first,last] with a[i] == v, or 0 when absent.
int intin(int v, const int *a, int first, int last);
// Number of elements before the first 0.
int intlen(const int *a);
