// Fuzz target of the compact-text parser and printers: any text parses or
// ends with "Syntax error" (unwound here); a parsed tree prints and copies,
// and its parenthesised form parses again.  (That form reads back as the same
// tree for the texts models produce, see the parser tests; a leaf made of a
// lone ',' does not.)
#include <cstdlib>
#include <string>

#include "fuzzrun.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text((const char *)data, size);
  FUZZrun([&] {
    tree *t = string2tree(text);
    std::string s, p;
    treewrites(t, s, 0);
    treewritep(t, p, 0, 0);
    tree *c = treecopy(t);
    if (treediff(t, c) != 0 || treesize(t) != treesize(c)) std::abort();
    string2tree(p);
  });
  return 0;
}
