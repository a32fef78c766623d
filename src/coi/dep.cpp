// Dependencies between the variables of the flattened program, the cone of
// influence of one property with the removal of the other variables, and the
// automatic order.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <unordered_map>

#include "coi/coi.h"
#include "formula/tlf.h"
#include "front/f2p.h"

static bool DEPis(const tree *t, char c) { return t && t->text[0] == c && t->text[1] == 0; }
static bool DEPleaf(const tree *t) { return t && !t->left && !t->right; }
static bool DEPmarked(const tree *t) {
  return DEPleaf(t) && (t->text[0] == 'V' || t->text[0] == 'O') && t->text[1];
}
static bool DEPcomparison(const tree *t) {
  return t && t->text[0] && !t->text[1] && std::strchr("<=>B{}", t->text[0]);
}

// The elements of a chain of op (";" lists, "&" conjunctions), left to right.
static void DEPchain(tree *t, char op, std::vector<tree *> &out) {
  std::vector<tree *> st{t};
  while (!st.empty()) {
    tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (DEPis(n, op)) {
      st.push_back(n->right);
      st.push_back(n->left);
    } else {
      out.push_back(n);
    }
  }
}
static std::vector<tree *> DEPelems(tree *t, char op = ';') {
  std::vector<tree *> v;
  DEPchain(t, op, v);
  return v;
}

// Declared names -> positions.
namespace {
struct DEPnames {
  std::vector<std::string> names;               // [0,n)
  std::unordered_map<std::string, int> pos;     // name -> position
  explicit DEPnames(tree *vars) {
    for (tree *d : DEPelems(vars)) {
      if (!DEPis(d, ':') || !DEPleaf(d->left)) utilerror("DEPanalysis");
      pos.emplace(d->left->text, (int)names.size());
      names.push_back(d->left->text);
    }
  }
  int at(const char *name, const char *tag) const {
    auto it = pos.find(name);
    if (it == pos.end()) utilerror(tag);
    return it->second;
  }
};
}  // namespace

// Every marked leaf of t with mark ('V', 'O', or 0 for both), in order.
static void DEPleaves(tree *t, char mark, std::vector<tree *> &out) {
  std::vector<tree *> st{t};
  while (!st.empty()) {
    tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (DEPmarked(n)) {
      if (!mark || n->text[0] == mark) out.push_back(n);
      continue;
    }
    st.push_back(n->right);
    st.push_back(n->left);
  }
}

// x := x keeps the value: no dependency.
static bool DEPidentity(const tree *c) {
  return DEPis(c, '=') && DEPmarked(c->left) && DEPmarked(c->right) && c->left->text[0] == 'O' &&
         c->right->text[0] == 'V' && !std::strcmp(c->left->text + 1, c->right->text + 1);
}

static void DEPunique(std::vector<int> &v) {
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
}

// One transition seen by the analysis: the variables it writes (other than
// by x := x), and the current values it reads.
namespace {
struct DEPtrans {
  std::vector<std::vector<int>> targets;  // per changing conjunct: written variables
  std::vector<std::vector<int>> reads;    // per changing conjunct: 'V' occurrences
  std::vector<int> guard;                 // 'V' occurrences of the guard and of conditions
  std::vector<int> all;                   // every variable named outside x := x, unique
};
}  // namespace

static DEPtrans DEPtransition(tree *t, const DEPnames &nm) {
  if (!DEPis(t, ':')) utilerror("DEPanalysis");
  DEPtrans r;
  std::vector<tree *> ls;
  DEPleaves(t->left, 'V', ls);
  for (tree *l : ls) r.guard.push_back(nm.at(l->text + 1, "DEPaddnum"));
  for (tree *c : DEPelems(t->right, '&')) {
    if (DEPidentity(c)) continue;
    std::vector<tree *> o, v;
    DEPleaves(c, 'O', o);
    DEPleaves(c, 'V', v);
    std::vector<int> tg, rd;
    for (tree *l : o) tg.push_back(nm.at(l->text + 1, "DEPadd"));
    for (tree *l : v) rd.push_back(nm.at(l->text + 1, "DEPaddnum"));
    r.all.insert(r.all.end(), tg.begin(), tg.end());
    r.all.insert(r.all.end(), rd.begin(), rd.end());
    if (tg.empty()) {  // a condition in the action acts as a guard
      r.guard.insert(r.guard.end(), rd.begin(), rd.end());
      continue;
    }
    DEPunique(tg);
    r.targets.push_back(std::move(tg));
    r.reads.push_back(std::move(rd));
  }
  r.all.insert(r.all.end(), r.guard.begin(), r.guard.end());
  DEPunique(r.all);
  return r;
}

