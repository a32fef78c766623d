// Stand-alone run of the internal solver on a DIMACS file, for comparisons
// with external solvers: prints the answer and the search counters, exits
// 10 (satisfiable) or 20 (unsatisfiable) like them.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "sat/satis.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: sat_solve FILE.cnf [SECONDS]\n");
    return 1;
  }
  SATlimits lim;
  if (argc > 2) lim.deadline = time(nullptr) + atoi(argv[2]);
  CNFmodel m = cnfmodelreadfile(argv[1]);
  CNFmodel orig = m;
  std::vector<int8_t> model;
  int r = SATsolve(m, lim, &model);
  if (r == SATSAT && !CNFsatisfied(orig, model)) {
    printf("WRONG MODEL\n");
    return 1;
  }
  printf("%s conflicts=%llu decisions=%llu propagations=%llu restarts=%llu eqvars=%llu elim=%llu\n",
         r == SATSAT ? "SATISFIABLE" : r == SATUNSAT ? "UNSATISFIABLE" : "UNKNOWN",
         (unsigned long long)SATstat.conflicts, (unsigned long long)SATstat.decisions,
         (unsigned long long)SATstat.propagations, (unsigned long long)SATstat.restarts,
         (unsigned long long)SATstat.eqvars, (unsigned long long)SATstat.elimvars);
  return r == SATSAT ? 10 : r == SATUNSAT ? 20 : 0;
}
