// Internal QBF search: depth first over the quantifier blocks in tree
// order, unit propagation through the connectives with per-node counters of
// open entries, the pure-literal rule and a lookahead branching heuristic.
// The search runs on an explicit frame stack; every counter change is
// logged on a trail and undone from it when a level is left.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "qbf/qbfint.h"

static bool isquant(int k) { return k == QMD_A || k == QMD_E; }

static void enqueue(qsearch &s, int l) {
  QSlit(s, l) = QS_QTRUE;
  QSlit(s, -l) = QS_QFALSE;
  s.trail.push_back(l);
}

static void setcnt(qsearch &s, int n, int c) {
  s.ctrail.push_back({n, s.cnt[n]});
  s.cnt[n] = c;
}

static bool entryopen(qsearch &s, int e) {
  if (e > s.V) return s.nval[e - s.V] == QS_FREE;
  unsigned char v = QSlit(s, e);
  return v != QS_TRUE && v != QS_FALSE;
}

// The one open entry of node n (counter 1), 0 when none is left.
static int lastopen(qsearch &s, int n) {
  for (int i = s.start[n], e = i + s.len[n]; i < e; i++)
    if (entryopen(s, s.ent[i])) return s.ent[i];
  return 0;
}

// The walk that accepts an implied literal: from the node holding it up to
// the block binding its variable, through connectives that fall with the
// literal (a conjunction, a disjunction with one open entry) and blocks
// that bind other variables. An existential variable takes the literal, a
// universal one its complement; a decided node on the way refuses.
static void assignable(qsearch &s, int holder, int l) {
  int x = std::abs(l), b = s.bind[x];
  for (int w = holder;; w = s.parent[w]) {
    if (s.cnt[w] == 0) return;
    if (w == b) {
      enqueue(s, s.exist[x] ? l : -l);
      QBFstats.implied++;
      return;
    }
    if (s.kind[w] == QMD_D && s.cnt[w] != 1) return;
    if (s.parent[w] < 0) utilerror("assignable");
  }
}

// Node n has one open entry left: find the literal it reduces to, passing
// into blocks and into connectives with one open entry.
// A node may still count the literal being propagated (its occurrence in the
// node comes later): it then has no open entry and gives nothing; any other
// node without an open entry is an inconsistency of the counters.
static bool holdscurrent(qsearch &s, int n) {
  for (int i = s.start[n], e = i + s.nlits[n]; i < e; i++)
    if (std::abs(s.ent[i]) == std::abs(s.cur)) return true;
  return false;
}

static void unit(qsearch &s, int n) {
  int e = lastopen(s, n), holder = n;
  if (!e) {
    if (!holdscurrent(s, n)) utilerror("qunit 3");
    return;
  }
  while (e > s.V) {
    int m = e - s.V;
    if (isquant(s.kind[m])) {
      e = m + 1 + s.V;            // the scope follows its block
      if (s.nval[m + 1] != QS_FREE) return;
      continue;
    }
    if (s.cnt[m] != 1) return;
    holder = m;
    e = lastopen(s, m);
    if (!e) return;
  }
  if (QSlit(s, e) != QS_FREE) return;
  assignable(s, holder, e);
}

// Decides node n with value v and climbs; QR_TRUE/QR_FALSE when the stop
// node (or the root) got decided, else QR_OPEN.
static int decide(qsearch &s, int n, unsigned char v) {
  for (;;) {
    s.ctrail.push_back({~n, s.cnt[n]});
    s.cnt[n] = 0;
    s.nval[n] = v;
    if (n == s.stop || s.parent[n] < 0) return v == QS_TRUE ? QR_TRUE : QR_FALSE;
    int p = s.parent[n];
    if (s.cnt[p] == 0) return QR_OPEN;
    int k = s.kind[p];
    if ((k == QMD_C && v == QS_TRUE) || (k == QMD_D && v == QS_FALSE)) {
      if (s.cnt[p] == 1) { n = p; continue; }
      setcnt(s, p, s.cnt[p] - 1);
      s.lucount++;
      if (s.cnt[p] == 1) unit(s, p);
      return QR_OPEN;
    }
    n = p;   // a conjunction falls, a disjunction holds, a block takes its scope's value
  }
}

// Literal l became false (istrue 0) or true in connective n.
static int touch(qsearch &s, int n, bool istrue) {
  if (s.cnt[n] == 0) return QR_OPEN;
  bool decides = (s.kind[n] == QMD_D) == istrue;
  if (decides || s.cnt[n] == 1) return decide(s, n, istrue ? QS_TRUE : QS_FALSE);
  setcnt(s, n, s.cnt[n] - 1);
  s.lucount++;
  if (s.cnt[n] == 1) unit(s, n);
  return QR_OPEN;
}

