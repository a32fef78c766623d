// Fuzz target of the C translator: any text becomes a model or a message,
// never both; the assertion-file reader takes the same text.
#include <cstdlib>

#include "c2v/c2v.h"
#include "fuzzrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text((const char *)data, size);
  FUZZrun([&] {
    C2Vreadsp(text);
    c2vout o = C2Vtranslate(text, {}, "");
    if (o.error.empty() == o.lum.empty()) std::abort();
  });
  C2Vmap = c2vmap{};
  return 0;
}
