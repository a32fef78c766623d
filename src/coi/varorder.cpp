// The variable order file: one variable per line, named as the user declared
// it; the flattened program calls element j of array a "a_x_j".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unordered_map>

#include "coi/coi.h"
#include "front/f2p.h"

namespace {
struct VOdims {
  std::vector<std::pair<long long, long long>> dims;  // per dimension: lo, hi
};
}  // namespace

// The bracket groups of s from its first '[' ("[0..3][0..4]" -> 0..3, 0..4);
// false when anything else follows.
static bool VOgroups(const std::string &s, size_t at, std::vector<std::string> &g) {
  while (at < s.size()) {
    if (s[at] != '[') return false;
    size_t e = s.find(']', at);
    if (e == std::string::npos) return false;
    g.push_back(s.substr(at + 1, e - at - 1));
    at = e + 1;
  }
  return true;
}

static bool VOnumber(const std::string &s, long long &v) {
  if (s.empty() || s.size() > 12) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  v = std::atoll(s.c_str());
  return true;
}

static bool VOrange(const std::string &s, long long &lo, long long &hi) {
  size_t d = s.find("..");
  return d != std::string::npos && VOnumber(s.substr(0, d), lo) && VOnumber(s.substr(d + 2), hi);
}

// Flat position of an index tuple, row-major with stride hi+1 per dimension,
// as the flattening numbers the elements of a multi-dimensional array.
static long long VOflat(const VOdims &a, const std::vector<long long> &ix) {
  long long f = ix[0];
  for (size_t t = 1; t < ix.size(); t++) f = f * (a.dims[t].second + 1) + ix[t];
  return f;
}

// The flattened names a line of the order file stands for; empty when it
// names nothing declared.
static std::vector<std::string> VOresolve(const std::string &line,
                                          const std::unordered_map<std::string, VOdims> &arrays,
                                          const std::unordered_map<std::string, int> &pos) {
  size_t b = line.find('[');
  if (b != std::string::npos) {
    auto it = arrays.find(line.substr(0, b));
    std::vector<std::string> g;
    if (it == arrays.end() || !VOgroups(line, b, g) || g.size() != it->second.dims.size())
      return {};
    std::vector<long long> ix;
    for (size_t t = 0; t < g.size(); t++) {
      long long v;
      if (!VOnumber(g[t], v) || v < it->second.dims[t].first || v > it->second.dims[t].second)
        return {};
      ix.push_back(v);
    }
    return {it->first + "_x_" + std::to_string(VOflat(it->second, ix))};
  }
  if (pos.count(line)) return {line};
  auto it = arrays.find(line);
  if (it == arrays.end()) return {};
  std::vector<long long> lo, hi;
  for (auto [l, h] : it->second.dims) lo.push_back(l), hi.push_back(h);
  std::vector<std::string> all;
  for (long long k = VOflat(it->second, lo), e = VOflat(it->second, hi); k <= e; k++)
    all.push_back(line + "_x_" + std::to_string(k));
  return all;
}

static std::string VOtrim(const std::string &s) {
  size_t a = 0, e = s.size();
  while (a < e && std::strchr(" \t\r\n", s[a])) a++;
  while (e > a && std::strchr(" \t\r\n", s[e - 1])) e--;
  return s.substr(a, e - a);
}

void var_order(prg *p, const char *file, const tree *declared) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::printf("ERROR:      %s not found\n", file);
    return;
  }
  tree **vars = PROGpartref(p->prog, 0);
  std::vector<tree *> decls;
  std::unordered_map<std::string, int> pos;
  for (tree *l = *vars; l; l = l->text[0] == ';' && !l->text[1] ? l->right : nullptr) {
    tree *d = l->text[0] == ';' && !l->text[1] ? l->left : l;
    if (!d || !d->left) utilerror("varfile");
    pos.emplace(d->left->text, (int)decls.size());
    decls.push_back(d);
  }
  std::unordered_map<std::string, VOdims> arrays;
  for (const tree *l = declared; l; l = l->text[0] == ';' && !l->text[1] ? l->right : nullptr) {
    const tree *d = l->text[0] == ';' && !l->text[1] ? l->left : l;
    if (!d || !d->left) continue;
    std::string name = d->left->text;
    size_t b = name.find('[');
    std::vector<std::string> g;
    if (b == std::string::npos || !VOgroups(name, b, g)) continue;
    VOdims a;
    for (const std::string &r : g) {
      long long lo, hi;
      if (!VOrange(r, lo, hi)) break;
      a.dims.push_back({lo, hi});
    }
    if (a.dims.size() == g.size()) arrays[name.substr(0, b)] = a;
  }

  std::vector<int> order;
  std::vector<char> taken(decls.size(), 0);
  std::string raw;
  while (std::getline(in, raw)) {
    std::string line = VOtrim(raw);
    if (line.empty()) continue;
    std::vector<std::string> names = VOresolve(line, arrays, pos);
    bool known = false;
    for (const std::string &n : names) {
      auto it = pos.find(n);
      if (it == pos.end()) continue;
      known = true;
      if (!taken[it->second]) {
        taken[it->second] = 1;
        order.push_back(it->second);
      }
    }
    if (!known) std::printf("warning: unknown variable in order file: %s\n", line.c_str());
  }
  for (size_t i = 0; i < decls.size(); i++)
    if (!taken[i]) order.push_back((int)i);
  tree *list = nullptr;
  for (size_t i = order.size(); i-- > 0;) {
    tree *d = treecopy(decls[order[i]]);
    list = list ? treecompose(";", d, list) : d;
  }
  treefree(*vars);
  *vars = list;
  treefree(p->vlist);
  p->vlist = treecopy(*vars);
}
