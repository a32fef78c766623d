// Size and time of encoded arithmetic: x op y for two w-bit variables over a
// range of widths with the growth exponent between successive widths, a
// 50-variable 16-bit program with sums and comparisons in its guards, and
// chains of 100 terms, each encoded by p2bp or ARITapply.
//   p2bp_bench ops [OPS] [widths...]    one line per operator and width
//   p2bp_bench prog [nvars] [width]     the program record
//   p2bp_bench chain [OPS] [terms]      a op (a op ... b) over 3-bit variables
// Sizes are distinct nodes of the shared result (and of the whole store).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "tree/tree.h"

static double cpu() { return (double)std::clock() / CLOCKS_PER_SEC; }

static tree *var(BOOLstore *s, int first, int w) {
  tree *l = BOOLnode(s, std::to_string(first + w - 1).c_str(), nullptr, nullptr);
  for (int i = first + w - 2; i >= first; i--)
    l = BOOLnode(s, ";", BOOLnode(s, std::to_string(i).c_str(), nullptr, nullptr), l);
  return l;
}

static std::vector<const tree *> bits(const tree *l) {
  std::vector<const tree *> v;
  for (; l && l->text[0] == ';' && !l->text[1]; l = l->right) v.push_back(l->left);
  if (l) v.push_back(l);
  return v;
}

static void ops(const char *which, const std::vector<int> &widths) {
  std::printf("op width distinct store seconds exponent\n");
  for (const char *op = which; *op; op++) {
    double prevn = 0, prevw = 0;
    for (int w : widths) {
      // median of three runs
      std::vector<double> ts;
      unsigned long long n = 0, all = 0;
      for (int k = 0; k < 3; k++) {
        BOOLstore *s = BOOLstorenew();
        double t = cpu();
        tree *r = BOOLnnf(s, ARITapply(s, *op, var(s, 1, w), var(s, 1 + w, w)));
        ts.push_back(cpu() - t);
        n = BOOLdistinct(bits(r));
        all = BOOLstorecount(s);
        BOOLstorefree(s);
      }
      std::sort(ts.begin(), ts.end());
      double e = prevn > 0 ? std::log((double)n / prevn) / std::log((double)w / prevw) : 0;
      std::printf("%c %2i %9llu %9llu %.4f %.2f\n", *op, w, n, all, ts[1], e);
      std::fflush(stdout);
      prevn = (double)n;
      prevw = w;
    }
  }
}

// Variables v0..v(n-1) of 0..2^w-1; transition i: guard v_i + v_(i+1) < v_(i+2)
// & v_i > 3, action v_i := v_i + v_(i+1), every other variable unchanged.
static void prog(int n, int w) {
  std::string decl, init;
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
  for (int i = 0; i < n; i++) {
    std::string a = "Vv" + std::to_string(i), b = "Vv" + std::to_string((i + 1) % n),
                c = "Vv" + std::to_string((i + 2) % n);
    std::string t = "(" + a + "+" + b + "<" + c + ")&(" + a + ">3):";
    for (int j = 0; j < n; j++) {
      std::string o = "Ov" + std::to_string(j), v = "Vv" + std::to_string(j);
      t += (j ? "&" : "") + o + "=" + (j == i ? a + "+" + b : v);
    }
    p.procs[0].trans.push_back(string2tree(t));
    p.procs[0].calls.push_back(nullptr);
  }
  p.procs[0].n = n;
  p.prog = treecompose("#", treecopy(p.vlist),
                       treecompose("#", string2tree(init),
                                   treecompose("#", nullptr, treecompose("#", nullptr, string2tree(std::string("AG(Vv0<Vv1+Vv2)"))))));
  p.varc = INFOconstr_a(p.vlist);
  std::vector<double> ts;
  unsigned long long total = 0, all = 0;
  for (int k = 0; k < 3; k++) {
    double t = cpu();
    prg *q = p2bp(&p);
    ts.push_back(cpu() - t);
    std::vector<const tree *> roots(q->procs[0].trans.begin(), q->procs[0].trans.end());
    total = BOOLdistinct(roots);
    all = BOOLstorecount(q->store);
    prgfree(q);
  }
  std::sort(ts.begin(), ts.end());
  std::printf("program: %i variables of %i bits, BOOLN=%i, %i transitions\n", n, w, p.BOOLN, n);
  std::printf("encoded transitions: %llu distinct nodes (store %llu); p2bp %.3f s\n", total, all, ts[1]);
}

// a op (a op ( ... op b)) with k terms over two 3-bit variables, as the
// parser groups a chain.
static void chain(const char *which, int k) {
  for (const char *op = which; *op; op++) {
    BOOLstore *s = BOOLstorenew();
    double t = cpu();
    tree *a = var(s, 1, 3), *r = var(s, 4, 3);
    for (int i = 1; i < k; i++) r = ARITapply(s, *op, a, r);
    r = BOOLnnf(s, r);
    t = cpu() - t;
    std::printf("chain %c %i terms: %zu bits, %llu distinct, store %zu, %.3f s\n", *op, k,
                bits(r).size(), BOOLdistinct(bits(r)), BOOLstorecount(s), t);
    BOOLstorefree(s);
  }
}

int main(int argc, char **argv) {
  if (argc >= 2 && !std::strcmp(argv[1], "prog")) {
    prog(argc > 2 ? std::atoi(argv[2]) : 50, argc > 3 ? std::atoi(argv[3]) : 16);
  } else if (argc >= 2 && !std::strcmp(argv[1], "ops")) {
    std::vector<int> w;
    for (int i = 3; i < argc; i++) w.push_back(std::atoi(argv[i]));
    if (w.empty()) w = {8, 12, 16, 24, 32};
    ops(argc > 2 ? argv[2] : "*/%+-<", w);
  } else if (argc >= 2 && !std::strcmp(argv[1], "chain")) {
    chain(argc > 2 ? argv[2] : "+-*", argc > 3 ? std::atoi(argv[3]) : 100);
  } else {
    std::fprintf(stderr, "usage: %s ops [OPS] [widths...] | prog [nvars width] | chain [OPS] [terms]\n", argv[0]);
  }
  return 0;
}
