// The QBF file format (written for an external solver and in dump mode, read
// back by the tests and the benchmarks) and the QDIMACS form.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "qbf/qbf.h"

static bool isquant(const qmd *n) { return n->kind == QMD_A || n->kind == QMD_E; }

void qmdwrite(const qmd *t, const qmdata &d, FILE *out) {
  fprintf(out, "QBF\n%i\n", d.V);
  // A frame is a node to open (phase 0) or to close (phase 1).
  std::vector<std::pair<const qmd *, int>> st;
  if (t) st.push_back({t, 0});
  while (!st.empty()) {
    auto [n, phase] = st.back();
    st.pop_back();
    if (phase == 1) {
      if (isquant(n)) fputs("/q\n", out);
      else fprintf(out, "/%c\n", n->kind);
      continue;
    }
    if (isquant(n)) {
      fputs("q\n", out);
      const qmd *m = n;
      for (; m && isquant(m); m = m->kids.empty() ? nullptr : m->kids[0]) {
        fprintf(out, "%c ", m->kind);
        for (int v : m->list) fprintf(out, "%i ", v);
        fputc('\n', out);
      }
      st.push_back({n, 1});
      if (m) st.push_back({m, 0});
      continue;
    }
    fprintf(out, "%c\n", n->kind);
    for (int l : n->list) if (l > 0) fprintf(out, "%i ", l);
    fputc('\n', out);
    for (int l : n->list) if (l < 0) fprintf(out, "%i ", -l);
    fputc('\n', out);
    st.push_back({n, 1});
    for (size_t i = n->kids.size(); i-- > 0;) st.push_back({n->kids[i], 0});
  }
  fputs("QBF\n", out);
}

// Splits a line of "%i " items; false when it holds anything else or a
// number outside 1..V.
static bool readnums(const std::string &line, int V, std::vector<int> &out) {
  out.clear();
  const char *s = line.c_str();
  while (*s) {
    if (*s == ' ') { s++; continue; }
    if (*s < '0' || *s > '9') return false;
    long v = 0;
    while (*s >= '0' && *s <= '9') {
      v = v * 10 + (*s++ - '0');
      if (v > V) return false;
    }
    if (v < 1) return false;
    out.push_back((int)v);
  }
  return true;
}

qmd *qmdread(const std::string &text, int &V, std::string &err) {
  std::vector<std::string> lines;
  size_t p = 0;
  while (p < text.size()) {
    size_t e = text.find('\n', p);
    if (e == std::string::npos) e = text.size();
    std::string l = text.substr(p, e - p);
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l);
    p = e + 1;
  }
  size_t li = 0;
  auto next = [&](std::string &l) {
    if (li >= lines.size()) return false;
    l = lines[li++];
    return true;
  };
  std::string l;
  std::vector<int> nums;
  V = 0;
  if (!next(l) || l != "QBF") { err = "missing QBF header"; return nullptr; }
  if (!next(l) || !readnums(l, 1 << 30, nums) || nums.size() != 1) {
    err = "bad variable count"; return nullptr;
  }
  V = nums[0];
  qmd *root = nullptr;
  // Open nodes: connectives collect children; a "q" block collects its chain.
  struct open { qmd *node; qmd *last; bool block; };
  std::vector<open> st;
  auto attach = [&](qmd *n) {
    if (st.empty()) { if (root) return false; root = n; return true; }
    open &o = st.back();
    if (o.block) {
      if (!o.last || !o.last->kids.empty()) return false;
      o.last->kids.push_back(n);
    } else {
      o.node->kids.push_back(n);
    }
    return true;
  };
  bool ok = true;
  while (ok && next(l)) {
    if (l == "QBF") {
      if (!st.empty() || !root) ok = false;
      break;
    }
    if (l == "q") {
      st.push_back({nullptr, nullptr, true});
      bool any = false;
      while (li < lines.size() && lines[li].size() >= 2 && (lines[li][0] == 'a' || lines[li][0] == 'e') &&
             lines[li][1] == ' ') {
        if (!readnums(lines[li].substr(2), V, nums)) { ok = false; break; }
        qmd *b = qmdnew(lines[li][0], nums);
        li++;
        if (!any) {
          st.pop_back();
          if (!attach(b)) { freeqmdata(b); ok = false; break; }
          st.push_back({b, b, true});
          any = true;
        } else {
          st.back().last->kids.push_back(b);
          st.back().last = b;
        }
      }
      if (ok && !any) ok = false;
      continue;
    }
    if (l == "c" || l == "d") {
      std::string pos, neg;
      std::vector<int> pl, nl;
      if (!next(pos) || !next(neg) || !readnums(pos, V, pl) || !readnums(neg, V, nl)) { ok = false; break; }
      for (int v : nl) pl.push_back(-v);
      qmd *n = qmdnew(l[0], pl);
      if (!attach(n)) { freeqmdata(n); ok = false; break; }
      st.push_back({n, nullptr, false});
      continue;
    }
    if (l == "/q" && !st.empty() && st.back().block && !st.back().last->kids.empty()) {
      st.pop_back();
      continue;
    }
    if ((l == "/c" || l == "/d") && !st.empty() && !st.back().block && st.back().node->kind == l[1]) {
      st.pop_back();
      continue;
    }
    ok = false;
  }
  if (!ok || !st.empty() || !root || l != "QBF") {
    err = "malformed QBF text near line " + std::to_string(li);
    freeqmdata(root);
    return nullptr;
  }
  return root;
}

