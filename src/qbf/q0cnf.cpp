// QBF tree operations. Every walk keeps its pending nodes on an explicit
// stack: encodings nest as deep as the bound and the model's formulas.
#include <algorithm>
#include <new>
#include <unordered_set>

#include "qbf/qbf.h"

qbfstats QBFstats{};

qmd *qmdnew(int kind, std::vector<int> list, std::vector<qmd *> kids) {
  qmd *t = new (std::nothrow) qmd{kind, std::move(list), std::move(kids)};
  if (!t) utilerror("qmdnew");
  // the encodings can outgrow a memory limit before any solver runs
  static uint64_t made = 0;
  if (!(++made & (TREEPOLL - 1)) && treepollhook) treepollhook();
  return t;
}

qmd *qmdconst(int v) { return qmdnew(v ? QMD_C : QMD_D); }

int qmdisconst(const qmd *t) {
  if (!t || (t->kind != QMD_C && t->kind != QMD_D) || !t->list.empty() || !t->kids.empty())
    return -1;
  return t->kind == QMD_C;
}

// Pre-order list of the nodes (a quantifier's scope right after it).
static void preorder(const qmd *t, std::vector<const qmd *> &out) {
  out.clear();
  if (!t) return;
  std::vector<const qmd *> st{t};
  while (!st.empty()) {
    const qmd *n = st.back();
    st.pop_back();
    out.push_back(n);
    for (size_t i = n->kids.size(); i-- > 0;) st.push_back(n->kids[i]);
  }
}

void freeqmdata(qmd *t) {
  if (!t) return;
  std::vector<qmd *> st{t};
  while (!st.empty()) {
    qmd *n = st.back();
    st.pop_back();
    for (qmd *k : n->kids) st.push_back(k);
    delete n;
  }
}

qmd *qmdcopy(const qmd *t) {
  if (!t) return nullptr;
  qmd *r = qmdnew(t->kind, t->list);
  std::vector<std::pair<const qmd *, qmd *>> st{{t, r}};
  while (!st.empty()) {
    auto [s, c] = st.back();
    st.pop_back();
    for (const qmd *k : s->kids) {
      qmd *kc = qmdnew(k->kind, k->list);
      c->kids.push_back(kc);
      st.push_back({k, kc});
    }
  }
  return r;
}

int qmdclauses(const qmd *t) {
  std::vector<const qmd *> all;
  preorder(t, all);
  return (int)all.size();
}

int qmdlen(const qmd *t) {
  std::vector<const qmd *> all;
  preorder(t, all);
  long long n = 0;
  for (const qmd *x : all) n += (long long)x->list.size() + x->kids.size() + 1;
  return (int)n;
}

// Makes n the constant v (its children are freed).
static void setconst(qmd *n, int v) {
  for (qmd *k : n->kids) freeqmdata(k);
  n->kids.clear();
  n->list.clear();
  n->kind = v ? QMD_C : QMD_D;
}

// One connective node whose children are already simplified.
static void simpnode(qmd *n, std::unordered_set<int> &seen) {
  std::vector<qmd *> todo(n->kids.rbegin(), n->kids.rend());
  std::vector<qmd *> keep;
  int decided = -1;
  while (!todo.empty()) {
    qmd *k = todo.back();
    todo.pop_back();
    int kc = qmdisconst(k);
    if (kc >= 0 && kc != (n->kind == QMD_C)) {
      decided = kc;   // TRUE in a disjunction, FALSE in a conjunction
      delete k;
      continue;
    }
    bool leaf1 = (k->kind == QMD_C || k->kind == QMD_D) && k->kids.empty() && k->list.size() == 1;
    if (k->kind == n->kind || leaf1) {
      n->list.insert(n->list.end(), k->list.begin(), k->list.end());
      for (size_t i = k->kids.size(); i-- > 0;) todo.push_back(k->kids[i]);
      k->kids.clear();
      delete k;
      continue;
    }
    keep.push_back(k);
  }
  n->kids = std::move(keep);
  if (decided < 0) {
    seen.clear();
    size_t w = 0;
    for (int l : n->list) {
      if (seen.count(-l)) { decided = n->kind == QMD_D; break; }   // x | !x, x & !x
      if (seen.insert(l).second) n->list[w++] = l;
    }
    if (decided < 0) n->list.resize(w);
  }
  if (decided >= 0) {
    setconst(n, decided);
  } else if (n->list.empty() && n->kids.size() == 1) {
    qmd *k = n->kids[0];   // a connective over one child is that child
    n->kind = k->kind;
    n->list = std::move(k->list);
    n->kids = std::move(k->kids);
    delete k;
  }
}

void qmdsimp(qmd *t, qmdata &d) {
  if (t) {
    std::vector<const qmd *> all;
    preorder(t, all);
    std::unordered_set<int> seen;
    for (size_t i = all.size(); i-- > 0;) {   // children before parents
      qmd *n = const_cast<qmd *>(all[i]);
      if (n->kind == QMD_C || n->kind == QMD_D) {
        simpnode(n, seen);
      } else if (n->kids.size() == 1) {
        int kc = qmdisconst(n->kids[0]);
        if (kc >= 0) setconst(n, kc);   // a block over a constant is the constant
      }
    }
  }
  d.N = qmdclauses(t);
  d.len = qmdlen(t);
}

qmd *mdcompose(int kind, qmd *a, qmd *b) {
  if (!a) return b;
  if (!b) return a;
  if (kind == 'I') {
    mdnegate(a);
    kind = QMD_D;
  }
  return qmdnew(kind, {}, {a, b});
}

void mdnegate(qmd *t) {
  if (!t) return;
  std::vector<qmd *> st{t};
  while (!st.empty()) {
    qmd *n = st.back();
    st.pop_back();
    switch (n->kind) {
      case QMD_A: n->kind = QMD_E; break;
      case QMD_E: n->kind = QMD_A; break;
      case QMD_C: n->kind = QMD_D; for (int &l : n->list) l = -l; break;
      case QMD_D: n->kind = QMD_C; for (int &l : n->list) l = -l; break;
    }
    for (qmd *k : n->kids) st.push_back(k);
  }
}

int md2treetype(const qmd *t) {
  std::vector<const qmd *> all;
  preorder(t, all);
  int r = 0;
  for (const qmd *n : all) r |= n->kind == QMD_A ? 1 : n->kind == QMD_E ? 2 : 0;
  return r;
}

static tree *litleaf(int l) {
  return l < 0 ? treecompose("!", nullptr, treenum(-l)) : treenum(l);
}

tree *md2tree(const qmd *t) {
  if (!t) return nullptr;
  // Post-order with a value stack: a node takes its children's translations.
  std::vector<std::pair<const qmd *, size_t>> st{{t, 0}};
  std::vector<tree *> val;
  while (!st.empty()) {
    auto &[n, i] = st.back();
    if (i < n->kids.size()) {
      const qmd *k = n->kids[i++];
      st.push_back({k, 0});
      continue;
    }
    if (n->kind == QMD_C || n->kind == QMD_D) {
      const char *op = n->kind == QMD_C ? "&" : "|";
      tree *r = treeconst(n->kind == QMD_C);
      for (size_t j = n->kids.size(); j-- > 0;) {
        r = treecompose(op, val.back(), r);
        val.pop_back();
      }
      for (size_t j = n->list.size(); j-- > 0;) r = treecompose(op, litleaf(n->list[j]), r);
      val.push_back(r);
    }
    st.pop_back();
  }
  return val.back();
}