DEPgraph DEPcollect(tree *prog) {
  DEPnames nm(PROGpart(prog, 0));
  DEPgraph g;
  g.n = (int)nm.names.size();
  g.names = nm.names;
  g.dep.resize(g.n);
  std::unordered_map<uint64_t, int> acc;  // x * n + y -> D[x][y] + C[x][y]
  auto add = [&](int x, int y) { acc[(uint64_t)x * (uint64_t)g.n + (uint64_t)y]++; };
  for (tree *t : DEPelems(PROGpart(prog, 2))) {
    DEPtrans tr = DEPtransition(t, nm);
    for (size_t c = 0; c < tr.targets.size(); c++)
      for (int x : tr.targets[c]) {
        for (int y : tr.reads[c]) add(x, y);
        for (int y : tr.guard) add(x, y);
      }
  }
  for (const auto &[key, cnt] : acc)
    g.dep[key / (uint64_t)g.n].push_back({(int)(key % (uint64_t)g.n), cnt});
  for (auto &d : g.dep) std::sort(d.begin(), d.end());
  return g;
}

// ---- cone of influence

// Elements "base_x_k" of one flattened array share their base.
static std::string DEParraybase(const std::string &name) {
  size_t k = name.size();
  while (k > 0 && name[k - 1] >= '0' && name[k - 1] <= '9') k--;
  if (k == name.size() || k < 4 || name.compare(k - 3, 3, "_x_")) return "";
  return name.substr(0, k - 3);
}

std::vector<int> DEPcone(tree *prog, const tree *formula) {
  DEPnames nm(PROGpart(prog, 0));
  int n = (int)nm.names.size();
  // Variables and hubs: a hub stands for a group whose members reach each
  // other through it, so that a group of m costs m edges, not m^2.
  std::vector<std::pair<int, int>> edges;
  int nodes = n;
  for (tree *t : DEPelems(PROGpart(prog, 2))) {
    DEPtrans tr = DEPtransition(t, nm);
    if (tr.targets.empty()) continue;
    int h = nodes++;
    for (const auto &tg : tr.targets)
      for (int x : tg) edges.push_back({x, h});
    for (int y : tr.all) edges.push_back({h, y});
  }
  auto group = [&](const std::vector<int> &members) {
    if (members.size() < 2) return;
    int h = nodes++;
    for (int v : members) {
      edges.push_back({v, h});
      edges.push_back({h, v});
    }
  };
  for (tree *c : DEPelems(PROGpart(prog, 1), '&')) {
    std::vector<tree *> ls;
    DEPleaves(c, 0, ls);
    std::vector<int> vs;
    for (tree *l : ls) vs.push_back(nm.at(l->text + 1, "DEPaddnum"));
    DEPunique(vs);
    group(vs);
  }
  std::unordered_map<std::string, std::vector<int>> arrays;
  for (int i = 0; i < n; i++) {
    std::string b = DEParraybase(nm.names[i]);
    if (!b.empty()) arrays[b].push_back(i);
  }
  for (auto &[b, els] : arrays) group(els);

  std::vector<int> first(nodes + 1, 0), to(edges.size());
  for (auto &e : edges) first[e.first + 1]++;
  for (int i = 0; i < nodes; i++) first[i + 1] += first[i];
  std::vector<int> fill(first.begin(), first.end() - 1);
  for (auto &e : edges) to[fill[e.first]++] = e.second;

  std::vector<char> in(nodes, 0);
  std::vector<int> work;
  std::vector<tree *> ls;
  DEPleaves(const_cast<tree *>(formula), 0, ls);
  for (tree *l : ls) {
    int v = nm.at(l->text + 1, "DEPaddnum");
    if (!in[v]) in[v] = 1, work.push_back(v);
  }
  while (!work.empty()) {
    int v = work.back();
    work.pop_back();
    for (int e = first[v]; e < first[v + 1]; e++)
      if (!in[to[e]]) in[to[e]] = 1, work.push_back(to[e]);
  }
  std::vector<int> cone;
  for (int i = 0; i < n; i++)
    if (in[i]) cone.push_back(i);
  return cone;
}

// Whether t names a variable outside the set.
static bool DEPnamesgone(tree *t, const std::unordered_map<std::string, int> &gone) {
  std::vector<tree *> ls;
  DEPleaves(t, 0, ls);
  for (tree *l : ls)
    if (gone.count(l->text + 1)) return true;
  return false;
}

