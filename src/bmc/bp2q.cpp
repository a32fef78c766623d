// QBF encoding of the bounded problems.
//
// Readings. Every encoding is sound for its own formula: when the QBF of a
// state formula is true, the formula holds in that state (both directions
// encode a formula, the refutation its negation). An existential path is a
// real path of n steps; under fairness it must close a lasso on which every
// constraint holds (the strong form). A universal path ranges over all
// paths of n steps, fairness ignored (the weak form TRUE, sound since fair
// paths are paths), except that A F and A U under fairness may also be
// proved by one Emerson-Lei step: no fair path avoids q when, for some
// constraint c, every successor's paths keep c false until q. When the
// relation has dead ends, a universal path may stop at any position (a halt
// bit per position, universal too): a stopped position holds everything, as
// a dead end does for the decision-diagram engine, and a path stopped where
// it could go on demands no more than its continuations do, so the paths
// that stop early change nothing else.
#include "bmc/bp2q.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "formula/tlf.h"

namespace {

bool isop(const tree *t, char c) { return t && t->text[0] == c && t->text[1] == 0; }

bool isnum(const tree *t) { return t && t->text[0] >= '0' && t->text[0] <= '9'; }

// Connective of a and b with the constants folded and nested nodes of the
// same kind (and single literals) joined, so that the trees stay flat.
qmd *mk(int kind, qmd *a, qmd *b) {
  if (!a) return b;
  if (!b) return a;
  int unit = kind == QMD_C;   // TRUE for a conjunction, FALSE for a disjunction
  for (qmd **x : {&a, &b}) {
    int c = qmdisconst(*x);
    if (c == unit) {
      freeqmdata(*x);
      return x == &a ? b : a;
    }
    if (c == 1 - unit) {
      freeqmdata(x == &a ? b : a);
      return *x;
    }
  }
  qmd *n = qmdnew(kind);
  for (qmd *x : {a, b}) {
    bool lit1 = (x->kind == QMD_C || x->kind == QMD_D) && x->kids.empty() && x->list.size() == 1;
    if (x->kind == kind || lit1) {
      n->list.insert(n->list.end(), x->list.begin(), x->list.end());
      n->kids.insert(n->kids.end(), x->kids.begin(), x->kids.end());
      x->kids.clear();
      delete x;
    } else {
      n->kids.push_back(x);
    }
  }
  return n;
}

qmd *mkand(qmd *a, qmd *b) { return mk(QMD_C, a, b); }
qmd *mkor(qmd *a, qmd *b) { return mk(QMD_D, a, b); }
qmd *lit(int l) { return l ? qmdnew(QMD_D, {l}) : qmdconst(0); }

// A propositional formula with variable v (1..2w) renamed: current bits to
// cur + v, next bits to nxt + v - w; negations pushed to the literals.
qmd *place(const tree *t, int w, int cur, int nxt) {
  if (!t) return qmdconst(1);
  struct fr { const tree *t; bool neg; int state; };
  std::vector<fr> st{{t, false, 0}};
  std::vector<qmd *> val;
  while (!st.empty()) {
    fr &f = st.back();
    const tree *n = f.t;
    bool neg = f.neg;
    if (!n) {
      val.push_back(qmdconst(1));   // an absent operand leaves the other alone
      st.pop_back();
      continue;
    }
    if (isop(n, '!')) {
      if (f.state == 0) {
        f.state = 1;
        st.push_back({n->right, !neg, 0});
      } else {
        st.pop_back();
      }
      continue;
    }
    bool conj = isop(n, '&') || isop(n, ':') || isop(n, ';');
    if (conj || isop(n, '|')) {
      if (f.state < 2) {
        const tree *c = f.state == 0 ? n->left : n->right;
        f.state++;
        st.push_back({c, neg, 0});
        continue;
      }
      qmd *b = val.back();
      val.pop_back();
      qmd *a = val.back();
      val.pop_back();
      val.push_back(mk(conj != neg ? QMD_C : QMD_D, a, b));
      st.pop_back();
      continue;
    }
    if (isop(n, '^') || isop(n, '_')) {
      val.push_back(qmdconst(isop(n, '^') != neg));
    } else if (isnum(n)) {
      int v = atoi(n->text);
      if (v < 1 || v > 2 * w) utilerror("bp2q");
      int x = v <= w ? cur + v : nxt + v - w;
      val.push_back(lit(neg ? -x : x));
    } else {
      utilerror("bp2q");
    }
    st.pop_back();
  }
  return val.back();
}

// One path of the current formula: positions 0..n.
struct qpath {
  bool A = false;                 // universal
  bool fair = false;              // an existential path closing a fair lasso
  std::vector<int> base;          // [0,n] first variable of each position's copy minus 1
  std::vector<int> halt;          // [0,n] halt bit of the position (0: never stops)
  int n() const { return (int)base.size() - 1; }
};

struct qenc {
  qmdata *d;
  int w, k;
  const tree *init, *trans;
  std::vector<const tree *> fair;
  bool halting;

