// One-dimensional arrays become families of scalar variables "%s_x_%i":
// keep-value conditions for unaddressed elements, element selection for
// references, and the array bound check mode.
#include <cstdlib>
#include <cstring>
#include <string>

#include "front/progint.h"

namespace {
struct arr {
  std::string base;      // name up to '['
  long long lo, hi;      // declared index range
  tree *decl;            // the declaration
  std::vector<std::string> idx;  // index texts assigned in the current action
};
}  // namespace

static std::string num(long long v) { return std::to_string(v); }

static tree *elem(char mark, const std::string &base, long long i) {
  return PROGleaf((mark ? std::string(1, mark) : std::string()) + base + "_x_" + num(i), "array");
}

static tree *parseindex(const std::string &e,
                        const std::unordered_map<std::string, tree *> &decls) {
  if (e.empty()) utilerror("array");
  tree *t = string2tree(e);
  PROGmarkvc(t, decls);
  return t;
}

static bool numleaf(const tree *t, long long &v) {
  if (!PROGisleaf(t) || !PROGdigit(t->text[0])) return false;
  for (const char *c = t->text; *c; ++c)
    if (!PROGdigit(*c)) return false;
  v = std::atoll(t->text);
  return true;
}

// Selection of the element whose index equals e among mark base_x_lo..hi.
static tree *select(char mark, const arr &a, tree *e) {
  long long k;
  if (numleaf(e, k)) {
    treefree(e);
    return k >= a.lo && k <= a.hi ? elem(mark, a.base, k) : treenum(0);
  }
  tree *r = nullptr;
  for (long long i = a.hi; i >= a.lo; --i) {
    tree *g = treecompose("N", treecompose("=", treecopy(e), treenum((int)i)), elem(mark, a.base, i));
    r = r ? treecompose("M", g, r) : g;
  }
  treefree(e);
  return r;
}

// Keep-value conditions of one transition for one array.
static void keepvalues(tree *t, arr &a, const std::unordered_map<std::string, tree *> &decls) {
  std::vector<tree *> es;
  std::vector<long long> consts;
  for (const std::string &s : a.idx) {
    tree *e = parseindex(s, decls);
    long long k;
    if (numleaf(e, k)) {
      consts.push_back(k);
      treefree(e);
    } else {
      es.push_back(e);
    }
  }
  std::vector<tree *> ks;
  for (long long i = a.hi; i >= a.lo; --i) {
    bool addressed = false;
    for (long long k : consts) addressed |= k == i;
    if (addressed) continue;  // index condition TRUE: no keep-value conjunct
    tree *cond = nullptr;
    for (tree *e : es) {
      tree *c = treecompose("=", treecopy(e), treenum((int)i));
      cond = cond ? treecompose("|", cond, c) : c;
    }
    tree *keep = treecompose("=", elem('O', a.base, i), elem('V', a.base, i));
    ks.push_back(cond ? treecompose("|", cond, keep) : keep);
  }
  t->right = PROGand(t->right, PROGvec2list(ks, '&'));
  for (tree *e : es) treefree(e);
}

