// Flattening steps: loops, channels, multi-dimensional arrays, complete
// assignments, name marks, constants, -1, free choice and bare conditions.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>

#include "front/prep.h"
#include "front/progint.h"

static std::string num(long long v) { return std::to_string(v); }

static bool isfor(const tree *n) {
  return PROGis(n, ':') && n->left && std::strncmp(n->left->text, "for", 3) == 0;
}

// The loop variable is replaced as a substring of every node text, except
// in the "for<var>in" header of a nested loop, whose range alone may use it
// (a loop variable such as i would otherwise break the inner "in").
static void forsubst(tree *&b, const std::string &var, const std::string &k) {
  PROGwalk(b, [&](tree *&n) {
    char buf[4 * TREE_TEXTLEN];
    const char *in = std::strncmp(n->text, "for", 3) == 0 ? std::strstr(n->text + 3, "in[") : nullptr;
    size_t keep = in ? in - n->text + 2 : 0;
    std::snprintf(buf, sizeof buf, "%s", n->text + keep);
    stringreplacesubstring(buf, var.c_str(), k.c_str());
    PROGsettext(n, std::string(n->text, keep) + buf, "for");
    return true;
  });
}

// "^" & body(lo) & ... & body(hi), right-nested (long loops stay right
// spines); the loop variable is replaced
// as a substring of every node text.
static tree *forexpand(tree *n) {
  std::string h = n->left->text;
  size_t in = h.find("in[", 3);
  if (in == std::string::npos || in == 3) utilerror("for");
  std::string var = h.substr(3, in - 3), range = h.substr(in + 2);
  long long lo = ran(range.c_str(), 0), hi = ran(range.c_str(), 1);
  std::vector<tree *> bs{treeconst(1)};
  if (hi >= lo) {
    long long size = treesize(n->right) + 1;
    if (hi - lo + 1 > PROG_MAXELEMS || (hi - lo + 1) * size > PROG_MAXNODES) utilerror("for");
    for (long long k = lo; k <= hi; ++k) {
      tree *b = treecopy(n->right);
      forsubst(b, var, num(k));
      bs.push_back(b);
    }
  }
  treefree(n);
  return PROGvec2list(bs, '&');
}

tree *PROGreplacefor(tree *t) {
  PROGwalk(t, [](tree *&n) {
    while (isfor(n)) n = forexpand(n);  // the result is searched again for loops
    return true;
  });
  return t;
}

void PROGreplacesemiand(tree *init) {
  PROGwalk(init, [](tree *&n) {
    if (PROGis(n, ';')) n->text[0] = '&';
    return true;
  });
}

// ---- channels

struct chaninfo {
  int n;  // capacity
};

static tree *chanleaf(const std::string &s) { return PROGleaf(s, "channel"); }

// True for a send or receive on a channel written c[.].
static bool ischanop(const tree *n) {
  if (!n || (!PROGis(n, '@') && !PROGis(n, '?')) || !PROGisleaf(n->left)) return false;
  size_t l = std::strlen(n->left->text);
  return l > 3 && std::strcmp(n->left->text + l - 3, "[.]") == 0;
}

// Splits a channel operation into its enabling test (current state) and its
// effect; takes n.
static void chansplit(tree *n, const std::unordered_map<std::string, chaninfo> &chans,
                      tree **core, tree **test) {
  std::string base(n->left->text, std::strlen(n->left->text) - 3);
  auto it = chans.find(base);
  if (it == chans.end() || !n->right) utilerror("channel");
  int cap = it->second.n;
  std::string cx = base + "_x_";
  if (PROGis(n, '@')) {
    *test = treecompose("<", chanleaf(cx), treenum(cap));
    *core = treecompose("&", treecompose("=", chanleaf(cx), treecompose("+", chanleaf(cx), treenum(1))),
                        treecompose("=", chanleaf(base + "[" + cx + "]"), n->right));
  } else {
    *test = treecompose(">", chanleaf(cx), treenum(0));
    tree *c = treecompose("&", treecompose("=", chanleaf(cx), treecompose("-", chanleaf(cx), treenum(1))),
                          treecompose("=", n->right, chanleaf(base + "[0]")));
    for (int k = 0; k + 2 <= cap; ++k)
      c = treecompose("&", treecompose("=", chanleaf(base + "[" + num(k) + "]"),
                                       chanleaf(base + "[" + num(k + 1) + "]")),
                      c);
    *core = c;
  }
  n->right = nullptr;
  treefree(n);
}

