// Fuzz target of the QBF text reader: any text is read or refused with a
// reason; a tree read back from its own text writes the same text again, and
// so does its copy.
#include <cstdlib>

#include "fuzzrun.h"
#include "qbf/qbf.h"

static std::string qbftext(const qmd *t, int V) {
  qmdata d;
  d.V = V;
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  qmdwrite(t, d, f);
  std::fclose(f);
  std::string s(buf, len);
  std::free(buf);
  return s;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text((const char *)data, size);
  FUZZrun([&] {
    int V = 0, V2 = 0;
    std::string err;
    qmd *t = qmdread(text, V, err);
    if (!t) {
      if (err.empty()) std::abort();
      return;
    }
    std::string once = qbftext(t, V);
    qmd *back = qmdread(once, V2, err);
    if (!back || V2 != V || qbftext(back, V) != once) std::abort();
    qmd *c = qmdcopy(t);
    if (qbftext(c, V) != once || qmdclauses(c) != qmdclauses(t) || qmdlen(c) != qmdlen(t)) std::abort();
    freeqmdata(c);
    freeqmdata(back);
    freeqmdata(t);
  });
  return 0;
}
