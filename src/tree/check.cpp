// Failure report of the checked build's invariant checks.
#include "tree/check.h"

#include <cstdio>
#include <cstdlib>

void lumcheckfail(const char *cond, const char *file, int line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s:%i: check failed: %s\n", file, line, cond);
  std::fflush(stderr);
  std::abort();
}