static int propagate(qsearch &s) {
  while (s.qhead < (int)s.trail.size()) {
    int l = s.trail[s.qhead++];
    s.cur = l;
    QSlit(s, l) = QS_TRUE;
    QSlit(s, -l) = QS_FALSE;
    s.ticks++;
    int x = std::abs(l), b = s.bind[x];
    if (b >= 0 && s.cnt[b] > 0) {
      setcnt(s, b, s.cnt[b] - 1);   // a bound variable counts once, whatever its value
      s.lucount++;
      if (s.cnt[b] == 1) unit(s, b);
    }
    for (int i = s.ostart[-l + s.V], e = i + s.ocnt[-l + s.V]; i < e; i++) {
      int r = touch(s, s.occ[i], false);
      if (r != QR_OPEN) return r;
    }
    for (int i = s.ostart[l + s.V], e = i + s.ocnt[l + s.V]; i < e; i++) {
      int r = touch(s, s.occ[i], true);
      if (r != QR_OPEN) return r;
    }
  }
  return QR_OPEN;
}

static void openlevel(qsearch &s, int l) {
  s.levels.push_back({(int)s.trail.size(), (int)s.ctrail.size(), l});
  enqueue(s, l);
}

// Takes back the current level's assignments and counter changes.
static void undolevel(qsearch &s, bool pop) {
  qlevel &lv = s.levels.back();
  for (int i = (int)s.trail.size(); i-- > lv.trail;) {
    int l = s.trail[i];
    QSlit(s, l) = QS_FREE;
    QSlit(s, -l) = QS_FREE;
  }
  s.trail.resize(lv.trail);
  s.qhead = lv.trail;
  for (int i = (int)s.ctrail.size(); i-- > lv.ctrail;) {
    auto [n, c] = s.ctrail[i];
    if (n < 0) {
      n = ~n;
      s.nval[n] = QS_FREE;
    }
    s.cnt[n] = c;
  }
  s.ctrail.resize(lv.ctrail);
  if (pop) s.levels.pop_back();
}

static int trial(qsearch &s, int l, long long &count) {
  s.lucount = 0;
  openlevel(s, l);
  int r = propagate(s);
  undolevel(s, true);
  count = s.lucount;
  QBFstats.lookaheads++;
  return r;
}

constexpr int SEL_NONE = 0;
constexpr int LOOKAHEAD = 6;   // candidates examined by trial propagation

static double ev0(qsearch &s, int l) {
  double r = 0;
  for (int i = s.ostart[l + s.V], e = i + s.ocnt[l + s.V]; i < e; i++) {
    int c = s.cnt[s.occ[i]];
    if (c > 0) r += std::ldexp(1.0, -std::min(c, 10));
  }
  return r;
}

// Branching literal among the free variables of block k; SEL_NONE when all
// are set. pure is set when the literal is a pure one (no open occurrence of
// its complement), to be taken without branching.
static int sel_ev1(qsearch &s, int k, bool &pure) {
  pure = false;
  s.cand.clear();
  for (int i = s.start[k], e = i + s.nlits[k]; i < e; i++) {
    int x = s.ent[i];
    if (QSlit(s, x) != QS_FREE) continue;
    double sp = ev0(s, x), sn = ev0(s, -x);
    if (sp == 0 || sn == 0) {
      pure = true;
      return sp == 0 ? -x : x;
    }
    s.score[x] = sp * sn;
    s.cand.push_back(x);
  }
  if (s.cand.empty()) return SEL_NONE;
  if (s.cand.size() == 1) return s.cand[0];
  std::stable_sort(s.cand.begin(), s.cand.end(), [&](int a, int b) { return s.score[a] > s.score[b]; });
  int best = s.cand[0];
  long long bestv = -1;
  for (size_t i = 0; i < s.cand.size() && i < (size_t)LOOKAHEAD; i++) {
    int x = s.cand[i];
    long long cp, cn;
    if (trial(s, x, cp) != QR_OPEN) return x;
    if (trial(s, -x, cn) != QR_OPEN) return -x;
    if (cp * cn > bestv) {
      bestv = cp * cn;
      best = x;
    }
  }
  return best;
}

// Search frames. A block frame is one call of the branching step on block
// node (phase 0 start, 1 return after undoing its level, 2 after the first
// branch); a connective frame walks its open children from entry idx.
struct qframe {
  int node;
  int phase;
  int lit;
  int idx;
};

static bool expired(qsearch &s) {
  if ((!s.deadline && !s.maxbytes) || s.timedout) return s.timedout;
  if (s.ticks >= s.nextcheck) {
    s.nextcheck = s.ticks + 4096;
    if (s.deadline && time(nullptr) >= s.deadline) s.timedout = true;
    if (s.maxbytes && utilrss() > s.maxbytes) s.timedout = true;
  }
  return s.timedout;
}

