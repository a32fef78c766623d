// QBF encoding of bounded model checking: every path quantifier of a CTL
// property gets fresh state copies, universal for A and existential for E,
// tied by the transition relation; the temporal operators are unrolled over
// the copies. One root copy of the initial state serves the whole formula.
#pragma once

#include "qbf/qbf.h"
#include "tree/tree.h"

// Problem of bound k in a direction: 1 encodes "every initial state satisfies
// the property", 0 "some initial state satisfies its negation"; either is
// true only if that holds. program is "#"(vars, "#"(init, "#"(transition
// relation over bits 1..2w, ...))); fairness a ';' list of state formulas
// (null or "^": none). d.V is reset and counts the variables allocated.
// flags: BP2Q_HALTING, the relation may have dead ends (BP2Qhalting);
// BP2Q_ONEINIT, there is exactly one initial state (BP2Qoneinit), so the
// root copy takes the kind of the formula's first block.
constexpr int BP2Q_HALTING = 1;
constexpr int BP2Q_ONEINIT = 2;
qmd *bp2q(qmdata &d, const tree *program, const tree *fairness, const tree *property, int w, int k,
          int direction, int flags);

// 1 when the initial condition holds in exactly one state.
bool BP2Qoneinit(const tree *program, int w, time_t deadline);

// 1 when some state has no successor (or the question was not settled by
// the deadline): universal paths may then stop at dead ends. With range
// constraints (varc, may be null) that the initial states and the
// transitions respect, only states within the ranges are asked.
bool BP2Qhalting(const tree *program, int w, time_t deadline, const tree *varc);

// A propositional expression tree ('!', '&', ':', ';' as a conjunction, '|',
// numbers, "^", "_") as a QBF tree over the same variable numbers, the
// constants folded.
qmd *tree2md(const tree *t);
