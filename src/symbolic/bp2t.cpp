// Transition system construction from the Boolean program.
#include "symbolic/bp2t.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>

static bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

// Elements of a ";" list in order; a non-";" node is a one-element list.
template <class F>
static void eachelem(tree *list, F f) {
  for (tree *t = list; t;) {
    bool cell = isop(t, ';');
    tree *e = cell ? t->left : t;
    if (e) f(e);
    t = cell ? t->right : nullptr;
  }
}

// Rebuilds the lookup table; backward orientation gives the next names the
// odd labels.
static void TPlookup(tsys *t, int backward) {
  int n = t->n;
  t->looknames.clear();
  t->looklabels.clear();
  for (int k = 1; k <= n; k++) {
    t->looknames.push_back(t->curnames[(size_t)k - 1]);
    t->looklabels.push_back(backward ? 2 * k : 2 * k - 1);
    t->looknames.push_back(t->nextnames[(size_t)k - 1]);
    t->looklabels.push_back(backward ? 2 * k - 1 : 2 * k);
  }
  TPsv1(t->looknames, t->looklabels, 0, 2 * n - 1);
}

void TBDprginitialize(tsys *t, tree *pairs, int n) {
  t->n = n;
  t->curnames.assign((size_t)n, std::string());
  t->nextnames.assign((size_t)n, std::string());
  for (int k = 1; k <= n; k++) {
    t->curnames[(size_t)k - 1] = std::to_string(k);
    t->nextnames[(size_t)k - 1] = std::to_string(n + k);
  }
  int k = 0;
  eachelem(pairs, [&](tree *p) {   // pair: left = current name, right = next name
    if (k < n && p->left && p->right) {
      t->curnames[(size_t)k] = p->left->text;
      t->nextnames[(size_t)k] = p->right->text;
    }
    k++;
  });
  TPlookup(t, 0);
}

void TPsv1(std::vector<std::string> &names, std::vector<int> &labels, int low, int high) {
  if (low < 0 || high >= (int)names.size() || high <= low) return;
  std::vector<int> idx((size_t)(high - low + 1));
  std::iota(idx.begin(), idx.end(), low);
  std::stable_sort(idx.begin(), idx.end(), [&](int a, int b) {
    return std::strcmp(names[(size_t)a].c_str(), names[(size_t)b].c_str()) < 0;
  });
  std::vector<std::string> sn;
  std::vector<int> sl;
  for (int i : idx) {
    sn.push_back(std::move(names[(size_t)i]));
    sl.push_back(labels[(size_t)i]);
  }
  for (size_t i = 0; i < idx.size(); i++) {
    names[(size_t)low + i] = std::move(sn[i]);
    labels[(size_t)low + i] = sl[i];
  }
}

int TPsnm(const char *name, const std::vector<std::string> &names, const std::vector<int> &labels,
          int low, int high) {
  while (low <= high) {
    int mid = low + (high - low) / 2;
    int c = std::strcmp(name, names[(size_t)mid].c_str());
    if (c == 0) return labels[(size_t)mid];
    if (c < 0) high = mid - 1;
    else low = mid + 1;
  }
  return 0;
}

tbd TPtbdvar(tsys *t, const char *name) {
  if (!std::strcmp(name, "_")) return TBDomg;
  if (!std::strcmp(name, "^")) return TBDtau;
  int l = TPsnm(name, t->looknames, t->looklabels, 0, (int)t->looknames.size() - 1);
  if (!l) {
    std::printf("%s\n", name);
    std::fflush(stdout);
    utilerror("variable not in the given list");
  }
  return TBDap(l);
}