static void chanrewrite(tree *&t, const std::unordered_map<std::string, chaninfo> &chans) {
  if (PROGis(t, ':') && t->right) {
    // conjuncts of the action: their tests belong to the guard, so that a send
    // is enabled exactly below capacity and a receive exactly when non-empty
    std::vector<tree **> st{&t->right};
    while (!st.empty()) {
      tree **s = st.back();
      st.pop_back();
      if (PROGis(*s, '&')) {
        st.push_back(&(*s)->right);
        st.push_back(&(*s)->left);
      } else if (ischanop(*s)) {
        tree *core, *test;
        chansplit(*s, chans, &core, &test);
        *s = core;
        t->left = PROGand(t->left, test);
      }
    }
  }
  PROGwalk(t, [&](tree *&n) {
    if (ischanop(n)) {
      tree *core, *test;
      chansplit(n, chans, &core, &test);
      n = treecompose("&", test, core);
    }
    return true;
  });
}

void PROGreplacechan(tree *prog) {
  tree **vars = PROGpartref(prog, 0);
  std::vector<tree *> out;
  std::unordered_map<std::string, chaninfo> chans;
  std::vector<tree *> init;
  for (tree *d : PROGunlist(*vars)) {
    int n = PROGis(d, ':') && d->left ? chanindex(d->left->text) : 0;
    if (n > 0) {
      std::string name = d->left->text, base = name.substr(0, name.find('['));
      if (n > PROG_MAXELEMS) utilerror("channel");
      out.push_back(treecompose(":", chanleaf(base + "_x_"), chanleaf("0.." + num(n))));
      PROGsettext(d->left, base + "[0.." + num(n - 1) + "]", "channel");
      chans[base] = chaninfo{n};
      init.push_back(treecompose("=", chanleaf(base + "_x_"), treenum(0)));
      for (int k = 0; k < n; ++k)
        init.push_back(treecompose("=", chanleaf(base + "[" + num(k) + "]"), treenum(0)));
    }
    out.push_back(d);
  }
  *vars = PROGvec2list(out);
  if (chans.empty()) return;
  tree **ini = PROGpartref(prog, 1);
  *ini = PROGand(*ini, PROGvec2list(init, '&'));
  for (tree **t : PROGslots(*PROGpartref(prog, 2))) chanrewrite(*t, chans);
}

// ---- multi-dimensional arrays

struct mdim {
  std::vector<long long> hi;  // upper bound of each dimension
};

// The bracket groups of an indexed name ("a[i][j]" -> i, j); false when
// something other than groups follows the name.
static bool groups(const char *s, std::vector<std::string> &g) {
  const char *p = std::strchr(s, '[');
  while (p && *p) {
    if (*p != '[') return false;
    int depth = 0;
    const char *q = p;
    for (; *q; ++q) {
      if (*q == '[') ++depth;
      if (*q == ']' && --depth == 0) break;
    }
    if (!*q) return false;
    g.emplace_back(p + 1, q - p - 1);
    p = q + 1;
  }
  return true;
}

