// Overflow checks of the integer type: the conditions under which an
// assignment stores a value beyond its variable's range, and the companion
// transitions that set "err_x_" there.  Values are unsigned and subtraction
// saturates at 0, so only values above the range are checked.
#include "front/int.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "front/progint.h"

bool F2Poverflownames = false;
std::vector<std::string> F2Poverflowvars;
void (*F2Punknownhook)() = nullptr;

static bool F2Pidchar(char c) { return PROGalnum(c) || c == '_'; }

// Position of the word int of a type after text[colon] == ':', or npos.
static size_t F2Pinttype(const std::string &text, size_t colon) {
  size_t i = colon + 1;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n')) ++i;
  if (text.compare(i, 3, "int") != 0) return std::string::npos;
  if (i + 3 < text.size() && F2Pidchar(text[i + 3])) return std::string::npos;
  return i;
}

bool F2Phasint(const std::string &text) {
  for (size_t c = text.find(':'); c != std::string::npos; c = text.find(':', c + 1))
    if (F2Pinttype(text, c) != std::string::npos) return true;
  return false;
}

void F2Psetintwidth(std::string &text, int w) {
  char ty[8];
  std::snprintf(ty, sizeof ty, "i%02d", w);
  std::string out;
  out.reserve(text.size());
  size_t from = 0;
  for (size_t c = text.find(':'); c != std::string::npos; c = text.find(':', c + 1)) {
    size_t i = F2Pinttype(text, c);
    if (i == std::string::npos) continue;
    out.append(text, from, i - from);
    out += ty;
    from = i + 3;
  }
  out.append(text, from, std::string::npos);
  text = std::move(out);
}

static long long F2Pdecimal(const char *s) {
  long long v = 0;
  for (; PROGdigit(*s); ++s) {
    v = v * 10 + (*s - '0');
    if (v > 0x7fffffffLL) v = 0x7fffffffLL;  // no width holds more
  }
  return v;
}

// A node with both operands of which one is the name stops the walk there
// (for that name): its other operand's number counts, nothing below it.
long long intcheckcst(const char *name, const tree *t) {
  long long best = 0;
  std::vector<const tree *> st{t};
  while (!st.empty()) {
    const tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (n->left && n->right) {
      bool l = std::strcmp(n->left->text, name) == 0;
      if (l || std::strcmp(n->right->text, name) == 0) {
        long long v = F2Pdecimal(l ? n->right->text : n->left->text);
        if (v > best) best = v;
        continue;
      }
    }
    st.push_back(n->right);
    st.push_back(n->left);
  }
  return best;
}

// The same maximum over a set of names in one walk: below a node that
// stopped the walk for some names, only the other names still count.
static long long F2Pcstmax(const tree *t, const std::unordered_set<std::string> &names) {
  long long best = 0;
  struct item {
    const tree *n;
    std::vector<std::string> stopped;
  };
  std::vector<item> st;
  st.push_back({t, {}});
  auto counts = [&](const char *s, const std::vector<std::string> &stopped) {
    if (!names.count(s)) return false;
    for (const std::string &x : stopped)
      if (x == s) return false;
    return true;
  };
  while (!st.empty()) {
    item it = std::move(st.back());
    st.pop_back();
    const tree *n = it.n;
    if (!n) continue;
    if (n->left && n->right) {
      bool l = counts(n->left->text, it.stopped), r = counts(n->right->text, it.stopped);
      if (l || r) {
        long long v = l ? F2Pdecimal(n->right->text) : 0;
        if (r) v = std::max(v, F2Pdecimal(n->left->text));
        best = std::max(best, v);
        if (l) it.stopped.push_back(n->left->text);
        if (r) it.stopped.push_back(n->right->text);
      }
    }
    st.push_back({n->right, it.stopped});
    st.push_back({n->left, std::move(it.stopped)});
  }
  return best;
}

static bool F2Pitype(const char *ty) {
  if (ty[0] != 'i' || !ty[1]) return false;
  for (const char *c = ty + 1; *c; ++c)
    if (!PROGdigit(*c)) return false;
  return true;
}

