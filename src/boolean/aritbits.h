// Internal to the encoder: bit vectors as arrays (least significant bit at
// index 0) and the simplifying formula constructors they are built with.
// Every constructor takes its tree arguments; formulas stay in negation
// normal form with constants folded, so no subtree is ever shared.
#pragma once

#include <cstddef>
#include <vector>

#include "tree/tree.h"

using bitvec = std::vector<tree *>;  // bit i has weight 2^i

bool BITisconst(const tree *t, int v);     // t is "^" (v = 1) or "_" (v = 0)
tree *BITconst(int v);
tree *BITand(tree *a, tree *b);
tree *BITor(tree *a, tree *b);
tree *BITnot(tree *a);                     // dual tree, in place
tree *BITxor(tree *a, tree *b);
tree *BITite(tree *c, tree *t, tree *e);   // (c & t) | (!c & e)

bitvec BITfromlist(tree *list);            // takes the ";" list (most significant first)
tree *BITtolist(bitvec &v);                // takes the bits; v is left empty
void BITfree(bitvec &v);
void BITpad(bitvec &v, size_t n);          // zero extension to n bits

// Bit-vector operations on arrays; they take their operands.
bitvec BITadd(bitvec a, bitvec b);
bitvec BITsubsat(bitvec a, bitvec b);
tree *BITlt(bitvec a, bitvec b);
tree *BITeq(bitvec a, bitvec b);
bitvec BITmul(bitvec a, bitvec b);
bitvec BITdiv(bitvec a, bitvec b);
bitvec BITmod(bitvec a, bitvec b);
