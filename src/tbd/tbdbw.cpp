// Relational product, renamings and images over the partitions of `ggt`.
#include "tbd/tbdbw.h"

tsys *ggt;
int DMCprocedurewait;
int TBDbwsteps;
tbd (*TBDpc2tbdhook)(tsys *t, tree *call, tbd states);
tbd (*TBDpc2tbdbwhook)(tsys *t, tree *call, tbd after);
void (*TBDprogresshook)(int kind, int bound);

// The quantifier kind and the eliminated parity are part of the key: the
// forward (parity 0) and backward (parity 1) products of one run must never
// answer each other's lookups.
static uint32_t rpcode(int a, int b) {
  if (a) return b ? TBDOP_RPE1 : TBDOP_RPE0;
  return b ? TBDOP_RPA1 : TBDOP_RPA0;
}

// (x ? hi : lo) AND rest for cofactor c of node n, negated for negative labels
static inline tbd cofactor(const TBDnode &n, int c) {
  tbd r = TBDcn(c ? n.hi : n.lo, n.rest);
  return n.label < 0 ? TBDng(r) : r;
}

tbd TBDrp(tbd f, tbd g, int a, int b) {
  if (f == TBDomg || g == TBDomg) return TBDomg;
  uint32_t op = rpcode(a, b);
  if (tbd r = TBDmmgetc(op, f, g)) return r;
  if (f == TBDtau || g == TBDtau) { // only quantification is left; worth a cache entry too
    tbd h = f == TBDtau ? g : f;
    tbd r = a ? TBDng(TBDiterativeabseven(TBDng(h), 1 - b)) : TBDiterativeabseven(h, 1 - b);
    TBDmmputc(op, f, g, r);
    return r;
  }
  TBDstackcheck();
  const TBDnode F = TBDnd(f), G = TBDnd(g);
  int c = TBDcase(F.label, G.label);
  int v = c >= 6 ? (G.label < 0 ? -G.label : G.label) : (F.label < 0 ? -F.label : F.label);
  bool quant = v % 2 == b;
  tbd r0 = TBDnull, r1 = TBDnull;
  for (int k = 0; k < 2; k++) {
    tbd x, y;
    switch (c) {
      case 0: x = cofactor(F, k); y = cofactor(G, k); break;
      case 1: x = cofactor(G, k); y = cofactor(F, k); break;   // positive operand first
      case 2: case 3: x = cofactor(F, k); y = cofactor(G, k); break;
      case 4: x = g; y = cofactor(F, k); break;
      case 5: x = cofactor(F, k); y = g; break;
      case 6: x = f; y = cofactor(G, k); break;
      default: x = cofactor(G, k); y = f; break;
    }
    tbd r = TBDrp(x, y, a, b);
    if (k == 0) {
      r0 = r;
      if (quant && r0 == (a ? TBDtau : TBDomg)) break;   // the other branch cannot change it
    } else {
      r1 = r;
    }
  }
  tbd r;
  if (!quant) r = TBDnewnode(v, r0, r1, TBDtau);
  else if (r1 == TBDnull) r = r0;
  else r = a ? TBDds(r0, r1) : TBDcn(r0, r1);
  TBDmmputc(op, f, g, r);
  return r;
}

static inline bool flagged(const TBDflags &q, int v) {
  return v <= q.top && (size_t)v < q.f.size() && q.f[(size_t)v];
}

// The deepest level of a label in [1, 2n] that `touched` selects; -1 for none.
template <class P>
static int32_t deepest(int32_t &memo, P touched) {
  if (memo != -2) return memo;
  memo = -1;
  for (int v = 1; v <= 2 * TBDmmbits(); v++)
    if (touched(v) && TBDlev(v) > memo) memo = TBDlev(v);
  return memo;
}

static inline int32_t levelof(tbd f) { return TBDlev(TBDvar(f)); }

// With canonical nodes an operation may stop where no label it changes can
// come any more: every node below its parent's level, the rest is the
// operand itself (or a plain conjunction), and the handle is the same.
static inline bool below(tbd f, int32_t deep) {
  return TBDcanon && !TBDterminal(f) && levelof(f) > deep;
}
static int32_t deepq(const TBDflags &q) {
  return deepest(q.deepq, [&](int v) { return flagged(q, v); });
}

// Computed-table codes keyed by the flag array: the ids are small, far below
// the fixed codes' bit.
static uint32_t exqcode(const TBDflags &q) { return 0x40000000u | q.id; }
static uint32_t rpqcode(const TBDflags &q) { return 0x60000000u | q.id; }