  int alloc() {
    int b = d->V;
    d->V += w;
    return b;
  }
  qmd *state(const tree *f, int base);
  qmd *path(const tree *q, int base, bool nofair);
  qmd *temporal(const tree *psi, const qpath &p);
};

qmd *hlit(const qpath &p, int i, bool pos) {
  int h = p.halt[i];
  return h ? lit(pos ? h : -h) : qmdconst(!pos);
}

// Positions i and j hold the same state (neg: differ).
qmd *eqpos(const qenc &e, int bi, int bj, bool neg) {
  qmd *r = nullptr;
  for (int t = 1; t <= e.w; t++) {
    int x = bi + t, y = bj + t;
    qmd *c = neg ? mkor(mkand(lit(x), lit(-y)), mkand(lit(-x), lit(y)))
                 : mkand(mkor(lit(-x), lit(y)), mkor(lit(x), lit(-y)));
    r = neg ? mkor(r, c) : mkand(r, c);
  }
  return r ? r : qmdconst(!neg);
}

// Some two positions of the path hold the same state.
qmd *loopcond(const qenc &e, const qpath &p) {
  qmd *r = qmdconst(0);
  for (int i = 0; i <= p.n(); i++)
    for (int j = i + 1; j <= p.n(); j++) r = mkor(r, eqpos(e, p.base[i], p.base[j], false));
  return r;
}

// Readings of a state formula at position i: a stopped position holds.
qmd *at(qenc &e, const tree *f, const qpath &p, int i) {
  qmd *v = e.state(f, p.base[i]);
  return p.A ? mkor(hlit(p, i, true), v) : v;
}

// The last position returns to position l < n, every constraint (and the
// extra loop formulas) holding at one of the positions l+1..n; mode for the
// extra formula: 0 none, 1 at some position of the loop, 2 at all.
qmd *lasso(qenc &e, const qpath &p, const tree *extra, int mode) {
  int n = p.n();
  qmd *r = qmdconst(0);
  for (int l = 0; l < n; l++) {
    qmd *c = eqpos(e, p.base[l], p.base[n], false);
    for (const tree *fc : e.fair) {
      qmd *some = qmdconst(0);
      for (int j = l + 1; j <= n; j++) some = mkor(some, e.state(fc, p.base[j]));
      c = mkand(c, some);
    }
    if (mode) {
      qmd *x = qmdconst(mode == 2);
      for (int j = l + 1; j <= n; j++) x = mk(mode == 2 ? QMD_C : QMD_D, x, e.state(extra, p.base[j]));
      c = mkand(c, x);
    }
    r = mkor(r, c);
  }
  return r;
}

qmd *qenc::temporal(const tree *psi, const qpath &p) {
  int n = p.n();
  const tree *a = psi->left, *b = psi->right;
  bool fg = isop(psi, 'F') && isop(b, 'G'), gf = isop(psi, 'G') && isop(b, 'F');
  if (fg || gf) {
    const tree *phi = b->right;
    if (!p.A) return lasso(*this, p, phi, fg ? 2 : 1);
    // every loop of the path (between live positions) keeps phi (F G) or
    // meets it (G F), and the path loops or stops
    qmd *r = mkor(loopcond(*this, p), hlit(p, n, true));
    for (int i = 0; i <= n; i++)
      for (int j = i + 1; j <= n; j++) {
        qmd *x = qmdconst(fg);
        for (int m = i + 1; m <= j; m++) x = mk(fg ? QMD_C : QMD_D, x, state(phi, p.base[m]));
        r = mkand(r, mkor(mkor(eqpos(*this, p.base[i], p.base[j], true), hlit(p, j, true)), x));
      }
    return r;
  }
  qmd *L = p.fair ? qmdconst(1) : loopcond(*this, p);
  if (p.A) L = mkor(L, hlit(p, n, true));
  switch (psi->text[0]) {
    case 'X':
      freeqmdata(L);
      return n >= 1 ? at(*this, b, p, 1) : qmdconst(0);
    case 'F': {
      freeqmdata(L);
      qmd *r = p.A ? hlit(p, n, true) : qmdconst(0);
      for (int i = 0; i <= n; i++) {
        qmd *v = state(b, p.base[i]);
        r = mkor(r, p.A ? mkand(hlit(p, i, false), v) : v);
      }
      return r;
    }
    case 'G': {
      qmd *r = L;
      for (int i = 0; i <= n; i++) r = mkand(r, at(*this, b, p, i));
      return r;
    }
    case 'U': {   // a U b: b_i | (a_i & next), ending in b_n
      qmd *r = at(*this, b, p, n);
      for (int i = n - 1; i >= 0; i--) {
        qmd *step = mkor(state(b, p.base[i]), mkand(state(a, p.base[i]), r));
        r = p.A ? mkor(hlit(p, i, true), step) : step;
      }
      freeqmdata(L);
      return r;
    }
    case 'R': {   // a R b: b_i & (a_i | next), ending in b_n & (a_n | L)
      qmd *r = nullptr;
      for (int i = n; i >= 0; i--) {
        qmd *next = i == n ? L : r;
        qmd *step = mkand(state(b, p.base[i]), mkor(state(a, p.base[i]), next));
        r = p.A ? mkor(hlit(p, i, true), step) : step;
      }
      return r;
    }
  }
  utilerror("bp2q");
}

// A F q under fairness, by one Emerson-Lei step: q now, or for a constraint
// c every successor's paths (fairness aside) keep c false until q.
qmd *fairAF(qenc &e, const tree *q, int base) {
  qmd *r = e.state(q, base);
  for (const tree *c : e.fair) {
    tree *nc = TLFnnf(TLFnegate(treecopy(c)));
    tree *rr = treecompose("R", treecopy(q), treecompose("|", treecopy(q), nc));
    tree *inner = treecompose("A", nullptr, rr);
    tree *ax = treecompose("A", nullptr, treecompose("X", nullptr, inner));
    qmd *x = e.path(ax, base, true);
    r = mkor(r, x);
    treefree(ax);
  }
  return r;
}

qmd *qenc::path(const tree *q, int base, bool nofair) {
  bool A = isop(q, 'A');
  const tree *psi = q->right;
  if (!psi) utilerror("bp2q");
  bool hasfair = !fair.empty() && !nofair;
  if (A && hasfair && (isop(psi, 'F') || isop(psi, 'U')) && !(isop(psi, 'F') && isop(psi->right, 'G'))) {
    // A F q: the universal paths, or the Emerson-Lei step; A (p U q): A (q R (q | p)) and A F q
    const tree *goal = psi->right;
    qmd *af;
    if (isop(psi, 'F')) {
      af = mkor(path(q, base, true), fairAF(*this, goal, base));
    } else {
      tree *w = treecompose("A", nullptr, treecompose("R", treecopy(goal),
                                                     treecompose("|", treecopy(goal), treecopy(psi->left))));
      af = mkand(path(w, base, true), mkor(path(q, base, true), fairAF(*this, goal, base)));
      treefree(w);
    }
    return af;
  }
  int n = !hasfair && isop(psi, 'X') ? 1 : k;
  qpath p;
  p.A = A;
  p.fair = !A && hasfair;
  p.base.push_back(base);
  p.halt.push_back(0);
  std::vector<std::vector<int>> blocks;
  bool stops = A && halting;
  for (int i = 1; i <= n; i++) {
    int b = alloc();
    p.base.push_back(b);
    std::vector<int> vs;
    for (int t = 1; t <= w; t++) vs.push_back(b + t);
    p.halt.push_back(stops ? ++d->V : 0);
    if (stops) vs.push_back(d->V);
    blocks.push_back(vs);
  }
  // path constraint: each step a transition, or (universal paths) a halt
  // that lasts
  qmd *C = qmdconst(1);
  for (int i = 1; i <= n; i++) {
    qmd *step = place(trans, w, p.base[i - 1], p.base[i]);
    if (stops) step = mkand(mkor(hlit(p, i, true), step), mkor(hlit(p, i - 1, false), hlit(p, i, true)));
    C = mkand(C, step);
  }
  qmd *body = temporal(psi, p);
  qmd *m;
  if (A) {
    mdnegate(C);   // constraint -> body
    m = mkor(C, body);
  } else {
    bool pairs = (isop(psi, 'F') && isop(psi->right, 'G')) || (isop(psi, 'G') && isop(psi->right, 'F'));
    qmd *fc = p.fair && !pairs ? lasso(*this, p, nullptr, 0) : qmdconst(1);
    m = mkand(mkand(C, fc), body);
  }
  if (qmdisconst(m) >= 0) return m;
  for (int i = n; i >= 1; i--) m = qmdnew(A ? QMD_A : QMD_E, blocks[i - 1], {m});
  return m;
}

qmd *qenc::state(const tree *f, int base) {
  if (!f || TLFisprop(f) || isop(f, '^') || isop(f, '_')) return place(f, w, base, base);
  if (isop(f, '&') || isop(f, '|'))
    return mk(isop(f, '&') ? QMD_C : QMD_D, state(f->left, base), state(f->right, base));
  if (isop(f, 'A') || isop(f, 'E')) return path(f, base, false);
  utilerror("bp2q");
}

const tree *part(const tree *program, int i) {
  const tree *t = program;
  for (int j = 0; j < i && t; j++) t = isop(t, '#') ? t->right : nullptr;
  return t && isop(t, '#') ? t->left : nullptr;
}

}  // namespace

