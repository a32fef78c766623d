// Solver entry: normalisation, equivalence reduction over binary clauses,
// initial unit propagation, the search, and the rebuilding of the model of
// the CNF as it was passed in.
#include "sat/satis.h"

#include <algorithm>

#include "sat/satint.h"
#include "tree/check.h"

SATstats SATstat;

namespace {

// Rewrites the CNF in place: each clause through f(lit) -> lit (0 drops the
// literal, a clause is dropped when keep() says so after the rewrite), then
// normalised with remove_red.
template <class F, class K>
void CNFrewrite(CNFmodel &m, F f, K keep) {
  size_t w = 0, i = 0, nl = m.lits.size();
  int32_t nc = 0;
  while (i < nl) {
    size_t b = i;
    while (m.lits[i]) i++;
    size_t e = i++;
    if (!keep(&m.lits[b], e - b)) continue;
    size_t cb = w;
    for (size_t k = b; k < e; k++) {
      int32_t x = f(m.lits[k]);
      if (x) m.lits[w++] = x;
    }
    int n = (int)(w - cb);
    int r = remove_red(&m.lits[cb], n);
    if (n > 0 && r == n) { w = cb; continue; }
    w = cb + (size_t)(n - r);
    m.lits[w++] = 0;
    nc++;
  }
  m.lits.resize(w);
  m.nc = nc;
}

// Equivalences b == -a found in clause pairs (b v a), (-b v -a), as a union
// of variables with parity: parent[v] = 0 for a representative, otherwise the
// literal v stands for (in terms of its parent).
struct Eq {
  std::vector<int32_t> parent;      // [0,nv]
  std::vector<int32_t> path;        // scratch of find
  int32_t find(int32_t x) {         // literal of x in terms of its representative
    int32_t v = x < 0 ? -x : x;
    int32_t lit = v;                // v == lit throughout the walk
    path.clear();
    for (;;) {
      int32_t u = lit < 0 ? -lit : lit;
      int32_t p = parent[u];
      if (!p) break;
      path.push_back(lit);
      lit = lit < 0 ? -p : p;
    }
    // each node u on the path, met as v == s*u, becomes u == s*lit
    for (int32_t pl : path) {
      int32_t u = pl < 0 ? -pl : pl;
      parent[u] = pl < 0 ? -lit : lit;
    }
    return x < 0 ? -lit : lit;
  }
};

// Equivalence reduction. Returns true when the CNF was rewritten; eq then
// maps every replaced variable to its literal.
bool modelcleaneq(CNFmodel &m, Eq &eq) {
  CNFmstruct st = model2mstruct(m);
  // binary clauses sorted by their literal pair, to find each (-b v -a)
  struct Bin { int32_t lo, hi, idx; };
  std::vector<Bin> bins;
  for (int32_t c = 0; c < m.nc; c++)
    if (st.clen[c] == 2) {
      int32_t x = m.lits[st.cstart[c]], y = m.lits[st.cstart[c] + 1];
      bins.push_back({std::min(x, y), std::max(x, y), c});
    }
  if (bins.empty()) return false;
  auto less = [](const Bin &p, const Bin &q) {
    if (p.lo != q.lo) return p.lo < q.lo;
    if (p.hi != q.hi) return p.hi < q.hi;
    return p.idx < q.idx;
  };
  std::vector<Bin> sorted(bins);
  std::sort(sorted.begin(), sorted.end(), less);
  std::vector<std::pair<int32_t, int32_t>> entries;   // (variable, replacement literal)
  for (const Bin &bc : bins) {
    int32_t b = m.lits[st.cstart[bc.idx]], a = m.lits[st.cstart[bc.idx] + 1];
    Bin key{std::min(-a, -b), std::max(-a, -b), bc.idx + 1};
    auto it = std::lower_bound(sorted.begin(), sorted.end(), key, less);
    if (it == sorted.end() || it->lo != key.lo || it->hi != key.hi) continue;
    entries.push_back({b > 0 ? b : -b, b > 0 ? -a : a});
  }
  if (entries.empty()) return false;

  // eqcycle: each replacement rewritten through the entries before it; an
  // entry naming its own complement abandons the reduction, one naming its
  // own variable is deleted; the others redirect the earlier entries that
  // name the variable (a union step).
  eq.parent.assign((size_t)m.nv + 1, 0);
  std::vector<std::pair<int32_t, int32_t>> kept;
  for (auto [v, l] : entries) {
    int32_t r = eq.find(l);
    if (r == -v) { eq.parent.clear(); return false; }
    if (r == v) continue;
    if (eq.parent[v] == 0) eq.parent[v] = r;
    kept.push_back({v, r});
  }
  if (kept.empty()) { eq.parent.clear(); return false; }
  std::vector<int32_t> vars, reps;
  for (auto [v, l] : kept) {
    vars.push_back(v);
    reps.push_back(eq.find(l));
  }
  SATstat.eqvars = 0;
  for (int32_t v = 1; v <= m.nv; v++)
    if (eq.parent[v]) SATstat.eqvars++;
  CNFrewrite(
      m, [&](int32_t x) { return eq.find(x); }, [](const int32_t *, size_t) { return true; });
  writelog("EQ", vars.data(), vars.size());
  writelog("EQ", reps.data(), reps.size());
  return true;
}

// Literal codes of the initial propagation.
constexpr uint8_t LOPEN = 0, LTRUE = 1, LFALSE = 3, LQTRUE = 4, LQFALSE = 8;

// Initial units: collects the unit clauses, propagates them over the
// occurrence lists with per-clause counters, logs "IL" and compacts the CNF.
// Returns false when the units contradict each other or propagation meets a
// conflict. fixed[v] receives +1/-1 for the assigned variables.
bool initialunits(CNFmodel &m, std::vector<int8_t> &fixed) {
  CNFmstruct st = model2mstruct(m);
  std::vector<int32_t> units;
  std::vector<int32_t> state(st.clen);
  for (int32_t c = 0; c < m.nc; c++)
    if (st.clen[c] == 1) {
      units.push_back(m.lits[st.cstart[c]]);
      state[c] = 0;
    }
  if (units.empty()) return true;
  units.push_back(0);
  if (!remove_red2(units.data())) return false;
  units.resize((size_t)(std::find(units.begin(), units.end(), 0) - units.begin()));
  int32_t nv = m.nv;
  std::vector<uint8_t> code(2 * (size_t)nv + 1, LOPEN);
  auto cd = [&](int32_t x) -> uint8_t & { return code[(size_t)(x + nv)]; };
  std::vector<int32_t> queue;
  queue.reserve((size_t)nv);
  for (int32_t x : units) {
    queue.push_back(x);
    cd(x) = LQTRUE;
    cd(-x) = LQFALSE;
  }
  bool conflict = false;
  for (size_t q = 0; q < queue.size() && !conflict; q++) {
    int32_t x = queue[q];
    cd(x) = LTRUE;
    cd(-x) = LFALSE;
    int32_t nx = -x + nv;
    for (int32_t k = 0; k < st.ocount[nx] && !conflict; k++) {
      int32_t a = st.occ[st.ostart[nx] + k];
      if (state[a] == 0) continue;
      if (state[a] != 2) { state[a]--; continue; }
      int32_t b = 0;
      for (int32_t t = 0; t < st.clen[a]; t++) {
        int32_t y = m.lits[st.cstart[a] + t];
        if (!(cd(y) & 1)) { b = y; break; }
      }
      if (b == 0 || cd(b) == LQFALSE) {
        conflict = true;
      } else if (cd(b) == LOPEN) {
        queue.push_back(b);
        cd(b) = LQTRUE;
        cd(-b) = LQFALSE;
      }
      state[a] = 0;
    }
    int32_t px = x + nv;
    for (int32_t k = 0; k < st.ocount[px]; k++) state[st.occ[st.ostart[px] + k]] = 0;
  }
  writelog("IL", queue.data(), queue.size());
  if (conflict) return false;
  for (int32_t x : queue) fixed[(size_t)(x < 0 ? -x : x)] = x > 0 ? 1 : -1;
  CNFrewrite(
      m, [&](int32_t x) { return cd(x) == LFALSE ? 0 : x; },
      [&](const int32_t *l, size_t n) {
        for (size_t k = 0; k < n; k++)
          if (cd(l[k]) == LTRUE) return false;
        return true;
      });
  return true;
}

bool hasemptyclause(const CNFmodel &m) {
  bool start = true;
  for (int32_t x : m.lits) {
    if (x == 0 && start) return true;
    start = x == 0;
  }
  return false;
}

}  // namespace

