// Literal propagation (TLFred).
//
// The propagation step on a conjunction takes the first literal l of its '&'
// chain, replaces l by TRUE and !l by FALSE everywhere below, repeats on the
// result and finally conjoins l again; disjunctions do the same with l taken
// as FALSE. Done literally this rescans the subtree once per literal, which is
// quadratic on long chains. Here one top-down walk carries the assignments
// made by the chains above (a scope with undo), so each node is touched a
// constant number of times, and the result is the same tree: the literals of a
// chain are taken in pre-order, the first occurrence of each variable wins,
// and the chain is wrapped as ((chain op l_k) ... op l_1).
#include <vector>

#include "formula/tlfint.h"

namespace {

constexpr signed char TLF_UNSET = -1;      // variable not assigned by an enclosing chain

enum TLFredkind : char {
  RED_STEP,                                // propagation step, with substitution
  RED_SUBST,                               // substitution of the scope only
  RED_UNDO,                                // leave the scope of a chain
};

struct TLFredjob {
  tree **slot;                             // where the subtree hangs
  TLFredkind kind;                         // what to do there
  int count;                               // RED_UNDO: variables to unassign
};

struct TLFredstate {
  TLFvarmap ids;                             // variable text -> id
  std::vector<signed char> value;            // value per id [0,ids), TLF_UNSET when free
  std::vector<int> assigned;                 // undo stack of assigned ids
  std::vector<TLFredjob> work;               // pending jobs
  std::vector<tree **> operands;             // scratch: operand slots of one chain
  std::vector<tree *> lits;                  // scratch: literals taken from one chain
  std::vector<tree **> chain;                // scratch: chain walk
};

int TLFvarid(TLFredstate &s, const tree *lit) {
  int *id = TLFvarfind(s.ids, TLFlitvar(lit)->text, true);
  if (*id < 0) {
    *id = int(s.value.size());
    s.value.push_back(TLF_UNSET);
  }
  return *id;
}

// Collects the chain of operator c below n: operand slots in left-to-right order
// and the literals whose variables are still free, which it assigns.
void TLFredchain(TLFredstate &s, tree *n, char c) {
  s.operands.clear();
  s.lits.clear();
  s.chain.clear();
  s.chain.push_back(&n->right);
  s.chain.push_back(&n->left);
  while (!s.chain.empty()) {
    tree **slot = s.chain.back();
    s.chain.pop_back();
    tree *m = *slot;
    if (!m) continue;
    if (m->text[0] == c && (m->left || m->right)) {
      s.chain.push_back(&m->right);
      s.chain.push_back(&m->left);
      continue;
    }
    s.operands.push_back(slot);
    if (!TLFislit(m)) continue;
    int id = TLFvarid(s, m);
    if (s.value[id] != TLF_UNSET) continue;
    bool neg = TLFlitneg(m);
    s.value[id] = c == '&' ? !neg : neg;  // '&': l holds; '|': l fails
    s.assigned.push_back(id);
    s.lits.push_back(TLFnewlit(TLFlitvar(m)->text, neg));
  }
}

void TLFredvisit(TLFredstate &s, TLFredjob j) {
  tree *n = *j.slot;
  if (!n) return;
  if (TLFislit(n)) {
    int id = TLFvarid(s, n);
    if (s.value[id] != TLF_UNSET) TLFsetconst(n, bool(s.value[id]) != TLFlitneg(n));
    return;
  }
  char c = n->text[0];
  if (j.kind == RED_STEP && (c == '&' || c == '|')) {
    TLFredchain(s, n, c);
    s.work.push_back({nullptr, RED_UNDO, int(s.lits.size())});
    for (size_t i = s.operands.size(); i-- > 0;) s.work.push_back({s.operands[i], RED_STEP, 0});
    tree *w = n;
    for (size_t i = s.lits.size(); i-- > 0;) w = treecompose(c == '&' ? "&" : "|", w, s.lits[i]);
    *j.slot = w;
  } else if (c == ';') {
    s.work.push_back({&n->right, j.kind, 0});
    s.work.push_back({&n->left, RED_SUBST, 0});
  } else if (c == '&' || c == '|' || c == '!') {
    s.work.push_back({&n->right, j.kind, 0});
    s.work.push_back({&n->left, j.kind, 0});
  }
}

tree *TLFredstep(TLFredstate &s, tree *f) {
  tree *root = f;
  s.work.push_back({&root, RED_STEP, 0});
  while (!s.work.empty()) {
    TLFredjob j = s.work.back();
    s.work.pop_back();
    if (j.kind != RED_UNDO) {
      TLFredvisit(s, j);
      continue;
    }
    for (int k = 0; k < j.count; k++) {
      s.value[s.assigned.back()] = TLF_UNSET;
      s.assigned.pop_back();
    }
  }
  return root;
}

// TLFnnfsimp on every node, bottom-up.
tree *TLFsimpall(tree *f) {
  struct job { tree **slot; bool post; };
  tree *root = f;
  static std::vector<job> work;            // keeps its capacity between calls
  work.push_back({&root, false});
  while (!work.empty()) {
    job j = work.back();
    work.pop_back();
    tree *n = *j.slot;
    if (!n) continue;
    if (j.post) {
      *j.slot = TLFnnfsimp(n);
      continue;
    }
    work.push_back({j.slot, true});
    work.push_back({&n->right, false});
    work.push_back({&n->left, false});
  }
  return root;
}

// Slots of the maximal propositional subtrees of *root (the root's own slot when
// the whole formula is propositional).
void TLFpropparts(tree **root, std::vector<tree **> &parts) {
  struct job { tree **slot; bool post; };
  static std::vector<job> work;            // keeps its capacity between calls
  static std::vector<char> prop;           // results of finished subtrees
  prop.clear();
  work.push_back({root, false});
  while (!work.empty()) {
    job j = work.back();
    work.pop_back();
    tree *n = *j.slot;
    if (!n) {
      prop.push_back(1);
      continue;
    }
    if (!j.post) {
      work.push_back({j.slot, true});
      work.push_back({&n->right, false});
      work.push_back({&n->left, false});
      continue;
    }
    bool pr = prop.back();
    prop.pop_back();
    bool pl = prop.back();
    prop.pop_back();
    char c = n->text[0];
    bool p = TLFisnum(n) || ((c == '!' || c == '&' || c == '|') && pl && pr);
    if (!p) {
      if (pl && n->left) parts.push_back(&n->left);
      if (pr && n->right) parts.push_back(&n->right);
    }
    prop.push_back(p);
  }
  if (prop.back() && *root) parts.push_back(root);
}

} // namespace

tree *TLFred(tree *f) {
  tree *root = f;
  std::vector<tree **> parts;
  TLFpropparts(&root, parts);
  static TLFredstate s;                    // work stacks keep their capacity between calls
  s.ids = TLFvarmap{};
  s.value.clear();
  for (tree **slot : parts) {
    tree *t = *slot;
    t = TLFsimpall(TLFredstep(s, t));
    t = TLFsimpall(TLFredstep(s, t));
    *slot = t;
  }
  return root;
}
