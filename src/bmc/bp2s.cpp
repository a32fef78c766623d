// SAT encoding: shared formula nodes, the definitional CNF conversion, the
// unrolled system and the translations of universal CTL and path formulas.
#include "bmc/bp2s.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "formula/tlf.h"

// Open-addressed map from node addresses: the walks below look up every
// node they visit, and node-based hash maps dominated their time.
namespace {
template <class V>
struct ptrmap {
  std::vector<const void *> keys;
  std::vector<V> vals;
  size_t count = 0;
  static size_t hash(const void *p) {
    uint64_t x = (uint64_t)(uintptr_t)p;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    return (size_t)(x ^ (x >> 29));
  }
  size_t slot(const void *k) const {
    size_t mask = keys.size() - 1, i = hash(k) & mask;
    while (keys[i] && keys[i] != k) i = (i + 1) & mask;
    return i;
  }
  const V *find(const void *k) const {
    if (keys.empty()) return nullptr;
    size_t i = slot(k);
    return keys[i] ? &vals[i] : nullptr;
  }
  V &operator[](const void *k) {
    if ((count + 1) * 2 > keys.size()) grow();
    size_t i = slot(k);
    if (!keys[i]) {
      keys[i] = k;
      vals[i] = V();
      count++;
    }
    return vals[i];
  }
  void grow() {
    std::vector<const void *> ok(keys.empty() ? 256 : keys.size() * 2, nullptr);
    std::vector<V> ov(ok.size());
    ok.swap(keys);
    ov.swap(vals);
    for (size_t j = 0; j < ok.size(); j++)
      if (ok[j]) {
        size_t i = slot(ok[j]);
        keys[i] = ok[j];
        vals[i] = ov[j];
      }
  }
};
}  // namespace

// ---- formula nodes

static bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }
static bool isnum(const tree *t) { return t && t->text[0] >= '0' && t->text[0] <= '9'; }

static int leafnum(const char *s) {
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; s++) {
    v = v * 10 + (*s - '0');
    if (v > INT_MAX) utilerror("bp2s");
  }
  return (int)v;
}

constexpr size_t BMCBLOCK = 4096;

static tree *newnode(BMCfml &F, const char *text, tree *l, tree *r) {
  if (F.blocks.empty() || F.used == BMCBLOCK) {
    F.blocks.emplace_back(new tree[BMCBLOCK]);
    F.used = 0;
  }
  tree *n = &F.blocks.back()[F.used++];
  size_t len = std::strlen(text);
  if (len >= (size_t)TREE_TEXTLEN) len = TREE_TEXTLEN - 1;
  std::memcpy(n->text, text, len);
  n->text[len] = 0;
  n->left = l;
  n->right = r;
  return n;
}

static size_t nodehash(char op, const tree *l, const tree *r) {
  size_t a = (size_t)(uintptr_t)l, b = (size_t)(uintptr_t)r;
  size_t h = a * 0x9e3779b97f4a7c15ULL ^ (b + 0x632be59bd9b4e019ULL) * 0xbf58476d1ce4e5b9ULL ^ (size_t)op;
  return h ^ (h >> 29);
}

// The table keeps a tag of each entry's hash beside it, so a probe reads a
// node only when the tags agree.
static tree *opnode(BMCfml &F, char op, tree *l, tree *r) {
  if (F.count * 2 >= F.uniq.size()) {   // grow: keep the table at most half full
    std::vector<tree *> old(F.uniq.size() ? F.uniq.size() * 2 : 1024, nullptr);
    old.swap(F.uniq);
    F.tags.assign(F.uniq.size(), 0);
    size_t mask = F.uniq.size() - 1;
    for (tree *n : old)
      if (n) {
        size_t h = nodehash(n->text[0], n->left, n->right), i = h & mask;
        while (F.uniq[i]) i = (i + 1) & mask;
        F.uniq[i] = n;
        F.tags[i] = (uint32_t)(h >> 32);
      }
  }
  size_t mask = F.uniq.size() - 1;
  size_t h = nodehash(op, l, r), i = h & mask;
  uint32_t tag = (uint32_t)(h >> 32);
  for (; F.uniq[i]; i = (i + 1) & mask) {
    if (F.tags[i] != tag) continue;
    tree *n = F.uniq[i];
    if (n->text[0] == op && n->left == l && n->right == r) return n;
  }
  char text[2] = {op, 0};
  tree *n = newnode(F, text, l, r);
  F.uniq[i] = n;
  F.tags[i] = tag;
  F.count++;
  return n;
}

tree *BMCconst(BMCfml &F, bool v) {
  if (!F.t) {
    F.t = newnode(F, "^", nullptr, nullptr);
    F.f = newnode(F, "_", nullptr, nullptr);
  }
  return v ? F.t : F.f;
}