void PROGreplacemarray(tree *prog) {
  std::unordered_map<std::string, mdim> md;
  for (tree *d : PROGelems(PROGpart(prog, 0))) {
    if (!PROGis(d, ':') || !d->left || !marrayindex(d->left->text)) continue;
    std::vector<std::string> g;
    if (!groups(d->left->text, g)) utilerror("array");
    std::string key = PROGkey(d->left->text);
    long long flo = 0, fhi = 0;
    mdim m;
    for (size_t t = 0; t < g.size(); ++t) {
      long long lo = ran(g[t].c_str(), 0), hi = ran(g[t].c_str(), 1);
      if (hi < lo || hi >= PROG_MAXELEMS) utilerror("array");
      // stride hi+1 per dimension: every declared element gets its own flat index
      flo = t ? flo * (hi + 1) + lo : lo;
      fhi = t ? fhi * (hi + 1) + hi : hi;
      if (fhi - flo + 1 > PROG_MAXELEMS) utilerror("array");
      m.hi.push_back(hi);
    }
    PROGsettext(d->left, key + num(flo) + ".." + num(fhi) + "]", "array");
    md[key] = m;
  }
  if (md.empty()) return;
  PROGwalk(prog->right, [&](tree *&n) {
    if (!PROGisleaf(n) || !std::strchr(n->text, '[')) return true;
    auto it = md.find(PROGkey(n->text));
    std::vector<std::string> g;
    if (it == md.end() || !groups(n->text, g) || g.size() < 2 || g.size() != it->second.hi.size())
      return true;
    std::string h(g.size() - 1, '(');
    h += g[0];
    for (size_t t = 1; t < g.size(); ++t)
      h += ")*" + num(it->second.hi[t] + 1) + "+(" + g[t] + ")";
    PROGsettext(n, it->first + h + "]", "array");
    return true;
  });
}

// ---- complete assignments


static void checkaction(tree *a) {
  std::vector<tree *> st{a};
  while (!st.empty()) {
    tree *e = st.back();
    st.pop_back();
    if (!e) continue;
    if (PROGis(e, '&')) {
      st.push_back(e->right);
      st.push_back(e->left);
    } else if (std::strlen(e->text) != 1 || !std::strchr("=<>B{}|!^", e->text[0])) {
      utilerror("modify");
    }
  }
}

// The action becomes, per declared variable in order, its own assignments or
// v = v; returns the conjuncts of the old action not taken over.
static int addeq1(tree *t, const std::vector<tree *> &decls, const std::vector<std::string> &keys) {
  tree *a = t->right;
  checkaction(a);
  std::vector<tree *> at;
  PROGatoms(a, at);
  std::unordered_set<std::string> assigned;
  for (tree *x : at)
    if (x->left) assigned.insert(PROGkey(x->left->text));
  int eq = a ? treesizeof('&', a) : 0, replaced = 0;
  std::vector<tree *> parts;
  for (size_t i = 0; i < decls.size(); ++i) {
    tree *f = nullptr;
    if (assigned.count(keys[i])) {
      bool arr = keys[i].back() == '[';
      f = treesearchvarall(keys[i].c_str(), arr ? (int)keys[i].size() : 0, a);
    }
    if (f) {
      replaced += treesizeof('&', f);
    } else {
      const char *name = decls[i]->left->text;
      f = treecompose("=", PROGleaf(name, "read"), PROGleaf(name, "read"));
    }
    parts.push_back(f);
  }
  int diff = eq - replaced;
  if (lmtlog) {
    std::fprintf(lmtlog, "diff %i; eq %i; replaced %i;\n", diff, eq, replaced);
    if (diff > 0) {
      treewrite(a, lmtlog);
      std::fprintf(lmtlog, "\n");
    }
  }
  treefree(a);
  t->right = PROGvec2list(parts, '&');
  return diff;
}

static void declkeys(tree *vars, std::vector<tree *> &decls, std::vector<std::string> &keys) {
  decls = PROGelems(vars);
  for (tree *d : decls) {
    if (!PROGis(d, ':') || !d->left) utilerror("read");
    keys.push_back(PROGkey(d->left->text));
  }
}

void PROGaddeq(tree *prog) {
  std::vector<tree *> decls;
  std::vector<std::string> keys;
  declkeys(PROGpart(prog, 0), decls, keys);
  if (lmtlog) std::fprintf(lmtlog, "\nREPLACED VARIABLES\n");
  for (tree *t : PROGelems(PROGpart(prog, 2)))
    if (PROGis(t, ':')) addeq1(t, decls, keys);
}

