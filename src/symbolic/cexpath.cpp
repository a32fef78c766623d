// Traces of the backward checks: witnesses of existential formulas built
// from the sets the fixpoints computed, by shortest forward searches.
#include "symbolic/cexpath.h"

#include <cstdio>
#include <unordered_map>

#include "symbolic/bp2t.h"
#include "symbolic/cex.h"
#include "symbolic/dmc.h"

int CEXpathwanted = 0;
int CEXpathprobe = 0;
static bool probedue;               // the probe stopped before a path search

namespace {
std::unordered_map<const tree *, tbd> noted;   // sets of the formula nodes being checked
cexpath *last = nullptr;
std::vector<tbd> held;                          // roots taken while a trace is built

tbd hold(tbd f) {
  TBDkp(f);
  held.push_back(f);
  return f;
}

bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }
bool member(tbd s, tbd set) { return !TBDmp(TBDcn(s, set)); }

bool temporal(const tree *t) {
  if (!t) return false;
  if (isop(t, 'A') || isop(t, 'E')) return true;
  return temporal(t->left) || temporal(t->right);
}

bool hasE(const tree *t) {
  if (!t) return false;
  if (isop(t, 'E')) return true;
  if (isop(t, '&') || isop(t, '|')) return hasE(t->left) || hasE(t->right);
  return false;
}

tbd setof(tree *f) {
  auto it = noted.find(f);
  if (it != noted.end()) return it->second;
  return hold(m2prop(f));
}

tbd fullstate(tbd cube) {
  int n = ggt->n;
  std::vector<int> v = TBDwriteOne(cube, n);
  tbd s = TBDtau;
  for (int k = n; k >= 1; k--) s = TBDcn(TBDap(v[(size_t)k - 1] > 0 ? 2 * k - 1 : -(2 * k - 1)), s);
  return hold(s);
}

void append(cexpath &p, const cexpath &q) {   // q starts in the last state of p
  for (size_t j = 1; j < q.states.size(); j++) p.states.push_back(q.states[j]);
  for (int l : q.labels) p.labels.push_back(l);
  if (q.loop >= 0) p.loop = (int)(p.states.size() - q.states.size()) + q.loop;
}

// Shortest path s = x0 .. xk with k >= min, x0 .. x(k-1) in via and xk in to.
// When there is none: false, or with `deepest` a path to a state of the last
// layer the search reached (a state as far from s as any reachable one).
bool search(tbd s, tbd via, tbd to, int min, bool deepest, cexpath &out) {
  std::vector<tbd> layer{s};
  tbd seen = hold(min == 0 ? s : TBDomg);
  int k = -1;
  for (int i = 0;; i++) {
    if (i >= min && member(layer.back(), to)) {
      k = i;
      break;
    }
    tbd next = hold(TBDcn(TBDfw(TBDcn(layer.back(), via)), TBDng(seen)));
    if (TBDmp(next)) break;
    seen = hold(TBDds(seen, next));
    layer.push_back(next);
    TBDsafepoint({});
  }
  if (k < 0 && !deepest) return false;
  bool found = k >= 0;
  if (!found) k = (int)layer.size() - 1;
  out = cexpath();
  out.states.assign((size_t)k + 1, TBDnull);
  out.labels.assign((size_t)k, 0);
  out.states[(size_t)k] = fullstate(TBDone(found ? TBDcn(layer[(size_t)k], to) : layer[(size_t)k]));
  for (int j = k - 1; j >= 0; j--) {
    int idx = 0;
    out.states[(size_t)j] = fullstate(TBDbwSelectOne(out.states[(size_t)j + 1], TBDcn(layer[(size_t)j], via), &idx));
    out.labels[(size_t)j] = idx + 1;
  }
  out.states[0] = s;
  return found;
}

// A lasso from s inside z (s in z, every state of z starting a fair path in
// z): the loop passes through every fairness set. When the loop cannot close,
// the search goes on from a state further down, which ends in a part of z
// that every path from there stays in.
bool lasso(tbd s, tbd z, cexpath &out) {
  std::vector<tbd> marks = ggt->fairness;
  if (marks.empty()) marks.push_back(TBDtau);
  out = cexpath();
  out.states.push_back(s);
  tbd cur = s;
  for (int round = 0; round < 1 << 20; round++) {
    size_t start = out.states.size();   // index of the first mark state, once reached
    tbd t = cur;
    for (tbd c : marks) {
      cexpath seg;
      if (!search(t, z, TBDcn(z, c), 1, false, seg)) return false;
      append(out, seg);
      t = out.states.back();
    }
    tbd first = out.states[start];
    cexpath back;
    if (search(t, z, first, 1, false, back)) {
      for (size_t j = 1; j + 1 < back.states.size(); j++) out.states.push_back(back.states[j]);
      for (int l : back.labels) out.labels.push_back(l);
      out.loop = (int)start;
      return true;
    }
    search(t, z, TBDomg, 1, true, back);
    if (back.states.size() < 2) return false;
    append(out, back);
    cur = out.states.back();
  }
  return false;
}