int issat1(CNFmodel &cnf, const SATlimits &lim, std::vector<int8_t> *model) {
  SATstat = SATstats{};
  int32_t nv = cnf.nv;
  SATlogopen();
  writelog("NN", &nv, 1);
  if (hasemptyclause(cnf)) return SATUNSAT;

  Eq eq;
  modelcleaneq(cnf, eq);
  std::vector<int8_t> fixed((size_t)nv + 1, 0);   // +1/-1 for variables fixed by units
  if (!initialunits(cnf, fixed)) return SATUNSAT;
  if (hasemptyclause(cnf)) return SATUNSAT;
  SATelimstack elim;
  if (!SATeliminate(cnf, elim)) return SATUNSAT;
  SATstat.elimvars = (uint64_t)elim.eliminated;

  LUM_CHECK(CNFnormalised(cnf));
  std::vector<int32_t> trail;
  int r = SATcdcl(cnf, lim, trail);
  if (r != SATSAT) return r;

  // The assignment of every variable: the search's, then the units', a
  // variable of no clause true, the eliminated ones from their clauses, then
  // the replaced variables through their representatives.
  std::vector<int8_t> value((size_t)nv + 1, 0);
  for (int32_t x : trail) value[(size_t)(x < 0 ? -x : x)] = x > 0 ? 1 : -1;
  for (int32_t v = 1; v <= nv; v++)
    if (!value[v] && fixed[v]) {
      value[v] = fixed[v];
      trail.push_back(fixed[v] > 0 ? v : -v);
    }
  std::vector<uint8_t> gone((size_t)nv + 1, 0);   // eliminated
  for (const auto &r : elim.recs) gone[(size_t)(r.lit < 0 ? -r.lit : r.lit)] = 1;
  for (int32_t v = 1; v <= nv; v++) {
    if (value[v] || gone[v]) continue;
    bool replaced = !eq.parent.empty() && eq.parent[v] != 0;
    if (replaced) continue;
    value[v] = 1;
    trail.push_back(v);
  }
  SATextend(elim, value);
  for (size_t r = elim.recs.size(); r-- > 0;) {
    int32_t v = elim.recs[r].lit < 0 ? -elim.recs[r].lit : elim.recs[r].lit;
    trail.push_back(value[v] > 0 ? v : -v);
  }
  if (!eq.parent.empty())
    for (int32_t v = 1; v <= nv; v++)
      if (!value[v]) {
        int32_t l = eq.find(v);
        int32_t u = l < 0 ? -l : l;
        value[v] = (int8_t)(l > 0 ? value[u] : -value[u]);
        trail.push_back(value[v] > 0 ? v : -v);
      }
  writelog("IL", trail.data(), trail.size());
  if (model) {
    model->assign((size_t)nv + 1, 0);
    for (int32_t v = 1; v <= nv; v++) (*model)[v] = value[v] > 0;
  }
  return SATSAT;
}

int SATsolve(CNFmodel &cnf, const SATlimits &lim, std::vector<int8_t> *model) {
  CNFnormalise(cnf);
  LUM_CHECK(CNFnormalised(cnf));
  return issat1(cnf, lim, model);
}

int SATapply(CNFmodel &cnf) {
  return SATsolve(cnf, SATlimits{}, nullptr) == SATSAT ? 1 : 0;
}
