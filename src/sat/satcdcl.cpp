// Conflict-driven search: two watched literals (binary clauses in their own
// implication lists), first-UIP learning with minimisation, backjumping,
// activity-ordered decisions with phase saving, Luby restarts and
// LBD-based reduction of the learned clauses. Nothing recurses; the hot loops
// reuse the solver record's vectors.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "sat/satint.h"
#include "tree/check.h"

namespace {

using Lit = uint32_t;                    // 2v for +v, 2v+1 for -v; v in [1,nv]
constexpr uint32_t NOREASON = UINT32_MAX;
constexpr uint32_t BINREASON = 1u << 31; // reason = BINREASON | other literal of a binary clause

inline Lit mklit(int32_t x) { return x > 0 ? 2u * (uint32_t)x : 2u * (uint32_t)(-x) + 1; }
inline Lit neg(Lit l) { return l ^ 1u; }
inline uint32_t var(Lit l) { return l >> 1; }
inline int32_t extlit(Lit l) { return (l & 1) ? -(int32_t)(l >> 1) : (int32_t)(l >> 1); }

// Clause in the arena: header words, then the literals. The two watched
// literals are always lits[0] and lits[1]; for a reason clause lits[0] is the
// literal it implied.
constexpr uint32_t HDR = 2;
constexpr uint32_t FLEARNT = 1, FDELETED = 2, FUSED = 4;
constexpr uint32_t LBDSHIFT = 3;

struct Watch {
  uint32_t cref;                         // clause offset in the arena
  Lit blocker;                           // some other literal of the clause
};

struct Solver {
  uint32_t nv = 0;
  std::vector<uint32_t> arena;           // clauses: [size][flags|lbd] lits...
  std::vector<std::vector<Watch>> watch; // clauses watching literal l, [0,2nv+2)
  std::vector<std::vector<Lit>> bins;    // binary partners of literal l: l false -> partner true
  std::vector<int8_t> val;               // literal value, [0,2nv+2): 1 true, -1 false, 0 open
  std::vector<uint32_t> level;           // decision level of variable, [0,nv]
  std::vector<uint32_t> reason;          // reason of variable, [0,nv]
  std::vector<Lit> trail;                // assigned literals in order
  std::vector<uint32_t> lim;             // trail length at each decision level
  size_t qhead = 0;                      // next trail position to propagate

  std::vector<double> act;               // variable activity, [0,nv]
  double varinc = 1.0;
  std::vector<uint32_t> heap;            // max-heap of variables by activity
  std::vector<int32_t> hpos;             // position in heap, -1 absent, [0,nv]
  std::vector<uint8_t> phase;            // saved sign (1 = negative), [0,nv]

