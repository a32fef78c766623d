// CNF store: the clause record the encoders build and the solvers consume,
// normalisation of single clauses, DIMACS text in both directions, the
// occurrence-indexed clause structure and the internal solver's log
// "logsat.tmp".
#pragma once

#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Clauses one after another in one literal array, each ended by 0. A literal
// is +v or -v with 1 <= v <= nv. A lone 0 is the empty clause, which makes the
// problem unsatisfiable. The literal-array length (terminators included) is
// lits.size(); it always equals the number of literals plus nc.
struct CNFmodel {
  int32_t nv = 0;                   // variable count: highest variable that may occur
  int32_t nc = 0;                   // clause count
  std::vector<int32_t> lits;        // literal array, clauses 0-terminated
};

// Appends one clause (without its terminator in `l`) and raises nv to the
// largest variable it names.
void CNFaddclause(CNFmodel &m, const int32_t *l, int n);
void CNFaddclause(CNFmodel &m, std::initializer_list<int32_t> l);

// DIMACS text: "p cnf %i %i\n", then every integer of the literal array as
// " %i " (nonzero) or " %i\n" (terminator). No comment lines.
void cnfmodelwrite(const CNFmodel &m, FILE *f);

// DIMACS readers. Comment lines ("c ...") may stand anywhere; one header
// "p cnf V C" must come before the first literal; every literal satisfies
// 1 <= |l| <= V; every clause ends with 0; exactly C clauses follow. On bad
// input CNFparse returns false and sets `tag` to the error tag; the other two
// end the run with "<tag> error" ("DIMACS header", "DIMACS literal" or
// "DIMACS clause").
bool CNFparse(std::string_view text, CNFmodel &m, std::string &tag);
CNFmodel cnfmodelread(FILE *f);
CNFmodel cnfmodelreadfile(const char *name);   // unreadable file: "DIMACS file error"

// Evaluation: true when the assignment (value[v] != 0 means v true, index
// [1,nv]) satisfies every clause of m (an empty clause is never satisfied).
bool CNFsatisfied(const CNFmodel &m, const std::vector<int8_t> &value);

// Redundancy in one clause of n literals held in place. A literal occurring
// again later is replaced in its earlier place by the last literal and the
// clause shrinks by one. Returns the number of literals removed: n for a
// tautology (a literal and its complement), 0 when nothing changed.
int remove_red(int32_t *l, int n);
// The same on a 0-terminated list: 1 when it holds no complementary pair
// (duplicates removed, terminator moved), 0 when it does.
int remove_red2(int32_t *l);
// Normalises every clause with remove_red (tautologies disappear, shrunken
// clauses keep their terminator) and compacts the array in place.
void CNFnormalise(CNFmodel &m);
// Whether every clause is free of repeated variables, every literal within
// [-nv,nv] and nc the clause count (checked builds test this).
bool CNFnormalised(const CNFmodel &m);

// Clause structure of the preprocessing: clause starts and lengths, and one
// occurrence list per literal laid out by counting sort, in clause order.
// Literal l's list is occ[ostart[l + nv] .. ostart[l + nv] + ocount[l + nv]).
struct CNFmstruct {
  int32_t nv = 0;                   // variables [1,nv]
  std::vector<int32_t> cstart;      // clause i begins at lits[cstart[i]], [0,nc]; one spare entry
  std::vector<int32_t> clen;        // literals of clause i, [0,nc)
  std::vector<int32_t> occ;         // clause indices, grouped by literal
  std::vector<int32_t> ostart;      // list start of literal l at index l + nv, [0,2nv]
  std::vector<int32_t> ocount;      // list length of literal l at index l + nv, [0,2nv]
};
CNFmstruct model2mstruct(const CNFmodel &m);

// Solver log "logsat.tmp".
constexpr const char *SATLOGNAME = "logsat.tmp";
// Truncates the log (at the start of each internal solver run).
void SATlogopen();
// Appends "%s\n" with the name, then the literals as "%i ", a line break after
// every tenth, then "0\n".
void writelog(const char *name, const int32_t *l, size_t n);
// The same for a 0-terminated list.
void writelog(const char *name, const int32_t *l);

// Model printed by an external solver: competition "v" lines, or MiniSat's
// result file ("SAT" then the literals ending with 0). Fills value[v] (index
// [0,nv]) with 1 for the true variables; variables not mentioned stay false.
// Returns false when the text holds no model.
bool SATreadsolution(std::string_view text, int32_t nv, std::vector<int8_t> &value);
