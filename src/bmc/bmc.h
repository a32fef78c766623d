// Bounded model checking driver: route selection, the bound loop over both
// directions, internal and external solvers, dump mode and counterexamples.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bmc/bp2s.h"
#include "prog/prg.h"
#include "sat/cnf.h"
#include "tree/tree.h"

// Verdicts: 1 true, -1 false, 0 unknown.
constexpr int BMC_TRUE = 1;
constexpr int BMC_FALSE = -1;
constexpr int BMC_UNKNOWN = 0;

// Progress line of one finished problem (direction, bound); the driver sets
// it to its reportprogress. Null prints nothing.
extern void (*BMCprogresshook)(int kind, int bound);
// Called where a refutation has no trace of the route's own; true when it
// wrote one (and said so). Null: the route says that no trace is available.
extern bool (*BMCtracehook)();

// Entry point: verdict 1 true, -1 false, 0 unknown. Reads
// and updates op0.engine (mode 8 becomes 1 or 2) and op0.bound (the bound
// reached). property: negation normal form over bits 1..V; program:
// "#"(vars, "#"(init, "#"(transition relation, "#"(fairness, properties)))).
// Nothing handed in is modified or freed.
int bmc(tree *property, tree *program, tree *fairness, tree *constraints, int nbits);
// The SAT route.
int satbmc(tree *property, tree *program, tree *fairness, tree *constraints, int nbits);
// The QBF route; constraints (the range constraints, may be null) only
// narrow the search for dead ends.
int qbfbmc(tree *property, tree *program, tree *fairness, int nbits, tree *constraints = nullptr);

// What a counterexample needs from the model: the Boolean program (variable
// list and transitions, for the values and the transition numbers) and the
// model path (the file is "<model without extension>.cex"). Without it no
// counterexample file is written.
void BMCsetcex(const prg *bprog, const std::string &model);
const prg *BMCcexprogram();   // as given to BMCsetcex, or null
const std::string &BMCcexmodelname();

// One CNF problem: verdict in the direction (1: unsatisfiable gives 1; 0:
// satisfiable gives -1), else 0. solvername null or beginning with '_' is
// the internal solver. On a satisfiable answer *model (when given) receives
// the assignment ([v] for v in [1,nv]; empty when the solver gave none).
int SOLVEapply(const char *solvername, CNFmodel &cnf, int direction, std::vector<int8_t> *model);

// Why the last SOLVEapply gave no answer: 0 it answered, BMC_FAILED the
// external solver gave no answer in either form (reported once),
// BMC_LIMIT the time limit or memory ended the search.
constexpr int BMC_FAILED = 1;
constexpr int BMC_LIMIT = 2;
extern int SOLVEstop;

// Runs the solver on the problem already in "logpbs.tmp" as
// "NAME logpbs.tmp logsat.cex > logsat.tmp" (or, once a solver has refused
// that, with the problem file only), ended at the time limit. 10 or 20 from
// the exit status or the "s" line of its output (left in out), -1 when the
// time limit struck, 0 when it gave no answer in either form ("ERROR:
// solver %s failed (status %i)" once per solver).
int BMCexternalrun(const char *name, std::string &out);
// The time limit of -T: the first moment past it (0: none), and whether it has passed.
time_t BMCdeadline();
bool BMCtimeup();
// Dump-mode file name of a problem: ".lumet_%i.%3i" with blanks as '0'; the
// CNF beside a QBF has the blanks as 'a' or 'e' (".lumet_1.aa7"), or that
// letter in front of a bound of three digits (".lumet_1.a123").
std::string BMCdumpname(int direction, int k, char blank = '0');

// External solver program: a name with '/' or a readable file is used as it
// is (a file in the working directory as ./name), any other name is looked up
// on PATH. Empty when not found.
std::string BMCsolverpath(const char *name);

// ---- counterexamples of the refutation direction

// One execution: states[j] holds the bits of state j ([b-1] > 0: bit b is 1),
// labels[j] the transition (from 1) from state j to j+1; with loop >= 0 the
// last state steps back to state loop, by labels.back().
struct BMCtrace {
  std::vector<std::vector<int>> states;
  std::vector<int> labels;
  int loop = -1;
};
// The execution a model of a refutation problem describes: the initial path,
// following branches into the paths of existential subformulas, ending with
// the end of the last path or around one of its loops. Of these, the first
// that violates the property by itself (read as a formula of that one path);
// a counterexample that needs several branches gives the first execution.
BMCtrace BMCdecode(const BMCproblem &p, const std::vector<int8_t> &model, const prg &bprog,
                   const tree *property);
// The property (negation normal form) is false on the trace read as one
// path: quantifiers range over this path; without a loop everything holds
// after the last state, so the trace violates it however it goes on.
bool BMCviolates(const tree *property, const std::vector<std::vector<int>> &states, int loop);
// Transition number (from 1, in process and transition order) leading from
// state x to state y, 0 when none does.
int BMCtransition(const prg &bprog, const std::vector<int> &x, const std::vector<int> &y);
// Writes the trace in the format of the decision-diagram engine; a loop adds
// "--- TRANS t ---" and "--- LOOP l ---" after the last state.
void BMCwritecex(const BMCtrace &t, tree *vlist, int V, const std::string &model);

// ---- the QBF route

struct qmd;
struct qmdata;
// One QBF problem: verdict in the direction (true gives 1 in direction 1,
// -1 in direction 0), else 0; SOLVEstop says why when there was no answer.
// An external solver reads QDIMACS ("logpbs.tmp"); the tree is freed.
int SOLVEapplyq(const char *solvername, qmd *root, qmdata &qd, int direction);
// The matrix as DIMACS CNF (auxiliaries after the QBF's variables): for a
// QBF with existential blocks only, satisfiable exactly when it is true.
void qmdwritecnf(const qmd *root, const qmdata &d, FILE *out);
