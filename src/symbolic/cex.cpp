// Counterexample store, trace selection and the ".cex" file.
#include "symbolic/cex.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>

cexstore *CEXinit(tbd layer, tbd target) {
  cexstore *s = new cexstore();
  CEXreg(s, layer, 1);
  CEXreg(s, target, 0);
  return s;
}

void CEXfree(cexstore *s) {
  if (!s) return;
  for (tbd f : s->layers) TBDdr(f);
  for (tbd f : s->targets) TBDdr(f);
  delete s;
}

// The store grows with the search: a reachability run deeper than any fixed
// capacity still yields its verdict and its trace.
void CEXreg(cexstore *s, tbd set, int which) {
  if (!s) utilerror("CEXreg");
  if (s->layers.size() + s->targets.size() + 1 >= (size_t)INT32_MAX) utilerror("CEXreg");
  TBDkp(set);
  (which ? s->layers : s->targets).push_back(set);
}

// One full state of a cube: the bits the cube leaves open are fixed to 1,
// the value the file shows for them. Every later step starts from exactly
// the state that is written.
static tbd CEXfull(tbd cube, int n) {
  std::vector<int> v = TBDwriteOne(cube, n);
  tbd s = TBDtau;
  for (int k = n; k >= 1; k--) s = TBDcn(TBDap(v[(size_t)k - 1] > 0 ? 2 * k - 1 : -(2 * k - 1)), s);
  return s;
}

void CEXselect(cexstore *s, std::vector<int> &labels) {
  for (size_t i = s->layers.size(); i-- > 0;) TBDdr(s->layers[i]);
  for (size_t i = s->targets.size(); i-- > 0;) TBDdr(s->targets[i]);
  labels.clear();
  if (s->targets.empty()) return;
  int n = ggt->n;
  tbd b = s->targets.back();
  int m = (int)s->layers.size() - 1;
  while (m >= 0 && TBDmp(TBDcn(s->layers[(size_t)m], b))) m--;
  if (m < 0) {
    s->layers.clear();
    s->targets.clear();
    return;
  }
  std::vector<tbd> &l = s->layers;
  l[(size_t)m] = CEXfull(TBDone(TBDcn(l[(size_t)m], b)), n);
  s->targets.back() = l[(size_t)m];
  labels.assign((size_t)m, 0);
  for (int j = m - 1; j >= 0; j--) {
    int idx = 0;
    l[(size_t)j] = CEXfull(TBDbwSelectOne(l[(size_t)j + 1], l[(size_t)j], &idx), n);
    labels[(size_t)j] = idx + 1;
  }
  std::vector<tbd> &t = s->targets;
  for (int k = (int)t.size() - 2; k >= 0; k--) {
    int idx = 0;
    t[(size_t)k] = CEXfull(TBDfwSelectOne(t[(size_t)k + 1], t[(size_t)k], &idx), n);
    labels.push_back(idx + 1);
  }
  std::vector<tbd> trace(l.begin(), l.begin() + m + 1);
  for (int k = (int)t.size() - 2; k >= 0; k--) trace.push_back(t[(size_t)k]);
  for (tbd x : trace) TBDkp(x);
  s->layers = std::move(trace);
  s->targets.clear();
}

std::string CEXrename(const char *name) {
  std::string out;
  for (const char *p = name; *p;) {
    if (!std::strncmp(p, "_x_", 3) && std::isdigit((unsigned char)p[3])) {
      const char *q = p + 3;
      std::string digits;
      while (std::isdigit((unsigned char)*q)) digits += *q++;
      out += "[" + std::to_string(std::atoi(digits.c_str())) + "]";
      p = q;
    } else {
      out += *p++;
    }
  }
  return out;
}

static bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

void CEXwritevalues(FILE *out, int j, tree *vlist, const std::vector<int> &v, int n) {
  std::fprintf(out, "--- STATE %i ---\n", j);
  for (tree *t = vlist; t;) {
    bool cell = isop(t, ';');
    tree *d = cell ? t->left : t;
    t = cell ? t->right : nullptr;
    if (!d) continue;
    tree *name = isop(d, ':') ? d->left : d;
    if (!name) continue;
    long long value = 0;
    if (name->left && name->right) {
      int lo = std::atoi(name->left->text), hi = std::atoi(name->right->text);
      for (int b = lo; b <= hi; b++)
        value = 2 * value + (b >= 1 && b <= n && b <= (int)v.size() && v[(size_t)b - 1] > 0 ? 1 : 0);
    }
    std::fprintf(out, "%s\t=%lld\n", CEXrename(name->text).c_str(), value);
  }
}

void CEXwriteState(const cexstore *s, int j, FILE *out, tree *vlist) {
  int n = ggt->n;
  CEXwritevalues(out, j, vlist, TBDwriteOne(s->layers[(size_t)j], n), n);
}

void CEXwriteTr(const std::vector<int> &labels, int j, FILE *out) {
  std::fprintf(out, "--- TRANS %i ---\n", labels[(size_t)j]);
}

std::string CEXfilename(const std::string &model) {
  size_t slash = model.find_last_of('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = model.find_last_of('.');
  std::string stem = model;
  if (dot != std::string::npos && dot >= base) stem = model.substr(0, dot);
  return stem + ".cex";
}

std::string CEXwritten;

void CEXwrite(cexstore *s, tree *vlist, const std::string &model) {
  if (!s || (s->layers.empty() && s->targets.empty())) return;
  std::string name = CEXfilename(model);
  FILE *out = std::fopen(name.c_str(), "w");
  if (!out) {
    std::printf("ERROR:      cannot create %s\n", name.c_str());
    return;
  }
  CEXwritten = name;
  std::vector<int> labels;
  CEXselect(s, labels);
  int count = (int)s->layers.size();
  if (count > 0) CEXwriteState(s, 0, out, vlist);
  for (int j = 1; j < count; j++) {
    CEXwriteTr(labels, j - 1, out);
    CEXwriteState(s, j, out, vlist);
  }
  std::fclose(out);
}
