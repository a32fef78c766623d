// Helpers of the encoder tests: evaluation of encoded formulas and bit lists
// under an assignment of the numbered variables.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "tree/tree.h"

// Elements of a ";" list, most significant first.
inline std::vector<const tree *> BTbits(const tree *l) {
  std::vector<const tree *> v;
  for (; l && l->text[0] == ';' && !l->text[1]; l = l->right) v.push_back(l->left);
  if (l) v.push_back(l);
  return v;
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

// Bit-parallel evaluation of shared formulas: 64 assignments per run, each
// distinct node once.
struct BTsim {
  std::vector<const tree *> nodes;  // operands before their operators
  std::unordered_map<const tree *, size_t> at;
  explicit BTsim(const std::vector<const tree *> &roots) {
    std::vector<std::pair<const tree *, bool>> work;
    for (const tree *r : roots) work.push_back({r, false});
    while (!work.empty()) {
      auto [t, post] = work.back();
      work.pop_back();
      if (!t || (at.count(t) && !post)) continue;
      if (post) {
        if (!at.count(t)) {
          at[t] = nodes.size();
          nodes.push_back(t);
        }
        continue;
      }
      work.push_back({t, true});
      work.push_back({t->right, false});
      work.push_back({t->left, false});
    }
  }
  // lanes[v]: the values of variable v in the 64 assignments.
  std::vector<uint64_t> run(const std::vector<uint64_t> &lanes) const {
    std::vector<uint64_t> val(nodes.size());
    for (size_t i = 0; i < nodes.size(); i++) {
      const tree *t = nodes[i];
      const std::string s = t->text;
      auto of = [&](const tree *c) { return val[at.at(c)]; };
      if (s == "^") val[i] = ~0ull;
      else if (s == "_") val[i] = 0;
      else if (s == "&" && t->left && t->right) val[i] = of(t->left) & of(t->right);
      else if (s == "|" && t->left && t->right) val[i] = of(t->left) | of(t->right);
      else if (s == "!" && !t->left && t->right) val[i] = ~of(t->right);
      else if (s == ";") val[i] = 0;
      else if (!t->left && !t->right && std::isdigit((unsigned char)s[0]) &&
               (size_t)std::atoi(s.c_str()) < lanes.size())
        val[i] = lanes[(size_t)std::atoi(s.c_str())];
      else {
        ADD_FAILURE() << "not an encoded formula at node '" << s << "'";
        val[i] = 0;
      }
    }
    return val;
  }
  uint64_t lane(const std::vector<uint64_t> &val, const tree *t) const { return val[at.at(t)]; }
};

// A store for one test, released at the end of the scope.
struct BTstore {
  BOOLstore *s = BOOLstorenew();
  ~BTstore() { BOOLstorefree(s); }
  // The shared form of an ordinary tree, which is released.
  tree *take(tree *t) {
    tree *r = BOOLintern(s, t);
    treefree(t);
    return r;
  }
};

// asg[v] is the value of variable v; a formula outside !, &, | over number
// leaves and constants is a failure (it is not an encoded formula).
inline bool BTeval(const tree *t, const std::vector<int> &asg) {
  if (!t) {
    ADD_FAILURE() << "empty formula";
    return false;
  }
  BTsim sim({t});
  std::vector<uint64_t> lanes(asg.begin(), asg.end());
  return sim.lane(sim.run(lanes), t) & 1;
}

inline unsigned long long BTvalue(const tree *l, const std::vector<int> &asg) {
  unsigned long long x = 0;
  for (const tree *b : BTbits(l)) x = 2 * x + (BTeval(b, asg) ? 1 : 0);
  return x;
}

// Every "!" stands over a number leaf.
inline bool BTisnnf(const tree *t) {
  for (const tree *n : BTsim({t}).nodes)
    if (n->text[0] == '!' && !n->text[1] &&
        (n->left || !n->right || n->right->left || n->right->right ||
         !std::isdigit((unsigned char)n->right->text[0])))
      return false;
  return true;
}
