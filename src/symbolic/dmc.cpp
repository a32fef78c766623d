// Fixpoint checking: temporal formulas by backward fixpoints with fairness,
// invariants by forward reachability, the built-in properties.
#include "symbolic/dmc.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unordered_map>
#include <vector>

#include "formula/tlf.h"
#include "prog/bstore.h"
#include "opt/opt.h"
#include "symbolic/bp2t.h"
#include "symbolic/cex.h"
#include "symbolic/cexpath.h"

constexpr int DMCSEEN = -1;         // seen-key of the convergence test

static tbd DMCfairset = TBDnull;    // Fair of DMCfairof, a root once computed
static tsys *DMCfairof = nullptr;   // transition system the Fair set belongs to

void DMCreset() {
  DMCfairset = TBDnull;
  DMCfairof = nullptr;
}

static bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

static void DMClogstart(const char *what) {
  if (FILE *f = TBDlog()) {
    std::fprintf(f, "%s 0\n", what);
    std::fprintf(f, "%i\n", (int)std::difftime(std::time(nullptr), t0));
    std::fflush(f);
  }
}

static void DMCprogress(int bound) {
  if (!TBDprogresshook) return;
  TBDprogresshook(1, bound);
  TBDprogresshook(0, bound);
}

static tbd andnot(tbd a, tbd b) { return TBDcn(a, TBDng(b)); }

// Direction of a fixpoint sequence, for the semantic equality fallback.
enum { DMCUP = 1, DMCDOWN = -1, DMCANY = 0 };

// Ends a fixpoint loop. The fast path is node identity through the seen
// mark. The form is not canonical, so a set that has stopped changing may
// keep coming back as new nodes: an iterate that is a different node from
// the previous one is then compared with it semantically (for a monotone
// sequence one emptiness test suffices).
static bool DMCconverged(tbd z, tbd prev, int dir) {
  if (TBDmmmarkset(z, DMCSEEN)) return true;
  if (prev == TBDnull || prev == z) return false;
  bool same;
  if (dir == DMCUP) same = TBDmp(andnot(z, prev));
  else if (dir == DMCDOWN) same = TBDmp(andnot(prev, z));
  else same = TBDmp(andnot(z, prev)) && TBDmp(andnot(prev, z));
  if (same) TBDmmmarkset(TBDnull, DMCSEEN);
  return same;
}

// A loop that left early (an emptiness answer) may have left seen marks.
static void DMCloopstart() { TBDmmmarkset(TBDnull, DMCSEEN); }

tbd DMCfair() {
  if (ggt->fairness.empty()) return TBDtau;
  if (DMCfairof == ggt && DMCfairset != TBDnull) return DMCfairset;
  return DMCeg(TBDtau);
}

tbd DMCegik(tbd f, int first, int last) {
  tbd r = TBDtau;
  for (;;) {
    TBDkp(r);
    tbd z = f;
    for (int i = first; i < last; i++) {
      TBDkp(z);
      tbd y0 = TBDcn(r, ggt->fairness[(size_t)i]);
      tbd y = y0;
      DMCloopstart();
      for (;;) {                    // least fixpoint: E[f U (R AND C_i)]
        tbd next = TBDds(y0, TBDcn(f, TBDbw(y)));
        bool done = DMCconverged(next, y, DMCUP);
        y = next;
        if (done) break;
        TBDsafepoint({f, y0, y});
      }
      tbd zn = TBDcn(z, TBDbw(y));
      TBDdr(z);
      z = zn;
    }
    TBDdr(r);
    if (TBDmp(andnot(r, z))) return r;
    r = z;
  }
}

tbd DMCeg(tbd f) {
  if (f == TBDtau && DMCfairof == ggt && DMCfairset != TBDnull) return DMCfairset;
  int k = (int)ggt->fairness.size();
  if (k >= 1) {
    tbd r = DMCegik(f, 0, k);
    if (f == TBDtau) {
      TBDkp(r);
      DMCfairset = r;
      DMCfairof = ggt;
    }
    return r;
  }
  tbd z = f;
  DMCloopstart();
  for (;;) {
    tbd next = TBDcn(f, TBDbw(z));
    bool done = DMCconverged(next, z, DMCDOWN);
    z = next;
    if (done) return z;
    TBDsafepoint({f, z});
  }
}