tree *BMClit(BMCfml &F, int lit) {
  int v = lit < 0 ? -lit : lit;
  if ((size_t)v >= F.leaves.size()) F.leaves.resize((size_t)v + 1 + F.leaves.size() / 2, nullptr);
  tree *&leaf = F.leaves[(size_t)v];
  if (!leaf) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%d", v);
    leaf = newnode(F, buf, nullptr, nullptr);
  }
  return lit < 0 ? opnode(F, '!', nullptr, leaf) : leaf;
}

int BMClitof(const tree *t) {
  if (isnum(t)) return leafnum(t->text);
  if (isop(t, '!') && isnum(t->right)) return -leafnum(t->right->text);
  return 0;
}

static bool complementary(const tree *a, const tree *b) {
  return (isop(a, '!') && a->right == b) || (isop(b, '!') && b->right == a);
}

tree *BMCand(BMCfml &F, tree *a, tree *b) {
  tree *t = BMCconst(F, true), *f = BMCconst(F, false);
  if (a == f || b == f) return f;   // x & FALSE = FALSE
  if (a == t) return b;             // TRUE & x = x
  if (b == t || a == b) return a;   // x & x = x
  if (complementary(a, b)) return f;
  return opnode(F, '&', a, b);
}

tree *BMCor(BMCfml &F, tree *a, tree *b) {
  tree *t = BMCconst(F, true), *f = BMCconst(F, false);
  if (a == t || b == t) return t;   // x | TRUE = TRUE
  if (a == f) return b;             // FALSE | x = x
  if (b == f || a == b) return a;   // x | x = x
  if (complementary(a, b)) return t;
  return opnode(F, '|', a, b);
}

// Halving keeps the depth logarithmic: long position ranges and the loop
// condition would otherwise nest as deep as they are long.
static tree *balanced(BMCfml &F, std::vector<tree *> &v, bool conj) {
  if (v.empty()) return BMCconst(F, conj);
  while (v.size() > 1) {
    size_t n = 0;
    for (size_t i = 0; i + 1 < v.size(); i += 2)
      v[n++] = conj ? BMCand(F, v[i], v[i + 1]) : BMCor(F, v[i], v[i + 1]);
    if (v.size() % 2) v[n++] = v.back();
    v.resize(n);
  }
  return v[0];
}
tree *BMCandv(BMCfml &F, std::vector<tree *> v) { return balanced(F, v, true); }
tree *BMCorv(BMCfml &F, std::vector<tree *> v) { return balanced(F, v, false); }

// Post-order walk with an explicit stack over (node, polarity) pairs; the
// result of each pair is memoised by node identity, so shared sources stay
// linear and deep chains cannot exhaust the call stack.
namespace {
struct walkitem {
  const tree *n;
  bool pos;
  int state;
};
struct pairhash {
  size_t operator()(const std::pair<const tree *, bool> &p) const {
    return std::hash<const void *>()(p.first) * 2 + p.second;
  }
};
}  // namespace

tree *BMCneg(BMCfml &F, tree *root) {
  ptrmap<tree *> memo;
  std::vector<std::pair<tree *, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [n, state] = stack.back();
    if (memo.find(n)) {
      stack.pop_back();
      continue;
    }
    if (n == F.t || n == F.f) {
      memo[n] = BMCconst(F, n == F.f);
    } else if (int l = BMClitof(n)) {
      memo[n] = BMClit(F, -l);
    } else if (state == 0) {
      stack.back().second = 1;
      stack.push_back({n->left, 0});
      stack.push_back({n->right, 0});
      continue;
    } else {
      tree *a = *memo.find(n->left), *b = *memo.find(n->right);
      memo[n] = isop(n, '&') ? BMCor(F, a, b) : BMCand(F, a, b);
    }
    stack.pop_back();
  }
  return *memo.find(root);
}

