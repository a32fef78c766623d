// Round counts of the randomised tests: the default run takes the quick
// count, which finds a fault within seconds; LUMET_LONG=1 (bench/longtests.sh)
// takes the long one.
#pragma once

#include <cstdlib>

inline int lumrounds(int quick, int full) {
  const char *l = std::getenv("LUMET_LONG");
  return l && *l && *l != '0' ? full : quick;
}
