// Operations on TBDs. Every recursive operation follows one skeleton:
// terminal cases, computed-table lookup, case split on the top labels,
// recursion, normalising constructor, computed-table store.
#include "tbd/tbdop.h"

#include <cstdlib>

#include "tree/tree.h"

static uint32_t lastid;

uint32_t TBDnewid() { return ++lastid; }

std::unique_ptr<TBDmap> TBDmapnew(int n) {
  auto m = std::make_unique<TBDmap>();
  m->id = TBDnewid();
  m->n = n < 0 ? 0 : n;
  m->slot.assign((size_t)(4 * m->n + 1), TBDnull);
  return m;
}

FILE *TBDlog() {
  static FILE *log;
  static bool tried;
  if (!tried) {
    tried = true;
    log = utillogopen("logtbd.tmp", "w");
  }
  return log;
}

static void logline(const char *s) {
  if (FILE *f = TBDlog()) {
    std::fputs(s, f);
    std::fflush(f);
  }
}

bool TBDcanon;

// The complement of a handle is the node with the negated label, except for
// the shapes NOT x OR B and x OR A with a true conjunct, which the constructor
// turns into a conjunction with a literal.
tbd TBDng(tbd f) {
  if (TBDcanon) return f ^ 1;
  const TBDnode &n = TBDcell(f >> 1);
  if ((f & 1) || n.rest != TBDtau || (n.lo != TBDtau && n.hi != TBDtau) || TBDterminal(f)) return f ^ 1;
  return TBDnewnode(-n.label, n.lo, n.hi, n.rest);
}

// Canonical mode: the conjunct does not mention x, so it goes into both
// cofactors; the lo edge is kept regular by moving its complement to the
// node's handle.
static tbd canonnode(int32_t a, tbd A, tbd B, tbd C) {
  if (C != TBDtau) {
    A = TBDcn(A, C);
    B = TBDcn(B, C);
  }
  tbd r;
  if (A == B) r = A;
  else if (A & 1) r = TBDmmaddt(a < 0 ? -a : a, A ^ 1, B ^ 1, TBDtau) ^ 1;
  else r = TBDmmaddt(a < 0 ? -a : a, A, B, TBDtau);
  return a < 0 ? r ^ 1 : r;
}

// The rules run in a fixed order until one returns; the node that no rule
// changes any more is hash-consed. Equal cofactors under a non-true conjunct
// are deliberately kept: the form is not canonical.
tbd TBDnewnode(int32_t a, tbd A, tbd B, tbd C) {
  if (TBDcanon) return canonnode(a, A, B, C);
  for (;;) {
    if (A == TBDomg && B == TBDomg) return a < 0 ? TBDtau : TBDomg;   // (x ? F : F) = F
    if (C == TBDomg) return a < 0 ? TBDtau : TBDomg;                  // X AND F = F
    if (A == TBDtau && B == TBDtau) {                                 // (x ? T : T) AND C = C
      if (a > 0) return C;
      return C == TBDtau ? TBDomg : TBDng(C);
    }
    if (A == B && C == TBDtau) return a > 0 ? A : TBDng(A);           // (x ? A : A) = A
    if (B == TBDomg && A != TBDtau && C == TBDtau) {                  // NOT x AND A
      C = A;
      A = TBDtau;
      continue;
    }
    if (A == TBDomg && B != TBDtau && C == TBDtau) {                  // x AND B
      C = B;
      B = TBDtau;
      continue;
    }
    if (C != B || C == TBDtau) {
      if (A == C && C != TBDtau) {                                    // (x OR C) AND C = C
        A = TBDtau;
        continue;
      }
      if (A == TBDtau && C == TBDtau && a < 0) {                      // NOT(NOT x OR B) = x AND NOT B
        a = -a;
        A = TBDomg;
        B = TBDng(B);
        continue;
      }
      if (B == TBDtau && C == TBDtau && a < 0) {                      // NOT(x OR A) = NOT x AND NOT A
        a = -a;
        A = TBDng(A);
        B = TBDomg;
        continue;
      }
      return TBDmmaddt(a, A, B, C);
    }
    B = TBDtau;                                                       // (NOT x OR C) AND C = C
  }
}

tbd TBDap(int l) {
  if (l == 0) TBDerror("TBDap");
  return l > 0 ? TBDnewnode(l, TBDomg, TBDtau, TBDtau) : TBDnewnode(-l, TBDtau, TBDomg, TBDtau);
}