  std::vector<uint8_t> seen;             // analysis marks, [0,nv]
  std::vector<Lit> learnt, stack, toclear;
  std::vector<uint32_t> lvlstamp;        // per level, for LBD counting
  uint32_t stamp = 0;
  std::vector<uint32_t> learnts;         // crefs of learned long clauses
  Lit binconfl[2];                       // a conflicting binary clause
  uint64_t nbin = 0;                     // binary clauses (both directions counted once)
  uint64_t wasted = 0;                   // arena words of deleted clauses
};

Solver S;

inline uint32_t csize(uint32_t cr) { return S.arena[cr]; }
inline uint32_t *clits(uint32_t cr) { return &S.arena[cr + HDR]; }
inline uint32_t &cflags(uint32_t cr) { return S.arena[cr + 1]; }
inline uint32_t clbd(uint32_t cr) { return cflags(cr) >> LBDSHIFT; }

uint32_t dlevel() { return (uint32_t)S.lim.size(); }

// ---- variable heap

bool heapless(uint32_t a, uint32_t b) { return S.act[a] > S.act[b]; }

void heapup(int32_t i) {
  uint32_t v = S.heap[i];
  while (i > 0) {
    int32_t p = (i - 1) >> 1;
    if (!heapless(v, S.heap[p])) break;
    S.heap[i] = S.heap[p];
    S.hpos[S.heap[i]] = i;
    i = p;
  }
  S.heap[i] = v;
  S.hpos[v] = i;
}

void heapdown(int32_t i) {
  uint32_t v = S.heap[i];
  int32_t n = (int32_t)S.heap.size();
  for (;;) {
    int32_t c = 2 * i + 1;
    if (c >= n) break;
    if (c + 1 < n && heapless(S.heap[c + 1], S.heap[c])) c++;
    if (!heapless(S.heap[c], v)) break;
    S.heap[i] = S.heap[c];
    S.hpos[S.heap[i]] = i;
    i = c;
  }
  S.heap[i] = v;
  S.hpos[v] = i;
}

void heapinsert(uint32_t v) {
  if (S.hpos[v] >= 0) return;
  S.heap.push_back(v);
  heapup((int32_t)S.heap.size() - 1);
}

uint32_t heappop() {
  uint32_t v = S.heap[0];
  uint32_t last = S.heap.back();
  S.heap.pop_back();
  S.hpos[v] = -1;
  if (!S.heap.empty()) {
    S.heap[0] = last;
    S.hpos[last] = 0;
    heapdown(0);
  }
  return v;
}

void bump(uint32_t v) {
  if ((S.act[v] += S.varinc) > 1e100) {
    for (uint32_t u = 1; u <= S.nv; u++) S.act[u] *= 1e-100;
    S.varinc *= 1e-100;
  }
  if (S.hpos[v] >= 0) heapup(S.hpos[v]);
}

// ---- assignment

inline void assign(Lit l, uint32_t why) {
  uint32_t v = var(l);
  S.val[l] = 1;
  S.val[neg(l)] = -1;
  S.level[v] = dlevel();
  S.reason[v] = why;
  S.trail.push_back(l);
}

void backtrack(uint32_t lvl) {
  if (dlevel() <= lvl) return;
  size_t to = S.lim[lvl];
  for (size_t i = S.trail.size(); i-- > to;) {
    Lit l = S.trail[i];
    uint32_t v = var(l);
    S.val[l] = 0;
    S.val[neg(l)] = 0;
    S.phase[v] = (uint8_t)(l & 1);
    heapinsert(v);
  }
  S.trail.resize(to);
  S.lim.resize(lvl);
  S.qhead = to;
}

void attach(uint32_t cr) {
  uint32_t *c = clits(cr);
  S.watch[c[0]].push_back({cr, c[1]});
  S.watch[c[1]].push_back({cr, c[0]});
}

uint32_t newclause(const Lit *l, uint32_t n, bool learnt, uint32_t lbd) {
  uint32_t cr = (uint32_t)S.arena.size();
  S.arena.push_back(n);
  S.arena.push_back((learnt ? FLEARNT : 0) | (lbd << LBDSHIFT));
  S.arena.insert(S.arena.end(), l, l + n);
  return cr;
}

void addbinary(Lit a, Lit b) {
  S.bins[a].push_back(b);
  S.bins[b].push_back(a);
  S.nbin++;
}

// Returns NOREASON, a clause offset, or BINREASON for a binary conflict (in
// binconfl).
uint32_t propagate() {
  while (S.qhead < S.trail.size()) {
    Lit p = S.trail[S.qhead++];
    Lit fl = neg(p);
    SATstat.propagations++;
    // binary clauses (fl v q): q must become true
    {
      const std::vector<Lit> &bs = S.bins[fl];
      for (size_t k = 0, n = bs.size(); k < n; k++) {
        Lit q = bs[k];
        int8_t vq = S.val[q];
        if (vq == 1) continue;
        if (vq == -1) {
          S.binconfl[0] = fl;
          S.binconfl[1] = q;
          S.qhead = S.trail.size();
          return BINREASON;
        }
        assign(q, BINREASON | fl);
      }
    }
    std::vector<Watch> &ws = S.watch[fl];
    Watch *i = ws.data(), *j = i, *end = i + ws.size();
    uint32_t confl = NOREASON;
    while (i != end) {
      if (S.val[i->blocker] == 1) { *j++ = *i++; continue; }
      uint32_t cr = i->cref;
      uint32_t *c = clits(cr);
      if (c[0] == fl) { c[0] = c[1]; c[1] = fl; }
      LUM_CHECK(c[1] == fl);
      Lit blocker = i->blocker;
      i++;
      Watch w{cr, c[0]};
      if (c[0] != blocker && S.val[c[0]] == 1) { *j++ = w; continue; }
      uint32_t n = csize(cr);
      bool moved = false;
      for (uint32_t k = 2; k < n; k++) {
        if (S.val[c[k]] != -1) {
          c[1] = c[k];
          c[k] = fl;
          S.watch[c[1]].push_back(w);
          moved = true;
          break;
        }
      }
      if (moved) continue;
      *j++ = w;
      if (S.val[c[0]] == -1) {
        confl = cr;
        S.qhead = S.trail.size();
        while (i != end) *j++ = *i++;
      } else {
        assign(c[0], cr);
      }
    }
    ws.resize((size_t)(j - ws.data()));
    if (confl != NOREASON) return confl;
  }
  return NOREASON;
}

// ---- conflict analysis

// Literals of a reason or conflict other than the one for `skip` (0 = none).
// Calls f(lit) for each.
template <class F>
inline void reasonlits(uint32_t r, uint32_t skipvar, F f) {
  if (r == BINREASON) {  // conflict of a binary clause
    f(S.binconfl[0]);
    f(S.binconfl[1]);
    return;
  }
  if (r & BINREASON) {
    f(r & ~BINREASON);
    return;
  }
  uint32_t n = csize(r);
  uint32_t *c = clits(r);
  // a reason implied its first literal; the analysis skips that one alone
  LUM_CHECK(skipvar == 0 || var(c[0]) == skipvar);
  for (uint32_t k = 0; k < n; k++)
    if (var(c[k]) != skipvar) f(c[k]);
}

uint32_t abstractlevel(uint32_t v) { return 1u << (S.level[v] & 31); }

// Whether p's reason chain ends in literals of the learned clause only
// (explicit stack instead of recursion).
bool redundant(Lit p, uint32_t abstract) {
  S.stack.clear();
  S.stack.push_back(p);
  size_t top = S.toclear.size();
  while (!S.stack.empty()) {
    Lit q = S.stack.back();
    S.stack.pop_back();
    uint32_t r = S.reason[var(q)];
    bool fail = false;
    reasonlits(r, var(q), [&](Lit l) {
      if (fail) return;
      uint32_t v = var(l);
      if (S.seen[v] || S.level[v] == 0) return;
      if (S.reason[v] != NOREASON && (abstractlevel(v) & abstract)) {
        S.seen[v] = 1;
        S.stack.push_back(l);
        S.toclear.push_back(l);
      } else {
        fail = true;
      }
    });
    if (fail) {
      for (size_t k = top; k < S.toclear.size(); k++) S.seen[var(S.toclear[k])] = 0;
      S.toclear.resize(top);
      return false;
    }
  }
  return true;
}

uint32_t computelbd(const Lit *l, size_t n) {
  if (++S.stamp == 0) {
    std::fill(S.lvlstamp.begin(), S.lvlstamp.end(), 0);
    S.stamp = 1;
  }
  uint32_t k = 0;
  for (size_t i = 0; i < n; i++) {
    uint32_t lv = S.level[var(l[i])];
    if (S.lvlstamp[lv] != S.stamp) {
      S.lvlstamp[lv] = S.stamp;
      k++;
    }
  }
  return k;
}

// First-UIP clause into S.learnt (asserting literal first, a literal of the
// backjump level second); returns the backjump level and the clause's LBD.
uint32_t analyse(uint32_t confl, uint32_t &lbd) {
  S.learnt.clear();
  S.learnt.push_back(0);
  int pathc = 0;
  Lit p = 0;
  size_t idx = S.trail.size();
  uint32_t r = confl;
  uint32_t dl = dlevel();
  for (;;) {
    if (r < BINREASON && (cflags(r) & FLEARNT)) {
      cflags(r) |= FUSED;
      uint32_t n = csize(r);
      uint32_t old = clbd(r);
      if (old > 2) {
        uint32_t nl = computelbd(clits(r), n);
        if (nl + 1 < old) cflags(r) = (cflags(r) & ((1u << LBDSHIFT) - 1)) | (nl << LBDSHIFT);
      }
    }
    reasonlits(r, p ? var(p) : 0, [&](Lit q) {
      uint32_t v = var(q);
      if (S.seen[v] || S.level[v] == 0) return;
      S.seen[v] = 1;
      bump(v);
      if (S.level[v] >= dl) pathc++;
      else S.learnt.push_back(q);
    });
    do idx--;
    while (!S.seen[var(S.trail[idx])]);
    p = S.trail[idx];
    S.seen[var(p)] = 0;
    if (--pathc <= 0) break;
    r = S.reason[var(p)];
  }
  S.learnt[0] = neg(p);

  // minimisation
  S.toclear.assign(S.learnt.begin(), S.learnt.end());
  uint32_t abstract = 0;
  for (size_t k = 1; k < S.learnt.size(); k++) abstract |= abstractlevel(var(S.learnt[k]));
  size_t j = 1;
  for (size_t k = 1; k < S.learnt.size(); k++) {
    Lit q = S.learnt[k];
    if (S.reason[var(q)] == NOREASON || !redundant(q, abstract)) S.learnt[j++] = q;
  }
  S.learnt.resize(j);
  for (Lit q : S.toclear) S.seen[var(q)] = 0;

  uint32_t bt = 0;
  if (S.learnt.size() > 1) {
    size_t mx = 1;
    for (size_t k = 2; k < S.learnt.size(); k++)
      if (S.level[var(S.learnt[k])] > S.level[var(S.learnt[mx])]) mx = k;
    std::swap(S.learnt[1], S.learnt[mx]);
    bt = S.level[var(S.learnt[1])];
  }
  lbd = computelbd(S.learnt.data(), S.learnt.size());
  return bt;
}

// ---- learned-clause reduction

bool locked(uint32_t cr) {
  Lit l0 = clits(cr)[0];
  return S.val[l0] == 1 && S.reason[var(l0)] == cr;
}

// Every long clause is watched by exactly its first two literals, and a
// watched literal is false only when the other one is true or the clause is a
// pending reason (checked build).
[[maybe_unused]] bool watchesok() {
  std::vector<uint32_t> seen(S.arena.size(), 0);
  for (Lit l = 2; l < S.watch.size(); l++)
    for (const Watch &w : S.watch[l]) {
      const uint32_t *c = clits(w.cref);
      if (c[0] != l && c[1] != l) return false;
      seen[w.cref]++;
    }
  for (size_t cr = 0; cr < S.arena.size(); cr += HDR + S.arena[cr]) {
    if (seen[cr] != 2) return false;
    const uint32_t *c = clits((uint32_t)cr);
    if (S.qhead == S.trail.size() && S.val[c[0]] == -1 && S.val[c[1]] != 1) return false;
    if (S.qhead == S.trail.size() && S.val[c[1]] == -1 && S.val[c[0]] != 1) return false;
  }
  return true;
}

// Moves the live clauses to the front of the arena and rebuilds the watches.
void collect() {
  for (auto &w : S.watch) w.clear();
  std::vector<uint32_t> &a = S.arena;
  size_t w = 0, r = 0;
  // forward address of each moved clause in its (dead) flags word
  while (r < a.size()) {
    uint32_t n = a[r];
    size_t len = HDR + n;
    if (!(a[r + 1] & FDELETED)) {
      uint32_t to = (uint32_t)w;
      if (w != r) std::memmove(&a[w], &a[r], len * sizeof(uint32_t));
      Lit l0 = a[w + HDR];
      uint32_t v = var(l0);
      if (S.reason[v] == (uint32_t)r && S.val[l0] == 1) S.reason[v] = to;
      w += len;
    }
    r += len;
  }
  a.resize(w);
  S.learnts.clear();
  for (size_t cr = 0; cr < a.size(); cr += HDR + a[cr]) {
    attach((uint32_t)cr);
    if (a[cr + 1] & FLEARNT) S.learnts.push_back((uint32_t)cr);
  }
  S.wasted = 0;
  LUM_CHECK(watchesok());
}

void reduce() {
  std::vector<uint32_t> cand;
  cand.reserve(S.learnts.size());
  for (uint32_t cr : S.learnts) {
    uint32_t &f = cflags(cr);
    if (f & FUSED) { f &= ~FUSED; continue; }
    if (clbd(cr) <= 2 || locked(cr)) continue;
    cand.push_back(cr);
  }
  std::sort(cand.begin(), cand.end(), [](uint32_t x, uint32_t y) {
    if (clbd(x) != clbd(y)) return clbd(x) > clbd(y);
    if (csize(x) != csize(y)) return csize(x) > csize(y);
    return x < y;
  });
  size_t kill = cand.size() / 2;
  for (size_t k = 0; k < kill; k++) {
    cflags(cand[k]) |= FDELETED;
    S.wasted += HDR + csize(cand[k]);
    SATstat.deleted++;
  }
  collect();
}

// ---- restarts

double luby(double y, uint64_t x) {
  uint64_t size = 1, seq = 0;
  while (size < x + 1) {
    seq++;
    size = 2 * size + 1;
  }
  while (size - 1 != x) {
    size = (size - 1) >> 1;
    seq--;
    x = x % size;
  }
  double r = 1;
  while (seq-- > 0) r *= y;
  return r;
}

uint64_t membytes() {
  return (uint64_t)S.arena.size() * 4 + (uint64_t)(S.arena.size() / 4) * 8 + S.nbin * 8;
}

void init(const CNFmodel &m) {
  S = Solver{};
  S.nv = (uint32_t)m.nv;
  size_t nl = 2 * (size_t)S.nv + 2;
  S.watch.assign(nl, {});
  S.bins.assign(nl, {});
  S.val.assign(nl, 0);
  S.level.assign(S.nv + 1, 0);
  S.reason.assign(S.nv + 1, NOREASON);
  S.trail.reserve(S.nv + 1);
  S.act.assign(S.nv + 1, 0.0);
  S.hpos.assign(S.nv + 1, -1);
  S.phase.assign(S.nv + 1, 1);
  S.seen.assign(S.nv + 1, 0);
  S.lvlstamp.assign(S.nv + 2, 0);
  S.arena.reserve(m.lits.size() + 2 * (size_t)m.nc);
}

}  // namespace