// Comparisons that name a removed variable become TRUE.
static void DEPcut(tree *&root, const std::unordered_map<std::string, int> &gone) {
  std::vector<tree **> st{&root};
  while (!st.empty()) {
    tree **s = st.back();
    st.pop_back();
    if (!*s) continue;
    if (DEPcomparison(*s) && DEPnamesgone(*s, gone)) {
      treefree(*s);
      *s = treeconst(1);
      continue;
    }
    st.push_back(&(*s)->right);
    st.push_back(&(*s)->left);
  }
}

static void DEPfold(tree *&t) {
  if (t) t = treedopost(t, TLFnnfsimp);
}

// Slots of the conjuncts of a conjunction (to replace them).
static void DEPslots(tree *&t, char op, std::vector<tree **> &out) {
  std::vector<tree **> st{&t};
  while (!st.empty()) {
    tree **s = st.back();
    st.pop_back();
    if (*s && DEPis(*s, op)) {
      st.push_back(&(*s)->right);
      st.push_back(&(*s)->left);
    } else {
      out.push_back(s);
    }
  }
}

void DEPsimp(prg *p, const std::vector<int> &keep) {
  tree **vars = PROGpartref(p->prog, 0);
  std::vector<tree *> decls = DEPelems(*vars);
  std::vector<char> kept(decls.size(), 0);
  for (int k : keep)
    if (k >= 0 && k < (int)decls.size()) kept[k] = 1;
  std::unordered_map<std::string, int> gone;
  std::vector<tree *> out;
  for (size_t i = 0; i < decls.size(); i++) {
    if (kept[i]) {
      out.push_back(treecopy(decls[i]));
    } else {
      if (!DEPis(decls[i], ':') || !DEPleaf(decls[i]->left)) utilerror("DEPanalysis");
      gone.emplace(decls[i]->left->text, (int)i);
    }
  }
  if (gone.empty()) return;
  treefree(*vars);
  tree *list = nullptr;
  for (size_t i = out.size(); i-- > 0;) list = list ? treecompose(";", out[i], list) : out[i];
  *vars = list;

  // The cone keeps every conjunct of the initial condition whole or drops it.
  tree **init = PROGpartref(p->prog, 1);
  std::vector<tree **> cs;
  DEPslots(*init, '&', cs);
  for (tree **c : cs)
    if (DEPnamesgone(*c, gone)) {
      treefree(*c);
      *c = treeconst(1);
    }
  DEPfold(*init);
  // Transition nodes stay in place: the process records point at them.
  for (tree *t : DEPelems(PROGpart(p->prog, 2))) {
    bool fixed = DEPis(t->left, '^') || DEPis(t->left, '_');
    if (!fixed) DEPcut(t->left, gone);
    DEPcut(t->right, gone);
    DEPfold(t->left);
    DEPfold(t->right);
  }
  std::vector<tree **> ps;
  DEPslots(*PROGpartref(p->prog, 4), ';', ps);
  for (tree **s : ps) {
    DEPcut(*s, gone);
    DEPfold(*s);
  }
  treefree(p->vlist);
  p->vlist = treecopy(*vars);
}

// ---- when the cone keeps the verdict

// State formulas over reachability: atoms, connectives, AG, EF, E[.U.] and
// A[.R.] (the dual of E[.U.]).  The cone has every cone transition enabled
// whatever the removed variables hold, so the set of cone states reachable
// (through a set of cone states) from any state is exact; paths that stay
// forever are not, as removed transitions become self-loops.
static bool DEPreachonly(const tree *f) {
  std::vector<const tree *> st{f};
  while (!st.empty()) {
    const tree *t = st.back();
    st.pop_back();
    if (!t || DEPleaf(t)) continue;
    char c = t->text[1] ? 0 : t->text[0];
    if (c == 'A' || c == 'E') {
      const tree *b = t->right;
      char o = b && !b->text[1] ? b->text[0] : 0;
      bool ok = (c == 'A' && (o == 'G' || o == 'R')) || (c == 'E' && (o == 'F' || o == 'U'));
      if (!ok || t->left) return false;
      st.push_back(b->left);
      st.push_back(b->right);
      continue;
    }
    if (c && std::strchr("FGXUR", c)) return false;
    st.push_back(t->left);
    st.push_back(t->right);
  }
  return true;
}

static tree *DEPproperty(prg *p, int k) {
  std::vector<tree *> ps = DEPelems(PROGpart(p->prog, 4));
  return k >= 1 && k <= (int)ps.size() ? ps[k - 1] : nullptr;
}

