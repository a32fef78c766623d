// Fuzz target of the option decoder: the input is the argument list, one
// argument per line (the last one is the model file, as always).
#include <string>
#include <vector>

#include "fuzzrun.h"
#include "main/param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> args{"lumet"};
  std::string cur;
  for (size_t i = 0; i < size; i++) {
    if (data[i] == '\n') {
      args.push_back(cur);
      cur.clear();
    } else {
      cur += (char)data[i];
    }
  }
  if (!cur.empty()) args.push_back(cur);
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  FUZZrun([&] {
    PARdefaults();
    mainparameters((int)args.size(), argv.data());
  });
  PARdefaults();
  return 0;
}
