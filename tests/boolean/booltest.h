// Helpers of the encoder tests: evaluation of encoded formulas and bit lists
// under an assignment of the numbered variables.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tree/tree.h"

// asg[v] is the value of variable v; a formula outside !, &, | over number
// leaves and constants is a failure (it is not an encoded formula).
inline bool BTeval(const tree *t, const std::vector<int> &asg) {
  if (!t) {
    ADD_FAILURE() << "empty formula";
    return false;
  }
  const std::string s = t->text;
  if (s == "^") return true;
  if (s == "_") return false;
  if (s == "&") return BTeval(t->left, asg) && BTeval(t->right, asg);
  if (s == "|") return BTeval(t->left, asg) || BTeval(t->right, asg);
  if (s == "!" && !t->left) return !BTeval(t->right, asg);
  if (!t->left && !t->right && !s.empty() && std::isdigit((unsigned char)s[0])) {
    size_t v = (size_t)std::atoi(s.c_str());
    if (v < asg.size()) return asg[v] != 0;
  }
  ADD_FAILURE() << "not an encoded formula at node '" << s << "'";
  return false;
}

// Elements of a ";" list, most significant first.
inline std::vector<const tree *> BTbits(const tree *l) {
  std::vector<const tree *> v;
  for (; l && l->text[0] == ';' && !l->text[1]; l = l->right) v.push_back(l->left);
  if (l) v.push_back(l);
  return v;
}

inline unsigned long long BTvalue(const tree *l, const std::vector<int> &asg) {
  unsigned long long x = 0;
  for (const tree *b : BTbits(l)) x = 2 * x + (BTeval(b, asg) ? 1 : 0);
  return x;
}

// Number of leaves in negation normal form position: every "!" over a number leaf.
inline bool BTisnnf(const tree *t) {
  if (!t) return true;
  if (t->text[0] == '!' && !t->text[1])
    return !t->left && t->right && !t->right->left && !t->right->right &&
           std::isdigit((unsigned char)t->right->text[0]);
  return BTisnnf(t->left) && BTisnnf(t->right);
}

// The bit list of a variable with bits first..first+w-1 (first most significant).
inline tree *BTvar(int first, int w) {
  tree *l = treenum(first + w - 1);
  for (int i = first + w - 2; i >= first; i--) l = treecompose(";", treenum(i), l);
  return l;
}

inline std::string BTtext(const tree *t) {
  std::string s;
  treewrites(t, s, 0);
  return s;
}
