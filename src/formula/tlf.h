// Temporal and Boolean formula library: negation by duality, negation normal
// form, local simplification, literal propagation, clause normal forms and the
// classifiers that pick a bounded-checking encoding.
#pragma once

#include "tree/tree.h"

// Bits of the formula-type mask (TLFnnftype).
constexpr int TLF_HASA = 1;        // contains A
constexpr int TLF_HASE = 2;        // contains E
constexpr int TLF_HASF = 4;        // contains F
constexpr int TLF_HASG = 8;        // contains G
constexpr int TLF_HASR = 16;       // contains R
constexpr int TLF_HASU = 32;       // contains U
constexpr int TLF_HASX = 64;       // contains X
constexpr int TLF_NESTED = 128;    // one of the above stands above an occurrence of itself

// Negation pushed through the dual operators; takes f. Unknown operator: fatal
// "undefined operator 0".
tree *TLFnegate(tree *f);

// Negation normal form; takes f. Unknown operators are logged and left as they are.
tree *TLFnnf(tree *f);

// One-level simplification of n with its operands, in place; returns n (empty
// stays empty). Usable as a treedopost visitor.
tree *TLFnnfsimp(tree *n);

// Folds an arithmetic operator or comparison over two number leaves, in place.
tree *TLFnnfsimpATF(tree *n);

// Literal propagation through the propositional parts; takes f.
tree *TLFred(tree *f);

// 1 when f is built from '!', '&', '|' over number leaves (empty counts).
int TLFisprop(const tree *f);

// Conjunctive normal form of a formula in negation normal form; takes f. Clauses
// are '|' chains sorted by variable, no clause subsumes another. Fatal "TLFcnf"
// for an operator other than '&', '|', a literal or a constant.
tree *TLFcnf(tree *f);

// Disjunctive normal form: the negation of the CNF of the negation; takes f.
tree *TLFdnf(tree *f);

// A disjunction of two literal conjunctions becomes clauses, in place. Returns 1
// when it rewrote n (or n is empty), else 0: a treedoprevoid visitor.
int TLFlcnf(tree *n);

// The formula-type mask (TLF_HAS* bits and TLF_NESTED).
int TLFnnftype(const tree *f);

// Extended CTL: every temporal operator directly under a path quantifier and every
// quantifier directly over one temporal operator (F G and G F count as one).
bool TLFisCTLx(const tree *f);

// Nesting depth of a formula (a leaf is 1), counted without recursion.  The
// checking engines walk formulas recursively: the driver refuses a property
// deeper than TLF_MAXDEPTH before they start.
constexpr int TLF_MAXDEPTH = 10000;
int TLFdepth(const tree *f);
