// Size and time of encoded arithmetic: x*y, x/y, x%y for two w-bit variables
// over a range of widths, and a 50-variable 16-bit program with sums and
// comparisons in its guards, encoded by p2bp.
//   p2bp_bench ops [maxw_mul] [maxw_div]   one line per operator and width
//   p2bp_bench op OPS width                 the operators in OPS at one width
//   p2bp_bench const OPS width c           x op c for a constant c
//   p2bp_bench mixed OPS wa wb             x op y for widths wa, wb
//   p2bp_bench prog [nvars] [width]        the program record
//   p2bp_bench naive [maxw maxw_div]              sequential shift-and-add and
//                                          restoring division, for comparison
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "boolean/aritbits.h"
#include "boolean/p2bp.h"
#include "formula/tlf.h"
#include "tree/tree.h"

static double now() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

static tree *var(int first, int w) {
  tree *l = treenum(first + w - 1);
  for (int i = first + w - 2; i >= first; i--) l = treecompose(";", treenum(i), l);
  return l;
}

static long long bitsizes(const tree *l, int *nbits, long long *maxbit) {
  long long total = 0;
  *nbits = 0;
  *maxbit = 0;
  for (; l; l = (l->text[0] == ';' && !l->text[1]) ? l->right : nullptr) {
    const tree *e = (l->text[0] == ';' && !l->text[1]) ? l->left : l;
    long long s = treesize(e);
    total += s;
    if (s > *maxbit) *maxbit = s;
    ++*nbits;
  }
  return total;
}

static void ops(int maxmul, int maxdiv, int minw = 2, const char *which = "*/%") {
  std::printf("op width nodes maxbit bits seconds\n");
  for (char op : std::string(which)) {
    int maxw = op == '*' ? maxmul : maxdiv;
    for (int w = minw; w <= maxw; w++) {
      double t = now();
      tree *r = ARITapply(treecompose(std::string(1, op).c_str(), var(1, w), var(1 + w, w)));
      r = TLFnnf(r);
      r = treedopost(r, TLFnnfsimp);
      t = now() - t;
      int nbits;
      long long maxbit;
      long long total = bitsizes(r, &nbits, &maxbit);
      std::printf("%c %2i %10lld %9lld %2i %.3f\n", op, w, total, maxbit, nbits, t);
      std::fflush(stdout);
      treefree(r);
    }
  }
}

// Variables v0..v(n-1) of 0..2^w-1; transition i: guard v_i + v_(i+1) < v_(i+2)
// & v_i > 3, action v_i := v_i + v_(i+1), every other variable unchanged.
static void prog(int n, int w) {
  std::string decl, init, trans;
  long long hi = (1ll << w) - 1;
  for (int i = 0; i < n; i++) {
    decl += (i ? ";" : "") + std::string("v") + std::to_string(i) + ":0.." + std::to_string(hi);
    init += (i ? "&" : "") + std::string("Vv") + std::to_string(i) + "=" + std::to_string(i);
  }
  prg p{};
  p.vlist = string2tree(decl);
  p.BOOLN = INFOvlist(p.vlist);
  p.PRCNT = 1;
  p.procs.resize(1);
  tree *tl = nullptr;
  for (int i = n - 1; i >= 0; i--) {
    std::string a = "Vv" + std::to_string(i), b = "Vv" + std::to_string((i + 1) % n),
                c = "Vv" + std::to_string((i + 2) % n);
    std::string t = "(" + a + "+" + b + "<" + c + ")&(" + a + ">3):";
    for (int j = 0; j < n; j++) {
      std::string o = "Ov" + std::to_string(j), v = "Vv" + std::to_string(j);
      t += (j ? "&" : "") + o + "=" + (j == i ? a + "+" + b : v);
    }
    p.procs[0].trans.insert(p.procs[0].trans.begin(), string2tree(t));
    p.procs[0].calls.insert(p.procs[0].calls.begin(), nullptr);
    tl = tl ? treecompose(";", string2tree(t), tl) : string2tree(t);
  }
  p.procs[0].n = n;
  p.prog = treecompose("#", treecopy(p.vlist),
                       treecompose("#", string2tree(init),
                                   treecompose("#", tl, treecompose("#", nullptr, string2tree(std::string("AG(Vv0<Vv1+Vv2)"))))));
  p.varc = INFOconstr_a(p.vlist);
  double t = now();
  prg *q = p2bp(&p);
  t = now() - t;
  long long total = 0, maxt = 0;
  for (tree *x : q->procs[0].trans) {
    long long s = treesize(x);
    total += s;
    if (s > maxt) maxt = s;
  }
  std::printf("program: %i variables of %i bits, BOOLN=%i, %i transitions\n", n, w, q->BOOLN, n);
  std::printf("encoded transitions: %lld nodes (largest %lld), VARC %i, PROG %i nodes; p2bp %.3f s\n",
              total, maxt, treesize(q->varc), treesize(q->prog), t);
}

static bitvec bvar(int first, int w) { return BITfromlist(var(first, w)); }