// Largest value of a declared type that gets overflow checks, or -1.
static long long F2Ptypemax(const char *ty, long long cmax) {
  if (F2Pitype(ty)) {
    long long n = F2Pdecimal(ty + 1);
    if (n > 31) utilerror("type");
    long long m = n == 0 ? 1 : (1LL << n) - 1;
    if (cmax >= m) {
      std::printf("INFO:       CONSTANT=%i\n", (int)cmax);
      if (F2Punknownhook) F2Punknownhook();
      std::fflush(nullptr);
      utilexit(0);
    }
    return m;
  }
  if (std::strncmp(ty, "0..", 3) == 0) return PROGhi(ty);
  return -1;
}

static bool F2Piscmp(const tree *t) {
  return t && t->text[0] && !t->text[1] && std::strchr("<=>{}", t->text[0]);
}

// -1 as a value: the largest value of the variable's type.
static bool F2Pminus1(const tree *t) {
  return PROGis(t, '-') && !t->left && PROGisleaf(t->right) && std::strcmp(t->right->text, "1") == 0;
}

namespace {
struct intcond {
  std::string var;   // the variable (array: its name without the index)
  tree *cond;        // the value stored exceeds the variable's largest value
};
}  // namespace

// The conditions of e, one per comparison or assignment of a checked
// variable, left to right.
static void F2Pconds(const tree *e, const std::unordered_map<std::string, tree *> &decls,
                     long long cmax, std::vector<intcond> &out) {
  std::vector<const tree *> st{e};
  while (!st.empty()) {
    const tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (PROGis(n, '&') || PROGis(n, '|')) {
      st.push_back(n->right);
      st.push_back(n->left);
      continue;
    }
    if (!F2Piscmp(n) || !PROGisleaf(n->left) || !PROGlower(n->left->text[0])) continue;
    auto d = decls.find(PROGkey(n->left->text));
    if (d == decls.end()) utilerror("intconstruct");
    const tree *decl = d->second;
    if (!decl->right) continue;
    long long m = F2Ptypemax(decl->right->text, cmax);
    const tree *r = n->right;
    // free choice and -1 always stay within the type
    if (m < 0 || !r || (PROGisleaf(r) && !r->text[0]) || F2Pminus1(r)) continue;
    tree *c = nullptr;
    if (PROGdigit(r->text[0])) {
      if (F2Pdecimal(r->text) > m) c = treecompose("=", treenum(1), treenum(1));
    } else {
      c = treecompose(">", treecopy(r), PROGleaf(std::to_string(m), "intconstruct"));
    }
    if (!c) continue;
    std::string var = decl->left->text;
    out.push_back({var.substr(0, var.find('[')), c});
  }
}

static tree *F2Por(const std::vector<intcond> &cs) {
  tree *r = nullptr;
  for (size_t i = cs.size(); i-- > 0;) r = r ? treecompose("|", cs[i].cond, r) : cs[i].cond;
  return r;
}

tree *intconstruct(const tree *e, tree *vars, long long cmax) {
  std::vector<intcond> cs;
  F2Pconds(e, PROGdecls(vars), cmax, cs);
  return F2Por(cs);
}

static bool F2Ptrue(const tree *c) {
  return PROGis(c, '=') && PROGisleaf(c->left) && PROGisleaf(c->right) &&
         !std::strcmp(c->left->text, "1") && !std::strcmp(c->right->text, "1");
}

static tree *F2Perraction(const char *flag) {
  tree *a = treecompose("=", PROGleaf("err_x_", "intcheckvlist"), treenum(1));
  if (flag) a = treecompose("&", a, treecompose("=", PROGleaf(flag, "intcheckvlist"), treenum(1)));
  return a;
}

// cmax over every module's variables of an iN type.
static long long F2Pcmax(modrec *modules) {
  long long cmax = 0;
  for (modrec *m = modules; m; m = m->next) {
    std::unordered_set<std::string> names;
    for (tree *d : PROGelems(m->body ? m->body->left : nullptr))
      if (PROGis(d, ':') && PROGisleaf(d->left) && d->right && d->right->text[0] == 'i')
        names.insert(d->left->text);
    if (!names.empty()) cmax = std::max(cmax, F2Pcstmax(m->body, names));
  }
  return cmax;
}