// Post-order evaluation with an explicit stack: formulas can be long chains
// (a conjunction of thousands of initial values) and must not exhaust the
// call stack. Formulas are shared graphs: each distinct node is translated
// once. The right operand is evaluated before the left one.
tbd TPfml(tsys *t, const tree *f) {
  if (!f) return TBDnull;
  struct frame {
    const tree *node;               // formula node
    int state;                      // 0 new, 1 right done, 2 both done
    tbd right;                      // result of the right operand
  };
  std::unordered_map<const tree *, tbd> done;
  std::vector<frame> stack{{f, 0, TBDnull}};
  std::vector<tbd> vals;
  while (!stack.empty()) {
    frame &fr = stack.back();
    const tree *n = fr.node;
    if (fr.state == 0) {
      auto it = done.find(n);
      if (it != done.end()) {
        vals.push_back(it->second);
        stack.pop_back();
        continue;
      }
    }
    bool bin = isop(n, '&') || isop(n, ':') || isop(n, ';') || isop(n, '|');
    if (!bin && !isop(n, '!')) {
      if (n->left || n->right) utilerror("TPfml");   // a temporal or unencoded operator
      tbd r = TPtbdvar(t, n->text);
      done.emplace(n, r);
      vals.push_back(r);
      stack.pop_back();
      continue;
    }
    if (fr.state == 0) {
      fr.state = 1;
      if (n->right) stack.push_back({n->right, 0, TBDnull});
      else vals.push_back(TBDnull);
      continue;
    }
    if (fr.state == 1 && bin) {
      fr.state = 2;
      fr.right = vals.back();
      vals.pop_back();
      if (n->left) stack.push_back({n->left, 0, TBDnull});
      else vals.push_back(TBDnull);
      continue;
    }
    tbd r;
    if (!bin) {                     // "!"
      tbd a = vals.back();
      vals.pop_back();
      if (a == TBDnull) utilerror("TPfml");
      r = TBDng(a);
    } else {
      tbd a = vals.back(), b = fr.right;   // an absent operand leaves the other alone
      vals.pop_back();
      if (a == TBDnull) r = b;
      else if (b == TBDnull) r = a;
      else if (isop(n, '&') || isop(n, ':')) r = TBDcn(a, b);
      else r = TBDds(a, b);
    }
    done.emplace(n, r);
    stack.pop_back();
    vals.push_back(r);
  }
  return vals.back();
}

// The initial condition: the elements of its ";" list are conjoined (the
// list's own formula nodes are shared and stay as they are).
static tbd TPinit(tsys *t, const tree *init) {
  std::vector<const tree *> elems;
  for (; isop(init, ';'); init = init->right) elems.push_back(init->left);
  elems.push_back(init);
  tbd r = TBDnull;
  for (size_t i = elems.size(); i-- > 0;) {
    tbd a = TPfml(t, elems[i]);
    if (a == TBDnull) continue;
    r = r == TBDnull ? a : TBDcn(a, r);
  }
  return r == TBDnull ? TBDtau : r;
}

static void keep(tbd f) {
  if (f != TBDnull) TBDkp(f);
}

// A decomposition is exact when every next bit is one function of the
// current bits. A free choice leaves both values possible (map[+i] and
// map[-i] overlap); the functional image would then force the bit to 1.
static bool TPdecompexact(const TBDmap &m, int n) {
  for (int i = 1; i <= 2 * n - 1; i += 2)
    if (!TBDmp(TBDcn(m.get(i), m.get(-i)))) return false;
  return true;
}

static tree *guardof(tree *tr) { return isop(tr, ':') ? tr->left : tr; }
static tree *actionof(tree *tr) { return isop(tr, ':') ? tr->right : nullptr; }

// A missing guard or action does not restrict.
static tbd TPfmltrue(tsys *t, const tree *f) {
  tbd r = TPfml(t, f);
  return r == TBDnull ? TBDtau : r;
}

// A guard that is empty as a set never fires; recognising it here saves
// every image the work on that partition.
static tbd TPguard(tsys *t, const tree *f) {
  tbd g = TPfmltrue(t, f);
  if (g != TBDomg && g != TBDtau && TBDmp(g)) g = TBDomg;
  return g;
}

// The backward image through the written bits only: the bits the forward
// functional relation frames pass through on their odd label.
static void TPbwfun(tsyspart &p, int n) {
  p.bwquant.f.assign((size_t)(2 * n + 1), 0);
  p.bwmove.f.assign((size_t)(2 * n + 1), 0);
  for (int i = 1; i <= 2 * n - 1; i += 2)
    if (!p.frame.f[(size_t)i]) {
      p.bwquant.f[(size_t)i] = 1;
      p.bwquant.top = i;
      p.bwmove.f[(size_t)i + 1] = 1;
      p.bwmove.top = i + 1;
    }
  p.bwfun = TBDcn(p.funrel, TBDsprn(p.guard, p.frame));
  TBDkp(p.bwfun);
}