bool build(tbd s, tree *w, cexpath &out);

// Extends a path ending in a state of g by the trace of g there.
bool extend(cexpath &p, tree *g) {
  if (!hasE(g)) return true;
  cexpath q;
  if (!build(p.states.back(), g, q)) return false;
  append(p, q);
  return true;
}

bool build(tbd s, tree *w, cexpath &out) {
  out = cexpath();
  out.states.push_back(s);
  if (!hasE(w)) return true;
  if (isop(w, '&')) return build(s, hasE(w->left) ? w->left : w->right, out);
  if (isop(w, '|')) {
    tree *pick = nullptr;
    for (tree *d : {w->left, w->right})
      if (!pick && hasE(d) && member(s, setof(d))) pick = d;
    return pick ? build(s, pick, out) : true;
  }
  tree *p = w->right;
  tbd fair = DMCfair();
  tbd g = setof(p->right);
  tree *gt = p->right;
  switch (p->text[0]) {
    case 'X': {
      int idx = 0;
      out.states.push_back(fullstate(TBDfwSelectOne(s, TBDcn(g, fair), &idx)));
      out.labels.push_back(idx + 1);
      return extend(out, gt);
    }
    case 'F':
    case 'U': {
      tbd h = p->text[0] == 'U' ? setof(p->left) : TBDtau;
      if (!search(s, h, TBDcn(g, fair), 0, false, out)) return false;
      return extend(out, gt);
    }
    case 'G':
      return lasso(s, setof(w), out);
    default: {                        // h R g: g up to a state of g and h, or g for ever
      tbd h = setof(p->left);
      if (search(s, g, TBDcn(TBDcn(g, h), fair), 0, false, out))
        return extend(out, hasE(p->left) ? p->left : gt);
      return lasso(s, hold(DMCeg(g)), out);
    }
  }
}
}  // namespace

void CEXpathnote(const tree *f, tbd r) {
  if (CEXpathwanted) noted[f] = r;
}

static void dropheld() {
  for (tbd f : held) TBDdr(f);
  held.clear();
}

void CEXpathreset() {
  noted.clear();
  probedue = false;
  if (last) {
    for (tbd f : last->states) TBDdr(f);
    delete last;
    last = nullptr;
  }
}

void CEXpathbuild(tree *w, int holds) {
  CEXpathreset();
  if (!CEXpathwanted || !w || (holds && !hasE(w))) return;
  if (!hasE(w) && temporal(w)) return;   // a universal claim has no single path
  // A property that holds holds in every initial state.
  tbd start = holds ? ggt->init : TBDcn(ggt->init, setof(w));
  if (TBDmp(start)) {
    dropheld();
    return;
  }
  if (CEXpathprobe) {
    probedue = true;
    dropheld();
    noted.clear();
    return;
  }
  cexpath p;
  bool ok = build(fullstate(TBDone(start)), w, p);
  if (ok) {
    last = new cexpath(p);
    for (tbd f : last->states) TBDkp(f);
  }
  dropheld();
  noted.clear();
}

const cexpath *CEXpathget() { return last; }
bool CEXpathdue() { return last || probedue; }

void CEXpathwrite(tree *vlist, const std::string &model) {
  if (!last || last->states.empty()) return;
  std::string name = CEXfilename(model);
  FILE *out = std::fopen(name.c_str(), "w");
  if (!out) {
    std::printf("ERROR:      cannot create %s\n", name.c_str());
    return;
  }
  CEXwritten = name;
  int n = ggt->n;
  for (size_t j = 0; j < last->states.size(); j++) {
    if (j > 0) std::fprintf(out, "--- TRANS %i ---\n", last->labels[j - 1]);
    CEXwritevalues(out, (int)j, vlist, TBDwriteOne(last->states[j], n), n);
  }
  if (last->loop >= 0) {
    std::fprintf(out, "--- TRANS %i ---\n", last->labels.back());
    std::fprintf(out, "--- LOOP %i ---\n", last->loop);
  }
  std::fclose(out);
}
