// Counterexamples of the bounded engine: the execution a satisfying
// assignment of a refutation problem describes, written as the
// decision-diagram engine writes its traces.
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "bmc/bmc.h"
#include "symbolic/cex.h"

static bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

// A formula of the Boolean program over current bits x (1..V) and next bits
// y (V+1..2V); an absent operand leaves the other alone, an absent formula is true.
static bool evalprog(const tree *root, const std::vector<int> &x, const std::vector<int> &y) {
  if (!root) return true;
  int V = (int)x.size();
  std::vector<std::pair<const tree *, int>> stack{{root, 0}};
  std::vector<bool> vals;
  while (!stack.empty()) {
    auto &[n, state] = stack.back();
    if (!n) {   // an absent formula is true
      vals.push_back(true);
      stack.pop_back();
      continue;
    }
    bool unary = isop(n, '!');
    bool bin = isop(n, '&') || isop(n, ':') || isop(n, '|') || isop(n, ';');
    if (!unary && !bin) {
      bool v;
      if (isop(n, '^')) v = true;
      else if (isop(n, '_')) v = false;
      else {
        int b = std::atoi(n->text);
        if (b >= 1 && b <= V) v = x[(size_t)b - 1] > 0;
        else if (b > V && b <= 2 * V) v = y[(size_t)(b - V) - 1] > 0;
        else v = false;
      }
      vals.push_back(v);
      stack.pop_back();
      continue;
    }
    if (state == 0) {
      const tree *l = n->left, *r = n->right;
      if (unary) {
        state = 1;
        stack.push_back({r, 0});
      } else if (!l && !r) {
        state = 2;
        vals.push_back(true);
      } else if (!l || !r) {   // an absent operand leaves the other alone
        state = 3;
        stack.push_back({l ? l : r, 0});
      } else {
        state = 1;
        stack.push_back({r, 0});
        stack.push_back({l, 0});
      }
      continue;
    }
    if (state == 1) {
      if (unary) {
        vals.back() = !vals.back();
      } else {
        bool b = vals.back();
        vals.pop_back();
        bool a = vals.back();
        vals.back() = (isop(n, '&') || isop(n, ':')) ? a && b : a || b;
      }
    }
    stack.pop_back();
  }
  return vals.back();
}

int BMCtransition(const prg &bp, const std::vector<int> &x, const std::vector<int> &y) {
  int label = 0;
  for (const prgproc &g : bp.procs)
    for (const tree *t : g.trans) {
      label++;
      if (t && evalprog(t, x, y)) return label;
    }
  return 0;
}

static int statenum(const BMCproblem &p, int c, int j) {
  return (c >= 1 && p.k >= 1 ? (c - 1) * (p.k + 1) : 0) + j;
}

static std::vector<int> bitsof(const BMCproblem &p, const std::vector<int8_t> &m, int s) {
  std::vector<int> v((size_t)p.V);
  for (int b = 1; b <= p.V; b++) {
    size_t x = (size_t)s * p.V + b;
    v[(size_t)b - 1] = x < m.size() && m[x] ? 1 : -1;
  }
  return v;
}

static bool halted(const BMCproblem &p, const std::vector<int8_t> &m, int s) {
  size_t h = (size_t)p.haltvar(s);
  return h < m.size() && m[h];
}

static bool samestate(const BMCproblem &p, const std::vector<int8_t> &m, int s1, int s2) {
  return halted(p, m, s1) == halted(p, m, s2) && bitsof(p, m, s1) == bitsof(p, m, s2);
}

// Last position of path c before it halts (-1 if it starts halted).
static int lastreal(const BMCproblem &p, const std::vector<int8_t> &m, int c) {
  int j = -1;
  while (j < p.k && !halted(p, m, statenum(p, c, j + 1))) j++;
  return j;
}

// Truth of a formula at every position of a trace read as one path: position
// j steps to j+1, the last one back to the loop state or, without a loop, to
// a last position at which everything holds (the path may go on in any way).
// Path quantifiers are read on this one path.
static std::vector<char> pathvalues(const tree *f, const std::vector<std::vector<int>> &st, int loop) {
  int n = (int)st.size();
  std::vector<char> v((size_t)n + 1, 1);
  auto succ = [&](int j) { return j < n - 1 ? j + 1 : j == n - 1 ? (loop >= 0 ? loop : n) : n; };
  char op = f && !f->text[1] ? f->text[0] : 0;
  bool temporal = op && std::strchr("AEXFGUR", op) && (f->left || f->right);
  if (!f) return v;
  if (!temporal && op != '&' && op != '|') {
    for (int j = 0; j < n; j++) v[(size_t)j] = evalprog(f, st[(size_t)j], st[(size_t)j]);
    return v;
  }
  if (op == 'A' || op == 'E') return pathvalues(f->right, st, loop);
  std::vector<char> b = pathvalues(f->right, st, loop), a;
  if (f->left && !(op == 'G')) a = pathvalues(f->left, st, loop);
  if (op == '&' || op == '|') {
    for (int j = 0; j <= n; j++) v[(size_t)j] = op == '&' ? a[(size_t)j] && b[(size_t)j] : a[(size_t)j] || b[(size_t)j];
    return v;
  }
  if (op == 'X') {
    for (int j = 0; j <= n; j++) v[(size_t)j] = b[(size_t)succ(j)];
    return v;
  }
  if (op == 'G' && f->left) {   // G with a step count: positions j .. j+count
    int cnt = std::atoi(f->left->text);
    for (int j = 0; j <= n; j++) {
      bool all = true;
      for (int i = 0, x = j; i <= cnt && all; i++, x = succ(x)) all = b[(size_t)x];
      v[(size_t)j] = all;
    }
    return v;
  }
  bool least = op == 'F' || op == 'U';
  for (int j = 0; j < n; j++) v[(size_t)j] = !least;
  for (int round = 0; round <= n + 1; round++) {
    bool changed = false;
    for (int j = n - 1; j >= 0; j--) {
      bool nx = v[(size_t)succ(j)], r;
      switch (op) {
        case 'F': r = b[(size_t)j] || nx; break;
        case 'G': r = b[(size_t)j] && nx; break;
        case 'U': r = b[(size_t)j] || (a[(size_t)j] && nx); break;
        default: r = b[(size_t)j] && (a[(size_t)j] || nx); break;   // R
      }
      if (r != (bool)v[(size_t)j]) {
        v[(size_t)j] = r;
        changed = true;
      }
    }
    if (!changed) break;
  }
  return v;
}