tree *BMCimport(BMCfml &F, const tree *src, const std::function<int(int)> &map, bool semiand) {
  if (!src) return BMCconst(F, true);
  std::unordered_map<std::pair<const tree *, bool>, tree *, pairhash> memo;
  std::vector<walkitem> stack{{src, true, 0}};
  tree *result = nullptr;
  auto get = [&](const tree *n, bool pos) { return memo[{n, pos}]; };
  while (!stack.empty()) {
    walkitem &w = stack.back();
    const tree *n = w.n;
    bool pos = w.pos;
    if (memo.count({n, pos})) {
      stack.pop_back();
      continue;
    }
    tree *r = nullptr;
    if (isop(n, '^') || isop(n, '_')) {
      r = BMCconst(F, isop(n, '^') == pos);
    } else if (isnum(n)) {
      if (n->left || n->right) utilerror("bp2s");
      int v = map(leafnum(n->text));
      r = BMClit(F, pos ? v : -v);
    } else if (isop(n, '!')) {
      if (!n->right) utilerror("bp2s");
      if (w.state == 0) {
        w.state = 1;
        stack.push_back({n->right, !pos, 0});
        continue;
      }
      r = get(n->right, !pos);
    } else {
      bool conj = isop(n, '&') || isop(n, ':') || (semiand && isop(n, ';'));
      bool disj = isop(n, '|') || (!semiand && isop(n, ';'));
      if (!conj && !disj) utilerror("bp2s");
      if (w.state == 0) {
        w.state = 1;
        if (n->left) stack.push_back({n->left, pos, 0});
        if (n->right) stack.push_back({n->right, pos, 0});
        continue;
      }
      tree *a = n->left ? get(n->left, pos) : nullptr;
      tree *b = n->right ? get(n->right, pos) : nullptr;
      bool andnode = conj == pos;   // de Morgan under negation
      if (!a || !b) r = a ? a : b ? b : BMCconst(F, pos);
      else r = andnode ? BMCand(F, a, b) : BMCor(F, a, b);
    }
    memo[{n, pos}] = r;
    if (n == src && pos) result = r;
    stack.pop_back();
  }
  return result;
}

bool BMCeval(const tree *root, const std::vector<int8_t> &value) {
  std::unordered_map<const tree *, bool> memo;
  std::vector<std::pair<const tree *, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [n, state] = stack.back();
    if (memo.count(n)) {
      stack.pop_back();
      continue;
    }
    bool r;
    if (isop(n, '^') || isop(n, '_')) {
      r = isop(n, '^');
    } else if (int l = BMClitof(n)) {
      int v = l < 0 ? -l : l;
      bool x = v < (int)value.size() && value[(size_t)v];
      r = l < 0 ? !x : x;
    } else if (state == 0) {
      stack.back().second = 1;
      stack.push_back({n->left, 0});
      stack.push_back({n->right, 0});
      continue;
    } else {
      bool a = memo[n->left], b = memo[n->right];
      r = isop(n, '&') ? a && b : a || b;
    }
    memo[n] = r;
    stack.pop_back();
  }
  return memo[root];
}

// ---- CNF conversion

static void addlits(CNFmodel &m, const std::vector<int32_t> &c) {
  for (int32_t l : c) {
    int32_t v = l < 0 ? -l : l;
    if (v > m.nv) m.nv = v;
    m.lits.push_back(l);
  }
  m.lits.push_back(0);
  m.nc++;
}

int CNFnnf2cnf(const tree *root, int next, CNFmodel &out) {
  if (!root || isop(root, '^')) return next;                   // true: no clause
  if (isop(root, '_')) {                                       // false: (1) & (-1)
    addlits(out, {1});
    addlits(out, {-1});
    return next;
  }
  if (int l = BMClitof(root)) {
    addlits(out, {l});
    return next;
  }
  ptrmap<int> var;                                            // defined compound nodes
  std::vector<std::pair<const tree *, int>> todo{{root, 0}};   // node, guard (0: asserted)
  std::vector<const tree *> chain, operands;
  std::vector<int32_t> clause;
  auto litof = [&](const tree *x) -> int32_t {
    if (int l = BMClitof(x)) return l;
    if (isop(x, '^') || isop(x, '_')) utilerror("CNFnnf2cnf");   // folded before
    if (const int *v = var.find(x)) return *v;
    if (next == INT32_MAX) throw std::bad_alloc();
    var[x] = ++next;
    todo.push_back({x, next});
    return next;
  };
  while (!todo.empty()) {
    auto [n, g] = todo.back();
    todo.pop_back();
    char op = n->text[0];
    if (op != '&' && op != '|') utilerror("CNFnnf2cnf");
    // the maximal chain of this operator, operands left to right
    operands.clear();
    chain.assign(1, n);
    while (!chain.empty()) {
      const tree *c = chain.back();
      chain.pop_back();
      if (isop(c, op)) {
        chain.push_back(c->right);
        chain.push_back(c->left);
      } else {
        operands.push_back(c);
      }
    }
    size_t mark = todo.size();
    if (op == '&') {
      for (const tree *x : operands) {
        if (g == 0 && !BMClitof(x)) {
          todo.push_back({x, 0});
          continue;
        }
        clause.clear();
        clause.push_back(litof(x));
        if (g) clause.push_back(-g);
        addlits(out, clause);
      }
    } else {
      clause.clear();
      for (const tree *x : operands) clause.push_back(litof(x));
      if (g) clause.push_back(-g);
      addlits(out, clause);
    }
    std::reverse(todo.begin() + (long)mark, todo.end());   // operands in order
  }
  if (next > out.nv) out.nv = next;
  return next;
}

