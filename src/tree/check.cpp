// Failure report of the checked build's invariant checks; the fuzz build's
// ownership records.
#include "tree/check.h"

#include <cstdio>
#include <cstdlib>
#ifdef LUMET_FUZZ
#include <unordered_map>
#endif

void lumcheckfail(const char *cond, const char *file, int line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s:%i: check failed: %s\n", file, line, cond);
  std::fflush(stderr);
  std::abort();
}

#ifdef LUMET_FUZZ
static std::unordered_map<void *, void (*)(void *)> &UTILowned() {
  static auto *m = new std::unordered_map<void *, void (*)(void *)>();
  return *m;
}

void utilown(void *p, void (*release)(void *)) {
  if (p) UTILowned()[p] = release;
}

void utildisown(void *p) {
  if (p) UTILowned().erase(p);
}

size_t utilreleaseall() {
  std::unordered_map<void *, void (*)(void *)> all;
  all.swap(UTILowned());
  for (auto &e : all) e.second(e.first);
  return all.size();
}
#endif