void PROGreplacearray(tree *prog) {
  tree **vars = PROGpartref(prog, 0);
  std::vector<tree *> v = PROGunlist(*vars);
  *vars = PROGvec2list(v);
  auto decls = PROGdecls(*vars);
  std::vector<arr> arrays;
  std::unordered_map<std::string, size_t> bykey;
  for (tree *d : v) {
    if (!PROGis(d, ':') || !d->left) utilerror("read");
    const char *b = std::strchr(d->left->text, '[');
    if (!b) continue;
    if (std::strchr(b + 1, '[')) utilerror("array");
    long long lo = ran(b, 0), hi = ran(b, 1);
    if (hi < lo || hi - lo + 1 > PROG_MAXELEMS || hi > 0x7fffffff) utilerror("array");
    bykey[PROGkey(d->left->text)] = arrays.size();
    arrays.push_back(arr{std::string(d->left->text, b - d->left->text), lo, hi, d, {}});
  }
  if (arrays.empty()) return;
  for (tree *t : PROGelems(PROGpart(prog, 2))) {
    if (!PROGis(t, ':')) continue;
    for (arr &a : arrays) a.idx.clear();
    std::vector<tree *> at;
    PROGatoms(t->right, at);
    for (tree *n : at) {
      if (!PROGisleaf(n->left) || n->left->text[0] != 'O') continue;
      auto it = bykey.find(PROGkey(n->left->text + 1));
      std::string e;
      if (it == bykey.end()) continue;
      if (!PROGindex(n->left->text, e)) utilerror("array");
      arrays[it->second].idx.push_back(e);
    }
    for (size_t k = arrays.size(); k-- > 0;) keepvalues(t, arrays[k], decls);
  }
  // references: element selection; nested references are met again inside it
  PROGwalk(prog->right, [&](tree *&n) {
    if (!PROGisleaf(n) || (n->text[0] != 'V' && n->text[0] != 'O')) return true;
    auto it = bykey.find(PROGkey(n->text + 1));
    if (it == bykey.end()) return true;
    std::string e;
    if (!PROGindex(n->text, e)) utilerror("array");
    tree *s = select(n->text[0], arrays[it->second], parseindex(e, decls));
    treefree(n);
    n = s;
    return true;
  });
  std::vector<tree *> out;
  for (tree *d : PROGunlist(*vars)) {
    auto it = bykey.find(PROGkey(d->left->text));
    if (it == bykey.end() || arrays[it->second].decl != d) {
      out.push_back(d);
      continue;
    }
    const arr &a = arrays[it->second];
    for (long long i = a.lo; i <= a.hi; ++i)
      out.push_back(treecompose(":", elem(0, a.base, i), treecopy(d->right)));
    treefree(d);
  }
  *vars = PROGvec2list(out);
}

// ---- array bound check ("sx")

// Bound conditions lo <= e & e <= hi of every 1-D array reference in t.
static tree *boundconds(tree *t, const std::unordered_map<std::string, std::pair<long long, long long>> &ar) {
  tree *c = nullptr;
  PROGwalk(t, [&](tree *&n) {
    if (!PROGisleaf(n)) return true;
    auto it = ar.find(PROGkey(n->text));
    std::string e;
    if (it == ar.end() || !PROGindex(n->text, e)) return true;
    std::string s = "(" + num(it->second.first) + "{" + e + ")&(" + e + "{" + num(it->second.second) + ")";
    c = PROGand(c, string2tree(s));
    return true;
  });
  return c;
}

static void arraychecktrans(tree *body, bool proc,
                            const std::unordered_map<std::string, std::pair<long long, long long>> &ar,
                            int &added) {
  tree **ts = &body->right->right->left;
  std::vector<tree *> v = PROGunlist(*ts), extra;
  for (tree *t : v) {
    if (!PROGis(t, ':')) continue;
    tree *c = boundconds(t, ar);
    if (!c) continue;
    tree *act = string2tree(std::string(proc ? "err_x_=1&ret_=1" : "err_x_=1"));
    extra.push_back(treecompose(":", treecompose("&", treecopy(t->left), treecompose("!", nullptr, c)), act));
  }
  added += (int)extra.size();
  v.insert(v.end(), extra.begin(), extra.end());
  *ts = PROGvec2list(v);
}

// Only the declared range of arrays is known here; arrays local to a module
// and the main module's arrays are checked where they are referenced.
static void arraygetbound(tree *vars, std::unordered_map<std::string, std::pair<long long, long long>> &ar) {
  for (tree *d : PROGelems(vars)) {
    if (!PROGis(d, ':') || !d->left) continue;
    const char *b = std::strchr(d->left->text, '[');
    if (!b || std::strchr(b + 1, '[') || chanindex(d->left->text)) continue;
    ar[PROGkey(d->left->text)] = {ran(b, 0), ran(b, 1)};
  }
}

int arraycheckmodule(modrec *modules) {
  std::unordered_map<std::string, std::pair<long long, long long>> global;
  arraygetbound(modules->body->left, global);
  int added = 0;
  bool instances = modules->next && modules->next->kind == 'M';
  for (modrec *m = modules; m; m = m->next) {
    if (m == modules && instances) continue;  // the main module lists instances
    auto ar = global;
    if (m != modules) arraygetbound(m->body->left, ar);
    arraychecktrans(m->body, m->kind == 'P', ar, added);
  }
  addvar2prog(modules->body, "err_x_");
  // the check is the first property: AG err_x_ = 0
  tree *rest = modules->body->right->right->right;
  tree *prop = string2tree(std::string("AG(err_x_=0)"));
  modules->body->right->right->right = treecompose("#", prop, rest);
  return added;
}
