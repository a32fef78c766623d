// Size and time of encoded arithmetic: x*y, x/y, x%y for two w-bit variables
// over a range of widths, and a 50-variable 16-bit program with sums and
// comparisons in its guards, encoded by p2bp.
//   p2bp_bench ops [maxw_mul] [maxw_div]   one line per operator and width
//   p2bp_bench prog [nvars] [width]        the program record
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

static void ops(int maxmul, int maxdiv) {
  std::printf("op width nodes maxbit bits seconds\n");
  for (char op : std::string("*/%")) {
    int maxw = op == '*' ? maxmul : maxdiv;
    for (int w = 2; w <= maxw; w++) {
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
                                   treecompose("#", tl, treecompose("#", nullptr, string2tree("AG(Vv0<Vv1+Vv2)")))));
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

int main(int argc, char **argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "ops"))
    ops(argc > 2 ? std::atoi(argv[2]) : 12, argc > 3 ? std::atoi(argv[3]) : 12);
  else if (argc >= 2 && !std::strcmp(argv[1], "prog"))
    prog(argc > 2 ? std::atoi(argv[2]) : 50, argc > 3 ? std::atoi(argv[3]) : 16);
  else
    std::fprintf(stderr, "usage: %s ops [maxw_mul maxw_div] | prog [nvars width]\n", argv[0]);
  return 0;
}
