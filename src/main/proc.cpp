// Procedure relations: one per (procedure, call site), built once.
//
// The body's relation comes from its own reachability in a transition system
// whose state holds, beside the procedure's variables, a frozen copy of the
// caller's variables taken at the call. The copy's bits sit next to the bits
// they copy (copy of bit b at position 2b-1, bit b at 2b, locals after), so
// that the identity between entry and current values stays small. At the
// return the locals are quantified away; the copy becomes the entry side of
// the relation and the caller's variables its return side.
#include "main/proc.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "main/report.h"
#include "opt/opt.h"
#include "symbolic/dmc.h"
#include "tbd/tbdbw.h"

PROCstate PROCmode = PROC_RUN;

namespace {

struct PROCsum {
  tbd fw = TBDnull;                 // odd = entry, even = return (caller labels)
  tbd bw = TBDnull;                 // odd = return, even = entry
  tbd assume = TBDnull;             // contract: the assumption over entry states, else null
  tbd bad = TBDomg;                 // entries from which the body meets a violated assumption
};

std::map<std::pair<const tsys *, const tree *>, PROCsum> PROCcache;
// Position of Boolean bit b at [b-1] of the systems built here (the model's
// own system is the identity).
std::map<const tsys *, std::vector<int>> PROCpos;
std::vector<std::string> PROCstack;   // procedures being built, outermost first
std::vector<tbd> PROCbadacc;          // per build: states that violate a callee's assumption
std::set<std::string> PROCannounced;  // contracts already named
int PROCcount = 0;
// Everything a build made lives as long as the run (the relations share its nodes).
// Held through pointers that exit never destroys.
std::vector<prg *> *const PROCprgs = new std::vector<prg *>;
std::vector<tsys *> *const PROCsystems = new std::vector<tsys *>;
std::vector<tree *> *const PROCtrees = new std::vector<tree *>;

bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

std::vector<tree *> elems(tree *l) {
  std::vector<tree *> v;
  for (; isop(l, ';'); l = l->right)
    if (l->left) v.push_back(l->left);
  if (l) v.push_back(l);
  return v;
}

tree *list(const std::vector<tree *> &v) {
  tree *r = nullptr;
  for (size_t i = v.size(); i-- > 0;) r = r ? treecompose(";", v[i], r) : v[i];
  return r;
}

tree *leaf(const std::string &s) { return treecompose(s.c_str(), nullptr, nullptr); }

const char *callname(const tree *call) { return isop(call, ':') ? call->left->text : call->text; }

int posof(const tsys *t, int b) {
  auto it = PROCpos.find(t);
  return it == PROCpos.end() ? b : it->second[(size_t)b - 1];
}

tbd andnot(tbd a, tbd b) { return TBDcn(a, TBDng(b)); }

// A map that renames label from[i] to to[i] (both signs).
std::unique_ptr<TBDmap> renaming(int n, const std::vector<std::pair<int, int>> &pairs) {
  std::unique_ptr<TBDmap> m = TBDmapnew(n);
  for (auto [a, b] : pairs) {
    m->at(a) = TBDap(b);
    m->at(-a) = TBDap(-b);
  }
  return m;
}

// First and last bit of a numbered declaration.
void bits(const tree *d, int *lo, int *hi) {
  *lo = std::atoi(d->left->left->text);
  *hi = std::atoi(d->left->right->text);
}

const tsyspart *partof(const tsys *t, const tree *call) {
  for (const tsyspart &p : t->parts)
    if (p.procedure == call) return &p;
  utilerror("pc2tbd");
}

[[noreturn]] void PROCend(int v, int status) {
  reportresult(v, BOUND_NONE);
  std::fflush(stdout);
  if (lmtlog) {
    std::fclose(lmtlog);
    lmtlog = nullptr;
  }
  utilexit(status);
}

bool hasguarantee(const modrec *m) {
  // the sections after the transitions: markers 1=1 open ASSUMPTION / GUARANTEE
  int found = 0;
  for (const tree *s = m->body->right->right->right; s; s = isop(s, '#') ? s->right : nullptr) {
    const tree *e = isop(s, '#') ? s->left : s;
    const tree *first = isop(e, ';') ? e->left : e;
    if (isop(first, '=') && first->left && first->right && !std::strcmp(first->left->text, "1") &&
        !std::strcmp(first->right->text, "1"))
      if (++found == 2) return true;
  }
  return false;
}

const modrec *procmodule(const char *name) {
  for (const modrec *m = ggb->modules; m; m = m->next)
    if (m->kind == 'P' && m->header && m->header->left && !std::strcmp(m->header->left->text, name))
      return m;
  return nullptr;
}

// The callee's reachability from the call to its return, over (entry copy,
// caller variables, locals).
PROCsum PROCbody(tsys *t, tree *call, tbd guard) {
  std::string name = callname(call);
  for (const std::string &s : PROCstack)
    if (s == name) utilerror("recursive procedure");
  PROCstack.push_back(name);
  PROCbadacc.push_back(TBDomg);
  tree *pt = procedurecreate(call, ggb->modules, t->vlist, -1);
  std::vector<tree *> cdecl = elems(t->vlist);
  std::vector<tree *> vars = elems(pt->left);
  // unlink the old cells: rebuild the list with the frozen copies at its end
  for (tree *c = pt->left; isop(c, ';');) {
    tree *r = c->right;
    c->left = c->right = nullptr;
    treefree(c);
    c = r;
  }
  size_t nc = cdecl.size(), nl = vars.size() - nc;  // nl: locals and the return flag
  for (size_t i = 0; i < nc; i++)
    vars.push_back(treecompose(":", leaf("frozen" + std::to_string(PROCstack.size()) + "." + std::to_string(i)), treecopy(cdecl[i]->right)));
  pt->left = list(vars);
  prg *pp = prog2prg(pt);
  prg *bp = p2bp(pp);
  std::vector<tree *> bd = elems(bp->vlist);
  int K = t->n, N = bp->BOOLN;
  if (bd.size() != 2 * nc + nl || N < 2 * K + 1) utilerror("pc2tbd");
  std::vector<int> pos((size_t)N, 0);
  for (size_t i = 0; i < nc; i++) {
    int lo, hi, flo, fhi;
    bits(bd[i], &lo, &hi);
    bits(bd[nc + nl + i], &flo, &fhi);
    if (hi - lo != fhi - flo || hi > K) utilerror("pc2tbd");
    for (int j = 0; j <= hi - lo; j++) {
      pos[(size_t)(lo + j) - 1] = 2 * (lo + j);
      pos[(size_t)(flo + j) - 1] = 2 * (lo + j) - 1;
    }
  }
  for (int b = K + 1; b <= N - K; b++) pos[(size_t)b - 1] = b + K;
  std::vector<int> at((size_t)N + 1, 0);  // Boolean bit at position p
  for (int b = 1; b <= N; b++) at[(size_t)pos[(size_t)b - 1]] = b;
  std::vector<tree *> pairs;
  for (int p = 1; p <= N; p++)
    pairs.push_back(treecompose("=", leaf(std::to_string(at[(size_t)p])),
                                leaf(std::to_string(N + at[(size_t)p]))));
  tree *pl = list(pairs);
  tsys *ct = prg2t(bp, pl);
  PROCprgs->push_back(pp);
  PROCprgs->push_back(bp);
  PROCsystems->push_back(ct);
  PROCtrees->push_back(pl);
  PROCpos[ct] = pos;
  int lo, hi;
  bits(bd[nc + nl - 1], &lo, &hi);           // the return flag
  tbd notret = TBDap(-(2 * pos[(size_t)lo - 1] - 1));

  std::vector<std::pair<int, int>> in, fw, bw;
  tbd eq = TBDtau;
  for (int b = K; b >= 1; b--) {
    int c = posof(t, b), f = 4 * b - 3, v = 4 * b - 1;
    in.push_back({2 * c - 1, v});
    fw.push_back({f, 2 * c - 1});
    fw.push_back({v, 2 * c});
    bw.push_back({f, 2 * c});
    bw.push_back({v, 2 * c - 1});
    eq = TBDcn(TBDcn(TBDds(TBDap(-f), TBDap(v)), TBDds(TBDap(f), TBDap(-v))), eq);
  }
  tbd x = TBDreplace(guard, *renaming(t->n, in));
  x = TBDcn(TBDcn(TBDcn(x, eq), ct->init), notret);

  tsys *caller = ggt;
  int wait = DMCprocedurewait;
  ggt = ct;
  DMCprocedurewait = 0;
  tbd r = x, front = x;
  for (;;) {
    front = andnot(TBDfw(TBDcn(front, notret)), r);
    if (TBDmp(front)) break;
    r = TBDds(r, front);
  }
  ggt = caller;
  DMCprocedurewait = wait;
  tbd bad = PROCbadacc.back();
  PROCbadacc.pop_back();

  TBDflags q;
  q.f.assign((size_t)(2 * N + 1), 0);
  for (int p = 2 * K + 1; p <= N; p++) {
    q.f[(size_t)(2 * p - 1)] = 1;
    q.top = 2 * p - 1;
  }
  tbd done = TBDexq(TBDcn(r, TBDng(notret)), q);
  PROCsum s;
  s.fw = TBDreplace(done, *renaming(N, fw));
  s.bw = TBDreplace(done, *renaming(N, bw));
  if (!TBDmp(bad)) {                // keep the entry copy only, as caller states
    TBDflags e;
    e.f.assign((size_t)(2 * N + 1), 0);
    for (int p = 1; p <= N; p++)
      if (p > 2 * K || p % 2 == 0) {
        e.f[(size_t)(2 * p - 1)] = 1;
        e.top = 2 * p - 1;
      }
    std::vector<std::pair<int, int>> entry;
    for (int b = 1; b <= K; b++) entry.push_back({4 * b - 3, 2 * posof(t, b) - 1});
    s.bad = TBDreplace(TBDexq(bad, e), *renaming(N, entry));
  }
  PROCstack.pop_back();
  return s;
}

void AGrewrite(tree *&t) {
  if (!t) return;
  if (t->text[0] == 'V') {
    t->text[0] = 'O';
    return;
  }
  if (isop(t, ':')) {
    if (!t->left || std::strcmp(t->left->text, "P")) utilerror("AGrewritevo P");
    tree *e = t->right;
    t->right = nullptr;
    treefree(t);
    t = e;
    return;
  }
  AGrewrite(t->left);
  AGrewrite(t->right);
}

// The contract as a relation: assumption on the entry, guarantee between
// entry and return; null fw when the procedure has no GUARANTEE.
PROCsum PROCcontract(tsys *t, tree *call) {
  PROCsum s;
  const modrec *m = procmodule(callname(call));
  if (!m || !hasguarantee(m)) return s;
  tree *pt = procedurecreate(call, ggb->modules, t->vlist, 0);
  prg *pp = prog2prg(pt);
  tree *pair = pp->prog->right->right->right;
  if (!isop(pair, ';') || !pair->right) return s;
  pair->right = AGaddeq(AGrewritevo(pair->right), pp->vlist);
  prg *bp = p2bp(pp);
  PROCprgs->push_back(pp);
  PROCprgs->push_back(bp);
  if (bp->BOOLN != t->n) utilerror("pc2tbd");
  tree *bpair = bp->prog->right->right->right;
  tbd a = bpair->left ? TPfml(t, bpair->left) : TBDtau;
  tbd g = TPfml(t, bpair->right);
  std::vector<std::pair<int, int>> swap;
  for (int b = 1; b <= t->n; b++) {
    swap.push_back({2 * b - 1, 2 * b});
    swap.push_back({2 * b, 2 * b - 1});
  }
  s.assume = a;
  s.fw = TBDcn(a, g);
  s.bw = TBDreplace(s.fw, *renaming(t->n, swap));
  return s;
}

bool usecontract() {
  return PROCmode == PROC_CALLEES || (PROCmode == PROC_RUN && op0.ag != -1);
}

PROCsum &PROCget(tsys *t, tree *call) {
  auto key = std::make_pair((const tsys *)t, (const tree *)call);
  auto it = PROCcache.find(key);
  if (it != PROCcache.end()) return it->second;
  if (lmtlog) std::fprintf(lmtlog, "%s\n", "pc2tbd");
  PROCsum s;
  if (usecontract()) s = PROCcontract(t, call);
  if (s.fw != TBDnull) {
    if (PROCannounced.insert(callname(call)).second)
      std::printf("INFO:       using the contract of %s\n", callname(call));
  } else {
    s = PROCbody(t, call, partof(t, call)->guard);
  }
  PROCcount++;
  TBDkp(s.fw);
  TBDkp(s.bw);
  TBDkp(s.bad);
  if (s.assume != TBDnull) TBDkp(s.assume);
  return PROCcache[key] = s;
}

}  // namespace