CNFmodel CNFspec2model(const tree *formula, int first) {
  CNFmodel m;
  m.nv = first;
  CNFnnf2cnf(formula, first, m);
  return m;
}

// ---- the unrolled system

namespace {
// Clauses of "(h -> h') & (h' | T)" over template variables: current bits
// 1..V, next bits V+1..2V, h = 2V+1, h' = 2V+2, auxiliary above.
struct BMCtemplate {
  const tree *src = nullptr;
  int V = -1;
  CNFmodel cnf;
  int aux = 0;                      // auxiliary variables per instance
};
}  // namespace

// Converted once per problem; every step copies its clauses with renaming.
static BMCtemplate transtemplate(const tree *trans, int V) {
  BMCtemplate TRtemplate;
  BMCfml F;
  tree *t = BMCimport(F, trans, [V](int v) {
    if (v < 1 || v > 2 * V) utilerror("bp2s");
    return v;
  });
  int hc = 2 * V + 1, hn = 2 * V + 2;
  tree *f = BMCand(F, BMCor(F, BMClit(F, -hc), BMClit(F, hn)), BMCor(F, BMClit(F, hn), t));
  TRtemplate.src = trans;
  TRtemplate.V = V;
  TRtemplate.cnf.nv = hn;
  int top = CNFnnf2cnf(f, hn, TRtemplate.cnf);
  TRtemplate.aux = top - hn;
  return TRtemplate;
}

static void checklimit(long long v) {
  if (v >= INT32_MAX / 2) throw std::bad_alloc();
}

CNFmodel CNFsys2model(const tree *init, const tree *trans, int V, int k, int P) {
  long long states = (long long)P * (k + 1);
  checklimit(states * (V + 1));
  int B = (int)(states * (V + 1));
  CNFmodel m;
  m.nv = B;
  BMCfml F;
  tree *i0 = BMCimport(F, init, [V](int v) {
    if (v < 1 || v > V) utilerror("bp2s");
    return v;
  }, true);
  int top = CNFnnf2cnf(i0, B, m);
  if (k < 1) return m;
  const BMCtemplate T = transtemplate(trans, V);
  long long steps = (long long)P * k;
  checklimit(top + steps * (long long)T.aux);
  m.lits.reserve(m.lits.size() + (size_t)steps * T.cnf.lits.size());
  int H = (int)(states * V);
  int inst = 0;
  for (int p = 0; p < P; p++) {
    for (int j = 0; j < k; j++, inst++) {
      int s = p * (k + 1) + j;
      int auxbase = top + inst * T.aux - (2 * V + 2);
      for (int32_t l : T.cnf.lits) {
        if (l == 0) {
          m.lits.push_back(0);
          m.nc++;
          continue;
        }
        int v = l < 0 ? -l : l, w;
        if (v <= V) w = s * V + v;
        else if (v <= 2 * V) w = (s + 1) * V + (v - V);
        else if (v == 2 * V + 1) w = H + s + 1;
        else if (v == 2 * V + 2) w = H + s + 2;
        else w = auxbase + v;
        m.lits.push_back(l < 0 ? -w : w);
      }
    }
  }
  m.nv = std::max(m.nv, top + (int)steps * T.aux);
  return m;
}

// ---- path counts

static long long capped(long long v) { return v > (1LL << 40) ? (1LL << 40) : v; }

static long long pathcount(const tree *f, int k, bool proof) {
  if (k == 0) return 0;
  long long s = 0, m = 1;
  char quant = proof ? 'A' : 'E';
  while (f) {
    char op = f->text[1] ? 0 : f->text[0];
    auto sub = [&](const tree *x) { return x ? pathcount(x, k, proof) : 0; };
    if (op == '&' || op == '|') {
      bool split = proof ? op == '|' : op == '&';
      if (!split) return capped(s + m * std::max(sub(f->left), sub(f->right)));
      s = capped(s + m * sub(f->left));
      f = f->right;
    } else if (op == quant) {
      s = capped(s + m);
      f = f->right;
    } else if (op == 'F' || op == 'G') {
      if ((op == 'F') == proof) m = capped(m * (k + 1));
      f = f->right;
    } else if (op == 'X') {
      f = f->right;
    } else if (op == 'U' || op == 'R') {
      long long a = sub(f->left), b = sub(f->right);
      long long r;
      if (proof) r = (op == 'U' ? k * b : k * a) + std::max(a, b);
      else r = op == 'U' ? k * a + b : a + (k + 1) * b;
      return capped(s + m * capped(r));
    } else {
      return s;
    }
  }
  return s;
}