// Completes one action without logging (the deadlock transition).
void PROGaddeqone(tree *t, tree *vars) {
  std::vector<tree *> decls;
  std::vector<std::string> keys;
  declkeys(vars, decls, keys);
  FILE *keep = lmtlog;
  lmtlog = nullptr;
  addeq1(t, decls, keys);
  lmtlog = keep;
}

void PROGcleanarray(tree *prog) {
  PROGwalk(prog->right, [](tree *&n) {
    char *d = std::strstr(n->text, "..");
    if (d) {
      char *e = std::strchr(d, ']');
      if (e) std::memmove(d, e, std::strlen(e) + 1);
    }
    return true;
  });
}

// Left sides of the assignments of an action; assigned values are not entered.
void PROGaddnextone(tree *&action) {
  PROGwalk(action, [](tree *&n) {
    if (!PROGis(n, '=')) return true;
    if (PROGisleaf(n->left) && PROGlower(n->left->text[0]))
      PROGsettext(n->left, std::string("O") + n->left->text, "name");
    return false;
  });
}

void PROGaddnext(tree *prog) {
  for (tree *t : PROGelems(PROGpart(prog, 2)))
    if (PROGis(t, ':')) PROGaddnextone(t->right);
}

void PROGaddvc(tree *prog) { PROGmarkvc(prog->right, PROGdecls(PROGpart(prog, 0))); }

// Line of the model file where name first stands as a whole word (outside
// "//" comments), or 0.
static int PROGnameline(const std::string &name) {
  if (!ggb || ggb->file.empty() || name.empty()) return 0;
  std::string text = file2string(ggb->file);
  int line = 1;
  for (size_t b = 0; b < text.size(); ++line) {
    size_t e = text.find('\n', b);
    if (e == std::string::npos) e = text.size();
    size_t end = std::min(e, text.find("//", b));
    for (size_t p = text.find(name, b); p != std::string::npos && p + name.size() <= end;
         p = text.find(name, p + 1)) {
      bool before = p > b && PREPidchar(text[p - 1]);
      bool after = p + name.size() < text.size() && PREPidchar(text[p + name.size()]);
      if (!before && !after) return line;
    }
    b = e + 1;
  }
  return 0;
}

// A name that is neither declared nor a constant: said with its line before
// the run ends.
[[noreturn]] static void PROGundeclared(const char *name) {
  int line = PROGnameline(name);
  if (line) std::printf("ERROR:      undeclared name %s (line %i)\n", name, line);
  else std::printf("ERROR:      undeclared name %s\n", name);
  utilerror("constant");
}

void PROGreplaceconstants(tree *prog) {
  PROGwalk(prog->right, [](tree *&n) {
    if (n->text[0] != 'C') return true;
    PROGlog("\nREPLACED CONSTANTS: %s\n", n->text);
    const char *d = n->text;
    while (*d && !PROGdigit(*d)) ++d;
    if (!*d) PROGundeclared(n->text + 1);
    size_t l = 0;
    while (PROGdigit(d[l])) ++l;
    PROGsettext(n, std::string(d, l), "constant");
    return true;
  });
}

static bool iscmp(const tree *n, const char *set) {
  return n && n->text[0] && !n->text[1] && std::strchr(set, n->text[0]);
}

// The declaration of a marked leaf ("Vx", "Oa[i]"), or null.
static tree *declof(const tree *leaf, const std::unordered_map<std::string, tree *> &decls) {
  if (!PROGisleaf(leaf) || (leaf->text[0] != 'V' && leaf->text[0] != 'O')) return nullptr;
  auto it = decls.find(PROGkey(leaf->text + 1));
  return it == decls.end() ? nullptr : it->second;
}