void PROCinit(tsys *t) {
  (void)t;
  TBDpc2tbdhook = pc2tbd;
  TBDpc2tbdbwhook = pc2tbdbw;
}

tbd pc2tbd(tsys *t, tree *call, tbd states) {
  PROCsum &s = PROCget(t, call);
  tbd viol = TBDcn(states, s.bad);
  if (s.assume != TBDnull) viol = TBDds(viol, andnot(states, s.assume));
  if (!TBDmp(viol)) {
    // inside a body under construction the entries that lead here are
    // recorded; a violation reachable in the model ends the run
    if (PROCbadacc.empty()) {
      std::printf("INFO:       ASSUMPTION violation\n");
      PROCend(VERDICT_UNKNOWN, 0);
    }
    PROCbadacc.back() = TBDds(PROCbadacc.back(), viol);
  }
  return TBDrn(TBDrp(states, s.fw, 1, 1));
}

tbd pc2tbdbw(tsys *t, tree *call, tbd after) {
  PROCsum &s = PROCget(t, call);
  return TBDrn(TBDrp(after, s.bw, 1, 1));
}

int PROCbuilt() { return PROCcount; }

bool PROCcontracts(const modrec *modules) {
  if (op0.ag == -1) return false;
  for (const modrec *m = modules; m; m = m->next)
    if (m->kind == 'P' && hasguarantee(m)) return true;
  return false;
}

