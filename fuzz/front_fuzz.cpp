// Fuzz target of the model front end: text through preprocessing, module
// parsing, flattening and the Boolean encoding, as the driver runs them.
#include "boolean/p2bp.h"
#include "front/f2p.h"
#include "front/prep.h"
#include "fuzzrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static FUZZfile model("fuzz.lum");
  const char *path = model.write(data, size);
  Xlog = 1;  // the front end's notes are not checked: no log file per input
  FUZZrun([path] {
    repinit();
    char name[16] = {0};
    ggbrec *g = f2p0(path, 1, name, nullptr, 0);
    f2p1(g->program);
    f2p1INFO(g);
    g->bprogram = p2bp(g->program);
  });
  ggb = nullptr;
  return 0;
}