void TPtrs(tsys *t, const std::vector<prgproc> &groups, int pass) {
  int n = t->n;
  if (pass) TPlookup(t, 1);
  size_t i = 0;
  for (const prgproc &g : groups) {
    for (size_t j = 0; j < g.trans.size() && i < t->parts.size(); j++, i++) {
      tsyspart &p = t->parts[i];
      tree *tr = g.trans[j];
      if (pass) {
        p.bguard = TPguard(t, guardof(tr));
        if (p.bguard == TBDomg) continue;
        p.bassign = TPfmltrue(t, actionof(tr));
        p.bwrel = TBDcn(p.bguard, p.bassign);
        p.decomp = TBDgeq(p.bassign, n);
        keep(p.bguard);
        keep(p.bassign);
        keep(p.bwrel);
        if (!p.decomp) t->fwmode = 0;
        continue;
      }
      p.guard = TPguard(t, guardof(tr));
      if (p.guard == TBDomg) continue;
      p.fwrel = TPfmltrue(t, actionof(tr));
      p.gfwrel = TBDcn(p.guard, p.fwrel);
      p.frame.f.assign((size_t)(2 * n + 1), 0);
      if (p.decomp && TPdecompexact(*p.decomp, n)) {
        p.funrel = TPtrstc(p.decomp.get(), p.frame, n);
      } else {
        // Not a function of the current state: the relation itself with
        // current bits on even labels and next bits on odd labels serves
        // the functional image (no bit framed) exactly.
        p.funrel = p.bassign;
      }
      p.procedure = j < g.calls.size() ? g.calls[j] : nullptr;
      if (!p.procedure) TPbwfun(p, n);
      keep(p.guard);
      keep(p.fwrel);
      keep(p.gfwrel);
      keep(p.funrel);
    }
  }
  if (pass) TPlookup(t, 0);
}

tbd TPtrstc(const TBDmap *m, TBDflags &flags, int n) {
  if (!m) return TBDnull;
  flags.f.resize((size_t)(2 * n + 1), 0);
  for (int i = 1; i <= 2 * n - 1; i += 2)
    if (m->get(i) == TBDap(i + 1) && m->get(-i) == TBDap(-(i + 1)))
      flags.f[(size_t)i] = flags.f[(size_t)i + 1] = 1;
  tbd r = TBDtau;
  for (int i = 1; i <= 2 * n - 1; i += 2) {
    if (flags.f[(size_t)i]) continue;
    tbd h = TBDasrn(m->get(i), flags);
    tbd eq = TBDcn(TBDds(TBDap(-i), h), TBDds(TBDap(i), TBDng(h)));
    r = TBDcn(r, eq);
  }
  return r;
}

void TPatrs(const std::vector<prgproc> &groups, tsys *t) {
  int count = 0;
  for (const prgproc &g : groups) count += (int)g.trans.size();
  t->pcount = count;
  t->parts.clear();
  t->parts.resize((size_t)count);
  TPtrs(t, groups, 1);
  TPtrs(t, groups, 0);
}

tsys *bp2t(tree *init, tree *fair, const std::vector<prgproc> &groups, tree *pairs, int n) {
  TBDmminitialize(n);
  tsys *t = new tsys();
  TBDprginitialize(t, pairs, n);
  t->fwmode = -1;
  // Without an initial condition every state is initial.
  t->init = init ? TPinit(t, init) : TBDtau;
  keep(t->init);
  eachelem(fair, [&](tree *c) {
    tbd f = TPfmltrue(t, c);
    keep(f);
    t->fairness.push_back(f);
  });
  TPatrs(groups, t);
  return t;
}

// Component k of "#"(vars, "#"(init, "#"(trans, "#"(fairness, props)))).
static tree *progpart(tree *prog, int k) {
  tree *t = prog;
  for (int i = 0; i < k; i++) {
    if (!isop(t, '#')) return nullptr;
    t = t->right;
  }
  if (isop(t, '#')) return t->left;
  return k == 4 ? t : nullptr;
}

tsys *prg2t(prg *p, tree *pairs) {
  tree *init = progpart(p->prog, 1);
  tree *fair = progpart(p->prog, 3);
  tsys *t = bp2t(init, fair, p->procs, pairs, p->BOOLN);
  t->vlist = p->vlist;
  if (t->fwmode == -1) t->fwmode = p->PURETRANS;
  return t;
}
