// Store of shared formula nodes: tree records in chunks, one open-addressed
// table over (text, left, right), memo tables of the walks that rewrite.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "prog/bstore.h"
#include "tree/check.h"

namespace {
constexpr size_t BOOL_CHUNK = 4096;              // nodes per chunk, at most
constexpr size_t BOOL_FIRSTCHUNK = 64;           // chunks double up to BOOL_CHUNK: a small model
                                                 // (and a fuzz input) does not pay for a full one
constexpr unsigned long long BOOL_SIZECAP = 1ull << 62;
}

namespace {
// A node of the store: the tree record first, so a node's address is its
// cell's, followed by the memo of the rewriting walks (null: not known yet).
struct BOOLcell {
  tree t;
  tree *neg;                   // negation by duality
  tree *aux;                   // the encoder's own memo
  tree *nf;                    // negation normal form
  tree *simp;                  // local simplification of the normal form
  unsigned long long size;     // expanded node count, 0 while unknown
};
static_assert(std::is_standard_layout_v<BOOLcell>);

BOOLcell *BOOLcellof(const tree *t) {
  return reinterpret_cast<BOOLcell *>(const_cast<tree *>(t));
}
}  // namespace

#ifdef LUMET_CHECKED
// Checked build: the live stores and the address ranges of their chunks, so
// that a store freed twice, or a shared node handed to treefree, is caught.
namespace {
std::unordered_set<const BOOLstore *> &BOOLlive() {
  static auto *s = new std::unordered_set<const BOOLstore *>();
  return *s;
}
std::map<const char *, const char *> &BOOLranges() {
  static auto *m = new std::map<const char *, const char *>();
  return *m;
}
bool BOOLshared(const tree *t) {
  const char *p = reinterpret_cast<const char *>(t);
  auto it = BOOLranges().upper_bound(p);
  return it != BOOLranges().begin() && p < (--it)->second;
}
}  // namespace
#endif

struct BOOLstore {
#ifdef LUMET_CHECKED
  ~BOOLstore() {
    for (auto &c : chunks) BOOLranges().erase(reinterpret_cast<const char *>(c.get()));
    BOOLlive().erase(this);
  }
#endif
  std::vector<std::unique_ptr<BOOLcell[]>> chunks;
  size_t used = 0;                               // nodes taken from the last chunk
  size_t cap = 0;                                // nodes the last chunk holds
  size_t count = 0;                              // nodes in the store
  std::vector<tree *> slots;                     // unique table, power-of-two size
  std::vector<uint32_t> tags;                    // high hash bits of each slot's node
  bool cells = true;                             // false: a scratch store for foreign trees
  std::unordered_map<const tree *, unsigned long long> size;  // expanded count, foreign trees
};

BOOLstore *BOOLstorenew() {
  BOOLstore *s = new BOOLstore();
  LUM_OWN(s);   // released by the fuzz harness when an input ends early
#ifdef LUMET_CHECKED
  BOOLlive().insert(s);
  treesharedhook = BOOLshared;
#endif
  s->slots.assign(1024, nullptr);
  s->tags.assign(1024, 0);
  return s;
}

void BOOLstorefree(BOOLstore *s) {
#ifdef LUMET_CHECKED
  LUM_CHECK(!s || BOOLlive().count(s));   // every store is freed once
#endif
  LUM_DISOWN(s);
  delete s;
}

size_t BOOLstorecount(const BOOLstore *s) { return s ? s->count : 0; }