static bitvec bcopy(const bitvec &v) {
  bitvec r;
  for (tree *t : v) r.push_back(treecopy(t));
  return r;
}

static long long bsize(const bitvec &v) {
  long long n = 0;
  for (tree *t : v) n += treesize(t);
  return n;
}

// Product by sequential shift-and-add: the accumulator passes through every
// adder, so its bits are copied into each following one.
static bitvec naivemul(bitvec a, bitvec b) {
  bitvec r;
  for (size_t j = b.size(); j-- > 0;) {
    if (!r.empty()) r.insert(r.begin(), BITconst(0));
    bitvec p;
    for (tree *x : a) p.push_back(BITand(treecopy(x), treecopy(b[j])));
    r = r.empty() ? std::move(p) : BITadd(std::move(r), std::move(p));
  }
  BITfree(a);
  BITfree(b);
  return r;
}

// Restoring division: each quotient bit compares a with Q + b*2^k, where Q
// holds the quotient bits found so far.
static bitvec naivediv(bitvec a, bitvec b) {
  const int n = (int)a.size();
  bitvec q(n), acc{BITconst(0)};
  for (int k = n - 1; k >= 0; k--) {
    bitvec t = bcopy(b);
    t.insert(t.begin(), (size_t)k, nullptr);
    for (int i = 0; i < k; i++) t[i] = BITconst(0);
    bitvec s = BITadd(bcopy(acc), bcopy(t));
    q[k] = BITnot(BITlt(bcopy(a), std::move(s)));
    for (tree *&x : t) x = BITand(x, treecopy(q[k]));
    acc = BITadd(std::move(acc), std::move(t));
    while (acc.size() > 1 && BITisconst(acc.back(), 0)) {
      treefree(acc.back());
      acc.pop_back();
    }
  }
  BITfree(a);
  BITfree(b);
  BITfree(acc);
  return q;
}

static void naive(int maxw, int maxdiv) {
  std::printf("op width nodes seconds   (sequential forms)\n");
  for (int w = 2; w <= maxw; w++) {
    double t = now();
    bitvec r = naivemul(bvar(1, w), bvar(1 + w, w));
    std::printf("* %2i %12lld %.3f\n", w, bsize(r), now() - t);
    std::fflush(stdout);
    BITfree(r);
    if (w > maxdiv) continue;
    t = now();
    r = naivediv(bvar(1, w), bvar(1 + w, w));
    std::printf("/ %2i %12lld %.3f\n", w, bsize(r), now() - t);
    std::fflush(stdout);
    BITfree(r);
  }
}

// x op y for variables of widths wa and wb.
static void mixed(const char *which, int wa, int wb) {
  for (const char *op = which; *op; op++) {
    double t = now();
    tree *r = ARITapply(treecompose(std::string(1, *op).c_str(), var(1, wa), var(1 + wa, wb)));
    r = TLFnnf(r);
    r = treedopost(r, TLFnnfsimp);
    t = now() - t;
    int nbits;
    long long maxbit, total = bitsizes(r, &nbits, &maxbit);
    std::printf("x%cy widths %i,%i: %lld nodes, %i bits, %.3f s\n", *op, wa, wb, total, nbits, t);
    treefree(r);
  }
}

// x op c for a w-bit variable x and a constant c.
static void byconst(const char *which, int w, unsigned long long c) {
  for (const char *op = which; *op; op++) {
    double t = now();
    tree *r = ARITapply(treecompose(std::string(1, *op).c_str(), var(1, w), BOOLconstructnum(c)));
    r = TLFnnf(r);
    r = treedopost(r, TLFnnfsimp);
    t = now() - t;
    int nbits;
    long long maxbit, total = bitsizes(r, &nbits, &maxbit);
    std::printf("x%c%llu width %2i: %lld nodes, %i bits, %.3f s\n", *op, c, w, total, nbits, t);
    treefree(r);
  }
}

int main(int argc, char **argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "ops"))
    ops(argc > 2 ? std::atoi(argv[2]) : 12, argc > 3 ? std::atoi(argv[3]) : 12);
  else if (argc >= 2 && !std::strcmp(argv[1], "prog"))
    prog(argc > 2 ? std::atoi(argv[2]) : 50, argc > 3 ? std::atoi(argv[3]) : 16);
  else if (argc >= 4 && !std::strcmp(argv[1], "op"))
    ops(std::atoi(argv[3]), std::atoi(argv[3]), std::atoi(argv[3]), argv[2]);
  else if (argc >= 5 && !std::strcmp(argv[1], "mixed"))
    mixed(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  else if (argc >= 5 && !std::strcmp(argv[1], "const"))
    byconst(argv[2], std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
  else if (argc >= 2 && !std::strcmp(argv[1], "naive"))
    naive(argc > 2 ? std::atoi(argv[2]) : 6, argc > 3 ? std::atoi(argv[3]) : 3);
  else
    std::fprintf(stderr, "usage: %s ops [maxw_mul maxw_div] | op OPS width | prog [nvars width] | naive [maxw maxw_div]\n", argv[0]);
  return 0;
}
