// Fixpoint checking on the current transition system `ggt`: temporal
// formulas to state sets by backward fixpoints (with fairness), invariants by
// forward reachability, deadlock-freeness and totalness.
#pragma once

#include "tbd/tbdbw.h"
#include "tree/tree.h"

// Built-in properties (dmcDFTT kinds).
constexpr int DMC_DEADLOCKFREE = 1;
constexpr int DMC_TOTAL = 2;

// 1 if the property holds in every initial state, 0 if not. `code` is the
// algorithm code of the command line (-1 default, 11 forward): units digit =
// termination test period, tens = error test mode, hundreds = collection mode.
int dmc(tree *formula, int code);
// 1 if the built-in property holds, 0 if not; kinds other than 1 and 2 are
// fatal ("dmcDFTT"). A reachable deadlock leaves a counterexample store.
int dmcDFTT(int kind);
// 0: the deadlock check finds its reachable set breadth-first only (tests).
extern int DMCchaining;

// States satisfying a state formula / E of a path formula; kept as roots.
// A formula outside the fragment (A F G p, E p, A(F p | G q)) is fatal ("m2prop").
tbd m2prop(tree *f);
tbd m2prope(tree *p);
// EG f, under the fairness conditions of ggt when it has any.
tbd DMCeg(tbd f);
// Fair EG over fairness conditions [first,last).
tbd DMCegik(tbd f, int first, int last);
// States from which a fair path starts (true without fairness conditions).
tbd DMCfair();
// 1 if every state of `init` reaches `goal`, else 0.
int optDMCef(tbd init, tbd goal);
// 1 if no state of `bad` is reachable from `init`; records the counterexample store.
int DMCmixag(tbd init, tbd bad, int code);
// Reachable set from `init`, or TBDtau as soon as a bad state was met.
tbd TBDrsetckerror(tbd init, tbd bad, int code);
// All states reachable from `init`; procedure transitions postponed.
tbd TBDrset(tbd init);

// Forgets the per-run state (Fair set) bound to the previous transition system.
void DMCreset();
