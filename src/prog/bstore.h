// Shared Boolean formulas: the node store of an encoded program record.
#pragma once

#include <cstddef>
#include <vector>

#include "tree/tree.h"

// The encoded formulas of a Boolean program (every component p2bp encodes:
// the program tree right of the declarations, VARC, DEAD, the deadlock
// transition and the transitions of the process records) are one directed
// acyclic graph of tree records owned by the record's store (prg::store).
//  - Walking: a node reads like any tree (text, left, right): ";" lists of
//    bits, "!" with an empty left operand, number leaves, "^" and "_", and the
//    model's own connectives and temporal operators above the encoded atoms.
//  - Identity: the store is hash-consed.  Two nodes with the same text and
//    the same operands are one node, so equal formulas are the same pointer;
//    memoise by node address (one result per distinct node).
//  - Sharing: a node may have many parents, within one formula and across
//    the formulas of the record.  A walk without memo visits a node once per
//    path, which can be exponential: memoise, or ask BOOLtreesize first.
//  - Immutability and lifetime: nodes are never modified and never freed one
//    by one; they live until prgfree releases the whole store.  To rewrite a
//    formula, copy it into an ordinary tree (treecopy expands the sharing, so
//    only when BOOLtreesize is small) and own that copy.
// The variable list and the call parts of an encoded record are ordinary
// trees owned by the record.
struct BOOLstore;
BOOLstore *BOOLstorenew();
void BOOLstorefree(BOOLstore *s);
size_t BOOLstorecount(const BOOLstore *s);          // nodes created so far
// The node with this text and these operands (nodes of s, or null).
tree *BOOLnode(BOOLstore *s, const char *text, tree *left, tree *right);
// The shared form of an ordinary tree (which stays with the caller).
tree *BOOLintern(BOOLstore *s, const tree *t);
// Node count of the expanded tree, saturating at 2^62; memoised.
unsigned long long BOOLtreesize(BOOLstore *s, const tree *t);
unsigned long long BOOLtreesize(const tree *t);  // any tree or graph, with a memo of its own
// Distinct nodes reachable from the roots.
unsigned long long BOOLdistinct(const std::vector<const tree *> &roots);
// Negation by duality with the rules of TLFnegate; memoised.
tree *BOOLnegate(BOOLstore *s, tree *t);
// Negation normal form and the local simplification of every node, with the
// rules of TLFnnf and TLFnnfsimp.
tree *BOOLnnf(BOOLstore *s, tree *t);
// A memo slot of a node for the encoder's own use (null until it is set).
tree *&BOOLaux(tree *t);