static void snapshot(qsearch &s, int node, int r, std::vector<signed char> &outer) {
  if (r != QR_TRUE || node >= s.chain || !outer.empty()) return;
  outer.assign(s.V + 1, 0);
  for (int k = 0; k < s.chain; k++)
    for (int i = s.start[k], e = i + s.nlits[k]; i < e; i++)
      outer[s.ent[i]] = QSlit(s, s.ent[i]) == QS_TRUE;
}

static int qbranching(qsearch &s, std::vector<signed char> &outer) {
  std::vector<qframe> fs{{0, 0, 0, 0}};
  int ret = QR_OPEN;
  while (!fs.empty()) {
    s.ticks++;
    if (expired(s)) return QR_OPEN;
    qframe &f = fs.back();
    int k = f.node;
    if (!isquant(s.kind[k])) {
      bool conj = s.kind[k] == QMD_C;
      if (f.phase == 0) {
        for (int i = 0; i < s.nlits[k]; i++)
          if (entryopen(s, s.ent[s.start[k] + i])) utilerror("seldc");
        f.idx = s.nlits[k];
        f.phase = 1;
      } else if (ret == (conj ? QR_FALSE : QR_TRUE)) {
        fs.pop_back();   // a false conjunct, a true disjunct
        continue;
      }
      int child = -1;
      while (f.idx < s.len[k] && child < 0) {
        int c = s.ent[s.start[k] + f.idx++] - s.V;
        if (s.nval[c] == QS_FREE) child = c;
      }
      if (child < 0) {
        ret = conj ? QR_TRUE : QR_FALSE;
        fs.pop_back();
      } else {
        fs.push_back({child, 0, 0, 0});
      }
      continue;
    }
    int target = s.kind[k] == QMD_E ? QR_TRUE : QR_FALSE;
    s.stop = k;
    if (f.phase == 0) {
      bool pure;
      int l = sel_ev1(s, k, pure);
      s.stop = k;
      if (l == SEL_NONE) {
        if (s.nval[k + 1] != QS_FREE) utilerror("qbranching");
        f = {k + 1, 0, 0, 0};   // the scope decides the block
        continue;
      }
      if (pure) {
        QBFstats.pures++;
        if (s.kind[k] == QMD_A) l = -l;
      } else {
        QBFstats.decisions++;
      }
      f.lit = l;
      openlevel(s, l);
      int r = propagate(s);
      f.phase = pure ? 1 : 2;
      if (r == QR_OPEN) {
        fs.push_back({k, 0, 0, 0});
        continue;
      }
      ret = r;
    }
    if (f.phase == 2 && ret != target) {
      undolevel(s, false);   // the second branch reuses the level
      s.levels.back().lit = -f.lit;
      enqueue(s, -f.lit);
      f.phase = 1;
      int r = propagate(s);
      if (r == QR_OPEN) {
        fs.push_back({k, 0, 0, 0});
        continue;
      }
      ret = r;
    }
    snapshot(s, k, ret, outer);
    undolevel(s, true);
    fs.pop_back();
  }
  return ret;
}

// Variables used by the connectives but bound by no block are existential
// at the outermost level.
static qmd *bindfree(qmd *t, int V) {
  std::vector<char> bound(V + 1, 0), used(V + 1, 0);
  std::vector<qmd *> st{t};
  while (!st.empty()) {
    qmd *n = st.back();
    st.pop_back();
    for (int l : n->list) {
      if (l == 0 || std::abs(l) > V) utilerror("QBFapply");
      (isquant(n->kind) ? bound : used)[std::abs(l)] = 1;
    }
    for (qmd *k : n->kids) st.push_back(k);
  }
  std::vector<int> fr;
  for (int v = 1; v <= V; v++)
    if (used[v] && !bound[v]) fr.push_back(v);
  return fr.empty() ? t : qmdnew(QMD_E, fr, {t});
}

int QBFapply(qmdata &d, qmd *t) {
  QBFstats = {};
  d.outer.clear();
  if (!t) return 1;
  qmdsimp(t, d);
  int c = qmdisconst(t);
  if (c >= 0) {
    freeqmdata(t);
    return c;
  }
  t = bindfree(t, d.V);
  qsearch s;
  s.V = d.V;
  s.deadline = d.deadline;
  s.maxbytes = d.maxbytes;
  md2qi(t, s);
  freeqmdata(t);
  if (d.maxbytes && utilrss() > d.maxbytes) return QBF_TIMEOUT;
  int r = qbranching(s, d.outer);
  if (s.timedout) {
    d.outer.clear();
    return QBF_TIMEOUT;
  }
  if (r != QR_TRUE) d.outer.clear();
  return r == QR_TRUE ? 1 : 0;
}
