// Fuzz target of the DIMACS reader: any text is read or refused with a tag;
// a model read back from its own DIMACS text is the same model, and its
// normal form passes the normal-form check.
#include <cstdlib>

#include "fuzzrun.h"
#include "sat/cnf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string_view text((const char *)data, size);
  FUZZrun([&] {
    CNFmodel m, back;
    std::string tag;
    if (!CNFparse(text, m, tag)) {
      if (tag != "DIMACS header" && tag != "DIMACS literal" && tag != "DIMACS clause") std::abort();
      return;
    }
    char *buf = nullptr;
    size_t len = 0;
    FILE *f = open_memstream(&buf, &len);
    cnfmodelwrite(m, f);
    std::fclose(f);
    std::string out(buf, len);
    std::free(buf);
    if (!CNFparse(out, back, tag) || back.nv != m.nv || back.nc != m.nc || back.lits != m.lits)
      std::abort();
    CNFnormalise(back);
    if (!CNFnormalised(back)) std::abort();
  });
  return 0;
}