const char *DEPconerefusal(prg *p, int k, int dftt, bool procedures) {
  if (dftt) return "deadlock-freeness and totalness depend on every variable";
  if (procedures) return "the model has a PROCEDURE, whose body the cone does not see";
  if (PROGpart(p->prog, 3)) return "the model has fairness constraints";
  tree *f = DEPproperty(p, k);
  if (f && !DEPreachonly(f)) return "only AG, EF, E[U] and A[R] properties are reduced";
  return nullptr;
}

int DEPanalysis(prg *p, int k) {
  if (k > 0) {
    tree *f = DEPproperty(p, k);
    if (!f) return 0;
    tree *fair = PROGpart(p->prog, 3);
    tree *both = treecompose(";", treecopy(f), treecopy(fair));
    std::vector<int> cone = DEPcone(p->prog, both);
    treefree(both);
    int n = (int)DEPelems(PROGpart(p->prog, 0)).size();
    if (cone.empty() || (int)cone.size() >= n) return 0;  // a program keeps a variable
    DEPsimp(p, cone);
    return n - (int)cone.size();
  }
  DEPgraph g = DEPcollect(p->prog);
  std::vector<int> order = DEPorder(g);
  tree **vars = PROGpartref(p->prog, 0);
  std::vector<tree *> decls = DEPelems(*vars);
  std::vector<tree *> out;
  for (int v : order) out.push_back(treecopy(decls[v]));
  treefree(*vars);
  tree *list = nullptr;
  for (size_t i = out.size(); i-- > 0;) list = list ? treecompose(";", out[i], list) : out[i];
  *vars = list;
  treefree(p->vlist);
  p->vlist = treecopy(*vars);
  return 0;
}

// ---- automatic order

DEPsym DEPsymmetric(const DEPgraph &g) {
  std::vector<std::vector<std::pair<int, long long>>> raw(g.n);
  for (int x = 0; x < g.n; x++)
    for (auto [y, c] : g.dep[x]) {
      raw[x].push_back({y, c});
      raw[y].push_back({x, c});  // x = y: twice, w(x,x) = 2 (D + C)
    }
  DEPsym s;
  s.nbr.resize(g.n);
  for (int x = 0; x < g.n; x++) {
    auto &r = raw[x];
    std::sort(r.begin(), r.end());
    for (auto [y, c] : r) {
      if (!s.nbr[x].empty() && s.nbr[x].back().first == y) s.nbr[x].back().second += c;
      else s.nbr[x].push_back({y, c});
    }
  }
  return s;
}

void DEPrefine(const DEPsym &s, std::vector<int> &order, const std::vector<long long> &weight) {
  int n = (int)order.size();
  if (n < 2) return;
  // score[v]: v against the placed positions 0..i-1, position p worth
  // 1048576 / (p+1) / (p+1).
  std::vector<long long> score(s.nbr.size(), 0);
  auto place = [&](int p) {
    long long w = 1048576 / (p + 1) / (p + 1);
    for (auto [y, c] : s.nbr[order[p]]) score[y] += w;
  };
  place(0);
  for (int i = 1; i < n; i++) {
    long long b = score[order[i]];
    for (int l = i + 1; l < n; l++) {
      long long t = score[order[l]];
      if (b < t) {
        std::swap(order[i], order[l]);
        b = t;
      } else if (b != 0 && weight[order[l]] > weight[order[i]]) {
        std::swap(order[i], order[l]);
        b = 1;
      }
    }
    place(i);
  }
}

std::vector<int> DEPorder(const DEPgraph &g) {
  DEPsym s = DEPsymmetric(g);
  int n = g.n;
  std::vector<long long> d(n, 0), weight(n, 0);
  for (int x = 0; x < n; x++)
    for (auto [y, w] : s.nbr[x]) d[x] += 2 * w;
  for (int x = 0; x < n; x++) {
    weight[x] = d[x];
    for (auto [y, w] : s.nbr[x]) weight[x] += 2 * d[y];
  }
  std::vector<int> order(n);
  for (int i = 0; i < n; i++) order[i] = i;
  for (int i = 1; i < n; i++)
    for (int l = i; l < n; l++)
      if (weight[order[i - 1]] < weight[order[l]]) std::swap(order[i - 1], order[l]);
  DEPrefine(s, order, weight);
  return order;
}

// ---- order by span

