// Boolean algebra on TBDs: the normalising constructor, negation, literals,
// conjunction, restriction, quantification, emptiness, substitution, one
// satisfying cube, positive form and functional decomposition.
//
// The representation is not canonical: pointer equality is a sufficient test
// of equivalence only. Semantic tests go through TBDmp / TBDiterativeabs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "tbd/tbdmm.h"

// Substitution map: slot +v replaces x_v, slot -v replaces NOT x_v, slot 0
// holds the relation it was computed from. The id keys the computed table, so
// a map must not change after it has been used.
struct TBDmap {
  uint32_t id;                      // unique per map, never reused
  int n;                            // state bits; slots run over [-2n, 2n]
  std::vector<tbd> slot;            // TBD per literal, index v + 2n; TBDnull = keep x_v
  tbd &at(int v) { return slot[(size_t)(v + 2 * n)]; }
  tbd get(int v) const { return slot[(size_t)(v + 2 * n)]; }
};
std::unique_ptr<TBDmap> TBDmapnew(int n);
uint32_t TBDnewid();                // fresh id for maps and flag arrays

tbd TBDnewnode(int32_t label, tbd lo, tbd hi, tbd rest);
// Canonical mode: every node made is a reduced ordered BDD node with a
// complement bit (rest true, lo regular), so equal sets are equal handles
// and negation is a bit flip. Set before the first node is made.
extern bool TBDcanon;
tbd TBDng(tbd f);
tbd TBDap(int l);
int TBDcase(int32_t a, int32_t b);
tbd TBDcn(tbd f, tbd g);
tbd TBDds(tbd f, tbd g);
tbd TBDrestrict(tbd f, int l);
tbd TBDbs(int v, tbd f);            // forall x_v. f
tbd TBDxb(int v, tbd f);            // exists x_v. f
tbd TBDiterativeabs(tbd f);
tbd TBDvalid(tbd f);                // TBDtau / TBDomg by cofactors, TBDnull past its node budget
extern int TBDvalidfactor;          // TBDvalid may make this many nodes per node of f (plus 256)
int TBDmp(tbd f);
int TBDmaxlabel(tbd f);
tbd TBDiterativeabseven(tbd f, int p);
tbd TBDone(tbd f);
std::vector<int> TBDwriteOne(tbd cube, int n);
tbd TBDreplace(tbd f, const TBDmap &map);
tbd TBDpos(tbd f);
std::unique_ptr<TBDmap> TBDgeq(tbd r, int n);
int TSTiseq(tbd f, tbd g);
int TSTisassigneq(tbd r, const TBDmap &map, int n);

// Not on the verification path.
int iTBDeq(tbd f, tbd g);
tbd TBDbdd(tbd f);                  // canonical reduced BDD of f (every rest true)
int islit(tbd f);                   // signed variable of a literal node, else 0

// The TBD log "logtbd.tmp", opened for writing on first use.
FILE *TBDlog();
