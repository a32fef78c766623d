// Discrete clocks: every step of a clocked module is one tick; constants
// compared with a clock (possibly fractional, "fractals") are scaled to
// whole ticks of 1/T.  Also turns the types "char" and iN into ranges.
#include "front/clk.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {
// Pre-order visit of every slot without recursion; f returns whether to descend.
template <class F>
void clkwalk(tree *&root, F f) {
  std::vector<tree **> st{&root};
  while (!st.empty()) {
    tree **s = st.back();
    st.pop_back();
    if (!*s || !f(*s)) continue;
    if ((*s)->right) st.push_back(&(*s)->right);
    if ((*s)->left) st.push_back(&(*s)->left);
  }
}

bool isop(const tree *t, char c) { return t && t->text[0] == c && t->text[1] == 0; }

tree *leaf(const std::string &s) {
  if (s.size() >= (size_t)TREE_TEXTLEN) utilerror("clock");
  return treecompose(s.c_str(), nullptr, nullptr);
}

void settext(tree *t, const std::string &s) {
  if (s.size() >= (size_t)TREE_TEXTLEN) utilerror("clock");
  std::memcpy(t->text, s.c_str(), s.size() + 1);
}

long long lcm(long long a, long long b) {
  long long g = gcd(a, b);
  if (g == 0) return 0;
  long long r = a / g * b;
  if (r > INT_MAX || r < 0) utilerror("clock");
  return r;
}

bool alldigits(const char *s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}
}  // namespace

long long gcd(long long a, long long b) {
  while (b) {
    long long t = a % b;
    a = b;
    b = t;
  }
  return a < 0 ? -a : a;
}

// The decimal text is read exactly (not through a binary fraction), so 0.3
// gives 3/10 and not 29999/100000.
tree *fractal(const char *x) {
  long long ip = 0, frac = 0;
  const char *p = x;
  for (; *p >= '0' && *p <= '9'; ++p) {
    ip = ip * 10 + (*p - '0');
    if (ip > INT_MAX) utilerror("syntax of fractals");
  }
  if (*p == '.') {
    ++p;
    for (int k = 0; k < 5; ++k) {
      frac *= 10;
      if (*p >= '0' && *p <= '9') frac += *p++ - '0';
    }
  }
  long long a = ip * 100000 + frac;
  long long n, d;
  if (a == 0) n = 0, d = 1;
  else if (a % 100000 == 0) n = a / 100000, d = 1;
  else {
    long long g = gcd(100000, a % 100000);
    n = a / g, d = 100000 / g;
  }
  if (n > INT_MAX) utilerror("syntax of fractals");
  return treecompose("/", leaf(std::to_string(n)), leaf(std::to_string(d)));
}

// One comparison of the clock with q: the scaled denominator (s >= 0) or the
// constant in ticks (s < 0).
static long long clkcst1(tree *&q, long long s) {
  if (q->text[0] >= '0' && q->text[0] <= '9') {
    tree *f = fractal(q->text);
    treefree(q);
    q = f;
  }
  if (!isop(q, '/') || !q->left || !q->right) utilerror("syntax of fractals");
  long long num = std::atoll(q->left->text), den = std::atoll(q->right->text);
  if (den <= 0) utilerror("syntax of fractals");
  if (s < 0) {
    long long v = (-s) * num / den;
    if (v > INT_MAX) utilerror("clock");
    treefree(q);
    q = treenum((int)v);
    return v;
  }
  den *= s;
  if (den > INT_MAX) utilerror("clock");
  settext(q->right, std::to_string(den));
  return den;
}

// Constants under prefix operators (properties such as AG c < 2.5, negated
// guards) are scaled as well: a node with one operand is descended.
int clkcheckcst(const char *name, tree *t, int s) {
  long long r = 1;
  bool root = true, single = false;
  long long rootv = 0;
  clkwalk(t, [&](tree *&n) {
    bool isroot = root;
    root = false;
    if (!n->left || !n->right) return true;
    bool l = std::strcmp(n->left->text, name) == 0, rr = std::strcmp(n->right->text, name) == 0;
    if (!l && !rr) return true;
    long long v = clkcst1(l ? n->right : n->left, s);
    if (isroot) single = true, rootv = v;
    r = s <= 0 ? (v > r ? v : r) : lcm(r, v);
    return false;
  });
  return (int)(single ? rootv : r);
}

void list2cn(tree *list) {
  for (tree *t = list; isop(t, ';'); t = t->right) t->text[0] = '&';
}

void treesubstitute(tree *&t, const char *name, const tree *repl) {
  clkwalk(t, [&](tree *&n) {
    if (!n->left && !n->right && std::strcmp(n->text, name) == 0) {
      treefree(n);
      n = treecopy(repl);
      return false;
    }
    return true;
  });
}