long long fkx(const tree *f, int k) { return pathcount(f, k, true); }
long long gkx(const tree *f, int k) { return pathcount(f, k, false); }

int SPECnpath(const tree *f, int direction, int k, int) {
  long long n = direction ? fkx(f, k) : gkx(f, k);
  if (k <= 0 || n <= 0) return 1;
  if (n > INT32_MAX / 4) throw std::bad_alloc();
  return (int)n;
}

// ---- translations

namespace {
struct trkey {
  const tree *f;
  long long d;
  int c, i;
  bool operator==(const trkey &o) const { return f == o.f && d == o.d && c == o.c && i == o.i; }
};
struct trhash {
  size_t operator()(const trkey &k) const {
    return std::hash<const void *>()(k.f) ^ ((size_t)k.d * 0x9e3779b97f4a7c15ULL) ^
           ((size_t)k.c << 20) ^ (size_t)k.i;
  }
};

// One translation run: the problem it fills and the memo of translated
// (subformula, last path, path, position) cases.
struct BMCenc {
  BMCproblem &p;
  BMCfml &F;
  const tree *trans = nullptr;
  long long maxpath = 1;
  std::unordered_map<trkey, tree *, trhash> memo;
  std::unordered_map<const tree *, bool> prop;
  std::unordered_map<int, tree *> loopcond;
  explicit BMCenc(BMCproblem &q) : p(q), F(q.fml) {}

  int state(long long c, int j) const {
    return (c >= 1 && p.k >= 1 ? (int)((c - 1) * (p.k + 1)) : 0) + j;
  }
  bool proofside() const { return p.dir == 1 && !p.ltl; }
};
}  // namespace

// Propositional: no path quantifier or temporal operator below.
static bool isprop(BMCenc &e, const tree *root) {
  std::vector<std::pair<const tree *, int>> stack{{root, 0}};
  while (!stack.empty()) {
    auto [n, state] = stack.back();
    if (!n || e.prop.count(n)) {
      stack.pop_back();
      continue;
    }
    bool temporal = !n->text[1] && n->text[0] && std::strchr("AEXFGUR", n->text[0]) &&
                    (n->left || n->right);
    if (temporal) {
      e.prop[n] = false;
      stack.pop_back();
      continue;
    }
    if (state == 0) {
      stack.back().second = 1;
      stack.push_back({n->left, 0});
      stack.push_back({n->right, 0});
      continue;
    }
    e.prop[n] = (!n->left || e.prop[n->left]) && (!n->right || e.prop[n->right]);
    stack.pop_back();
  }
  return e.prop[root];
}

// A propositional subformula at a state: true at a halted state in the proof
// direction, false there in every witness search.
static tree *atom(BMCenc &e, const tree *f, int s) {
  int V = e.p.V;
  tree *a = BMCimport(e.F, f, [V, s](int v) {
    if (v < 1 || v > V) utilerror("bp2s");
    return s * V + v;
  });
  int h = e.p.haltvar(s);
  return e.proofside() ? BMCor(e.F, BMClit(e.F, h), a) : BMCand(e.F, BMClit(e.F, -h), a);
}

// States s1 and s2 are equal: every bit and the halt bit. '^' at bound 0,
// where all paths are the one initial state.
static tree *eqstate(BMCenc &e, int s1, int s2) {
  if (e.p.k == 0 || s1 == s2) return BMCconst(e.F, true);
  std::vector<tree *> bits;
  int V = e.p.V;
  auto same = [&](int x, int y) {
    bits.push_back(BMCor(e.F, BMClit(e.F, -x), BMClit(e.F, y)));
    bits.push_back(BMCor(e.F, BMClit(e.F, x), BMClit(e.F, -y)));
  };
  for (int b = 1; b <= V; b++) same(s1 * V + b, s2 * V + b);
  same(e.p.haltvar(s1), e.p.haltvar(s2));
  return BMCandv(e.F, bits);
}

// Some two positions of path c hold the same state, so the path extends to
// an infinite one by repeating the part between them.
static tree *loopcond(BMCenc &e, int c) {
  auto it = e.loopcond.find(c);
  if (it != e.loopcond.end()) return it->second;
  std::vector<tree *> pairs;
  int k = e.p.k;
  for (int a = 0; a < k; a++)
    for (int b = a + 1; b <= k; b++) pairs.push_back(eqstate(e, e.state(c, a), e.state(c, b)));
  tree *r = BMCorv(e.F, pairs);
  e.loopcond[c] = r;
  return r;
}

// End of a G or R chain at position k: a loop, or (proof direction) a path
// that has halted and so has no infinite continuation to check.
static tree *chainend(BMCenc &e, long long c) {
  tree *l = loopcond(e, (int)c);
  if (e.proofside()) l = BMCor(e.F, l, BMClit(e.F, e.p.haltvar(e.state(c, e.p.k))));
  return l;
}

