// Invariant checks of the checked build (-DLUMET_CHECKED=ON, also part of the
// sanitizer build): LUM_CHECK(cond) reports the failed condition with its
// place on standard error and aborts.  In other builds the condition is not
// evaluated, so it must have no effect the program relies on.
#pragma once

[[noreturn]] void lumcheckfail(const char *cond, const char *file, int line);

#ifdef LUMET_CHECKED
#define LUM_CHECK(cond) ((cond) ? (void)0 : lumcheckfail(#cond, __FILE__, __LINE__))
#else
#define LUM_CHECK(cond) ((void)sizeof(!(cond)))
#endif