// E[h U g'] with g' = g AND Fair: least fixpoint of g' OR (h AND EX Z);
// h = TBDnull stands for true (E F). The image distributes over OR, so each
// step takes the predecessors of the states added by the step before only;
// the loop ends when a step adds nothing, which is decided exactly.
static tbd DMCeu(tbd h, tbd g) {
  tbd z = TBDcn(g, DMCfair());
  tbd fresh = z;
  for (;;) {
    tbd b = TBDbw(fresh);
    fresh = andnot(h == TBDnull ? b : TBDcn(h, b), z);
    if (fresh == TBDomg || TBDmp(fresh)) return z;
    z = TBDds(z, fresh);
    TBDsafepoint({h, z, fresh});
  }
}

// Temporal and path operators must not reach the propositional translation.
static bool DMChastemporal(const tree *f) {
  std::vector<const tree *> stack{f};
  while (!stack.empty()) {
    const tree *t = stack.back();
    stack.pop_back();
    if (!t) continue;
    if (!t->text[1] && t->text[0] && std::strchr("AEXFGUR", t->text[0]) && (t->left || t->right))
      return true;
    stack.push_back(t->left);
    stack.push_back(t->right);
  }
  return false;
}

static tbd DMCkept(tbd f) {
  TBDkp(f);
  return f;
}

tbd m2prope(tree *p) {
  if (!p) utilerror("m2prop");
  bool binary = isop(p, 'U') || isop(p, 'R');
  if (!binary && !isop(p, 'X') && !isop(p, 'F') && !isop(p, 'G')) utilerror("m2prop");
  if (!p->right || (binary && !p->left)) utilerror("m2prop");
  tbd g = m2prop(p->right);
  tbd h = binary ? m2prop(p->left) : TBDnull;
  tbd r;
  switch (p->text[0]) {
    case 'X':
      r = TBDbw(TBDcn(g, DMCfair()));
      break;
    case 'F':
      r = DMCeu(TBDnull, g);
      break;
    case 'U':
      r = DMCeu(h, g);
      break;
    case 'G':
      r = DMCeg(g);
      break;
    default:                        // h R g
      if (!ggt->fairness.empty()) {
        tbd eg = DMCeg(g);
        TBDkp(eg);
        r = TBDds(eg, DMCeu(g, TBDcn(g, h)));
        TBDdr(eg);
        break;
      }
      r = g;
      DMCloopstart();
      for (;;) {
        tbd next = TBDcn(g, TBDds(h, TBDbw(r)));
        bool done = DMCconverged(next, r, DMCDOWN);
        r = next;
        if (done) break;
        TBDsafepoint({g, h, r});
      }
      break;
  }
  return DMCkept(r);
}

// Negation in normal form of a copy; the input stays as it is.
static tree *DMCnegcopy(const tree *f) { return TLFnnf(TLFnegate(treecopy(f))); }

// A property too large to copy as a tree keeps its temporal skeleton only:
// each largest subformula without temporal operators becomes a leaf naming
// its TBD (a text no bit name has), translated once from the shared graph.
namespace {
constexpr unsigned long long DMC_COPYLIMIT = 100000;  // expanded nodes
std::vector<tbd> DMCatoms;
}

static bool DMCisatom(const tree *t, size_t *k) {
  if (!t || t->left || t->right || t->text[0] != '0' || t->text[1] != '@') return false;
  *k = (size_t)std::strtoull(t->text + 2, nullptr, 10);
  return *k < DMCatoms.size();
}

static tree *DMCskeleton(const tree *f) {
  std::unordered_map<const tree *, bool> temporal;  // per shared node
  std::vector<std::pair<const tree *, bool>> work{{f, false}};
  while (!work.empty()) {
    auto [t, post] = work.back();
    work.pop_back();
    if (!t || (!post && temporal.count(t))) continue;
    if (!post) {
      work.push_back({t, true});
      work.push_back({t->left, false});
      work.push_back({t->right, false});
      continue;
    }
    bool own = !t->text[1] && t->text[0] && std::strchr("AEXFGUR", t->text[0]) && (t->left || t->right);
    temporal[t] = own || (t->left && temporal[t->left]) || (t->right && temporal[t->right]);
  }
  std::unordered_map<const tree *, tree *> atom;  // one leaf text per shared subformula
  std::vector<std::pair<const tree *, tree **>> copy;
  tree *root = nullptr;
  copy.push_back({f, &root});
  while (!copy.empty()) {
    auto [t, slot] = copy.back();
    copy.pop_back();
    if (!t) continue;
    if (!temporal[t]) {
      std::string name = "0@" + std::to_string(DMCatoms.size());
      tbd a = TPfml(ggt, t);
      if (a == TBDnull) utilerror("m2prop");
      TBDkp(a);
      DMCatoms.push_back(a);
      *slot = treecompose(name.c_str(), nullptr, nullptr);
      continue;
    }
    *slot = treecompose(t->text, nullptr, nullptr);
    copy.push_back({t->right, &(*slot)->right});
    copy.push_back({t->left, &(*slot)->left});
  }
  return root;
}

