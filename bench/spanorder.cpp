// The span order of one model: writes the order as an order file (-v) to
// standard output and the spans and the time taken to standard error.
// Usage: spanorder model.lum > order.txt
#include <chrono>
#include <cstdio>
#include <numeric>

#include "coi/coi.h"
#include "front/f2p.h"
#include "front/prep.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: spanorder model.lum\n");
    return 2;
  }
  lmtlog = nullptr;
  repinit();
  char name[16] = {0};
  ggbrec *g = f2p0(argv[1], 1, name, nullptr, 0);
  if (!g || !g->program) return 1;
  prg *p = g->program;
  f2p1(p);
  tree *vars = PROGpart(p->prog, 0);
  std::vector<std::string> names;
  for (tree *l = vars; l;) {
    bool cell = l->text[0] == ';' && !l->text[1];
    names.push_back((cell ? l->left : l)->left->text);
    l = cell ? l->right : nullptr;
  }
  auto t0 = std::chrono::steady_clock::now();
  std::vector<int> order = DEPspanorder(p->prog);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::vector<std::vector<int>> edges = DEPspanedges(p->prog);
  std::vector<int> decl(names.size());
  std::iota(decl.begin(), decl.end(), 0);
  std::fprintf(stderr, "%s: vars %zu edges %zu span declared %lld", argv[1], names.size(), edges.size(),
               DEPspan(edges, decl));
  if (order.empty()) std::fprintf(stderr, " kept");
  else std::fprintf(stderr, " computed %lld", DEPspan(edges, order));
  std::fprintf(stderr, " time %.3f s\n", s);
  for (int v : order) std::printf("%s\n", names[v].c_str());
  return 0;
}
