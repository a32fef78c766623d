// Shorthands for the tree tests.
#pragma once

#include <string>

#include "tree/tree.h"

inline tree *P(const std::string &text) { return string2tree(text); }

inline std::string W(const tree *t) {
  std::string s;
  treewrites(t, s, 0);
  return s;
}
