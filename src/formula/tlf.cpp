// Negation, negation normal form, local simplification and the classifiers.
// All walks use explicit stacks: formulas from the encoders are long chains.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "formula/tlfint.h"

int TLFlitcmp(const tree *a, const tree *b) {
  if (strcmp(TLFlitvar(a)->text, TLFlitvar(b)->text) != 0) return 0;
  return TLFlitneg(a) == TLFlitneg(b) ? 1 : -1;
}

// A decimal text without leading zeros and at most 18 digits: the value names
// the text uniquely.
static bool TLFplainnumber(const char *t, uint64_t &v) {
  if (t[0] == '0' && t[1] != '\0') return false;
  v = 0;
  int n = 0;
  for (; t[n]; n++) {
    if (t[n] < '0' || t[n] > '9' || n == 18) return false;
    v = v * 10 + uint64_t(t[n] - '0');
  }
  return n > 0;
}

static size_t TLFvarslot(const TLFvarmap &m, uint64_t k) {
  size_t mask = m.key.size() - 1;
  size_t i = size_t((k * 0x9E3779B97F4A7C15ull) >> 20) & mask;
  while (m.key[i] != 0 && m.key[i] != k) i = (i + 1) & mask;
  return i;
}

int *TLFvarfind(TLFvarmap &m, const char *text, bool add) {
  uint64_t v;
  if (!TLFplainnumber(text, v)) {
    auto it = m.other.find(std::string_view(text));
    if (it != m.other.end()) return &it->second;
    return add ? &m.other.emplace(text, -1).first->second : nullptr;
  }
  uint64_t k = v + 1;
  if (m.key.empty()) {
    m.key.assign(64, 0);
    m.val.assign(64, -1);
  }
  size_t i = TLFvarslot(m, k);
  if (m.key[i] == k) return &m.val[i];
  if (!add) return nullptr;
  if (2 * (m.used + 1) > m.key.size()) {   // keep the table at most half full
    std::vector<uint64_t> oldkey = std::move(m.key);
    std::vector<int> oldval = std::move(m.val);
    m.key.assign(2 * oldkey.size(), 0);
    m.val.assign(2 * oldkey.size(), -1);
    for (size_t j = 0; j < oldkey.size(); j++) {
      if (oldkey[j] == 0) continue;
      size_t s = TLFvarslot(m, oldkey[j]);
      m.key[s] = oldkey[j];
      m.val[s] = oldval[j];
    }
    i = TLFvarslot(m, k);
  }
  m.key[i] = k;
  m.used++;
  return &m.val[i];
}

void TLFsetconst(tree *n, bool v) {
  treefree(n->left);
  treefree(n->right);
  n->left = n->right = nullptr;
  n->text[0] = v ? '^' : '_';
  n->text[1] = '\0';
}

void TLFtakechild(tree *n, tree *c) {
  tree *other = c == n->left ? n->right : n->left;
  treefree(other);
  memcpy(n->text, c->text, sizeof n->text);
  n->left = c->left;
  n->right = c->right;
  c->left = c->right = nullptr;
  treefree(c);
}

tree *TLFnewlit(const char *var, bool neg) {
  tree *v = treecompose(var, nullptr, nullptr);
  return neg ? treecompose("!", nullptr, v) : v;
}

// Position of c in the duality table, or -1. Positions 0-9 are the operators a
// negation passes through, 10-17 the comparisons and constants.
static int TLFdualpos(char c) {
  if (c == '\0') return -1;
  const char *p = strchr(DUALOPRS, c);
  return p ? int(p - DUALOPRS) : -1;
}
constexpr int TLF_PUSHTHROUGH = 10;

static char TLFdual(int pos) { return DUALOPRS[pos % 2 == 0 ? pos + 1 : pos - 1]; }

tree *TLFnegate(tree *f) {
  if (TLFisnum(f)) return treecompose("!", nullptr, f);  // the common cases need no stack
  if (f && TLFdualpos(f->text[0]) >= TLF_PUSHTHROUGH) {
    f->text[0] = TLFdual(TLFdualpos(f->text[0]));
    return f;
  }
  tree *root = f;
  std::vector<tree **> work;
  work.push_back(&root);
  while (!work.empty()) {
    tree **slot = work.back();
    work.pop_back();
    tree *n = *slot;
    if (!n) continue;
    if (TLFisnum(n)) {
      *slot = treecompose("!", nullptr, n);
      continue;
    }
    char c = n->text[0];
    int pos = TLFdualpos(c);
    if (pos >= 0) {
      n->text[0] = TLFdual(pos);
      if (pos < TLF_PUSHTHROUGH) {
        work.push_back(&n->right);
        work.push_back(&n->left);
      }
    } else if (c == 'I') {                 // not (a -> b) = a & not b
      n->text[0] = '&';
      work.push_back(&n->right);
    } else if (c == '~') {                 // not (a <-> b) = a <-> not b
      work.push_back(&n->right);
    } else if (c == '!') {                 // not not a = a
      *slot = n->right;
      n->right = nullptr;
      treefree(n);
    } else {
      printf("%s\n", n->text);
      utilerror("undefined operator 0");
    }
  }
  return root;
}