int TBDcase(int32_t a, int32_t b) {
  int32_t va = a < 0 ? -a : a, vb = b < 0 ? -b : b;
  if (va == vb) return 2 * (a > 0) + (b > 0);
  if (TBDlev(va) < TBDlev(vb)) return 4 + (a > 0);
  return 6 + (b > 0);
}

// NOT(x AND NOT y): the shape every mixed-sign case needs.
static inline tbd nandn(tbd x, tbd y) { return TBDng(TBDcn(x, TBDng(y))); }

tbd TBDcn(tbd f, tbd g) {
  if (f == TBDomg) return f;        // F AND g = F
  if (g == TBDtau) return f;        // f AND T = f
  if (g == TBDomg) return g;
  if (f == TBDtau) return g;
  if (f == g) return f;             // f AND f = f
  if (tbd r = TBDmmgetc(TBDOP_CN, f, g)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f), G = TBDnd(g);
  tbd r, r0, r1;
  switch (TBDcase(F.label, G.label)) {
    case 0:                         // NOT A AND NOT B = NOT(A OR B)
      r0 = TBDds(TBDcn(F.lo, F.rest), TBDcn(G.lo, G.rest));
      r1 = TBDds(TBDcn(F.hi, F.rest), TBDcn(G.hi, G.rest));
      r = TBDnewnode(G.label, r0, r1, TBDtau);
      break;
    case 1:                         // NOT A AND B = NOT(B AND NOT A) negated
      r0 = nandn(TBDcn(G.lo, G.rest), TBDcn(F.lo, F.rest));
      r1 = nandn(TBDcn(G.hi, G.rest), TBDcn(F.hi, F.rest));
      r = TBDnewnode(F.label, r0, r1, TBDtau);
      break;
    case 2:
      r0 = nandn(TBDcn(F.lo, F.rest), TBDcn(G.lo, G.rest));
      r1 = nandn(TBDcn(F.hi, F.rest), TBDcn(G.hi, G.rest));
      r = TBDnewnode(G.label, r0, r1, TBDtau);
      break;
    case 3:
      r0 = TBDcn(F.lo, G.lo);
      r1 = TBDcn(F.hi, G.hi);
      r = TBDnewnode(F.label, r0, r1, TBDcn(F.rest, G.rest));
      break;
    case 4:                         // g does not mention x_f: push it into every child
      r0 = nandn(g, F.lo);
      r1 = nandn(g, F.hi);
      r = TBDnewnode(F.label, r0, r1, nandn(g, F.rest));
      break;
    case 5:
      r = TBDnewnode(F.label, F.lo, F.hi, TBDcn(F.rest, g));
      break;
    case 6:
      r0 = nandn(f, G.lo);
      r1 = nandn(f, G.hi);
      r = TBDnewnode(G.label, r0, r1, nandn(f, G.rest));
      break;
    default:
      r = TBDnewnode(G.label, G.lo, G.hi, TBDcn(G.rest, f));
      break;
  }
  TBDmmputc(TBDOP_CN, f, g, r);
  return r;
}

tbd TBDds(tbd f, tbd g) { return TBDng(TBDcn(TBDng(f), TBDng(g))); }

