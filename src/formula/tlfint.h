// Helpers shared by the formula library's files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formula/tlf.h"

// Map from variable texts, looked up with the node text without building a string.
struct TLFtexthash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using TLFtextmap = std::unordered_map<std::string, int, TLFtexthash, std::equal_to<>>;

// Variable texts to numbers. Plain decimal texts (the numbered Boolean
// variables) live in an open-addressed table keyed by their value; other texts
// ("007", "3x") in a string map.
struct TLFvarmap {
  std::vector<uint64_t> key;               // value + 1 per slot, 0 when free
  std::vector<int> val;                    // number stored for the slot's text
  size_t used = 0;                         // occupied slots
  TLFtextmap other;                        // texts that are not plain decimal numbers
};

// The number stored for text; with add, an absent text is entered with the
// number -1 first. Null when absent and not added.
int *TLFvarfind(TLFvarmap &m, const char *text, bool add);

// A number leaf is a numbered Boolean variable or an integer constant.
inline bool TLFisnum(const tree *t) {
  return t && !t->left && !t->right && t->text[0] >= '0' && t->text[0] <= '9';
}

// A literal is a number leaf or the negation of one.
inline bool TLFislit(const tree *t) {
  return TLFisnum(t) || (t && t->text[0] == '!' && TLFisnum(t->right));
}
inline const tree *TLFlitvar(const tree *lit) { return lit->text[0] == '!' ? lit->right : lit; }
inline bool TLFlitneg(const tree *lit) { return lit->text[0] == '!'; }

inline bool TLFistrue(const tree *t) { return t && t->text[0] == '^'; }
inline bool TLFisfalse(const tree *t) { return t && t->text[0] == '_'; }

// Literal comparison of two literals: 1 equal, -1 complementary, 0 unrelated.
int TLFlitcmp(const tree *a, const tree *b);


// n becomes the constant v; its operands are freed.
void TLFsetconst(tree *n, bool v);

// n takes over the text and operands of its child c (which must be n->left or
// n->right); the other operand and c's record are freed.
void TLFtakechild(tree *n, tree *c);

// A new literal node with the given variable text.
tree *TLFnewlit(const char *var, bool neg);
