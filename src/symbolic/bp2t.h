// Transition system construction: the Boolean program becomes the TBD
// transition system `tsys` (record in tbd/tbdbw.h) with the initial states,
// the fairness sets and one partition per transition in both orientations.
//
// State bit k owns the labels 2k-1 and 2k. In the standard orientation the
// current name of bit k is label 2k-1 and its next name 2k; in the backward
// orientation the roles are exchanged.
#pragma once

#include <string>
#include <vector>

#include "prog/prg.h"
#include "tbd/tbdbw.h"
#include "tree/tree.h"

// Entry point: builds the transition system of a Boolean program. `pairs` is
// null on the verification path (bit k is then named "k" and "n+k"). The
// caller makes the result current (ggt) before any image is computed.
tsys *prg2t(prg *p, tree *pairs);

// Builds the record from the parts of a program: init formula (null: every
// state is initial; the elements of a ";" list are conjoined), ";" fairness
// list (may be null), transition groups. The formulas are only read.
tsys *bp2t(tree *init, tree *fair, const std::vector<prgproc> &groups, tree *pairs, int n);

// Name arrays and the lookup table in standard orientation.
void TBDprginitialize(tsys *t, tree *pairs, int n);

// Formula over bit names to TBD with the current lookup orientation; a
// shared graph is translated once per distinct node.
// Connectives "!", "&", ":", ";", "|"; every other leaf is a name. A null
// formula gives TBDnull.
tbd TPfml(tsys *t, const tree *f);
// "_" false, "^" true, else the literal of the looked-up label; an unknown
// name is fatal ("variable not in the given list").
tbd TPtbdvar(tsys *t, const char *name);
// Binary search over the sorted lookup arrays in [low,high]: label or 0.
int TPsnm(const char *name, const std::vector<std::string> &names, const std::vector<int> &labels,
          int low, int high);
// Sorts the parallel lookup arrays over [low,high] by byte-wise name order.
void TPsv1(std::vector<std::string> &names, std::vector<int> &labels, int low, int high);

// All partitions of all groups: pass 1 (backward orientation), then pass 0.
void TPatrs(const std::vector<prgproc> &groups, tsys *t);
void TPtrs(tsys *t, const std::vector<prgproc> &groups, int pass);
// Functional relation of a decomposition; sets the frame flags of the bits
// the transition copies unchanged. TBDnull for an empty decomposition.
tbd TPtrstc(const TBDmap *decomp, TBDflags &flags, int n);