void PROGreplacem1(tree *prog) {
  auto decls = PROGdecls(PROGpart(prog, 0));
  PROGwalk(prog->right, [&](tree *&n) {
    if (!iscmp(n, "<=>B{}")) return true;
    tree *r = n->right;
    if (!PROGis(r, '-') || r->left || !PROGisleaf(r->right) || std::strcmp(r->right->text, "1"))
      return true;
    tree *d = declof(n->left, decls);
    if (!d || !d->right) return true;
    long long hi = PROGhi(d->right->text);
    if (hi > 0x7fffffff) utilerror("type");
    treefree(r);
    n->right = treenum((int)hi);
    return false;
  });
}

static bool isfree(const tree *r) {
  return PROGisleaf(r) && (r->text[0] == 0 || std::strcmp(r->text, "*") == 0);
}

// Free choice becomes the range constraint of the variable's type; with cond,
// comparisons that are conjuncts of the action constrain next-state values
// (comparisons nested inside an assigned value keep current-state operands).
static void starcond(tree *&action, const std::unordered_map<std::string, tree *> &decls, bool cond) {
  std::vector<std::pair<tree **, bool>> st{{&action, true}};
  while (!st.empty()) {
    auto [s, conj] = st.back();
    st.pop_back();
    tree *n = *s;
    if (!n) continue;
    if (PROGis(n, '=')) {
      if (!isfree(n->right)) continue;
      tree *d = declof(n->left, decls);
      if (!d || !d->right) utilerror("vlist");
      long long lo = PROGlo(d->right->text), hi = PROGhi(d->right->text);
      if (hi > 0x7fffffff || lo > 0x7fffffff) utilerror("type");
      tree *c = treevarconstr(n->left->text, (int)lo, (int)hi);
      treefree(n);
      *s = c;
      continue;
    }
    if (iscmp(n, "<>B{}")) {
      if (cond && conj)
        for (tree *o : {n->left, n->right})
          if (PROGisleaf(o) && o->text[0] == 'V') o->text[0] = 'O';
      continue;
    }
    bool c = conj && PROGis(n, '&');
    st.push_back({&n->right, c});
    st.push_back({&n->left, c});
  }
}

void PROGreplacestar(tree *prog) {
  auto decls = PROGdecls(PROGpart(prog, 0));
  for (tree *t : PROGelems(PROGpart(prog, 2)))
    if (PROGis(t, ':')) starcond(t->right, decls, false);
}

void PROGreplacestarORcond(tree *prog) {
  auto decls = PROGdecls(PROGpart(prog, 0));
  for (tree *t : PROGelems(PROGpart(prog, 2)))
    if (PROGis(t, ':')) starcond(t->right, decls, true);
}

// A bare variable (or number) where a condition is expected means v != 0.
static void boolcond(tree *&t) {
  PROGwalk(t, [](tree *&n) {
    if (PROGisleaf(n) && (n->text[0] == 'V' || n->text[0] == 'O' || PROGdigit(n->text[0]))) {
      n = treecompose("B", n, treenum(0));
      return false;
    }
    return iscmp(n, "!&|AEFGXURI~");
  });
}

void PROGboolvars(tree *prog) {
  boolcond(*PROGpartref(prog, 1));
  for (tree *t : PROGelems(PROGpart(prog, 2)))
    if (PROGis(t, ':')) boolcond(t->left);
  for (int k : {3, 4}) {
    tree **s = PROGpartref(prog, k);
    std::vector<tree **> cells;
    while (PROGis(*s, ';')) {
      cells.push_back(&(*s)->left);
      s = &(*s)->right;
    }
    cells.push_back(s);
    for (tree **c : cells) boolcond(*c);
  }
}

void addvar2prog(tree *prog, const char *name) {
  tree **vars = PROGpartref(prog, 0);
  if (treesearchvarlist(name, 0, *vars)) return;
  std::vector<tree *> v = PROGunlist(*vars);
  v.push_back(treecompose(":", PROGleaf(name, "addvar2prog"), PROGleaf("0..1", "addvar2prog")));
  *vars = PROGvec2list(v);
}