// a <-> b in place as (not a | b) & (a | not b).
static void TLFnnfequiv(tree *n) {
  tree *a = n->left, *b = n->right;
  tree *ac = treecopy(a), *bc = treecopy(b);
  n->text[0] = '&';
  n->left = treecompose("|", TLFnegate(a), b);
  n->right = treecompose("|", ac, TLFnegate(bc));
}

tree *TLFnnf(tree *f) {
  if (!f || TLFisnum(f) || TLFdualpos(f->text[0]) >= TLF_PUSHTHROUGH) return f;
  if (TLFislit(f)) return f;
  tree *root = f;
  std::vector<tree **> work;
  work.push_back(&root);
  while (!work.empty()) {
    tree **slot = work.back();
    work.pop_back();
    for (;;) {                             // the node may be replaced: settle it first
      tree *n = *slot;
      if (!n || TLFisnum(n)) break;
      char c = n->text[0];
      int pos = TLFdualpos(c);
      if (pos >= TLF_PUSHTHROUGH) break;   // comparisons and constants are atoms
      if (c == 'I') {                      // a -> b = not a | b
        n->text[0] = '|';
        n->left = TLFnegate(n->left);
      } else if (c == '~') {
        TLFnnfequiv(n);
      } else if (c == '!') {
        if (TLFisnum(n->right)) break;
        tree *r = n->right;
        n->right = nullptr;
        treefree(n);
        *slot = TLFnegate(r);
        continue;
      } else if (pos < 0 && c != '#' && c != ':' && c != ';') {
        if (lmtlog) fprintf(lmtlog, "undefined operator 1: %s\n", n->text);
        break;
      }
      work.push_back(&n->right);
      work.push_back(&n->left);
      break;
    }
  }
  return root;
}

// '&', '|' and the bitwise 'N', 'M': constants, and for '&', '|' also two literals.
static tree *TLFsimpbinary(tree *n, bool conj, bool literals) {
  tree *l = n->left, *r = n->right;
  if (!l || !r) return n;
  if (literals && TLFislit(l) && TLFislit(r)) {
    int rel = TLFlitcmp(l, r);
    if (rel < 0) {                         // x & !x = FALSE, x | !x = TRUE
      TLFsetconst(n, !conj);
      return n;
    }
    if (rel > 0) {                         // x & x = x | x = x
      TLFtakechild(n, l);
      return n;
    }
  }
  bool (*absorbing)(const tree *) = conj ? TLFisfalse : TLFistrue;
  bool (*neutral)(const tree *) = conj ? TLFistrue : TLFisfalse;
  if (absorbing(l) || absorbing(r))
    TLFsetconst(n, !conj);
  else if (neutral(l))
    TLFtakechild(n, r);
  else if (neutral(r))
    TLFtakechild(n, l);
  return n;
}

tree *TLFnnfsimp(tree *n) {
  if (!n) return n;
  switch (n->text[0]) {
  case '!':
    if (TLFistrue(n->right))
      TLFsetconst(n, false);
    else if (TLFisfalse(n->right))
      TLFsetconst(n, true);
    return n;
  case '&': return TLFsimpbinary(n, true, true);
  case '|': return TLFsimpbinary(n, false, true);
  case 'N': return TLFsimpbinary(n, true, false);
  case 'M': return TLFsimpbinary(n, false, false);
  case ':':
    n->left = TLFnnfsimp(n->left);
    n->right = TLFnnfsimp(n->right);
    return n;
  default: return TLFnnfsimpATF(n);
  }
}

// Value of the leading digits, or -1 when it does not fit 32 bits.
static int64_t TLFleafvalue(const tree *t) {
  int64_t v = 0;
  for (const char *p = t->text; *p >= '0' && *p <= '9'; p++) {
    v = v * 10 + (*p - '0');
    if (v > INT32_MAX) return -1;
  }
  return v;
}

// Folding stays within non-negative 32-bit values (bit vectors are unsigned);
// a result outside them, or a division by zero, leaves the node as it is.
tree *TLFnnfsimpATF(tree *n) {
  if (!n || !TLFisnum(n->left) || !TLFisnum(n->right)) return n;
  int64_t a = TLFleafvalue(n->left), b = TLFleafvalue(n->right);
  if (a < 0 || b < 0) return n;
  int64_t v;
  switch (n->text[0]) {
  case '+': v = a + b; break;
  case '-': v = a > b ? a - b : 0; break;
  case '*': v = a * b; break;
  case '/': if (b == 0) return n; v = a / b; break;
  case '%': if (b == 0) return n; v = a % b; break;
  case '<': TLFsetconst(n, a < b); return n;
  case '>': TLFsetconst(n, a > b); return n;
  case '=': TLFsetconst(n, a == b); return n;
  case 'B': TLFsetconst(n, a != b); return n;
  case '{': TLFsetconst(n, a <= b); return n;
  case '}': TLFsetconst(n, a >= b); return n;
  default: return n;
  }
  if (v > INT32_MAX) return n;
  treefree(n->left);
  treefree(n->right);
  n->left = n->right = nullptr;
  snprintf(n->text, sizeof n->text, "%i", int(v));
  return n;
}