qmd *tree2md(const tree *t) {
  int w = 0;
  std::vector<const tree *> st{t};
  while (!st.empty()) {   // widest variable number, for place's bound
    const tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (isnum(n)) w = std::max(w, atoi(n->text));
    st.push_back(n->left);
    st.push_back(n->right);
  }
  return place(t, w, 0, w);
}

qmd *bp2q(qmdata &d, const tree *program, const tree *fairness, const tree *property, int w, int k,
          int direction, int flags) {
  d.V = 0;
  qenc e{&d, w, k, part(program, 1), part(program, 2), {}, (flags & BP2Q_HALTING) != 0};
  for (const tree *c = fairness; c && !isop(c, '^');) {
    if (isop(c, ';')) {
      e.fair.push_back(c->left);
      c = c->right;
    } else {
      e.fair.push_back(c);
      c = nullptr;
    }
  }
  tree *phi = treecopy(property);
  if (!direction) phi = TLFnnf(TLFnegate(phi));
  int root = e.alloc();
  std::vector<int> vs;
  for (int t = 1; t <= w; t++) vs.push_back(root + t);
  qmd *init = place(e.init, w, root, root);
  qmd *body = e.state(phi, root);
  treefree(phi);
  // A block of the root's kind heading the body moves above the initial
  // condition, which does not read its variables: the path of a refutation
  // then hangs off the root copy in one existential chain.
  int kind = direction ? QMD_A : QMD_E;
  if ((flags & BP2Q_ONEINIT) && (body->kind == QMD_A || body->kind == QMD_E)) kind = body->kind;
  qmd *top = nullptr, *last = nullptr;
  while (body->kind == kind) {
    if (!top) top = body;
    last = body;
    body = body->kids[0];
  }
  qmd *m;
  if (kind == QMD_A) {   // every initial state; with one, the same as some
    mdnegate(init);
    m = mkor(init, body);
  } else {
    m = mkand(init, body);
  }
  if (top) {
    last->kids[0] = m;
    m = top;
  }
  if (qmdisconst(m) >= 0 || vs.empty()) return m;
  return qmdnew(kind, vs, {m});
}

