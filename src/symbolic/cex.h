// Counterexamples: the store of state sets filled by the fixpoint checks,
// the selection of one concrete trace and the ".cex" file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tbd/tbdbw.h"
#include "tree/tree.h"

struct cexstore {
  std::vector<tbd> layers;          // layer j: states after j forward steps (roots) [0,L)
  std::vector<tbd> targets;         // sets the trace must end in (roots) [0,T)
};

// A store with layer 0 and target 0 (both kept).
cexstore *CEXinit(tbd layer, tbd target);
// Appends a kept set to the layers (which != 0) or the targets (which == 0).
// The store grows as needed; a null store is fatal ("CEXreg").
void CEXreg(cexstore *s, tbd set, int which);
// Releases a store and its roots.
void CEXfree(cexstore *s);
// Reduces the store to one trace of full states; labels[j] is the transition
// number (from 1) leading from state j to state j + 1.
void CEXselect(cexstore *s, std::vector<int> &labels);
void CEXwriteState(const cexstore *s, int j, FILE *out, tree *vlist);
// "--- STATE j ---" and the value of every variable of vlist, bit b (from 1,
// at most n) being 1 where v[b - 1] > 0; shared with the bounded engine.
void CEXwritevalues(FILE *out, int j, tree *vlist, const std::vector<int> &v, int n);
void CEXwriteTr(const std::vector<int> &labels, int j, FILE *out);
// Display name: "_x_<digits>" becomes "[<digits>]" (a_x_1_x_2 -> a[1][2]).
std::string CEXrename(const char *name);
// "<model path without its last extension>.cex"; the extension is looked for
// in the last path component only.
std::string CEXfilename(const std::string &model);
// The counterexample file this run wrote last (any engine), empty before one.
extern std::string CEXwritten;
// Writes the counterexample file of the store; nothing for an empty store.
void CEXwrite(cexstore *s, tree *vlist, const std::string &model);