static uint64_t BOOLmix(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

static uint64_t BOOLhash(const char *text, const tree *l, const tree *r) {
  uint64_t h = 1469598103934665603ull;
  for (const char *p = text; *p; p++) h = (h ^ (unsigned char)*p) * 1099511628211ull;
  h = BOOLmix(h ^ (uint64_t)(uintptr_t)l);
  return BOOLmix(h ^ ((uint64_t)(uintptr_t)r * 0x9E3779B97F4A7C15ull));
}

static size_t BOOLslot(const BOOLstore *s, uint64_t h, const char *text, const tree *l,
                       const tree *r) {
  size_t mask = s->slots.size() - 1;
  const uint32_t tag = (uint32_t)(h >> 32);
  for (size_t i = (size_t)h & mask;; i = (i + 1) & mask) {
    const tree *t = s->slots[i];
    if (!t) return i;
    if (s->tags[i] == tag && t->left == l && t->right == r && !std::strcmp(t->text, text)) return i;
  }
}

static void BOOLgrow(BOOLstore *s) {
  std::vector<tree *> old;
  old.swap(s->slots);
  s->slots.assign(2 * old.size(), nullptr);
  s->tags.assign(2 * old.size(), 0);
  for (tree *t : old)
    if (t) {
      uint64_t h = BOOLhash(t->text, t->left, t->right);
      size_t i = BOOLslot(s, h, t->text, t->left, t->right);
      s->slots[i] = t;
      s->tags[i] = (uint32_t)(h >> 32);
    }
}

tree *BOOLnode(BOOLstore *s, const char *text, tree *left, tree *right) {
  if (std::strlen(text) >= (size_t)TREE_TEXTLEN) utilerror("BOOLnode");
  const uint64_t h = BOOLhash(text, left, right);
  size_t i = BOOLslot(s, h, text, left, right);
  if (s->slots[i]) return s->slots[i];
  if (s->used == s->cap) {
    s->cap = s->cap ? std::min(2 * s->cap, BOOL_CHUNK) : BOOL_FIRSTCHUNK;
    s->chunks.emplace_back(new BOOLcell[s->cap]);
    s->used = 0;
#ifdef LUMET_CHECKED
    const char *c0 = reinterpret_cast<const char *>(s->chunks.back().get());
    BOOLranges()[c0] = c0 + sizeof(BOOLcell) * s->cap;
#endif
  }
  BOOLcell *c = &s->chunks.back()[s->used++];
  *c = BOOLcell{};
  tree *t = &c->t;
  std::strcpy(t->text, text);
  t->left = left;
  t->right = right;
  s->slots[i] = t;
  s->tags[i] = (uint32_t)(h >> 32);
  if (2 * ++s->count > s->slots.size()) BOOLgrow(s);
  return t;
}

tree *BOOLintern(BOOLstore *s, const tree *t) {
  if (!t) return nullptr;
  struct job {
    const tree *t;
    bool post;
  };
  std::vector<job> work{{t, false}};
  std::vector<tree *> vals;
  while (!work.empty()) {
    job j = work.back();
    work.pop_back();
    if (!j.post) {
      work.push_back({j.t, true});
      if (j.t->right) work.push_back({j.t->right, false});
      if (j.t->left) work.push_back({j.t->left, false});
      continue;
    }
    // the left operand was finished first, so the right result is on top
    tree *rv = nullptr, *lv = nullptr;
    if (j.t->right) {
      rv = vals.back();
      vals.pop_back();
    }
    if (j.t->left) {
      lv = vals.back();
      vals.pop_back();
    }
    vals.push_back(BOOLnode(s, j.t->text, lv, rv));
  }
  return vals.back();
}

unsigned long long BOOLtreesize(BOOLstore *s, const tree *t) {
  if (!t) return 0;
  auto known = [&](const tree *n) -> unsigned long long {
    if (s->cells) return BOOLcellof(n)->size;
    auto it = s->size.find(n);
    return it == s->size.end() ? 0 : it->second;
  };
  std::vector<const tree *> work{t};
  while (!work.empty()) {
    const tree *n = work.back();
    if (known(n)) {
      work.pop_back();
      continue;
    }
    bool ready = true;
    for (const tree *c : {n->left, n->right})
      if (c && !known(c)) {
        work.push_back(c);
        ready = false;
      }
    if (!ready) continue;
    unsigned long long v = 1;
    for (const tree *c : {n->left, n->right})
      if (c) v = std::min(BOOL_SIZECAP, v + known(c));
    if (s->cells) BOOLcellof(n)->size = v;
    else s->size[n] = v;
    work.pop_back();
  }
  return known(t);
}

unsigned long long BOOLtreesize(const tree *t) {
  BOOLstore s;
  s.cells = false;
  return BOOLtreesize(&s, t);
}

unsigned long long BOOLdistinct(const std::vector<const tree *> &roots) {
  std::unordered_set<const tree *> seen;
  std::vector<const tree *> work(roots.begin(), roots.end());
  while (!work.empty()) {
    const tree *n = work.back();
    work.pop_back();
    if (!n || !seen.insert(n).second) continue;
    work.push_back(n->left);
    work.push_back(n->right);
  }
  return seen.size();
}

// ---- negation and normal form with the formula library's rules, memoised

static bool BOOLisnum(const tree *t) {
  return t && !t->left && !t->right && t->text[0] >= '0' && t->text[0] <= '9';
}

static int BOOLdualpos(char c) {
  if (c == '\0') return -1;
  const char *p = std::strchr(DUALOPRS, c);
  return p ? int(p - DUALOPRS) : -1;
}
constexpr int BOOL_PUSHTHROUGH = 10;  // operators a negation passes through

static char BOOLdual(int pos) { return DUALOPRS[pos % 2 == 0 ? pos + 1 : pos - 1]; }

static tree *BOOLdualnode(BOOLstore *s, const tree *n, tree *l, tree *r) {
  char text[TREE_TEXTLEN];
  std::memcpy(text, n->text, sizeof text);
  text[0] = BOOLdual(BOOLdualpos(n->text[0]));
  return BOOLnode(s, text, l, r);
}

// "Not known yet" in the memo fields, apart from a null result.
static tree *const BOOL_NULLRESULT = reinterpret_cast<tree *>(alignof(tree));

static tree *BOOLget(tree *field) { return field == BOOL_NULLRESULT ? nullptr : field; }
static tree *BOOLput(tree *r) { return r ? r : BOOL_NULLRESULT; }

tree *BOOLnegate(BOOLstore *s, tree *t) {
  if (!t) return t;
  if (tree *r = BOOLcellof(t)->neg) return BOOLget(r);
  std::vector<tree *> work{t};
  // Negation of a child: null when it is still to be computed (pushed).
  auto need = [&](tree *c, bool *ready) -> tree * {
    if (!c) return nullptr;
    if (tree *r = BOOLcellof(c)->neg) return BOOLget(r);
    work.push_back(c);
    *ready = false;
    return nullptr;
  };
  while (!work.empty()) {
    tree *n = work.back();
    if (BOOLcellof(n)->neg) {
      work.pop_back();
      continue;
    }
    tree *r = nullptr;
    bool ready = true;
    const char c = n->text[0];
    const int pos = BOOLdualpos(c);
    if (BOOLisnum(n)) {
      r = BOOLnode(s, "!", nullptr, n);
    } else if (pos >= BOOL_PUSHTHROUGH) {
      r = BOOLdualnode(s, n, n->left, n->right);
    } else if (pos >= 0) {
      tree *nl = need(n->left, &ready), *nr = need(n->right, &ready);
      if (!ready) continue;
      r = BOOLdualnode(s, n, nl, nr);
    } else if (c == 'I') {  // not (a -> b) = a & not b
      tree *nr = need(n->right, &ready);
      if (!ready) continue;
      r = BOOLnode(s, "&", n->left, nr);
    } else if (c == '~') {  // not (a <-> b) = a <-> not b
      tree *nr = need(n->right, &ready);
      if (!ready) continue;
      r = BOOLnode(s, n->text, n->left, nr);
    } else if (c == '!') {
      r = n->right;
    } else {
      std::printf("%s\n", n->text);
      utilerror("undefined operator 0");
    }
    BOOLcellof(n)->neg = BOOLput(r);
    work.pop_back();
  }
  return BOOLget(BOOLcellof(t)->neg);
}

// One-level simplification of a node whose operands are simplified.
static tree *BOOLsimpnode(BOOLstore *s, tree *n) {
  auto istrue = [](const tree *t) { return t && t->text[0] == '^'; };
  auto isfalse = [](const tree *t) { return t && t->text[0] == '_'; };
  auto islit = [](const tree *t) {
    return BOOLisnum(t) || (t && t->text[0] == '!' && BOOLisnum(t->right));
  };
  tree *l = n->left, *r = n->right;
  const char c = n->text[0];
  if (c == '!') {
    if (istrue(r)) return BOOLnode(s, "_", nullptr, nullptr);
    if (isfalse(r)) return BOOLnode(s, "^", nullptr, nullptr);
    return n;
  }
  if (c == '&' || c == '|' || c == 'N' || c == 'M') {
    const bool conj = c == '&' || c == 'N';
    if (!l || !r) return n;
    if ((c == '&' || c == '|') && islit(l) && islit(r)) {
      const tree *vl = l->text[0] == '!' ? l->right : l, *vr = r->text[0] == '!' ? r->right : r;
      if (!std::strcmp(vl->text, vr->text)) {
        if ((l->text[0] == '!') != (r->text[0] == '!'))
          return BOOLnode(s, conj ? "_" : "^", nullptr, nullptr);
        return l;
      }
    }
    bool absl = conj ? isfalse(l) : istrue(l), absr = conj ? isfalse(r) : istrue(r);
    if (absl || absr) return BOOLnode(s, conj ? "_" : "^", nullptr, nullptr);
    if (conj ? istrue(l) : isfalse(l)) return r;
    if (conj ? istrue(r) : isfalse(r)) return l;
    return n;
  }
  if (c == ':') return n;
  // constant folding of arithmetic over two number leaves
  if (!BOOLisnum(l) || !BOOLisnum(r)) return n;
  auto value = [](const tree *t) -> int64_t {
    int64_t v = 0;
    for (const char *p = t->text; *p >= '0' && *p <= '9'; p++) {
      v = v * 10 + (*p - '0');
      if (v > INT32_MAX) return -1;
    }
    return v;
  };
  int64_t a = value(l), b = value(r), v;
  if (a < 0 || b < 0) return n;
  auto cst = [&](bool x) { return BOOLnode(s, x ? "^" : "_", nullptr, nullptr); };
  switch (c) {
    case '+': v = a + b; break;
    case '-': v = a > b ? a - b : 0; break;
    case '*': v = a * b; break;
    case '/': if (b == 0) return n; v = a / b; break;
    case '%': if (b == 0) return n; v = a % b; break;
    case '<': return cst(a < b);
    case '>': return cst(a > b);
    case '=': return cst(a == b);
    case 'B': return cst(a != b);
    case '{': return cst(a <= b);
    case '}': return cst(a >= b);
    default: return n;
  }
  if (v > INT32_MAX) return n;
  char text[TREE_TEXTLEN];
  std::snprintf(text, sizeof text, "%i", int(v));
  return BOOLnode(s, text, nullptr, nullptr);
}

tree *BOOLnnf(BOOLstore *s, tree *t) {
  if (!t) return t;
  // Normal form: negations pushed to the number leaves, implications and
  // equivalences expanded; other operators are left as they are.
  auto has = [](const tree *n) { return BOOLcellof(n)->nf != nullptr; };
  auto nf = [](const tree *n) { return BOOLget(BOOLcellof(n)->nf); };
  auto set = [](tree *n, tree *r) { BOOLcellof(n)->nf = BOOLput(r); };
  std::vector<tree *> work{t};
  auto alias = [&](tree *n) -> tree * {
    const char c = n->text[0];
    if (c == 'I') return BOOLnode(s, "|", BOOLnegate(s, n->left), n->right);
    if (c == '~')
      return BOOLnode(s, "&", BOOLnode(s, "|", BOOLnegate(s, n->left), n->right),
                      BOOLnode(s, "|", n->left, BOOLnegate(s, n->right)));
    if (c == '!' && !BOOLisnum(n->right)) return BOOLnegate(s, n->right);
    return nullptr;
  };
  while (!work.empty()) {
    tree *n = work.back();
    if (has(n)) {
      work.pop_back();
      continue;
    }
    const char c = n->text[0];
    const int pos = BOOLdualpos(c);
    if (BOOLisnum(n) || pos >= BOOL_PUSHTHROUGH || (c == '!' && BOOLisnum(n->right))) {
      set(n, n);
      work.pop_back();
      continue;
    }
    if (tree *a = alias(n)) {
      if (a == n) {
        set(n, n);
        work.pop_back();
      } else if (has(a)) {
        set(n, nf(a));
        work.pop_back();
      } else {
        work.push_back(a);
      }
      continue;
    }
    if (c == '!') {  // "!" without an operand
      set(n, nullptr);
      work.pop_back();
      continue;
    }
    if (pos < 0 && c != '#' && c != ':' && c != ';') {
      if (lmtlog) std::fprintf(lmtlog, "undefined operator 1: %s\n", n->text);
      set(n, n);
      work.pop_back();
      continue;
    }
    bool ready = true;
    for (tree *k : {n->left, n->right})
      if (k && !has(k)) {
        work.push_back(k);
        ready = false;
      }
    if (!ready) continue;
    tree *l = n->left ? nf(n->left) : nullptr, *r = n->right ? nf(n->right) : nullptr;
    set(n, l == n->left && r == n->right ? n : BOOLnode(s, n->text, l, r));
    work.pop_back();
  }
  // Then one-level simplification of every node, operands first.
  tree *root = nf(t);
  if (!root) return root;
  auto done = [](const tree *n) { return BOOLcellof(n)->simp != nullptr; };
  auto sm = [](const tree *n) { return BOOLcellof(n)->simp; };
  work.assign(1, root);
  while (!work.empty()) {
    tree *n = work.back();
    if (done(n)) {
      work.pop_back();
      continue;
    }
    bool ready = true;
    for (tree *k : {n->left, n->right})
      if (k && !done(k)) {
        work.push_back(k);
        ready = false;
      }
    if (!ready) continue;
    tree *l = n->left ? sm(n->left) : nullptr, *r = n->right ? sm(n->right) : nullptr;
    tree *m = l == n->left && r == n->right ? n : BOOLnode(s, n->text, l, r);
    BOOLcellof(n)->simp = BOOLsimpnode(s, m);
    work.pop_back();
  }
  return sm(root);
}

tree *&BOOLaux(tree *t) { return BOOLcellof(t)->aux; }