// True when the existential formula over bits 1..nv is satisfiable (or the
// deadline passed).
static bool someone(qmd *m, int nv, time_t deadline) {
  qmdata d;
  d.V = nv;
  d.deadline = deadline;
  std::vector<int> s;
  for (int i = 1; i <= nv; i++) s.push_back(i);
  qmd *q = qmdisconst(m) >= 0 || s.empty() ? m : qmdnew(QMD_E, s, {m});
  return QBFapply(d, q) != 0;
}

bool BP2Qhalting(const tree *program, int w, time_t deadline, const tree *varc) {
  const tree *init = part(program, 1), *trans = part(program, 2);
  // Dead ends outside the range constraints do not count when the initial
  // states and the transitions keep to the ranges.
  bool ranges = varc && !isop(varc, '^');
  if (ranges) {
    qmd *bad = place(varc, w, 0, 0);
    mdnegate(bad);
    ranges = !someone(mkand(place(init, w, 0, 0), bad), w, deadline);
  }
  if (ranges) {
    qmd *out = place(varc, w, w, w);
    mdnegate(out);
    ranges = !someone(mkand(mkand(place(varc, w, 0, 0), place(trans, w, 0, w)), out), 2 * w, deadline);
  }
  // exists s (in range) forall t: not T(s, t)
  qmdata d;
  d.V = 2 * w;
  d.deadline = deadline;
  qmd *nt = place(trans, w, 0, w);
  mdnegate(nt);
  std::vector<int> s, t;
  for (int i = 1; i <= w; i++) {
    s.push_back(i);
    t.push_back(w + i);
  }
  qmd *m = qmdisconst(nt) >= 0 ? nt : qmdnew(QMD_A, t, {nt});
  if (ranges) m = mkand(place(varc, w, 0, 0), m);
  qmd *q = qmdisconst(m) >= 0 ? m : qmdnew(QMD_E, s, {m});
  return QBFapply(d, q) != 0;
}

bool BP2Qoneinit(const tree *program, int w, time_t deadline) {
  qmdata d;
  d.V = 2 * w;
  d.deadline = deadline;
  std::vector<int> s;
  for (int i = 1; i <= 2 * w; i++) s.push_back(i);
  qmd *one = place(part(program, 1), w, 0, 0);
  qmd *q = qmdisconst(one) >= 0 ? one : qmdnew(QMD_E, std::vector<int>(s.begin(), s.begin() + w), {one});
  if (QBFapply(d, q) != 1) return false;
  d.V = 2 * w;
  qenc e{&d, w, 0, nullptr, nullptr, {}, false};
  qmd *two = mkand(mkand(place(part(program, 1), w, 0, 0), place(part(program, 1), w, w, w)), eqpos(e, 0, w, true));
  q = qmdisconst(two) >= 0 ? two : qmdnew(QMD_E, s, {two});
  return QBFapply(d, q) == 0;
}
