// Fuzz target of the DIMACS reader: any text is read or refused with a tag;
// a model read back from its own DIMACS text is the same model, and its
// normal form passes the normal-form check.  A small model (at most 12
// variables) is also solved: the answer must be the one all assignments
// give, and a model found must satisfy the text as read.
#include <cstdlib>

#include "fuzzrun.h"
#include "sat/cnf.h"
#include "sat/satis.h"

static bool anyassignment(const CNFmodel &m) {
  std::vector<int8_t> v((size_t)m.nv + 1, 0);
  for (uint32_t a = 0; a < (1u << m.nv); a++) {
    for (int32_t i = 1; i <= m.nv; i++) v[(size_t)i] = (int8_t)((a >> (i - 1)) & 1);
    if (CNFsatisfied(m, v)) return true;
  }
  return false;
}

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
    if (m.nv < 0 || m.nv > 12 || m.lits.size() > 512) return;
    CNFmodel work = m;
    std::vector<int8_t> model;
    int r = SATsolve(work, SATlimits{}, &model);
    if (r != (anyassignment(m) ? SATSAT : SATUNSAT)) std::abort();
    if (r == SATSAT && !CNFsatisfied(m, model)) std::abort();
  });
  return 0;
}