static tree *actltr(BMCenc &e, const tree *f, long long d, long long c, int i);

static long long npath(BMCenc &e, const tree *f) {
  return e.p.dir ? fkx(f, e.p.k) : gkx(f, e.p.k);
}

// Chains of F, G, U, R over positions i..k, built from k backwards so that
// long bounds do not nest calls; every suffix is memoised as its own case.
static tree *actlchain(BMCenc &e, const tree *f, long long d, long long c, int i) {
  int k = e.p.k;
  bool proof = e.p.dir == 1;
  char op = f->text[0];
  const tree *a = f->left, *b = f->right;
  std::vector<long long> ds{d};
  for (int j = i; j < k; j++) {
    long long x = ds.back();
    switch (op) {
      case 'F': ds.push_back(proof ? x + npath(e, b) : x); break;
      case 'G': ds.push_back(proof ? x : x + npath(e, b)); break;
      case 'U': ds.push_back(x + npath(e, proof ? b : a)); break;
      default: ds.push_back(x + npath(e, proof ? a : b)); break;   // R
    }
  }
  tree *next = nullptr;
  for (int j = k; j >= i; j--) {
    long long dj = ds[(size_t)(j - i)];
    trkey key{f, dj, (int)c, j};
    auto it = e.memo.find(key);
    if (it != e.memo.end()) {
      next = it->second;
      continue;
    }
    tree *r;
    switch (op) {
      case 'F':
        r = actltr(e, b, dj, c, j);
        if (j < k) r = BMCor(e.F, r, next);
        break;
      case 'G':
        r = BMCand(e.F, actltr(e, b, dj, c, j), j < k ? next : chainend(e, c));
        break;
      case 'U':
        r = actltr(e, b, dj, c, j);
        if (j < k) {
          long long da = proof ? ds[(size_t)(j - i + 1)] : dj;
          r = BMCor(e.F, r, BMCand(e.F, actltr(e, a, da, c, j), next));
        }
        break;
      default: {   // R
        long long da = proof ? dj : dj + npath(e, b);
        tree *rest = j < k ? next : chainend(e, c);
        r = BMCand(e.F, actltr(e, b, dj, c, j), BMCor(e.F, actltr(e, a, da, c, j), rest));
        break;
      }
    }
    e.memo[key] = r;
    next = r;
  }
  return next;
}

static tree *actltr(BMCenc &e, const tree *f, long long d, long long c, int i) {
  if (!f) utilerror("bp2s");
  BMCfml &F = e.F;
  if (isprop(e, f)) return atom(e, f, e.state(c, i));
  trkey key{f, d, (int)c, i};
  auto it = e.memo.find(key);
  if (it != e.memo.end()) return it->second;
  bool proof = e.p.dir == 1;
  char op = f->text[1] ? 0 : f->text[0];
  tree *r;
  if (op == '&' || op == '|') {
    // the operand that needs its own paths: a disjunction in the proof, a
    // conjunction in the refutation (AX p | AX !p must not share one path)
    bool split = proof ? op == '|' : op == '&';
    tree *x = actltr(e, f->left, d, c, i);
    tree *y = actltr(e, f->right, split ? d + npath(e, f->left) : d, c, i);
    r = op == '&' ? BMCand(F, x, y) : BMCor(F, x, y);
  } else if (op == 'X') {
    r = i == e.p.k ? BMCconst(F, false) : actltr(e, f->right, d, c, i + 1);
  } else if (op == (proof ? 'A' : 'E')) {
    long long nc = d + 1;
    e.maxpath = std::max(e.maxpath, nc);
    if (e.p.k > 0 && nc > e.p.P) utilerror("bp2s");
    tree *body = actltr(e, f->right, nc, nc, 0);
    if (c == 0 && d == 0) {
      r = body;                      // the first path is the initial path
    } else {
      int pc = c == 0 ? 1 : (int)c, pi = c == 0 ? 0 : i;
      tree *link = eqstate(e, e.state(pc, pi), e.state(nc, 0));
      if (proof) {
        r = BMCor(F, BMCneg(F, link), body);
      } else {
        r = BMCand(F, link, body);
        e.p.links.push_back({pc, pi, (int)nc, body});
      }
    }
  } else if (op == 'G' && isnum(f->left)) {
    // G with a step count n: the positions i..i+n (none past k)
    int n = leafnum(f->left->text);
    if (n > e.p.k || i + n > e.p.k) {
      r = BMCconst(F, false);
    } else {
      std::vector<tree *> v;
      for (int j = i; j <= i + n; j++) v.push_back(actltr(e, f->right, d, c, j));
      r = BMCandv(F, v);
    }
  } else if (op == 'F' || op == 'G' || op == 'U' || op == 'R') {
    if (!f->right || ((op == 'U' || op == 'R') && !f->left)) utilerror("bp2s");
    r = actlchain(e, f, d, c, i);
  } else {
    utilerror("bp2s specificaiton problem");
  }
  e.memo[key] = r;
  return r;
}