int TLFisprop(const tree *f) {
  std::vector<const tree *> work;
  work.push_back(f);
  while (!work.empty()) {
    const tree *t = work.back();
    work.pop_back();
    if (!t || TLFisnum(t)) continue;
    char c = t->text[0];
    if (c != '!' && c != '&' && c != '|') return 0;
    work.push_back(t->right);
    work.push_back(t->left);
  }
  return 1;
}

static int TLFopbit(char c) {
  switch (c) {
  case 'A': return TLF_HASA;
  case 'E': return TLF_HASE;
  case 'F': return TLF_HASF;
  case 'G': return TLF_HASG;
  case 'R': return TLF_HASR;
  case 'U': return TLF_HASU;
  case 'X': return TLF_HASX;
  default: return 0;
  }
}

int TLFnnftype(const tree *f) {
  struct job { const tree *t; bool post; };
  std::vector<job> work;
  std::vector<int> masks;                  // masks of finished subtrees
  if (!f) return 0;
  work.push_back({f, false});
  while (!work.empty()) {
    job j = work.back();
    work.pop_back();
    if (!j.post) {
      work.push_back({j.t, true});
      if (j.t->right) work.push_back({j.t->right, false});
      if (j.t->left) work.push_back({j.t->left, false});
      continue;
    }
    int m = 0;
    for (int k = (j.t->left != nullptr) + (j.t->right != nullptr); k > 0; k--) {
      m |= masks.back();
      masks.pop_back();
    }
    int bit = TLFopbit(j.t->text[0]);
    m |= (m & bit) ? TLF_NESTED : bit;
    masks.push_back(m);
  }
  return masks.back();
}

static bool TLFistemporal(const tree *t) {
  return t && (t->text[0] == 'F' || t->text[0] == 'G' || t->text[0] == 'U' ||
               t->text[0] == 'R' || t->text[0] == 'X');
}

bool TLFisCTLx(const tree *f) {
  std::vector<const tree *> work;
  work.push_back(f);
  while (!work.empty()) {
    const tree *t = work.back();
    work.pop_back();
    if (!t) continue;
    if (TLFistemporal(t)) return false;    // a temporal operator without its quantifier
    char c = t->text[0];
    if (c == 'A' || c == 'E') {
      const tree *op = t->right;
      if (!TLFistemporal(op)) return false;
      char o = op->text[0];
      char inner = op->right ? op->right->text[0] : '\0';
      if ((o == 'F' && inner == 'G') || (o == 'G' && inner == 'F')) op = op->right;
      t = op;
    }
    work.push_back(t->right);
    work.push_back(t->left);
  }
  return true;
}

// Literals of a literal or of a conjunction of literals, left to right; false
// when something else stands there.
static bool TLFconjlits(const tree *t, std::vector<const tree *> &lits) {
  std::vector<const tree *> work;
  work.push_back(t);
  while (!work.empty()) {
    const tree *n = work.back();
    work.pop_back();
    if (TLFislit(n)) {
      lits.push_back(n);
    } else if (n && n->text[0] == '&' && n->left && n->right) {
      work.push_back(n->right);
      work.push_back(n->left);
    } else {
      return false;
    }
  }
  return true;
}

int TLFlcnf(tree *n) {
  if (!n) return 1;
  if (n->text[0] != '|') return 0;
  std::vector<const tree *> xs, ys;
  if (!TLFconjlits(n->left, xs) || !TLFconjlits(n->right, ys)) return 0;
  std::vector<tree *> clauses;
  for (const tree *x : xs) {
    for (const tree *y : ys) {
      int rel = TLFlitcmp(x, y);
      if (rel < 0) continue;               // x | !x holds: no clause
      tree *cx = treecopy(x);
      clauses.push_back(rel > 0 ? cx : treecompose("|", cx, treecopy(y)));
    }
  }
  if (clauses.empty()) {
    TLFsetconst(n, true);
    return 1;
  }
  tree *conj = clauses.back();
  for (size_t i = clauses.size() - 1; i-- > 0;) conj = treecompose("&", clauses[i], conj);
  treefree(n->left);
  treefree(n->right);
  memcpy(n->text, conj->text, sizeof n->text);
  n->left = conj->left;
  n->right = conj->right;
  conj->left = conj->right = nullptr;
  treefree(conj);
  return 1;
}

int TLFdepth(const tree *f) {
  std::vector<std::pair<const tree *, int>> work;
  if (f) work.push_back({f, 1});
  int deepest = 0;
  while (!work.empty()) {
    auto [n, d] = work.back();
    work.pop_back();
    if (d > deepest) deepest = d;
    if (n->left) work.push_back({n->left, d + 1});
    if (n->right) work.push_back({n->right, d + 1});
  }
  return deepest;
}