// The overflow transitions, and per variable the disjunction of the guards
// under which it overflows (for F2Poverflownames).
static tree *F2Poverflows(modrec *modules, tree *prog, const char *flag,
                          std::vector<intcond> *byvar) {
  long long cmax = F2Pcmax(modules);
  auto decls = PROGdecls(PROGpart(prog, 0));
  std::vector<tree *> made;
  auto note = [&](std::vector<intcond> &cs, const tree *g) {
    if (!byvar) return;
    for (intcond &c : cs) {
      tree *one = g ? treecompose("&", treecopy(c.cond), treecopy(g)) : treecopy(c.cond);
      auto it = byvar->begin();
      while (it != byvar->end() && it->var != c.var) ++it;
      if (it == byvar->end()) byvar->push_back({c.var, one});
      else it->cond = treecompose("|", it->cond, one);
    }
  };
  for (tree *t : PROGelems(PROGpart(prog, 2))) {
    bool guarded = PROGis(t, ':');
    const tree *g = guarded ? t->left : nullptr;
    std::vector<intcond> cs;
    F2Pconds(guarded ? t->right : t, decls, cmax, cs);
    if (cs.empty()) continue;
    note(cs, g);
    tree *c = F2Por(cs);
    made.push_back(treecompose(":", g ? treecompose("&", c, treecopy(g)) : c, F2Perraction(flag)));
  }
  // conjunct by conjunct: a value that cannot be stored drops its own
  // conjunct only (it could never hold), the rest still constrains
  std::vector<tree **> st{PROGpartref(prog, 1)};
  std::vector<tree **> conj;
  while (!st.empty()) {
    tree **s = st.back();
    st.pop_back();
    if (!*s) continue;
    if (PROGis(*s, '&')) {
      st.push_back(&(*s)->right);
      st.push_back(&(*s)->left);
    } else {
      conj.push_back(s);
    }
  }
  for (tree **s : conj) {
    std::vector<intcond> cs;
    F2Pconds(*s, decls, cmax, cs);
    if (cs.empty()) continue;
    note(cs, nullptr);
    tree *c = F2Por(cs);
    if (F2Ptrue(c)) {
      treefree(*s);
      *s = treecompose("=", treenum(1), treenum(1));
    }
    made.push_back(treecompose(":", c, F2Perraction(flag)));
  }
  std::vector<tree *> rev(made.rbegin(), made.rend());
  return PROGvec2list(rev);
}

tree *intcheckvlist(modrec *modules, tree *prog, const char *flag) {
  return F2Poverflows(modules, prog, flag, nullptr);
}

static tree *F2Pag(tree *p) { return treecompose("A", nullptr, treecompose("G", nullptr, p)); }

void F2Paddoverflow(prg *p, modrec *modules) {
  addvar2prog(p->prog, "err_x_");
  // no overflow has happened in an initial state
  tree **init = PROGpartref(p->prog, 1);
  *init = PROGand(*init, string2tree(std::string("err_x_=0")));
  std::vector<intcond> byvar;
  tree *ovf = F2Poverflows(modules, p->prog, nullptr, F2Poverflownames ? &byvar : nullptr);
  PROGsyncprocs(p);
  if (ovf) {
    tree **ts = PROGpartref(p->prog, 2);
    std::vector<tree *> v = PROGunlist(*ts);
    std::vector<tree *> add = PROGunlist(ovf);
    v.insert(v.end(), add.begin(), add.end());
    *ts = PROGvec2list(v);
    if (p->procs.empty()) {
      p->procs.assign(1, prgproc{});
      p->PRCNT = 1;
    }
    p->procs.back().n += (int)add.size();
    PROGsyncprocs(p);
  }
  if (FILE *f = utillogopen("logtmp.tmp", "a")) {
    std::fprintf(f, "f2p trs\n");
    treewrite(PROGpart(p->prog, 2), f);
    std::fprintf(f, "\n");
    std::fclose(f);
  }
  // the overflow check is the first property, then one per variable
  std::vector<tree *> props{F2Pag(string2tree(std::string("err_x_=0")))};
  F2Poverflowvars.clear();
  for (intcond &c : byvar) {
    props.push_back(F2Pag(treecompose("!", nullptr, c.cond)));
    F2Poverflowvars.push_back(c.var);
  }
  tree **pl = PROGpartref(p->prog, 4);
  for (tree *e : PROGunlist(*pl)) props.push_back(e);
  *pl = PROGvec2list(props);
}
