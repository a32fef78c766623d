// Dependency analysis and variable ordering: a variable order read from a
// file, the cone-of-influence reduction for one property, and orders
// computed from the dependencies between variables.  All three work on the
// flattened program record between flattening and Boolean encoding; the
// order of the declaration list is the order of the decision diagrams.
#pragma once

#include <string>
#include <vector>

#include "prog/prg.h"
#include "tree/tree.h"

// Reorders the declaration list of p from the order file: the variables the
// file names come first, in file order, the others follow in their old order.
// Names are read as the user wrote them, against declared, the declaration
// list before arrays were flattened: x, a[1][2] (one element), a (every
// element of a).  A flattened name (a_x_7) is accepted too.  An undeclared
// name prints "warning: unknown variable in order file: %s"; an unreadable
// file prints "ERROR:      %s not found" and keeps the order.  Blank lines,
// CR line ends and repeated names do no harm.
void var_order(prg *p, const char *file, const tree *declared);

// Directed dependencies of the flattened program: dep[x] lists every y with
// D[x][y] + C[x][y] > 0 (y on the right of an assignment to x, or in the
// guard of a transition that assigns x), with that count.  Variables are
// 0-based positions in the declaration list.
struct DEPgraph {
  int n = 0;                                       // number of declared variables
  std::vector<std::string> names;                  // [0,n) declared names
  std::vector<std::vector<std::pair<int, int>>> dep;  // [0,n) (y, D[x][y] + C[x][y]), y ascending
};
DEPgraph DEPcollect(tree *prog);

// k > 0: reduces p to the cone of influence of property k and returns the
// number of variables removed; k = 0: reorders the declaration list by the
// dependencies and returns 0.  The caller decides whether the reduction
// keeps the property's verdict (DEPconerefusal).
int DEPanalysis(prg *p, int k);
// Why the cone of property k may change its verdict, or null when it keeps
// it: the cone is exact for reachability only, so it is applied to state
// formulas built from AG, EF, E[.U.], A[.R.] without fairness, never to the
// built-in checks (dftt != 0), and not to models with procedures, whose
// bodies the analysis does not see.
const char *DEPconerefusal(prg *p, int k, int dftt, bool procedures);

// The cone: positions of the variables that can influence the variables of
// formula (ascending).  An array is one unit, every variable of a transition
// that writes a cone variable joins it, and variables that share a conjunct
// of the initial condition go together.
std::vector<int> DEPcone(tree *prog, const tree *formula);
// Removes every variable outside keep (ascending positions): declarations,
// initial-condition conjuncts over removed variables, and comparisons that
// name one in guards, actions and properties become TRUE; the program is
// then simplified.
void DEPsimp(prg *p, const std::vector<int> &keep);

// Connections: nbr[x] lists every y (x itself included) with w(x,y) > 0,
// where w(x,y) = D[x][y] + C[x][y] + D[y][x] + C[y][x], y ascending.
struct DEPsym {
  std::vector<std::vector<std::pair<int, long long>>> nbr;  // [0,n) (y, w(x,y))
};
DEPsym DEPsymmetric(const DEPgraph &g);
// The automatic order: declaration positions sorted by weight, highest first,
// and refined by their connections to the positions before them.
std::vector<int> DEPorder(const DEPgraph &g);
// Refinement of order (positions; weight[x] per variable) in place: a
// variable moves forward when it is more strongly connected to the placed
// prefix, earlier positions counting more.  The prefix scores are kept
// incrementally, so the pass is quadratic, not cubic, in the variables.
void DEPrefine(const DEPsym &s, std::vector<int> &order, const std::vector<long long> &weight);

// The span order.  Each transition is an edge over the variables it names
// outside x := x, or with written over the variables it assigns (edges of
// fewer than two are left out); the span of an order is the sum over edges
// of (last position - first position).
std::vector<std::vector<int>> DEPspanedges(tree *prog, bool written = false);
// order[i] = variable at position i; every edge names variables of order.
long long DEPspan(const std::vector<std::vector<int>> &edges, const std::vector<int> &order);
// An order (order[i] = declaration position of the variable at i) whose span
// is at most 3/4 of the declaration order's and whose span over the written
// edges is no larger, found by FORCE iterations from the declaration order
// and from DEPorder; empty when none is found, or when one variable is in
// more than half of the edges (a program counter): the declaration order
// stays.  Variables stay whole (array elements are
// variables of their own); the engine places their bits.
std::vector<int> DEPspanorder(tree *prog);
