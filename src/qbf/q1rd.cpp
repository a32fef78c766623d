// Flattening of the QBF tree into the solver's integer tables.
#include <algorithm>

#include "qbf/qbfint.h"

void md2qi(const qmd *t, qsearch &s) {
  std::vector<const qmd *> order;
  std::vector<int> par;
  std::vector<std::pair<const qmd *, int>> stk{{t, -1}};
  while (!stk.empty()) {
    auto [n, p] = stk.back();
    stk.pop_back();
    int me = (int)order.size();
    order.push_back(n);
    par.push_back(p);
    for (size_t i = n->kids.size(); i-- > 0;) stk.push_back({n->kids[i], me});
  }
  int N = (int)order.size(), V = s.V;
  s.N = N;
  s.parent = par;
  s.kind.resize(N);
  s.start.resize(N);
  s.len.resize(N);
  s.nlits.resize(N);
  s.bind.assign(V + 1, -1);
  s.exist.assign(V + 1, 0);
  s.ent.clear();
  // Children's numbers: a pre-order walk numbers a node's kids in order,
  // each after the previous kid's subtree; collect them from the parents.
  std::vector<std::vector<int>> kidnum(N);
  for (int k = 1; k < N; k++) kidnum[par[k]].push_back(k);
  for (int k = 0; k < N; k++) {
    const qmd *n = order[k];
    s.kind[k] = n->kind;
    s.start[k] = (int)s.ent.size();
    for (int l : n->list) {
      if (l == 0 || std::abs(l) > V) utilerror("md2qi");
      s.ent.push_back(l);
      if (n->kind == QMD_A || n->kind == QMD_E) {
        if (l < 0 || s.bind[l] >= 0) utilerror("md2qi");
        s.bind[l] = k;
        s.exist[l] = n->kind == QMD_E;
      }
    }
    s.nlits[k] = (int)n->list.size();
    for (int c : kidnum[k]) s.ent.push_back(V + c);
    s.len[k] = (int)s.ent.size() - s.start[k];
  }
  // Occurrences of literals in the connectives, by counting sort.
  s.ocnt.assign(2 * V + 1, 0);
  for (int k = 0; k < N; k++)
    if (s.kind[k] == QMD_C || s.kind[k] == QMD_D)
      for (int i = 0; i < s.nlits[k]; i++) s.ocnt[s.ent[s.start[k] + i] + V]++;
  s.ostart.assign(2 * V + 2, 0);
  for (int i = 0; i <= 2 * V; i++) s.ostart[i + 1] = s.ostart[i] + s.ocnt[i];
  s.occ.assign(s.ostart[2 * V + 1], 0);
  std::vector<int> fill(s.ostart.begin(), s.ostart.end() - 1);
  for (int k = 0; k < N; k++)
    if (s.kind[k] == QMD_C || s.kind[k] == QMD_D)
      for (int i = 0; i < s.nlits[k]; i++) s.occ[fill[s.ent[s.start[k] + i] + V]++] = k;
  s.st.assign(2 * V + 1, QS_FREE);
  s.st[V] = QS_TRUE;
  s.nval.assign(N, QS_FREE);
  s.cnt = s.len;
  s.trail.clear();
  s.trail.reserve(V + 1);
  s.qhead = 0;
  s.ctrail.clear();
  s.levels.clear();
  s.chain = 0;
  while (s.chain < N && s.kind[s.chain] == QMD_E) s.chain++;
  s.score.assign(V + 1, 0.0);
}