tbd TBDrestrict(tbd f, int l) {
  if (TBDterminal(f)) return f;
  int c = std::abs(l);
  if (TBDlev(c) < TBDlev(TBDvar(f))) return f;   // x_c is above every variable of f
  if (tbd r = TBDmmgetc(TBDOP_RESTRICT, f, (uint32_t)l)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  tbd r;
  if (F.label == c || F.label == -c) {
    r = TBDcn(l < 0 ? F.lo : F.hi, F.rest);
    if (F.label < 0) r = TBDng(r);
  } else {
    tbd r0 = TBDrestrict(F.lo, l);
    tbd r1 = TBDrestrict(F.hi, l);
    r = TBDnewnode(F.label, r0, r1, TBDrestrict(F.rest, l));
  }
  TBDmmputc(TBDOP_RESTRICT, f, (uint32_t)l, r);
  return r;
}

tbd TBDbs(int v, tbd f) {
  tbd p = TBDrestrict(f, v);
  if (p == f) return f;             // f does not depend on x_v
  return TBDcn(p, TBDrestrict(f, -v));
}

tbd TBDxb(int v, tbd f) { return TBDng(TBDbs(v, TBDng(f))); }

int TBDmaxlabel(tbd f) {
  static std::vector<tbd> stack;
  constexpr int STEP = 22;
  int m = 0;
  stack.clear();
  stack.push_back(f);
  while (!stack.empty()) {
    tbd g = stack.back();
    stack.pop_back();
    if (g == TBDnull || TBDterminal(g) || TBDmk(g) > 0) continue;
    TBDmk(g) = (int8_t)(TBDmk(g) + STEP);
    const TBDnode &n = TBDnd(g);
    int v = n.label < 0 ? -n.label : n.label;
    if (m == 0 || TBDlev(v) > TBDlev(m)) m = v;
    stack.push_back(n.rest);
    stack.push_back(n.hi);
    stack.push_back(n.lo);
  }
  stack.push_back(f);
  while (!stack.empty()) {
    tbd g = stack.back();
    stack.pop_back();
    if (g == TBDnull || TBDterminal(g) || TBDmk(g) <= 0) continue;
    TBDmk(g) = (int8_t)(TBDmk(g) - STEP);
    const TBDnode &n = TBDnd(g);
    stack.push_back(n.rest);
    stack.push_back(n.hi);
    stack.push_back(n.lo);
  }
  return m;
}

// Quantifying from the largest variable upwards keeps the restrictions cheap:
// the variable eliminated sits just above the terminals.
int TBDvalidfactor = 4;

// The cofactor recursion answers most sets in linear time; when it starts to
// build large conjunctions the elimination from the largest variable takes over.
tbd TBDiterativeabs(tbd f) {
  tbd v = TBDvalid(f);
  if (v != TBDnull) return v;
  TBDst.validfallbacks++;
  while (!TBDterminal(f)) f = TBDbs(TBDmaxlabel(f), f);
  return f;
}

static uint64_t validbudget;         // TBDst.made may not pass this during TBDvalid

// f is valid iff both cofactors on its top variable are. A positive node's
// cofactors lo AND rest, hi AND rest are valid iff lo, hi and rest are, which
// needs no new node; a negative node needs the two conjunctions. TBDnull when
// the conjunctions grew past the budget.
static tbd validrec(tbd f) {
  if (TBDterminal(f)) return f;
  if (tbd r = TBDmmgetc(TBDOP_VALID, 0, f)) return r;
  TBDstackcheck();
  if (TBDst.made >= validbudget) return TBDnull;
  const TBDnode F = TBDnd(f);
  tbd r = TBDtau;
  if (F.label > 0) {
    for (tbd c : {F.rest, F.lo, F.hi})
      if ((r = validrec(c)) != TBDtau) break;
  } else {
    for (tbd c : {F.lo, F.hi})
      if ((r = validrec(TBDng(TBDcn(c, F.rest)))) != TBDtau) break;
  }
  if (r != TBDnull) TBDmmputc(TBDOP_VALID, 0, f, r);
  return r;
}

tbd TBDvalid(tbd f) {
  uint64_t k = (uint64_t)TBDvalidfactor;
  validbudget = TBDst.made + k * ((uint64_t)TBDmmnodecnt(f) + 256);
  return validrec(f);
}

int TBDmp(tbd f) { return TBDiterativeabs(TBDng(f)) == TBDtau; }

tbd TBDiterativeabseven(tbd f, int p) {
  if (TBDterminal(f)) return f;
  // levels keep the parity of their labels
  int e = TBDlev(TBDmaxlabel(f));
  if (e % 2 == p) e--;
  int s = TBDlev(TBDvar(f));
  if (s % 2 == p) s++;
  for (int v = e; v >= s; v -= 2) f = TBDbs(TBDlabelat(v), f);
  return f;
}

tbd TBDone(tbd f) {
  if (TBDterminal(f)) return f;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  int v = F.label < 0 ? -F.label : F.label;
  tbd f0 = TBDcn(F.lo, F.rest);
  if (F.label < 0) f0 = TBDng(f0);
  if (!TBDmp(f0)) return TBDnewnode(v, TBDone(f0), TBDomg, TBDtau);   // prefer x_v false
  tbd f1 = TBDcn(F.hi, F.rest);
  if (F.label < 0) f1 = TBDng(f1);
  return TBDnewnode(v, TBDomg, TBDone(f1), TBDtau);
}

static bool literalnode(const TBDnode &n) {
  return (n.lo == TBDomg && n.hi == TBDtau) || (n.lo == TBDtau && n.hi == TBDomg);
}

// A cube is a chain of literal nodes through `rest`; each node's own `rest`
// is the remainder of the cube.
std::vector<int> TBDwriteOne(tbd cube, int n) {
  std::vector<int> out((size_t)(n > 0 ? n + 1 : 1), 0);
  tbd f = cube;
  if (TBDcanon) {                   // a path of BDD nodes, one branch false at each
    for (int k = 0; k < n; k++) out[(size_t)k] = 1;
    while (f != TBDtau) {
      if (f == TBDomg) TBDerror("TBDwriteOne isomg");
      const TBDnode c = TBDnd(f);
      int v = c.label < 0 ? -c.label : c.label;
      tbd lo = c.label < 0 ? c.lo ^ 1 : c.lo, hi = c.label < 0 ? c.hi ^ 1 : c.hi;
      if (v % 2 == 0 || v > 2 * n - 1) TBDerror("TBDwriteOne isneg");
      if (hi == TBDomg) out[(size_t)(v / 2)] = -1, f = lo;
      else if (lo == TBDomg) f = hi;
      else TBDerror("TBDwriteOne");
    }
    return out;
  }
  if (TBDmmordered()) {             // the chain follows the levels
    for (int k = 0; k < n; k++) out[(size_t)k] = 1;
    while (f != TBDtau) {
      if (f == TBDomg) TBDerror("TBDwriteOne isomg");
      const TBDnode &c = TBDnd(f);
      if (c.label < 0 || c.label % 2 == 0 || c.label > 2 * n - 1) TBDerror("TBDwriteOne isneg");
      if (!literalnode(c)) TBDerror("TBDwriteOne");
      if (c.lo == TBDtau) out[(size_t)(c.label / 2)] = -1;
      f = c.rest;
    }
    return out;
  }
  for (int k = 0; k < n; k++) {
    int v = 2 * k + 1;
    out[(size_t)k] = 1;
    if (f == TBDtau) continue;
    if (f == TBDomg) TBDerror("TBDwriteOne isomg");
    const TBDnode &c = TBDnd(f);
    if (c.label < v) TBDerror("TBDwriteOne isneg");
    if (c.label > v) continue;      // x_v left open
    if (!literalnode(c)) TBDerror("TBDwriteOne");
    if (c.lo == TBDtau) out[(size_t)k] = -1;
    f = c.rest;
  }
  return out;
}

tbd TBDreplace(tbd f, const TBDmap &map) {
  if (TBDterminal(f)) return f;
  if (tbd r = TBDmmgetc(TBDOP_REPLACE, f, map.id)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  int v = F.label < 0 ? -F.label : F.label;
  tbd a = TBDreplace(F.lo, map);
  tbd b = TBDreplace(F.hi, map);
  tbd c = TBDreplace(F.rest, map);
  tbd sp = v <= 2 * map.n ? map.get(v) : TBDnull;
  tbd sm = v <= 2 * map.n ? map.get(-v) : TBDnull;
  if (sp == TBDtau && sm == TBDtau) TBDerror("TBDreplace");
  if (sp == TBDnull) sp = TBDap(v);  // an empty slot keeps the variable
  if (sm == TBDnull) sm = TBDap(-v);
  tbd r = TBDcn(TBDcn(TBDds(sp, a), TBDds(sm, b)), c);
  if (F.label < 0) r = TBDng(r);
  TBDmmputc(TBDOP_REPLACE, f, map.id, r);
  return r;
}

tbd TBDpos(tbd f) {
  if (TBDterminal(f)) return f;
  if (tbd r = TBDmmgetc(TBDOP_POS, 0, f)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  tbd lo = F.lo, hi = F.hi, rest = F.rest;
  int v = F.label;
  if (v < 0) {                      // NOT((x ? hi : lo) AND rest) = x ? NOT(hi AND rest) : NOT(lo AND rest)
    v = -v;
    lo = TBDng(TBDcn(F.lo, F.rest));
    hi = TBDng(TBDcn(F.hi, F.rest));
    rest = TBDtau;
  }
  tbd p0 = TBDpos(lo);
  tbd p1 = TBDpos(hi);
  tbd r = TBDnewnode(v, p0, p1, TBDpos(rest));
  TBDmmputc(TBDOP_POS, 0, f, r);
  return r;
}

int TSTiseq(tbd f, tbd g) {
  int a = TBDiterativeabs(TBDng(TBDcn(f, TBDng(g)))) == TBDtau;
  int b = TBDiterativeabs(TBDng(TBDcn(g, TBDng(f)))) == TBDtau;
  if (!(a && b) && !(f == TBDtau && g == TBDomg)) logline("INFO: TSTiseq failed - i==0\n");
  return a && b;
}

int TSTisassigneq(tbd r, const TBDmap &map, int n) {
  tbd q = TBDtau;
  for (int i = 1; i <= 2 * n - 1; i += 2) {
    tbd t = TBDcn(TBDds(map.get(i), TBDap(-i)), TBDds(map.get(-i), TBDap(i)));
    q = TBDcn(q, t);
  }
  return TSTiseq(r, q);
}

// e[k] = exists over every odd variable in [2lo+1, 2hi-1] except 2k+1, for
// every k in [lo, hi), given r with the odd variables outside the range already
// quantified. Halving the range shares the quantifications: n log n of them
// instead of n^2 for quantifying the relation afresh for every bit.
static void existsallbutone(tbd r, int lo, int hi, std::vector<tbd> &e) {
  if (hi - lo == 1) {
    e[(size_t)lo] = r;
    return;
  }
  int mid = lo + (hi - lo) / 2;
  tbd left = r, right = r;
  for (int k = hi - 1; k >= mid; k--) left = TBDxb(2 * k + 1, left);
  for (int k = mid - 1; k >= lo; k--) right = TBDxb(2 * k + 1, right);
  existsallbutone(left, lo, mid, e);
  existsallbutone(right, mid, hi, e);
}

// The relation must be total on the even variables; the emptiness of its
// domain's complement is decided semantically, as a valid domain need not be
// the terminal object itself.
std::unique_ptr<TBDmap> TBDgeq(tbd r, int n) {
  std::vector<tbd> e((size_t)(n > 0 ? n : 0), TBDnull);
  if (n > 0) existsallbutone(r, 0, n, e);
  if (TBDiterativeabs(n > 0 ? TBDxb(1, e[0]) : r) != TBDtau) {
    logline("INFO: TSTisassign failed - return 0\n");
    return nullptr;
  }
  auto map = TBDmapnew(n);
  for (int i = 1; i <= 2 * n - 1; i += 2) {
    tbd ei = e[(size_t)(i / 2)];
    map->at(i) = TBDpos(TBDrestrict(ei, i));
    map->at(-i) = TBDpos(TBDrestrict(ei, -i));
    TBDkp(map->at(i));
    TBDkp(map->at(-i));
    TSTiseq(map->at(i), TBDng(map->at(-i)));
  }
  TSTisassigneq(r, *map, n);
  map->at(0) = r;
  return map;
}

int iTBDeq(tbd f, tbd g) {
  return TBDiterativeabs(TBDds(TBDcn(f, g), TBDcn(TBDng(f), TBDng(g)))) == TBDtau;
}

tbd TBDbdd(tbd f) {
  if (TBDterminal(f) || TBDcanon) return f;
  if (tbd r = TBDmmgetc(TBDOP_BDD, 0, f)) return r;
  TBDstackcheck();
  const TBDnode F = TBDnd(f);
  int v = F.label < 0 ? -F.label : F.label;
  tbd f0 = TBDcn(F.lo, F.rest), f1 = TBDcn(F.hi, F.rest);
  if (F.label < 0) {
    f0 = TBDng(f0);
    f1 = TBDng(f1);
  }
  tbd b0 = TBDbdd(f0);
  tbd b1 = TBDbdd(f1);
  tbd r = b0 == b1 ? b0 : TBDmmaddt(v, b0, b1, TBDtau);
  TBDmmputc(TBDOP_BDD, 0, f, r);
  return r;
}

int islit(tbd f) {
  if (f == TBDnull || TBDterminal(f)) return 0;
  const TBDnode &n = TBDnd(f);
  if (n.rest != TBDtau || !literalnode(n)) return 0;
  int v = n.label < 0 ? -n.label : n.label;
  bool pos = (n.lo == TBDomg) == (n.label > 0);
  return pos ? v : -v;
}