tree *AGrewritevo(tree *t) {
  AGrewrite(t);
  return t;
}

tree *AGaddeq(tree *trans, tree *vlist) {
  tree *acc = nullptr;
  auto add = [&](const std::string &x) {
    std::string o = "O" + x;
    if (treesearch(o.c_str(), 0, trans)) return;
    tree *eq = treecompose("=", leaf(o), leaf("V" + x));
    acc = acc ? treecompose("&", acc, eq) : eq;
  };
  for (tree *d : elems(vlist)) {
    if (!isop(d, ':') || !d->left) continue;
    std::string x = d->left->text;
    size_t b = x.find('[');
    if (b != std::string::npos && x.find("..", b) != std::string::npos) {
      std::string base = x.substr(0, b);
      int lo = std::atoi(x.c_str() + b + 1), hi = std::atoi(x.c_str() + x.find("..", b) + 2);
      for (int i = lo; i <= hi; i++) add(base + "_x_" + std::to_string(i));
    } else {
      add(x);
    }
  }
  return acc ? treecompose("&", trans, acc) : trans;
}

void PROCagcheck(tsys *t) {
  const tsyspart *part = nullptr;
  for (const tsyspart &p : t->parts)
    if (p.procedure) part = &p;
  if (!part) utilerror("pc2tbd");
  tree *call = part->procedure;
  PROCmode = PROC_CALLEES;
  PROCsum c = PROCcontract(t, call);
  if (c.fw == TBDnull) {
    std::printf("INFO:       %s has no GUARANTEE\n", callname(call));
    PROCend(VERDICT_UNKNOWN, 0);
  }
  TBDkp(c.fw);
  int sw = op0.ag == -1 ? -1 : 0, b;
  for (;;) {
    if (lmtlog) std::fprintf(lmtlog, "%s\n", "CHECK Procedure");
    PROCmode = sw == -1 ? PROC_INLINE : PROC_CALLEES;
    PROCcache.clear();
    PROCsum body = PROCbody(t, call, TBDcn(part->guard, c.assume));
    if (!TBDmp(body.bad)) {
      std::printf("INFO:       ASSUMPTION violation\n");
      PROCend(VERDICT_UNKNOWN, 0);
    }
    b = TBDmp(TBDcn(TBDcn(body.fw, c.assume), TBDng(c.fw)));
    if (b || sw == -1) break;
    sw = -1;
  }
  std::printf("INFO:       A/G=%i\n", 2 * sw + 1);
  PROCend(2 * b - 1, b ? 1 : 255);
}
