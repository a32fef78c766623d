// Invariant checks of the checked build (-DLUMET_CHECKED=ON, also part of the
// sanitizer build): LUM_CHECK(cond) reports the failed condition with its
// place on standard error and aborts.  In other builds the condition is not
// evaluated, so it must have no effect the program relies on.
//
// Ownership records of the fuzz build (-DLUMET_FUZZ=ON): LUM_OWN(p) registers
// a heap object a run allocates (p is a typed pointer made by new),
// LUM_DISOWN(p) drops it before it is deleted.  After each input the harness
// releases whatever is still registered, including what an input that ended
// early (utilexithook) left unreachable.  Both are empty in other builds.
#pragma once

#include <cstddef>

[[noreturn]] void lumcheckfail(const char *cond, const char *file, int line);

#ifdef LUMET_CHECKED
#define LUM_CHECK(cond) ((cond) ? (void)0 : lumcheckfail(#cond, __FILE__, __LINE__))
#else
#define LUM_CHECK(cond) ((void)sizeof(!(cond)))
#endif

#ifdef LUMET_FUZZ
void utilown(void *p, void (*release)(void *));
void utildisown(void *p);
size_t utilreleaseall();   // releases every registered object; returns how many
#define LUM_OWN(p) utilown(p, [](void *lumowned) { delete static_cast<decltype(p)>(lumowned); })
#define LUM_DISOWN(p) utildisown(p)
#else
#define LUM_OWN(p) ((void)0)
#define LUM_DISOWN(p) ((void)0)
#endif