tree *actl2f1a(BMCenc &e, const tree *f) { return actltr(e, f, 0, 0, 0); }
tree *actl2f0a(BMCenc &e, const tree *f) { return actltr(e, f, 0, 0, 0); }

// ---- path formulas (one path; memo key: c = -1 loop translation with d = l,
// c = -2 optimistic prefix translation)

static tree *ltlrange(BMCenc &e, const tree *f, int from, int to, long long l, bool conj,
                      tree *(*tr)(BMCenc &, const tree *, int, long long)) {
  std::vector<tree *> v;
  for (int j = from; j <= to; j++) v.push_back(tr(e, f, j, l));
  return conj ? BMCandv(e.F, v) : BMCorv(e.F, v);
}

static tree *ltl0(BMCenc &e, const tree *f, int i, long long l);

// U0(a, b) = [b]_a | ([a]_a & U0(a+1, b)), ending in [b]_b.
static tree *until0(BMCenc &e, const tree *f, int a, int b, long long l) {
  tree *acc = ltl0(e, f->right, b, l);
  for (int j = b - 1; j >= a; j--)
    acc = BMCor(e.F, ltl0(e, f->right, j, l), BMCand(e.F, ltl0(e, f->left, j, l), acc));
  return acc;
}

// R0(a, b) = [b]_a & ([a]_a | R0(a+1, b)), ending in [b]_b & [a]_b.
static tree *release0(BMCenc &e, const tree *f, int a, int b, long long l) {
  tree *acc = BMCand(e.F, ltl0(e, f->right, b, l), ltl0(e, f->left, b, l));
  for (int j = b - 1; j >= a; j--)
    acc = BMCand(e.F, ltl0(e, f->right, j, l), BMCor(e.F, ltl0(e, f->left, j, l), acc));
  return acc;
}

static tree *ltl0(BMCenc &e, const tree *f, int i, long long l) {
  if (!f) utilerror("bp2s");
  BMCfml &F = e.F;
  int k = e.p.k;
  if (isprop(e, f)) return atom(e, f, i);
  trkey key{f, l, -1, i};
  auto it = e.memo.find(key);
  if (it != e.memo.end()) return it->second;
  char op = f->text[1] ? 0 : f->text[0];
  tree *r;
  if (op == '&' || op == '|') {
    tree *x = ltl0(e, f->left, i, l), *y = ltl0(e, f->right, i, l);
    r = op == '&' ? BMCand(F, x, y) : BMCor(F, x, y);
  } else if (op == 'X') {
    int nx = i == k && l >= 0 ? (int)l : i + 1;
    r = nx > k ? BMCconst(F, false) : ltl0(e, f->right, nx, l);
  } else if (op == 'F') {
    int s = l >= 0 && l < i ? (int)l : i;
    r = ltlrange(e, f->right, s, k, l, false, ltl0);
  } else if (op == 'G') {
    r = l < 0 ? BMCconst(F, false) : ltlrange(e, f->right, std::min<long long>(i, l), k, l, true, ltl0);
  } else if (op == 'U') {
    r = until0(e, f, i, k, l);
    if (l >= 0 && l < i)
      r = BMCor(F, r, BMCand(F, ltlrange(e, f->left, i, k, l, true, ltl0), until0(e, f, (int)l, i - 1, l)));
  } else if (op == 'R') {
    r = release0(e, f, i, k, l);
    if (l >= 0) {
      tree *w = l >= i ? BMCconst(F, true)
                       : BMCor(F, release0(e, f, (int)l, i - 1, l),
                               ltlrange(e, f->right, (int)l, i - 1, l, true, ltl0));
      r = BMCor(F, r, BMCand(F, ltlrange(e, f->right, i, k, l, true, ltl0), w));
    }
  } else {
    utilerror("bp2s specificaiton problem");
  }
  e.memo[key] = r;
  return r;
}

static tree *ltl1(BMCenc &e, const tree *f, int i, long long) ;

