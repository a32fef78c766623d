// Procedure calls for the decision-diagram engine. A call is atomic: it is
// summarised by one relation per (procedure, call site) between the caller's
// state at the call and at the return, built once and cached. Forward and
// backward images, the built-in checks and the counterexample walk all read
// that relation. A procedure with a GUARANTEE is replaced by its contract
// unless -ag inlines it; -ck NAME checks one procedure against its contract.
#pragma once

#include "front/f2p.h"
#include "symbolic/bp2t.h"
#include "tree/tree.h"

// Who builds a call: the normal run (contracts unless -ag), the body under
// check with its callees by contract, or everything inlined.
enum PROCstate { PROC_RUN, PROC_CALLEES, PROC_INLINE };
extern PROCstate PROCmode;

// Sets the image hooks; t is the model's transition system.
void PROCinit(tsys *t);
// States after the call `call` of a partition of t, from states (odd labels)
// that satisfy its guard.
tbd pc2tbd(tsys *t, tree *call, tbd states);
// States satisfying the call's guard from which the call can return in after.
tbd pc2tbdbw(tsys *t, tree *call, tbd after);
// Number of relations built so far (each (procedure, call site) once).
int PROCbuilt();
// True when some call of the model would be replaced by a contract.
bool PROCcontracts(const modrec *modules);

// Guarantee text: plain names become return values ("V" -> "O"), P(e)
// becomes e (entry values). A ":" whose left operand is not P is fatal
// ("AGrewritevo P"). Rewrites t in place and returns it.
tree *AGrewritevo(tree *t);
// trans & (Ox = Vx) for every declared x whose next value trans leaves open.
tree *AGaddeq(tree *trans, tree *vlist);

// The assume/guarantee check of the harness's procedure on t; prints the
// verdict and ends the run (1 holds, 255 violated, 0 no contract).
[[noreturn]] void PROCagcheck(tsys *t);