tbd TBDexq(tbd f, const TBDflags &q) {
  if (TBDterminal(f) || below(f, deepq(q))) return f;
  uint32_t op = exqcode(q);
  if (tbd r = TBDmmgetc(op, 0, f)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  int v = F.label < 0 ? -F.label : F.label;
  tbd r0 = TBDexq(cofactor(F, 0), q), r;
  if (!flagged(q, v)) r = TBDnewnode(v, r0, TBDexq(cofactor(F, 1), q), TBDtau);
  else if (r0 == TBDtau) r = r0;
  else r = TBDds(r0, TBDexq(cofactor(F, 1), q));
  TBDmmputc(op, 0, f, r);
  return r;
}

// The product only descends while a flagged label can still come: below the
// last one it is a plain conjunction.
tbd TBDrpq(tbd f, tbd g, const TBDflags &q) {
  if (f == TBDomg || g == TBDomg) return TBDomg;
  if (f == TBDtau || f == g) return TBDexq(g, q);
  if (g == TBDtau) return TBDexq(f, q);
  if (TBDcanon) {
    int32_t d = deepq(q);
    if (below(f, d) && below(g, d)) return TBDcn(f, g);
  }
  uint32_t op = rpqcode(q);
  if (tbd r = TBDmmgetc(op, f, g)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f), G = TBDnd(g);
  int c = TBDcase(F.label, G.label);
  int v = c >= 6 ? (G.label < 0 ? -G.label : G.label) : (F.label < 0 ? -F.label : F.label);
  bool quant = flagged(q, v);
  tbd r0 = TBDnull, r1 = TBDnull;
  for (int k = 0; k < 2; k++) {
    tbd x, y;
    if (c < 4) {
      x = cofactor(F, k);
      y = cofactor(G, k);
    } else if (c < 6) {
      x = cofactor(F, k);
      y = g;
    } else {
      x = f;
      y = cofactor(G, k);
    }
    tbd r = TBDrpq(x, y, q);
    if (k == 0) {
      r0 = r;
      if (quant && r0 == TBDtau) break;
    } else {
      r1 = r;
    }
  }
  tbd r;
  if (!quant) r = TBDnewnode(v, r0, r1, TBDtau);
  else if (r1 == TBDnull) r = r0;
  else r = TBDds(r0, r1);
  TBDmmputc(op, f, g, r);
  return r;
}

// Rebuilds f with every label mapped through `map`; memoised under (op, key).
template <class M>
static tbd relabel(tbd f, uint32_t op, uint32_t key, M map, int32_t deep) {
  if (TBDterminal(f) || below(f, deep)) return f;
  if (tbd r = TBDmmgetc(op, key, f)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  int v = F.label < 0 ? -F.label : F.label;
  int w = map(v);
  tbd lo = relabel(F.lo, op, key, map, deep);
  tbd hi = relabel(F.hi, op, key, map, deep);
  tbd r = TBDnewnode(F.label < 0 ? -w : w, lo, hi, relabel(F.rest, op, key, map, deep));
  TBDmmputc(op, key, f, r);
  return r;
}

tbd TBDrn(tbd f) {
  static int32_t deep = -2;         // the store's bits never change
  int32_t d = TBDcanon ? deepest(deep, [](int v) { return v % 2 == 0; }) : -1;
  return relabel(f, TBDOP_RN, 0, [](int v) { return v % 2 == 0 ? v - 1 : v; }, d);
}

static inline int flagat(const TBDflags &fl, int v) {
  return (size_t)v < fl.f.size() ? fl.f[(size_t)v] : 0;
}

tbd TBDsprn(tbd f, const TBDflags &flags) {
  auto moved = [&](int v) { return v % 2 == 1 && flagat(flags, v) == 0; };
  int32_t d = TBDcanon ? deepest(flags.deepsp, moved) : -1;
  return relabel(f, TBDOP_RN, flags.id, [&](int v) { return moved(v) ? v + 1 : v; }, d);
}

tbd TBDasrn(tbd f, const TBDflags &flags) {
  auto moved = [&](int v) { return v % 2 == 0 && flagat(flags, v) == 1; };
  int32_t d = TBDcanon ? deepest(flags.deepas, moved) : -1;
  return relabel(f, TBDOP_ASRN, flags.id, [&](int v) { return moved(v) ? v - 1 : v; }, d);
}

static tbd summary(tree *call, tbd t) {
  if (!TBDpc2tbdhook) TBDerror("pc2tbd");
  return TBDpc2tbdhook(ggt, call, t);
}

// Predecessors through a call partition: the action after the call runs on
// the states the call returns in, the guard is read before the call.
static tbd bwproc(const tsyspart &p, tbd s) {
  if (!TBDpc2tbdbwhook) TBDerror("pc2tbd");
  if (p.guard == TBDomg || p.guard == TBDnull || p.bassign == TBDnull) return TBDomg;
  tbd mid = TBDrn(TBDrp(s, p.bassign, 1, 1));
  if (TBDmp(mid)) return TBDomg;
  return TBDcn(TBDpc2tbdbwhook(ggt, p.procedure, mid), p.guard);
}

// Image of s under one partition; `stop` is set instead when procedure
// partitions must wait.
static tbd fwpart(const tsyspart &p, tbd s, bool *stop) {
  tbd t = TBDcn(s, p.guard);
  if (p.procedure) {
    if (stop && DMCprocedurewait) {
      *stop = true;
      return TBDomg;
    }
    t = TBDmp(t) ? TBDomg : summary(p.procedure, t);
  }
  if (ggt->fwmode) {
    if (t == TBDomg || p.funrel == TBDnull) return TBDomg;
    return TBDrp(TBDsprn(t, p.frame), p.funrel, 1, 0);
  }
  if (p.fwrel == TBDnull) return TBDomg;
  return TBDrn(TBDrp(t, p.fwrel, 1, 1));
}

tbd TBDfw(tbd s) {
  tbd res = TBDomg;
  for (const tsyspart &p : ggt->parts) {
    if (p.guard == TBDomg || p.guard == TBDnull) continue;
    bool stop = false;
    tbd img = fwpart(p, s, &stop);
    if (stop) break;
    res = TBDds(res, img);
  }
  return res;
}

static void bwprogress() {
  int c = ++TBDbwsteps;
  if (TBDprogresshook) {
    TBDprogresshook(1, c);
    TBDprogresshook(0, c);
  }
}

tbd TBDbwrel(tbd s) {
  bwprogress();
  tbd res = TBDomg;
  for (const tsyspart &p : ggt->parts) {
    if (p.procedure) res = TBDds(res, bwproc(p, s));
    else if (p.bwrel != TBDnull) res = TBDds(res, TBDrn(TBDrp(s, p.bwrel, 1, 1)));
  }
  return res;
}

int TBDclusterbits = 8;             // most written bits per cluster
int TBDclusternodes = 4096;         // most nodes of a cluster's relation

static void addcluster(tsys *t, std::vector<size_t> &members, std::vector<uint8_t> &written) {
  int n = t->n;
  if (members.size() == 1) {
    t->unclustered.push_back(members[0]);
  } else if (!members.empty()) {
    tsyscluster c;
    c.quant.f.assign((size_t)(2 * n + 1), 0);
    c.move.f.assign((size_t)(2 * n + 1), 0);
    for (int i = 1; i <= 2 * n - 1; i += 2)
      if (written[(size_t)i]) {
        c.quant.f[(size_t)i] = 1;
        c.quant.top = i;
        c.move.f[(size_t)i + 1] = 1;
        c.move.top = i + 1;
      }
    tbd rel = TBDomg;
    for (size_t k : members) {
      const tsyspart &p = t->parts[k];
      tbd r = p.bwfun;
      for (int i = 1; i <= 2 * n - 1; i += 2)
        if (written[(size_t)i] && !p.bwquant.f[(size_t)i])   // unchanged by this member
          r = TBDcn(r, TBDds(TBDcn(TBDap(i), TBDap(i + 1)), TBDcn(TBDap(-i), TBDap(-(i + 1)))));
      rel = TBDds(rel, r);
    }
    c.rel = rel;
    TBDkp(c.rel);
    t->clusters.push_back(std::move(c));
  }
  members.clear();
  std::fill(written.begin(), written.end(), 0);
}

// Consecutive partitions join while the bits they write stay few and the
// relation small; the rest keep their own images.
static void makeclusters(tsys *t) {
  t->clustered = true;
  int n = t->n;
  std::vector<size_t> members;
  std::vector<uint8_t> written((size_t)(2 * n + 1), 0);
  tbd rel = TBDomg;                 // the members' relations, for the size bound
  for (size_t k = 0; k < t->parts.size(); k++) {
    const tsyspart &p = t->parts[k];
    if (p.procedure || p.bwfun == TBDnull) {
      if (p.procedure || p.bwrel != TBDnull) t->unclustered.push_back(k);
      continue;
    }
    int bits = 0;                   // written by the cluster with p in it
    for (int i = 1; i <= 2 * n - 1; i += 2) bits += written[(size_t)i] || p.bwquant.f[(size_t)i];
    tbd joined = TBDds(rel, p.bwfun);
    if (!members.empty() && (bits > TBDclusterbits || TBDmmnodecnt(joined) > TBDclusternodes)) {
      addcluster(t, members, written);
      joined = p.bwfun;
    }
    members.push_back(k);
    for (int i = 1; i <= 2 * n - 1; i += 2)
      if (p.bwquant.f[(size_t)i]) written[(size_t)i] = 1;
    rel = joined;
  }
  addcluster(t, members, written);
}

static void ownimage(const tsyspart &p, tbd s, std::vector<tbd> &img) {
  if (p.procedure) img.push_back(bwproc(p, s));
  else if (p.bwfun != TBDnull) img.push_back(TBDasrn(TBDrpq(s, p.bwfun, p.bwquant), p.bwmove));
  else if (p.bwrel != TBDnull) img.push_back(TBDrn(TBDrp(s, p.bwrel, 1, 1)));
}

// Each partition quantifies and renames only the bits it writes; the images
// are joined pairwise so that no operand of a disjunction is the large union
// of all the others. With canonical nodes, clusters share images.
tbd TBDbw(tbd s) {
  bwprogress();
  std::vector<tbd> img;
  if (TBDcanon && TBDclusterbits > 0) {
    if (!ggt->clustered) makeclusters(ggt);
    for (const tsyscluster &c : ggt->clusters)
      img.push_back(TBDasrn(TBDrpq(s, c.rel, c.quant), c.move));
    for (size_t k : ggt->unclustered) ownimage(ggt->parts[k], s, img);
  } else {
    for (const tsyspart &p : ggt->parts) ownimage(p, s, img);
  }
  if (img.empty()) return TBDomg;
  for (size_t w = 1; w < img.size(); w *= 2)
    for (size_t i = 0; i + w < img.size(); i += 2 * w) img[i] = TBDds(img[i], img[i + w]);
  return img[0];
}

// Chaining: each partition's image joins the reached set as soon as it is
// known, so the partitions after it in the same sweep start from it. A sweep
// applies every partition to the states added since the sweep before.
tbd TBDfwchain(tbd s, tbd stop) {
  if (!TBDmp(TBDcn(s, stop))) return TBDnull;
  tbd r = s, front = s;
  for (;;) {
    tbd start = r;
    for (const tsyspart &p : ggt->parts) {
      if (p.guard == TBDomg || p.guard == TBDnull) continue;
      if (p.procedure) TBDerror("TBDfwchain");
      tbd fresh = TBDcn(fwpart(p, front, nullptr), TBDng(r));
      r = TBDds(r, fresh);
      front = TBDds(front, fresh);
      TBDsafepoint({s, stop, start, r, front});
    }
    front = TBDcn(r, TBDng(start));
    if (TBDmp(front)) return r;
    if (!TBDmp(TBDcn(front, stop))) return TBDnull;
  }
}

tbd TBDfwSelectOne(tbd s, tbd target, int *index) {
  for (size_t i = 0; i < ggt->parts.size(); i++) {
    const tsyspart &p = ggt->parts[i];
    if (p.guard == TBDomg || p.guard == TBDnull) continue;
    tbd r = TBDcn(fwpart(p, s, nullptr), target);
    if (!TBDmp(r)) {
      *index = (int)i;
      return TBDone(r);
    }
  }
  TBDerror("TBDfwSelectOne");
}

tbd TBDbwSelectOne(tbd s, tbd target, int *index) {
  const std::vector<tsyspart> &parts = ggt->parts;
  for (size_t i = 0; i < parts.size(); i++) {
    const tsyspart &p = parts[i];
    if (p.procedure || p.guard == TBDomg || p.guard == TBDnull) continue;
    tbd r = p.bwrel == TBDnull ? TBDomg : TBDrn(TBDrp(s, p.bwrel, 1, 1));
    tbd hit = TBDcn(r, target);
    if (!TBDmp(hit)) {
      *index = (int)i;
      return TBDone(hit);
    }
  }
  for (size_t i = 0; i < parts.size(); i++) {
    const tsyspart &p = parts[i];
    if (!p.procedure || p.guard == TBDomg || p.guard == TBDnull) continue;
    tbd hit = TBDcn(bwproc(p, s), target);
    if (!TBDmp(hit)) {
      *index = (int)i;
      return TBDone(hit);
    }
  }
  TBDerror("TBDbwSelectOne");
}

tbd TBDsp(tbd s, tbd r, const TBDflags &flags) {
  if (s == TBDomg) return TBDomg;
  return TBDrp(TBDsprn(s, flags), r, 1, 0);
}

tbd TBDbwone(tbd s, tbd r) {
  if (r == TBDnull || r == TBDomg) return TBDomg;
  return TBDrn(TBDrp(s, r, 1, 1));
}