static void clktypes(tree *vars) {
  for (tree *d = vars; d; d = isop(d, ';') ? d->right : nullptr) {
    tree *e = isop(d, ';') ? d->left : d;
    if (!isop(e, ':') || !e->right) continue;
    char *ty = e->right->text;
    if (std::strcmp(ty, "char") == 0) settext(e->right, "0..127");
    else if (ty[0] == 'i' && alldigits(ty + 1)) {
      long long n = std::strlen(ty + 1) > 3 ? 99 : std::atoll(ty + 1);
      if (n > 31) utilerror("type");
      long long m = n <= 0 ? 0 : (1LL << n) - 1;
      settext(e->right, "0.." + std::to_string(m));
    }
  }
}

static bool isclock(const tree *e, long long &k) {
  if (!isop(e, ':') || !e->right || !e->left) return false;
  const char *ty = e->right->text;
  if (std::strncmp(ty, "clock", 5) != 0) return false;
  if (!ty[5]) return k = 1, true;
  if (!alldigits(ty + 5) || std::strlen(ty + 5) > 9) utilerror("type");
  k = std::atoll(ty + 5);
  if (k <= 0) utilerror("type");
  return true;
}

tree *clkcheckvlist(tree *body) {
  if (!isop(body, '#') || !isop(body->right, '#') || !isop(body->right->right, '#'))
    utilerror("clock");
  clktypes(body->left);
  std::vector<tree *> clocks;
  std::vector<long long> scale;
  for (tree *d = body->left; d; d = isop(d, ';') ? d->right : nullptr) {
    tree *e = isop(d, ';') ? d->left : d;
    long long k;
    if (isclock(e, k)) clocks.push_back(e), scale.push_back(k);
  }
  if (clocks.empty()) return nullptr;
  long long T = 1;
  for (size_t i = 0; i < clocks.size(); ++i) {
    long long f = clkcheckcst(clocks[i]->left->text, body->right, (int)scale[i]);
    T = lcm(T, f);
    settext(clocks[i]->right, "clock" + std::to_string(f));
  }
  tree *adv = nullptr, *hold = nullptr, *can = nullptr;
  tree **init = &body->right->left;
  tree **trans = &body->right->right->left;
  for (tree *c : clocks) {
    const char *name = c->left->text;
    long long m = clkcheckcst(name, body->right, (int)-T);
    settext(c->right, "clock" + std::to_string(m));
    if (m + 1 > INT_MAX) utilerror("clock");
    settext(c->right, "0.." + std::to_string(m + 1));
    // next value c + 1 while c <= m, then it stays at m + 1
    tree *a = treecompose(
        "=", leaf(name),
        treecompose("M",
                    treecompose("N", treecompose("{", leaf(name), treenum((int)m)),
                                treecompose("+", leaf(name), treenum(1))),
                    treecompose("N", treecompose("=", leaf(name), treenum((int)m + 1)), leaf(name))));
    adv = adv ? treecompose("&", adv, a) : a;
    tree *h = treecompose("=", leaf(name), leaf(name));
    hold = hold ? treecompose("&", hold, h) : h;
    tree *ca = treecompose("{", leaf(name), treenum((int)m));
    can = can ? treecompose("|", can, ca) : ca;
    tree *plus = treecompose("+", leaf(name), treenum(1));
    for (tree *d = *trans; d; d = isop(d, ';') ? d->right : nullptr) {
      tree *e = isop(d, ';') ? d->left : d;
      if (isop(e, ':')) treesubstitute(e->right, name, plus);
    }
    treefree(plus);
    tree *z = treecompose("=", leaf(name), treenum(0));
    tree **end = init;  // appended as the list's last element
    while (isop(*end, ';')) end = &(*end)->right;
    *end = *end ? treecompose(";", *end, z) : z;
  }
  list2cn(*init);
  // guarded transitions become conditions g -> a of the tick
  std::vector<tree *> imps, keep;
  tree *d = *trans;
  while (d) {
    tree *e = isop(d, ';') ? d->left : d;
    tree *next = isop(d, ';') ? d->right : nullptr;
    if (isop(d, ';')) {
      d->left = d->right = nullptr;
      treefree(d);
    }
    if (isop(e, ':')) {
      tree *imp = treecompose("|", treecompose("!", nullptr, e->left), e->right);
      e->left = e->right = nullptr;
      treefree(e);
      imps.push_back(imp);
    } else {
      keep.push_back(e);
    }
    d = next;
  }
  tree *rest = nullptr;
  for (size_t i = keep.size(); i-- > 0;) rest = rest ? treecompose(";", keep[i], rest) : keep[i];
  // right-nested conjunction of the conditions (long lists stay right spines)
  tree *P = nullptr;
  for (size_t i = imps.size(); i-- > 0;) P = P ? treecompose("&", imps[i], P) : imps[i];
  *trans = rest;
  tree *t1 = treecompose(":", treecompose("!", nullptr, treecopy(can)), hold);
  tree *t2 = treecompose(":", P ? treecompose("&", P, can) : can, adv);
  return treecompose(";", t1, t2);
}
