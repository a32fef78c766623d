// Fuzz target of the QBF text reader: any text is read or refused with a
// reason; a tree read back from its own text writes the same text again, and
// so does its copy.  A small tree (at most 12 variables, each bound once and
// used only in its scope, or free) is also solved: the answer must be the one
// of the evaluation over all assignments.
#include <cstdlib>
#include <vector>

#include "fuzzrun.h"
#include "qbf/qbf.h"

// Each variable in [1,V] bound at most once; a bound variable occurs only
// below its block.  bound[v]: 1 bound somewhere, 2 in scope now.
static bool wellscoped(const qmd *t, int V, std::vector<char> &bound) {
  if (t->kind == QMD_A || t->kind == QMD_E) {
    if (t->kids.size() != 1) return false;
    for (int v : t->list) {
      if (v < 1 || v > V || bound[v]) return false;
      bound[v] = 2;
    }
    bool ok = wellscoped(t->kids[0], V, bound);
    for (int v : t->list) bound[v] = 1;
    return ok;
  }
  if (t->kind != QMD_C && t->kind != QMD_D) return false;
  for (int l : t->list) {
    int v = l < 0 ? -l : l;
    if (v < 1 || v > V) return false;
  }
  for (const qmd *k : t->kids)
    if (!wellscoped(k, V, bound)) return false;
  return true;
}

// Bound variables used outside their block, found after the whole walk.
static bool usedinscope(const qmd *t, const std::vector<char> &everbound, std::vector<char> &scope) {
  if (t->kind == QMD_A || t->kind == QMD_E) {
    for (int v : t->list) scope[v] = 1;
    bool ok = usedinscope(t->kids[0], everbound, scope);
    for (int v : t->list) scope[v] = 0;
    return ok;
  }
  for (int l : t->list) {
    int v = l < 0 ? -l : l;
    if (everbound[v] && !scope[v]) return false;
  }
  for (const qmd *k : t->kids)
    if (!usedinscope(k, everbound, scope)) return false;
  return true;
}

static bool eval(const qmd *t, std::vector<char> &a) {
  if (t->kind == QMD_A || t->kind == QMD_E) {
    bool want = t->kind == QMD_E;
    for (unsigned m = 0; m < (1u << t->list.size()); m++) {
      for (size_t i = 0; i < t->list.size(); i++) a[t->list[i]] = (m >> i) & 1;
      if (eval(t->kids[0], a) == want) return want;
    }
    return !want;
  }
  bool conj = t->kind == QMD_C;
  for (int l : t->list)
    if ((l > 0 ? a[l] : !a[-l]) != conj) return !conj;
  for (const qmd *k : t->kids)
    if (eval(k, a) != conj) return !conj;
  return conj;
}

// The free variables are existential, outermost.
static int brute(const qmd *t, int V, const std::vector<char> &bound) {
  std::vector<int> freev;
  for (int v = 1; v <= V; v++)
    if (!bound[v]) freev.push_back(v);
  std::vector<char> a((size_t)V + 1, 0);
  for (unsigned m = 0; m < (1u << freev.size()); m++) {
    for (size_t i = 0; i < freev.size(); i++) a[freev[i]] = (m >> i) & 1;
    if (eval(t, a)) return 1;
  }
  return 0;
}

static void crosscheck(const qmd *t, int V) {
  if (V < 0 || V > 12 || qmdclauses(t) > 256) return;
  std::vector<char> bound((size_t)V + 1, 0), scope((size_t)V + 1, 0);
  if (!wellscoped(t, V, bound) || !usedinscope(t, bound, scope)) return;
  qmdata d;
  d.V = V;
  int r = QBFapply(d, qmdcopy(t));
  if (r != brute(t, V, bound)) std::abort();
}

static std::string qbftext(const qmd *t, int V) {
  qmdata d;
  d.V = V;
  char *buf = nullptr;
  size_t len = 0;
  FILE *f = open_memstream(&buf, &len);
  qmdwrite(t, d, f);
  std::fclose(f);
  std::string s(buf, len);
  std::free(buf);
  return s;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string text((const char *)data, size);
  FUZZrun([&] {
    int V = 0, V2 = 0;
    std::string err;
    qmd *t = qmdread(text, V, err);
    if (!t) {
      if (err.empty()) std::abort();
      return;
    }
    std::string once = qbftext(t, V);
    qmd *back = qmdread(once, V2, err);
    if (!back || V2 != V || qbftext(back, V) != once) std::abort();
    qmd *c = qmdcopy(t);
    if (qbftext(c, V) != once || qmdclauses(c) != qmdclauses(t) || qmdlen(c) != qmdlen(t)) std::abort();
    freeqmdata(c);
    freeqmdata(back);
    crosscheck(t, V);
    freeqmdata(t);
  });
  return 0;
}