// Level of each block in the prenex prefix: level 0 existential, 1
// universal, 2 existential, ...; a block takes the first level of its kind
// not above its nearest enclosing block. Pulling blocks out of a
// conjunction or disjunction in any such order keeps the value, since no
// two blocks bind the same variable.
struct qdprefix {
  std::vector<std::vector<int>> levels;  // variables per level
  std::vector<char> bound;               // [1,V] bound by some block
};

// Records the blocks of the chain starting at n; returns the first
// connective below it and sets lev to the chain's innermost level.
static const qmd *qdblocks(const qmd *n, int &lev, qdprefix &p, int V) {
  while (n && isquant(n)) {
    int want = n->kind == QMD_E ? 0 : 1, L = lev < 0 ? want : lev;
    if ((L & 1) != want) L++;
    if ((int)p.levels.size() <= L) p.levels.resize(L + 1);
    for (int v : n->list) {
      if (v < 1 || v > V || p.bound[v]) utilerror("qmdwriteqdimacs");
      p.bound[v] = 1;
      p.levels[L].push_back(v);
    }
    lev = L;
    n = n->kids.empty() ? nullptr : n->kids[0];
  }
  return n;
}

void qmdwriteqdimacs(const qmd *t, const qmdata &d, FILE *out) {
  int V = d.V;
  qdprefix p;
  p.levels.resize(1);
  p.bound.assign(V + 1, 0);
  std::vector<char> occurs(V + 1, 0);
  std::vector<int> clauses;   // 0-terminated
  int nclauses = 0, top = V;
  struct item { const qmd *n; int lev; int g; };   // node, enclosing level (-1 none), guard (0 none)
  std::vector<item> st;
  if (t) st.push_back({t, -1, 0});
  auto lit = [&](int l) {
    int v = std::abs(l);
    if (v < 1 || v > V) utilerror("qmdwriteqdimacs");
    occurs[v] = 1;
    clauses.push_back(l);
  };
  auto endclause = [&](int g) {
    if (g) clauses.push_back(-g);
    clauses.push_back(0);
    nclauses++;
  };
  while (!st.empty()) {
    item it = st.back();
    st.pop_back();
    const qmd *n = qdblocks(it.n, it.lev, p, V);
    if (!n) continue;
    if (n->kind == QMD_C) {
      for (int l : n->list) {
        lit(l);
        endclause(it.g);
      }
      for (const qmd *k : n->kids) st.push_back({k, it.lev, it.g});
      continue;
    }
    // A disjunction is one clause; nested disjunctions (also below blocks)
    // join it, every other child gets a fresh auxiliary that implies it.
    std::vector<std::pair<const qmd *, int>> dq{{n, it.lev}};
    while (!dq.empty()) {
      auto [m, lev] = dq.back();
      dq.pop_back();
      for (int l : m->list) lit(l);
      for (const qmd *k : m->kids) {
        int kl = lev;
        const qmd *s = qdblocks(k, kl, p, V);
        if (!s) continue;
        if (s->kind == QMD_D) {
          dq.push_back({s, kl});
        } else {
          clauses.push_back(++top);
          st.push_back({s, kl, top});
        }
      }
    }
    endclause(it.g);
  }
  for (int v = 1; v <= V; v++)
    if (occurs[v] && !p.bound[v]) p.levels[0].push_back(v);
  std::vector<std::pair<int, std::vector<int>>> pre;
  auto add = [&](int q, const std::vector<int> &vs) {
    if (vs.empty()) return;
    if (!pre.empty() && pre.back().first == q) pre.back().second.insert(pre.back().second.end(), vs.begin(), vs.end());
    else pre.push_back({q, vs});
  };
  for (size_t L = 0; L < p.levels.size(); L++) add((L & 1) ? 'a' : 'e', p.levels[L]);
  std::vector<int> aux;
  for (int v = V + 1; v <= top; v++) aux.push_back(v);
  add('e', aux);
  fprintf(out, "p cnf %i %i\n", top, nclauses);
  for (auto &[q, vs] : pre) {
    fputc(q, out);
    for (int v : vs) fprintf(out, " %i", v);
    fputs(" 0\n", out);
  }
  for (int l : clauses) {
    if (l == 0) fputs("0\n", out);
    else fprintf(out, "%i ", l);
  }
}