// Copy of a property: the whole tree when it is small, else its skeleton.
static tree *DMCcopy(const tree *f) {
  if (BOOLtreesize(f) <= DMC_COPYLIMIT) return treecopy(f);
  return DMCskeleton(f);
}

tbd m2prop(tree *f) {
  if (!f) utilerror("m2prop");
  size_t k;
  if (DMCisatom(f, &k)) return DMCatoms[k];
  tbd r;
  if (isop(f, '!') && f->right) {
    r = TBDng(m2prop(f->right));
  } else if ((isop(f, '&') || isop(f, '|')) && f->left && f->right) {
    tbd b = m2prop(f->right);
    tbd a = m2prop(f->left);
    r = isop(f, '&') ? TBDcn(a, b) : TBDds(a, b);
  } else if (isop(f, 'A')) {
    if (!f->right) utilerror("m2prop");
    tree *e = DMCnegcopy(f);
    r = TBDng(m2prop(e));
    treefree(e);
  } else if (isop(f, 'E')) {
    r = m2prope(f->right);
  } else {
    if (DMChastemporal(f)) utilerror("m2prop");
    r = TPfml(ggt, f);
    if (r == TBDnull) utilerror("m2prop");
  }
  r = DMCkept(r);
  CEXpathnote(f, r);
  return r;
}

// U stops growing exactly when a step finds no state outside it: the states
// that reach the goal in one more step then already reach it sooner.
int optDMCef(tbd init, tbd goal) {
  tbd c = andnot(init, goal);
  tbd x = goal, u = goal;
  for (;;) {
    x = TBDbw(x);
    c = andnot(c, x);
    if (TBDmp(c)) return 1;
    if (TBDmp(andnot(x, u))) return 0;
    u = TBDds(u, x);
    TBDsafepoint({c, x, u});
  }
}

tbd TBDrsetckerror(tbd init, tbd bad, int code) {
  int d = code % 10, e = (code / 10) % 10, c = (code / 100) % 10;
  DMCprogress(0);
  if (!TBDmp(TBDcn(init, bad))) return TBDtau;
  tbd r = TBDomg, frontier = init, prevf = TBDnull;
  DMCloopstart();
  for (int m = 0;; m++) {
    int bound = m + 1;
    DMCprogress(bound);
    tbd f = TBDfw(andnot(frontier, r));
    r = TBDds(r, frontier);
    if (ggt->cex) CEXreg(ggt->cex, f, 1);
    bool stop;
    if (d == 0) stop = DMCconverged(f, prevf, DMCANY);
    else if (d == 1) stop = TBDmp(f);
    else stop = bound % d == 0 && TBDmp(f);
    if (stop) return r;
    tbd tested = e == 1 ? f : (e == 2 && m % 2 == 1 ? r : TBDnull);
    if (tested != TBDnull && !TBDmp(TBDcn(tested, bad))) return TBDtau;
    if (c == 1 || (c == 2 && m % 2 == 1)) {
      TBDkp(r);
      TBDkp(frontier);
      TBDclck(f);
      TBDdr(frontier);
      TBDdr(r);
    }
    prevf = f;
    frontier = f;
    TBDsafepoint({init, bad, r, f});
  }
}

int DMCmixag(tbd init, tbd bad, int code) {
  CEXfree(ggt->cex);
  ggt->cex = CEXinit(init, bad);
  TBDkp(bad);
  int res = TBDmp(TBDcn(TBDrsetckerror(init, bad, code), bad));
  TBDdr(bad);
  return res;
}

static bool DMCnoprocedures() {
  for (const tsyspart &p : ggt->parts)
    if (p.procedure) return false;
  return true;
}

