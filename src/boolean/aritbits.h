// Internal to the encoder: bit vectors as arrays of shared nodes (least
// significant bit at index 0) and the simplifying formula constructors they
// are built with.  Formulas stay in negation normal form with constants
// folded; nodes come from the store BITs.
#pragma once

#include <cstddef>
#include <vector>

#include "boolean/p2bp.h"
#include "tree/tree.h"

using bitvec = std::vector<tree *>;  // bit i has weight 2^i

extern BOOLstore *BITs;  // the store the constructors build in
// Makes s the store of the constructors for a scope.
struct BITscope {
  BOOLstore *old;
  explicit BITscope(BOOLstore *s) : old(BITs) { BITs = s; }
  ~BITscope() { BITs = old; }
  BITscope(const BITscope &) = delete;
  BITscope &operator=(const BITscope &) = delete;
};

bool BITisconst(const tree *t, int v);     // t is "^" (v = 1) or "_" (v = 0)
tree *BITconst(int v);
tree *BITand(tree *a, tree *b);
tree *BITor(tree *a, tree *b);
tree *BITnot(tree *a);                     // by duality
tree *BITxor(tree *a, tree *b);
tree *BITite(tree *c, tree *t, tree *e);   // (c & t) | (!c & e)

bitvec BITfromlist(tree *list);            // ";" list, most significant first
tree *BITtolist(const bitvec &v);
void BITpad(bitvec &v, size_t n);          // zero extension to n bits
void BITreduce(bitvec &v);                 // drops constant-0 high bits, keeps one

bitvec BITadd(bitvec a, bitvec b);
bitvec BITsubsat(bitvec a, bitvec b);
tree *BITlt(bitvec a, bitvec b);
tree *BITeq(bitvec a, bitvec b);
bitvec BITmul(bitvec a, bitvec b);
bitvec BITdiv(bitvec a, bitvec b);
bitvec BITmod(bitvec a, bitvec b);
