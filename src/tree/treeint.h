// Helpers shared by the tree library's files; not part of the interface.
#pragma once

#include "tree/tree.h"

tree *treenewnode(const char *op);                       // zeroed node; "op error" when memory runs out
void treedelete(tree *t);                                // releases one node (not its children)
// Scratch state of each file, emptied by treereset.
void treeresetwalks();
void treeresetlists();
void treeresetparse();
void treesettext(tree *t, const char *s, const char *op);  // "op error" beyond 63 characters
int treeleadnum(const char *s, long long *v);            // 1 and the leading number if s starts with a digit
int treematch(const char *text, const char *s, int n);   // whole text (n = 0) or first n characters