int SATcdcl(const CNFmodel &m, const SATlimits &lim, std::vector<int32_t> &out) {
  init(m);
  std::vector<Lit> cl;
  bool unsat = false;
  std::vector<uint8_t> occurs(S.nv + 1, 0);
  for (size_t i = 0; i < m.lits.size() && !unsat; i++) {
    cl.clear();
    while (m.lits[i]) cl.push_back(mklit(m.lits[i++]));
    for (Lit l : cl) occurs[var(l)] = 1;
    if (cl.empty()) {
      unsat = true;
    } else if (cl.size() == 1) {
      if (S.val[cl[0]] == -1) unsat = true;
      else if (S.val[cl[0]] == 0) assign(cl[0], NOREASON);
    } else if (cl.size() == 2) {
      addbinary(cl[0], cl[1]);
    } else {
      attach(newclause(cl.data(), (uint32_t)cl.size(), false, 0));
    }
  }
  if (unsat) return SATUNSAT;
  LUM_CHECK(watchesok());
  for (uint32_t v = 1; v <= S.nv; v++)
    if (occurs[v]) heapinsert(v);
  if (lim.maxbytes && membytes() > lim.maxbytes) return SATUNKNOWN;

  uint64_t nextreduce = 2000, reduceinc = 300, nreduce = 0;
  uint64_t restartnum = 0;
  uint64_t conflictsleft = (uint64_t)(luby(2, restartnum) * 100);
  uint64_t sincecheck = 0;
  int result = SATUNKNOWN;
  for (;;) {
    uint32_t confl = propagate();
    if (confl != NOREASON) {
      SATstat.conflicts++;
      if (dlevel() == 0) { result = SATUNSAT; break; }
      uint32_t lbd;
      uint32_t bt = analyse(confl, lbd);
      backtrack(bt);
      LUM_CHECK(S.val[S.learnt[0]] == 0);
      LUM_CHECK(std::all_of(S.learnt.begin() + 1, S.learnt.end(), [](Lit q) { return S.val[q] == -1; }));
      if (S.learnt.size() == 1) {
        assign(S.learnt[0], NOREASON);
      } else if (S.learnt.size() == 2) {
        addbinary(S.learnt[0], S.learnt[1]);
        assign(S.learnt[0], BINREASON | S.learnt[1]);
      } else {
        uint32_t cr = newclause(S.learnt.data(), (uint32_t)S.learnt.size(), true, lbd);
        attach(cr);
        S.learnts.push_back(cr);
        assign(S.learnt[0], cr);
      }
      SATstat.learned++;
      S.varinc *= 1.0 / 0.95;
      if (conflictsleft) conflictsleft--;
      if (lim.maxconflicts && SATstat.conflicts >= lim.maxconflicts) break;
      if (SATstat.conflicts >= nextreduce) {
        reduce();
        nreduce++;
        nextreduce = SATstat.conflicts + 2000 + reduceinc * nreduce;
      }
      if (lim.maxbytes && membytes() > lim.maxbytes) {
        reduce();
        if (membytes() > lim.maxbytes) break;
      }
      if (lim.deadline && ++sincecheck >= 256) {
        sincecheck = 0;
        if (time(nullptr) >= lim.deadline) break;
      }
      continue;
    }
    if (conflictsleft == 0) {
      backtrack(0);
      SATstat.restarts++;
      conflictsleft = (uint64_t)(luby(2, ++restartnum) * 100);
    }
    uint32_t v = 0;
    while (!S.heap.empty()) {
      uint32_t u = heappop();
      if (S.val[2 * u] == 0) { v = u; break; }
    }
    if (v == 0) { result = SATSAT; break; }
    SATstat.decisions++;
    if (lim.deadline && (SATstat.decisions & 4095) == 0 && time(nullptr) >= lim.deadline) break;
    S.lim.push_back((uint32_t)S.trail.size());
    assign(2 * v + S.phase[v], NOREASON);
  }
  if (result == SATSAT) {
    out.clear();
    out.reserve(S.trail.size());
    for (Lit l : S.trail) out.push_back(extlit(l));
  }
  S = Solver{};
  return result;
}