bool BMCviolates(const tree *property, const std::vector<std::vector<int>> &states, int loop) {
  if (states.empty()) return false;
  return !pathvalues(property, states, loop)[0];
}

namespace {
struct candidate {
  std::vector<std::vector<int>> states;
  int loop;
};
}  // namespace

// Every execution the model describes along the branches: on each path, stop
// at its end, go around one of its loops, or follow a branch whose path
// starts there and witnesses its part.
static void candidates(const BMCproblem &p, const std::vector<int8_t> &m, int c,
                       std::vector<std::vector<int>> &prefix, std::vector<candidate> &out) {
  constexpr size_t MAXCAND = 4000;
  if (out.size() >= MAXCAND) return;
  int end = lastreal(p, m, c);
  size_t base = prefix.size();
  for (const BMClink &l : p.links) {
    if (l.parent != c || l.pos > end || out.size() >= MAXCAND) continue;
    if (!samestate(p, m, statenum(p, c, l.pos), statenum(p, l.child, 0)) || !BMCeval(l.r, m)) continue;
    for (int j = 0; j < l.pos; j++) prefix.push_back(bitsof(p, m, statenum(p, c, j)));
    candidates(p, m, l.child, prefix, out);
    prefix.resize(base);
  }
  for (int j = 0; j <= std::max(end, 0); j++) prefix.push_back(bitsof(p, m, statenum(p, c, j)));
  out.push_back({prefix, -1});
  for (int b = 1; b <= end && out.size() < MAXCAND; b++)
    for (int a = 0; a < b; a++)
      if (samestate(p, m, statenum(p, c, a), statenum(p, c, b))) {
        std::vector<std::vector<int>> st(prefix.begin(), prefix.begin() + (long)(base + (size_t)b));
        out.push_back({std::move(st), (int)base + a});
      }
  prefix.resize(base);
}

BMCtrace BMCdecode(const BMCproblem &p, const std::vector<int8_t> &m, const prg &bp, const tree *property) {
  std::vector<candidate> cands;
  if (p.ltl) {
    int end = lastreal(p, m, 1);
    std::vector<std::vector<int>> st;
    for (int j = 0; j <= std::max(end, 0); j++) st.push_back(bitsof(p, m, j));
    cands.push_back({st, -1});
    for (size_t l = 1; l < p.loops.size(); l++)
      if (end == p.k && BMCeval(p.loops[l], m)) cands.push_back({st, (int)l - 1});
  } else {
    std::vector<std::vector<int>> prefix;
    candidates(p, m, 1, prefix, cands);
  }
  // the first that is a counterexample by itself; else the first
  size_t pick = 0;
  for (size_t i = 0; i < cands.size(); i++)
    if (BMCviolates(property, cands[i].states, cands[i].loop)) {
      pick = i;
      break;
    }
  BMCtrace t;
  t.states = std::move(cands[pick].states);
  t.loop = cands[pick].loop;
  for (size_t j = 0; j + 1 < t.states.size(); j++)
    t.labels.push_back(BMCtransition(bp, t.states[j], t.states[j + 1]));
  if (t.loop >= 0) t.labels.push_back(BMCtransition(bp, t.states.back(), t.states[(size_t)t.loop]));
  return t;
}

void BMCwritecex(const BMCtrace &t, tree *vlist, int V, const std::string &model) {
  std::string name = CEXfilename(model);
  FILE *out = std::fopen(name.c_str(), "w");
  if (!out) {
    std::printf("ERROR:      cannot create %s\n", name.c_str());
    return;
  }
  CEXwritten = name;
  for (size_t j = 0; j < t.states.size(); j++) {
    if (j > 0) std::fprintf(out, "--- TRANS %i ---\n", t.labels[j - 1]);
    CEXwritevalues(out, (int)j, vlist, t.states[j], V);
  }
  if (t.loop >= 0) {
    std::fprintf(out, "--- TRANS %i ---\n", t.labels.back());
    std::fprintf(out, "--- LOOP %i ---\n", t.loop);
  }
  std::fclose(out);
}
