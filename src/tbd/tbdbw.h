// Image computation over the partitioned transition system `ggt`: relational
// product, renamings between the two copies of the state bits, forward and
// backward images, and the choice of one successor or predecessor.
//
// State bit k owns the labels 2k-1 (odd) and 2k (even). Sets of states are
// TBDs over odd labels. Backward relations: odd = next, even = current;
// forward relations: odd = current, even = next.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tbd/tbdmm.h"
#include "tbd/tbdop.h"
#include "tree/tree.h"

// Per-label byte flags with an id that keys the renaming caches. The flags
// must not change after their first use in TBDsprn / TBDasrn.
struct TBDflags {
  uint32_t id = TBDnewid();         // computed-table key of this array
  std::vector<uint8_t> f;           // flag per label [0,2n]
  int top = 0;                      // largest flagged label (TBDrpq, TBDexq)
  // deepest level a quantification / renaming with these flags touches,
  // found on first use (-2: not yet)
  mutable int32_t deepq = -2, deepsp = -2, deepas = -2;
};

struct tsyspart {
  tree *procedure = nullptr;        // procedure call of the transition, or null
  tbd guard = TBDnull;              // guard (standard orientation); TBDomg = never fires
  tbd fwrel = TBDnull;              // assignment: odd = current, even = next
  tbd gfwrel = TBDnull;             // guard AND fwrel
  tbd funrel = TBDnull;             // functional relation, or empty
  TBDflags frame;                   // 1 at both labels of every unchanged bit [0,2n]
  tbd bguard = TBDnull;             // guard (backward orientation)
  tbd bassign = TBDnull;            // assignment (backward orientation)
  tbd bwrel = TBDnull;              // bguard AND bassign, or empty
  std::unique_ptr<TBDmap> decomp;   // next bits as functions of current bits, or empty
  // Backward image over the bits the transition writes: bwfun relates the new
  // values of the written bits (odd labels) to the current state (written bits
  // on even labels, unchanged bits on their odd label) and holds the guard.
  tbd bwfun = TBDnull;              // funrel AND guard in that layout, or empty
  TBDflags bwquant;                 // 1 at the odd label of every written bit
  TBDflags bwmove;                  // 1 at the even label of every written bit
};

// Partitions whose written bits lie close together share one backward
// image: each member's relation, with the bits only others write held equal
// to their new values, joins one disjunction (canonical nodes only).
struct tsyscluster {
  tbd rel = TBDnull;                // disjunction of the members' relations (root)
  TBDflags quant;                   // odd labels of the bits any member writes
  TBDflags move;                    // their even labels
};

struct cexstore;                    // counterexample store (symbolic engine)

// Transition system record.
struct tsys {
  std::vector<std::string> curnames;    // current name of bit k at [k-1], k in [1,n]
  std::vector<std::string> nextnames;   // next name of bit k at [k-1]
  std::vector<int> looklabels;          // label of looknames[i], sorted by name
  std::vector<std::string> looknames;   // every current and next name [0,2n)
  int n = 0;                            // state bits
  tbd init = TBDnull;                   // initial condition (root)
  std::vector<tbd> fairness;            // fairness sets (roots), may be empty
  int pcount = 0;                       // number of transitions
  std::vector<tsyspart> parts;          // partitions in program order [0,pcount)
  tree *vlist = nullptr;                // variable list of the Boolean program
  int fwmode = -1;                      // 0 relational, else functional forward images; -1 undecided
  cexstore *cex = nullptr;              // counterexample store, or null
  std::vector<tsyscluster> clusters;    // backward image clusters, made on first use
  std::vector<size_t> unclustered;      // partitions imaged on their own
  bool clustered = false;               // clusters made
};

extern tsys *ggt;                   // current transition system
extern int DMCprocedurewait;        // set: forward images stop at procedure partitions
extern int TBDbwsteps;              // backward images computed so far

// Hooks set by the driver. TBDpc2tbdhook gives the states after a procedure
// call, TBDpc2tbdbwhook the states before it from which the call can end in
// the given ones (both over odd labels); null means the model has no
// procedures. TBDprogresshook prints one progress line (kind 1 "bound", kind
// 0 separator); null prints nothing.
extern tbd (*TBDpc2tbdhook)(tsys *t, tree *call, tbd states);
extern tbd (*TBDpc2tbdbwhook)(tsys *t, tree *call, tbd after);
extern void (*TBDprogresshook)(int kind, int bound);

tbd TBDrp(tbd f, tbd g, int a, int b);
// exists over the labels flagged in q of f AND g (q nonzero at labels > qmax
// never); and the quantification alone.
tbd TBDrpq(tbd f, tbd g, const TBDflags &q);
tbd TBDexq(tbd f, const TBDflags &q);
// Backward image as TBDbw computes it, relation by relation (kept for the
// deadlock check, whose set becomes a counterexample target).
tbd TBDbwrel(tbd s);
tbd TBDrn(tbd f);
tbd TBDsprn(tbd f, const TBDflags &flags);
tbd TBDasrn(tbd f, const TBDflags &flags);
tbd TBDfw(tbd s);
tbd TBDbw(tbd s);
extern int TBDclusterbits;          // most written bits per image cluster (0: none)
extern int TBDclusternodes;         // most nodes of a cluster's relation
// Every state reachable from s, by chained images (no procedure partitions;
// the number of steps is not that of a breadth-first search); TBDnull as soon
// as a state of `stop` is reached.
tbd TBDfwchain(tbd s, tbd stop = TBDomg);
tbd TBDfwSelectOne(tbd s, tbd target, int *index);
tbd TBDbwSelectOne(tbd s, tbd target, int *index);

// Not on the verification path.
tbd TBDsp(tbd s, tbd r, const TBDflags &flags);
tbd TBDbwone(tbd s, tbd r);
