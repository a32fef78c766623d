// Bounded variable elimination before the search: a variable whose clauses
// can be replaced by their non-tautological resolvents without adding
// clauses (and without resolvents longer than ELIMMAXLEN) is eliminated.
// Encodings of bounded problems hold many such gate variables. The clauses
// of one side are kept to give the variable its value afterwards.
#include <algorithm>

#include "sat/satint.h"

namespace {

constexpr size_t ELIMMAXLEN = 20;         // longest resolvent allowed
constexpr size_t ELIMMAXOCC = 16;         // occurrences per side considered
constexpr uint64_t ELIMBUDGET = 20000000; // literal visits of the whole pass

struct Elim {
  int32_t nv = 0;
  std::vector<int32_t> lits;              // clause literals, each clause 0-terminated
  std::vector<uint32_t> start;            // clause -> offset in lits
  std::vector<uint8_t> dead;              // removed clause
  std::vector<std::vector<uint32_t>> occ; // literal l at l + nv -> clause ids (lazy)
  std::vector<uint32_t> mark;             // literal stamp, [0,2nv]
  uint32_t stamp = 0;
  uint64_t budget = ELIMBUDGET;

  std::vector<uint32_t> &oc(int32_t l) { return occ[(size_t)(l + nv)]; }
  const int32_t *cl(uint32_t c) const { return &lits[start[c]]; }

  uint32_t add(const int32_t *l, size_t n) {
    uint32_t c = (uint32_t)start.size();
    start.push_back((uint32_t)lits.size());
    lits.insert(lits.end(), l, l + n);
    lits.push_back(0);
    dead.push_back(0);
    for (size_t k = 0; k < n; k++) oc(l[k]).push_back(c);
    return c;
  }
  // live clauses containing l (compacts the list)
  std::vector<uint32_t> &live(int32_t l) {
    std::vector<uint32_t> &o = oc(l);
    size_t j = 0;
    for (uint32_t c : o)
      if (!dead[c]) o[j++] = c;
    o.resize(j);
    return o;
  }
  uint32_t newstamp() {
    if (++stamp == 0) {
      std::fill(mark.begin(), mark.end(), 0);
      stamp = 1;
    }
    return stamp;
  }
  // Resolvent of c (holding x) and d (holding -x) into out; false when
  // tautological or too long.
  bool resolve(uint32_t c, uint32_t d, int32_t x, std::vector<int32_t> &out) {
    out.clear();
    uint32_t s = newstamp();
    for (const int32_t *p = cl(c); *p; p++)
      if (*p != x) {
        mark[(size_t)(*p + nv)] = s;
        out.push_back(*p);
      }
    for (const int32_t *p = cl(d); *p; p++) {
      budget--;
      if (*p == -x) continue;
      if (mark[(size_t)(-*p + nv)] == s) return false;
      if (mark[(size_t)(*p + nv)] == s) continue;
      out.push_back(*p);
      if (out.size() > ELIMMAXLEN) return false;
    }
    return true;
  }
};

}  // namespace

int SATeliminate(CNFmodel &m, SATelimstack &st) {
  st = SATelimstack{};
  Elim e;
  e.nv = m.nv;
  e.occ.assign(2 * (size_t)m.nv + 1, {});
  e.mark.assign(2 * (size_t)m.nv + 1, 0);
  for (size_t i = 0; i < m.lits.size();) {
    size_t b = i;
    while (m.lits[i]) i++;
    e.add(&m.lits[b], i - b);
    i++;
  }
  // cheapest variables first
  std::vector<std::pair<uint64_t, int32_t>> order;
  for (int32_t v = 1; v <= m.nv; v++) {
    uint64_t p = e.oc(v).size(), n = e.oc(-v).size();
    if (p + n == 0) continue;
    order.push_back({p * n, v});
  }
  std::sort(order.begin(), order.end());
  std::vector<int32_t> res;
  std::vector<int32_t> made;              // resolvents of the current variable, 0-separated
  int eliminated = 0;
  bool empty = false;
  for (auto [cost, v] : order) {
    (void)cost;
    if (e.budget > ELIMBUDGET || empty) break;   // budget wrapped below zero
    std::vector<uint32_t> &pos = e.live(v), &neg = e.live(-v);
    if (pos.size() + neg.size() == 0) continue;
    if (pos.size() > ELIMMAXOCC && neg.size() > ELIMMAXOCC) continue;
    size_t limit = pos.size() + neg.size(), count = 0;
    made.clear();
    bool ok = true;
    for (size_t a = 0; a < pos.size() && ok; a++)
      for (size_t b = 0; b < neg.size() && ok; b++) {
        if (!e.resolve(pos[a], neg[b], v, res)) {
          if (res.size() > ELIMMAXLEN) ok = false;
          continue;
        }
        if (++count > limit) ok = false;
        made.insert(made.end(), res.begin(), res.end());
        made.push_back(0);
      }
    if (!ok) continue;
    // keep the smaller side for the model
    bool keeppos = pos.size() <= neg.size();
    const std::vector<uint32_t> &side = keeppos ? pos : neg;
    st.recs.push_back({keeppos ? v : -v, (uint32_t)st.lits.size()});
    for (uint32_t c : side) {
      for (const int32_t *p = e.cl(c); *p; p++) st.lits.push_back(*p);
      st.lits.push_back(0);
    }
    for (uint32_t c : pos) e.dead[c] = 1;
    for (uint32_t c : neg) e.dead[c] = 1;
    e.oc(v).clear();
    e.oc(-v).clear();
    for (size_t i = 0; i < made.size();) {
      size_t b = i;
      while (made[i]) i++;
      if (i == b) empty = true;
      e.add(&made[b], i - b);
      i++;
    }
    eliminated++;
  }
  st.eliminated = eliminated;
  if (empty) return 0;
  if (!eliminated) return 1;
  CNFmodel out;
  out.nv = m.nv;
  for (uint32_t c = 0; c < e.start.size(); c++) {
    if (e.dead[c]) continue;
    const int32_t *p = e.cl(c);
    size_t n = 0;
    while (p[n]) n++;
    out.lits.insert(out.lits.end(), p, p + n + 1);
    out.nc++;
  }
  m = std::move(out);
  return 1;
}

void SATextend(const SATelimstack &st, std::vector<int8_t> &value) {
  for (size_t r = st.recs.size(); r-- > 0;) {
    int32_t x = st.recs[r].lit;
    size_t b = st.recs[r].begin, e = r + 1 < st.recs.size() ? st.recs[r + 1].begin : st.lits.size();
    size_t v = (size_t)(x < 0 ? -x : x);
    bool need = false;                    // some kept clause false without x
    for (size_t i = b; i < e && !need;) {
      bool sat = false;
      for (; st.lits[i]; i++) {
        int32_t l = st.lits[i];
        if (l == x) continue;
        size_t u = (size_t)(l < 0 ? -l : l);
        if ((l > 0) == (value[u] > 0)) sat = true;
      }
      i++;
      need = !sat;
    }
    value[v] = (int8_t)((x > 0) == need ? 1 : -1);
  }
}