static tree *ltl1(BMCenc &e, const tree *f, int i, long long) {
  if (!f) utilerror("bp2s");
  BMCfml &F = e.F;
  int k = e.p.k;
  if (isprop(e, f)) return atom(e, f, i);
  trkey key{f, 0, -2, i};
  auto it = e.memo.find(key);
  if (it != e.memo.end()) return it->second;
  char op = f->text[1] ? 0 : f->text[0];
  tree *r;
  if (op == '&' || op == '|') {
    tree *x = ltl1(e, f->left, i, 0), *y = ltl1(e, f->right, i, 0);
    r = op == '&' ? BMCand(F, x, y) : BMCor(F, x, y);
  } else if (op == 'F') {
    r = BMCconst(F, true);
  } else if (op == 'X') {
    r = i == k ? BMCconst(F, true) : ltl1(e, f->right, i + 1, 0);
  } else if (op == 'G') {
    r = ltlrange(e, f->right, i, k, 0, true, ltl1);
  } else if (op == 'U' || op == 'R') {
    // built from k backwards: position j's case needs position j+1's
    tree *acc = nullptr;
    for (int j = k; j >= i; j--) {
      tree *a = ltl1(e, f->left, j, 0), *b = ltl1(e, f->right, j, 0);
      if (op == 'U') acc = j == k ? BMCor(F, b, a) : BMCor(F, b, BMCand(F, a, acc));
      else acc = j == k ? b : BMCand(F, b, BMCor(F, a, acc));
    }
    r = acc;
  } else {
    utilerror("bp2s specificaiton problem");
  }
  e.memo[key] = r;
  return r;
}

// Refutation of a path formula: its negation on a prefix, or on a lasso that
// loops from position k back to l (a real transition from a state that has
// not halted).
tree *SPECltl2f0(BMCenc &e, const tree *nf) {
  int k = e.p.k, V = e.p.V;
  std::vector<tree *> cases{ltl0(e, nf, 0, -1)};
  for (int l = 0; l <= k; l++) {
    tree *t = BMCimport(e.F, e.trans, [V, k, l](int v) {
      if (v < 1 || v > 2 * V) utilerror("bp2s");
      return v <= V ? k * V + v : l * V + (v - V);
    });
    t = BMCand(e.F, t, BMClit(e.F, -e.p.haltvar(k)));
    cases.push_back(BMCand(e.F, t, ltl0(e, nf, 0, l)));
  }
  e.p.loops = cases;
  return BMCorv(e.F, cases);
}

tree *SPECltl2f1(BMCenc &e, const tree *nf) { return ltl1(e, nf, 0, 0); }

// ---- problems

static const tree *progpart(const tree *prog, int n) {
  const tree *t = prog;
  for (int i = 0; i < n; i++) {
    if (!isop(t, '#')) return nullptr;
    t = t->right;
  }
  return isop(t, '#') ? t->left : t;
}

// Appends the property clauses (auxiliary variables after the system's).
static void addprop(BMCproblem &p, const tree *init, const tree *trans, tree *prop) {
  CNFmodel sys = CNFsys2model(init, trans, p.V, p.k, p.P);
  CNFnnf2cnf(prop, sys.nv, sys);
  p.cnf = std::move(sys);
}

static tree *negcopy(const tree *f) { return TLFnnf(TLFnegate(treecopy(f))); }

void bp2sCTL(BMCproblem &p, const tree *init, const tree *trans, const tree *property) {
  tree *nf = p.dir ? nullptr : negcopy(property);
  const tree *f = p.dir ? property : nf;
  p.P = SPECnpath(f, p.dir, p.k, 0);
  checklimit((long long)p.P * (p.k + 1) * (p.V + 1));
  BMCenc e(p);
  e.trans = trans;
  tree *prop = p.dir ? BMCneg(p.fml, actl2f1a(e, f)) : actl2f0a(e, f);
  addprop(p, init, trans, prop);
  treefree(nf);
}

void bp2sLTL(BMCproblem &p, const tree *init, const tree *trans, const tree *property) {
  p.ltl = true;
  p.P = 1;
  tree *nf = negcopy(property);
  BMCenc e(p);
  e.trans = trans;
  tree *prop = p.dir ? SPECltl2f1(e, nf) : SPECltl2f0(e, nf);
  addprop(p, init, trans, prop);
  treefree(nf);
}

void bp2s0(BMCproblem &p, const tree *program, const tree *property) {
  int type = TLFnnftype(property);
  if (type & TLF_HASE) utilerror("bp2s specificaiton problem");
  const tree *init = progpart(program, 1), *trans = progpart(program, 2);
  if (type & TLF_HASA) bp2sCTL(p, init, trans, property);
  else bp2sLTL(p, init, trans, property);
}

std::unique_ptr<BMCproblem> bp2s(const tree *program, const tree *, const tree *property, int V,
                                 int k, int direction, int) {
  auto p = std::make_unique<BMCproblem>();
  p->V = V;
  p->k = k;
  p->dir = direction;
  bp2s0(*p, program, property);
  return p;
}