tbd TBDrset(tbd init) {
  bool noproc = DMCnoprocedures();
  tbd r = TBDomg, d = TBDomg, in = init;
  while (!TBDmp(andnot(in, r))) {
    tbd q = TBDomg;
    tbd nw = andnot(in, r);
    DMCprocedurewait = 1;
    do {
      tbd f = TBDfw(nw);
      r = TBDds(r, nw);
      q = TBDds(q, nw);
      f = andnot(f, r);
      if (TBDmp(f)) break;
      tbd f2 = TBDfw(f);
      r = TBDds(r, f);
      q = TBDds(q, f);
      nw = andnot(f2, r);
      TBDsafepoint({r, d, q, nw});
    } while (!TBDmp(nw));
    DMCprocedurewait = 0;
    // without procedure partitions r is closed under every image already
    if (noproc) break;
    in = TBDfw(andnot(q, d));
    d = TBDds(d, q);
  }
  return r;
}

int dmc(tree *formula, int code) {
  DMClogstart("DMCstart");
  CEXpathreset();
  if (!formula) utilerror("m2prop");
  tree *f = TLFnnf(DMCcopy(formula));
  int res;
  tree *p = f->right && f->right->right ? f->right->right : nullptr;
  if (code >= 0 && isop(f, 'A') && isop(f->right, 'G') && p && ggt->fairness.empty()) {
    tree *np = DMCnegcopy(p);
    tbd bad = m2prop(np);
    treefree(np);
    res = DMCmixag(ggt->init, bad, code);
  } else if (code >= 0 && isop(f, 'E') && isop(f->right, 'F') && p) {
    // Initial states without a fair path violate E F p, as on the backward path.
    tbd fair = DMCfair();
    if (!TBDmp(andnot(ggt->init, fair))) {
      res = 0;
    } else {
      tbd goal = TBDcn(m2prop(p), fair);
      res = optDMCef(TBDcn(fair, ggt->init), goal);
      if (res) CEXpathbuild(f, 1);
    }
  } else {
    tree *nf = DMCnegcopy(f);
    tbd n = m2prop(nf);
    res = TBDmp(TBDcn(ggt->init, n));
    CEXpathbuild(res ? f : nf, res);
    treefree(nf);
  }
  treefree(f);
  for (tbd a : DMCatoms) TBDdr(a);
  DMCatoms.clear();
  return res;
}

int DMCchaining = 1;

int dmcDFTT(int kind) {
  DMClogstart("DMCstart");
  if (kind == DMC_TOTAL) return TBDmp(TBDng(TBDbw(DMCfair())));
  if (kind != DMC_DEADLOCKFREE) utilerror("dmcDFTT");
  // The check prints no step lines, so the reachable set may come from
  // chained images. The successors of a reachable state are reachable, so
  // it is deadlocked exactly when none is in Fair: the chain stops at the
  // first such state. The trace is picked from the form of the deadlock
  // set, which the chained set does not have: a deadlock found that way is
  // searched for again breadth-first, as without chaining.
  if (DMCchaining && DMCnoprocedures() && !ggt->fairness.empty()) {
    // A fair path from a reachable state stays among the reachable states,
    // so their fair part is found inside that set, far smaller than the
    // whole space the fair set of the trace route spans.
    tbd r = TBDfwchain(ggt->init);
    TBDkp(r);
    tbd fr = DMCeg(r);
    bool free = TBDmp(andnot(r, TBDbw(fr)));
    TBDdr(r);
    if (free) return 1;
    if (Xce) return 0;              // no trace wanted: the search below only builds it
  } else if (DMCchaining && DMCnoprocedures()) {
    tbd stuck = TBDng(TBDbw(DMCfair()));
    TBDkp(stuck);
    tbd rc = TBDfwchain(ggt->init, stuck);
    TBDdr(stuck);
    if (rc != TBDnull) return 1;
    if (Xce) return 0;
  }
  tbd r = TBDrset(ggt->init);
  TBDkp(r);
  tbd dead = andnot(r, TBDbwrel(TBDcn(r, DMCfair())));
  TBDdr(r);
  if (TBDmp(dead)) return 1;
  // The trace must start in an initial state: the layers of a forward search
  // from the initial states lead to the first layer that meets a deadlock.
  CEXfree(ggt->cex);
  ggt->cex = CEXinit(ggt->init, dead);
  TBDkp(dead);
  TBDrsetckerror(ggt->init, dead, 11);
  TBDdr(dead);
  return 0;
}