// Both edge sets in one walk: the flattened actions list x := x for every
// variable a transition keeps, so a walk is as long as variables times
// transitions.
static void DEPspanwalk(tree *prog, std::vector<std::vector<int>> *all,
                        std::vector<std::vector<int>> *written) {
  DEPnames nm(PROGpart(prog, 0));
  for (tree *t : DEPelems(PROGpart(prog, 2))) {
    DEPtrans tr = DEPtransition(t, nm);
    if (written) {
      std::vector<int> e;
      for (const auto &tg : tr.targets) e.insert(e.end(), tg.begin(), tg.end());
      DEPunique(e);
      if (e.size() >= 2) written->push_back(std::move(e));
    }
    if (all && tr.all.size() >= 2) all->push_back(std::move(tr.all));
  }
}

std::vector<std::vector<int>> DEPspanedges(tree *prog, bool written) {
  std::vector<std::vector<int>> edges;
  DEPspanwalk(prog, written ? nullptr : &edges, written ? &edges : nullptr);
  return edges;
}

long long DEPspan(const std::vector<std::vector<int>> &edges, const std::vector<int> &order) {
  std::vector<int> pos(order.size());
  for (size_t i = 0; i < order.size(); i++) pos[order[i]] = (int)i;
  long long s = 0;
  for (const auto &e : edges) {
    int lo = pos[e[0]], hi = lo;
    for (int v : e) lo = std::min(lo, pos[v]), hi = std::max(hi, pos[v]);
    s += hi - lo;
  }
  return s;
}

// FORCE from one start: every variable moves to the mean centre of its
// edges, the order is re-sorted, and the best order seen is kept.  The
// rounds are bounded by the number of pins so that large models stay cheap.
static std::vector<int> DEPforce(const std::vector<std::vector<int>> &edges,
                                 const std::vector<std::vector<int>> &of, std::vector<int> order,
                                 long long &best) {
  int n = (int)order.size();
  long long pins = 0;
  for (const auto &e : edges) pins += (long long)e.size();
  int rounds = (int)std::clamp(20000000 / std::max(1LL, pins), 4LL, 50LL);
  best = DEPspan(edges, order);
  std::vector<int> keep = order, pos(n);
  std::vector<double> centre(edges.size()), coord(n);
  for (int r = 0, stale = 0; r < rounds && stale < 6; r++) {
    for (int i = 0; i < n; i++) pos[order[i]] = i;
    for (size_t k = 0; k < edges.size(); k++) {
      double s = 0;
      for (int v : edges[k]) s += pos[v];
      centre[k] = s / (double)edges[k].size();
    }
    for (int v = 0; v < n; v++) {
      if (of[v].empty()) {
        coord[v] = pos[v];
        continue;
      }
      double s = 0;
      for (int k : of[v]) s += centre[k];
      coord[v] = s / (double)of[v].size();
    }
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return coord[a] < coord[b]; });
    long long s = DEPspan(edges, order);
    if (s < best) {
      best = s, keep = order, stale = 0;
    } else {
      stale++;
    }
  }
  return keep;
}

std::vector<int> DEPspanorder(tree *prog) {
  int n = (int)DEPelems(PROGpart(prog, 0)).size();
  std::vector<std::vector<int>> edges, moved;
  DEPspanwalk(prog, &edges, &moved);
  if (n < 2 || edges.empty()) return {};
  std::vector<std::vector<int>> of(n);
  for (size_t k = 0; k < edges.size(); k++)
    for (int v : edges[k]) of[v].push_back((int)k);
  // A variable in most transitions is a program counter (the C translation's
  // pc): FORCE pulls it to the middle, and the engine was measured far
  // slower so; the declared order stays.
  for (int v = 0; v < n; v++)
    if (2 * of[v].size() > edges.size()) return {};
  std::vector<int> decl(n);
  for (int i = 0; i < n; i++) decl[i] = i;
  long long base = DEPspan(edges, decl), best;
  std::vector<int> order = DEPforce(edges, of, decl, best);
  // The dependency order is quadratic in the variables, and its graph in
  // the variables of a transition.
  long long pairs = 0;
  for (const auto &e : edges) pairs += (long long)e.size() * (long long)e.size();
  if (n <= 1000 && pairs <= 4000000) {
    long long s;
    std::vector<int> other = DEPforce(edges, of, DEPorder(DEPcollect(prog)), s);
    if (s < best) best = s, order = std::move(other);
  }
  // Only a clearly shorter span beats the order the model was written in,
  // and only when the variables that transitions change together stay as
  // close: a token ring, whose guards join every station to its token, is
  // best with the tokens side by side, as declared.
  if (4 * best > 3 * base) return {};
  if (DEPspan(moved, order) > DEPspan(moved, decl)) return {};
  return order;
}
