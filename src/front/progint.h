// Helpers shared by the front end's files; not part of its interface.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "front/f2p.h"

// Input larger than this is refused rather than exhausting memory.
constexpr long long PROG_MAXELEMS = 1000000;     // array elements, channel slots, loop copies
constexpr long long PROG_MAXNODES = 20000000;    // nodes made by one loop expansion

inline bool PROGis(const tree *t, char c) { return t && t->text[0] == c && t->text[1] == 0; }
inline bool PROGisleaf(const tree *t) { return t && !t->left && !t->right; }
inline bool PROGlower(char c) { return c >= 'a' && c <= 'z'; }
inline bool PROGdigit(char c) { return c >= '0' && c <= '9'; }
inline bool PROGalnum(char c) {
  return PROGlower(c) || PROGdigit(c) || (c >= 'A' && c <= 'Z');
}

// New node; a text beyond 63 characters ends the run with "tag error".
tree *PROGmk(const std::string &text, tree *l, tree *r, const char *tag);
inline tree *PROGleaf(const std::string &text, const char *tag) {
  return PROGmk(text, nullptr, nullptr, tag);
}
// The elements of a ";" list (or any chain of the operator op) in order.
std::vector<tree *> PROGelems(tree *list, char op = ';');
// As PROGelems, and the chain's cells are freed (the elements survive).
std::vector<tree *> PROGunlist(tree *list, char op = ';');
// The slots holding the elements of a ";" list (to replace elements).
std::vector<tree **> PROGslots(tree *&list);
// A right-nested chain of op over the given elements (taken); null when none.
tree *PROGvec2list(const std::vector<tree *> &v, char op = ';');
// The left-nested conjunction a & b, or the one that exists.
tree *PROGand(tree *a, tree *b);
// The atoms of an action: operands of its "&" and "|" chains, left to right.
void PROGatoms(tree *a, std::vector<tree *> &out);

// Lookup key of a name: up to and including its first '[', else the name.
std::string PROGkey(const char *name);
// Declaration table of a variable list: key -> declaration node.
std::unordered_map<std::string, tree *> PROGdecls(tree *vars);
// Marks every lower-case leaf of t with "V" (declared) or "C" (not declared).
void PROGmarkvc(tree *&t, const std::unordered_map<std::string, tree *> &decls);

// Pre-order visit of every slot of the tree without recursion: f(tree *&slot)
// may replace *slot and returns whether to descend into the node it leaves.
template <class F>
void PROGwalk(tree *&root, F f) {
  std::vector<tree **> st{&root};
  while (!st.empty()) {
    tree **s = st.back();
    st.pop_back();
    if (!*s || !f(*s)) continue;
    tree *n = *s;
    if (!n) continue;
    if (n->right) st.push_back(&n->right);
    if (n->left) st.push_back(&n->left);
  }
}

// Index expression text of an indexed name: between the first '[' and the
// last ']'; false when a bracket is missing.
bool PROGindex(const char *name, std::string &out);
// Upper bound of a declared type text (ranges and iN), as ran() reads it.
long long PROGhi(const char *type);
long long PROGlo(const char *type);
// The flattening steps of f2p1 on one program tree.
void F2Pflatten(tree *prog);
// Per-transition parts of the flattening steps.
void PROGaddeqone(tree *t, tree *vars);      // complete one action, no log
void PROGaddnextone(tree *&action);
void PROGreplacestar(tree *prog);            // free choice only

// Logs to lmtlog when it is open.
void PROGlog(const char *fmt, const char *s);
