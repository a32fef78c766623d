// Tree nodes: construction, copy/free/replace, comparison, search, rewriting
// and traversal. The walks keep their pending subtrees on explicit stacks,
// so neither long lists (right spines) nor conjunctions folded to the left
// deepen the call stack.
#include "tree/tree.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "tree/check.h"
#include "tree/treeint.h"

FILE *lmtlog = nullptr;
void (*utilexithook)(int status) = nullptr;
std::string utilwhy;

void utilexit(int status) {
  if (utilexithook) utilexithook(status);
  exit(status);
}

int Xlog = 0;

std::string utilworkdir;

std::string utilworkfile(const char *name) {
  if (utilworkdir.empty()) return name;
  return utilworkdir.back() == '/' ? utilworkdir + name : utilworkdir + "/" + name;
}

FILE *utillogopen(const char *name, const char *mode) {
  return Xlog ? nullptr : fopen(utilworkfile(name).c_str(), mode);
}

void utilerror(const char *tag) {
  fflush(stdout);
  if (lmtlog) fflush(lmtlog);
  fprintf(stderr, "%s error\n", tag);
  fflush(stderr);
  utilwhy = std::string(tag) + " error";
  utilexit(0);
}

void (*treepollhook)() = nullptr;
static uint64_t treemade;           // nodes allocated, for the poll

tree *treenewnode(const char *op) {
  tree *t = new (std::nothrow) tree{};
  if (!t) utilerror(op);
  LUM_OWN(t);
  if (!(++treemade & (TREEPOLL - 1)) && treepollhook) treepollhook();
  return t;
}

bool (*treesharedhook)(const tree *t) = nullptr;

void treedelete(tree *t) {
  LUM_CHECK(!treesharedhook || !treesharedhook(t));   // shared nodes go with their store
  LUM_DISOWN(t);
  delete t;
}

void treesettext(tree *t, const char *s, const char *op) {
  size_t n = s ? strlen(s) : 0;
  if (n >= (size_t)TREE_TEXTLEN) utilerror(op);
  memcpy(t->text, s ? s : "", n);
  t->text[n] = 0;
}

int treeleadnum(const char *s, long long *v) {
  if (!isdigit((unsigned char)s[0])) return 0;
  long long x = 0;
  for (int i = 0; isdigit((unsigned char)s[i]) && x < 100000000000000000LL; i++)
    x = x * 10 + (s[i] - '0');   // capped: the sum with an int stays in 64 bits
  *v = x;
  return 1;
}

// Pending subtrees of the walks. A walk works above the size it found, so a
// callback may start another walk.
static std::vector<tree *> STACK;

struct walkframe {
  tree *t;      // node being visited
  tree **slot;  // where the rewritten node goes (treedopost)
  int state;    // 0 enter left, 1 enter right, 2 finish
};
static std::vector<walkframe> WALK;

static void popto(size_t base) { STACK.resize(base); }

// ---- construction

tree *treecompose(const char *text, tree *left, tree *right) {
  tree *t = treenewnode("treecompose");
  treesettext(t, text, "treecompose");
  t->left = left;
  t->right = right;
  return t;
}

tree *treenum(int n) {
  char buf[24];
  snprintf(buf, sizeof buf, "%i", n);
  return treecompose(buf, nullptr, nullptr);
}

tree *treeconst(int v) { return treecompose(v ? "^" : "_", nullptr, nullptr); }

tree *treevarconstr(const char *name, int lo, int hi) {
  tree *le = treecompose("{", treecompose(name, nullptr, nullptr), treenum(hi));
  if (lo == 0) return le;
  tree *ge = treecompose("{", treenum(lo), treecompose(name, nullptr, nullptr));
  return treecompose("&", ge, le);
}

tree *treeconstab(int flag, int k) {
  char buf[24];
  snprintf(buf, sizeof buf, "%ix", k);
  tree *v = treecompose(buf, nullptr, nullptr);
  tree *nv = treecompose("!", nullptr, treecompose(buf, nullptr, nullptr));
  return treecompose(flag ? "|" : "&", v, nv);   // v|!v is TRUE, v&!v is FALSE
}

tree *eqstate(int a, int b, int c, int e, int f) {
  if (f == 0) return treeconst(1);
  long long g = f < 0 ? 1 : (long long)f + 1;
  char l[24], r[24];
  snprintf(l, sizeof l, "%lld", (a - 1) * g + b);
  snprintf(r, sizeof r, "%lld", (c - 1) * g + e);
  return treecompose("=", treecompose(l, nullptr, nullptr), treecompose(r, nullptr, nullptr));
}

// ---- copy, free, replace

tree *treecopy(const tree *t) {
  static std::vector<std::pair<const tree *, tree **>> todo;   // source and the link to fill
  tree *root = nullptr;
  todo.push_back({t, &root});
  while (!todo.empty()) {
    auto [s, slot] = todo.back();
    todo.pop_back();
    for (; s; s = s->left) {   // pre-order keeps the walk in allocation order
      tree *n = treenewnode("treecompose");
      memcpy(n->text, s->text, TREE_TEXTLEN);
      *slot = n;
      if (s->right) todo.push_back({s->right, &n->right});
      slot = &n->left;
    }
  }
  return root;
}

// Frees t except the node keep (whose children must already be detached).
// Rotating left children into the right spine frees any shape in O(n)
// without a stack.
static void treefreeexcept(tree *t, const tree *keep) {
  while (t) {
    if (t->left) {
      tree *l = t->left;
      t->left = l->right;
      l->right = t;
      t = l;
    } else {
      tree *r = t->right;
      if (t != keep) treedelete(t);
      t = r;
    }
  }
}

void treefree(tree *t) { treefreeexcept(t, nullptr); }

// The source may lie inside the destination ("replace a node by its own
// operand"): its children are taken first and its record is spared while
// the old subtrees of dst are freed.
void treereplace(tree *dst, tree *src) {
  if (!dst || dst == src) return;
  if (!src) {
    treefree(dst->left);
    treefree(dst->right);
    dst->left = dst->right = nullptr;
    dst->text[0] = 0;
    return;
  }
  tree *l = src->left, *r = src->right;
  char text[TREE_TEXTLEN];
  memcpy(text, src->text, TREE_TEXTLEN);
  src->left = src->right = nullptr;
  treefreeexcept(dst->left, src);
  treefreeexcept(dst->right, src);
  treedelete(src);
  memcpy(dst->text, text, TREE_TEXTLEN);
  dst->left = l;
  dst->right = r;
}

int nodereplace(tree *node, const char *name, const tree *repl) {
  if (!node || strcmp(node->text, name) != 0) return 0;
  tree *c = treecopy(repl);   // copied first: repl may lie inside node
  treefree(node->left);
  treefree(node->right);
  if (c) {
    memcpy(node->text, c->text, TREE_TEXTLEN);
    node->left = c->left;
    node->right = c->right;
    treedelete(c);
  } else {
    node->text[0] = 0;
    node->left = node->right = nullptr;
  }
  return 1;
}

// ---- comparison, size, search

int treediff(const tree *a, const tree *b) {
  static std::vector<std::pair<const tree *, const tree *>> todo;
  todo.clear();
  todo.push_back({a, b});
  while (!todo.empty()) {
    auto [x, y] = todo.back();
    todo.pop_back();
    for (; x && y; x = x->left, y = y->left) {
      if (strcmp(x->text, y->text) != 0) return 1;
      if (x->right || y->right) todo.push_back({x->right, y->right});
    }
    if (x != y) return 1;
  }
  return 0;
}

int treesize(const tree *t) {
  size_t base = STACK.size();
  int n = 0;
  STACK.push_back(const_cast<tree *>(t));
  while (STACK.size() > base) {
    const tree *c = STACK.back();
    STACK.pop_back();
    for (; c; c = c->left) {
      n++;
      if (c->right) STACK.push_back(c->right);
    }
  }
  return n;
}

int treesizeof(char op, const tree *t) {
  size_t base = STACK.size();
  int n = 0;
  STACK.push_back(const_cast<tree *>(t));
  while (STACK.size() > base) {
    const tree *c = STACK.back();
    STACK.pop_back();
    for (; c; c = c->left) {
      if (c->text[0] != op) {
        n++;
        break;
      }
      if (c->right) STACK.push_back(c->right);
    }
  }
  return n;
}

int treematch(const char *text, const char *s, int n) {
  return n > 0 ? strncmp(text, s, n) == 0 : strcmp(text, s) == 0;
}

tree *treesearch(const char *s, int n, tree *t) {
  size_t base = STACK.size();
  STACK.push_back(t);
  while (STACK.size() > base) {
    tree *c = STACK.back();
    STACK.pop_back();
    if (!c) continue;
    if (treematch(c->text, s, n)) {
      popto(base);
      return c;
    }
    STACK.push_back(c->right);   // left subtree first: pre-order
    STACK.push_back(c->left);
  }
  return nullptr;
}

static bool isandor(const tree *t) {
  return t && (t->text[0] == '&' || t->text[0] == '|') && t->text[1] == 0;
}

static tree *searchvaratom(const char *s, int n, const tree *t) {
  if (t && t->left && treematch(t->left->text, s, n)) return treecopy(t);
  return nullptr;
}

// Post-order over the "&"/"|" nodes with the partial results on a stack.
static std::vector<tree *> RESULTS;   // partial results of treesearchvarall

tree *treesearchvarall(const char *s, int n, const tree *t) {
  std::vector<tree *> &results = RESULTS;
  size_t base = WALK.size(), rbase = results.size();
  WALK.push_back({const_cast<tree *>(t), nullptr, 0});
  while (WALK.size() > base) {
    walkframe &w = WALK.back();
    tree *c = w.t;
    if (!isandor(c)) {
      WALK.pop_back();
      results.push_back(searchvaratom(s, n, c));
    } else if (w.state < 2) {
      tree *next = w.state == 0 ? c->left : c->right;
      w.state++;
      WALK.push_back({next, nullptr, 0});
    } else {
      WALK.pop_back();
      tree *r = results.back();
      results.pop_back();
      tree *l = results.back();
      results.pop_back();
      results.push_back(l && r ? treecompose(c->text, l, r) : l ? l : r);
    }
  }
  tree *r = results.back();
  results.resize(rbase);
  return r;
}

tree *treesearchvarlist(const char *s, int n, tree *list) {
  for (tree *e = listgetone(list, 0); e; e = listgetone(list, 1))
    if (e->left && treematch(e->left->text, s, n)) return e;
  return nullptr;
}

int treesearchvarlistnum(const char *s, int n, tree *list) {
  int i = 0;
  for (tree *e = listgetone(list, 0); e; e = listgetone(list, 1), i++)
    if (e->left && treematch(e->left->text, s, n)) return i;
  return -1;
}

// ---- rewriting

void treereplacestring(tree *t, const char *s, const char *r) {
  size_t base = STACK.size();
  STACK.push_back(t);
  while (STACK.size() > base) {
    tree *c = STACK.back();
    STACK.pop_back();
    for (; c; c = c->left) {
      stringreplacesubstring(c->text, s, r);
      if (c->right) STACK.push_back(c->right);
    }
  }
}

static void addnumber(tree *t, long long k, bool cond, long long bound) {
  size_t base = STACK.size();
  STACK.push_back(t);
  while (STACK.size() > base) {
    tree *c = STACK.back();
    STACK.pop_back();
    for (; c; c = c->left) {
      long long v;
      if (treeleadnum(c->text, &v) && (!cond || v > bound)) {
        char buf[32];
        snprintf(buf, sizeof buf, "%lld", v + k);
        treesettext(c, buf, "treeaddnumber");
      }
      if (c->right) STACK.push_back(c->right);
    }
  }
}

void treeaddnumber(tree *t, int k) { addnumber(t, k, false, 0); }

void treeaddnumberconditional(tree *t, int k, int bound) { addnumber(t, k, true, bound); }

tree *treetr(const tree *t, int a, int b, int c) {
  tree *r = treecopy(t);
  long long ac = (long long)a * c;
  long long shift = (long long)(b - a - 1) * c;
  long long bound = (long long)c * (a + 1);
  addnumber(r, ac, false, 0);
  addnumber(r, shift, true, bound);
  return r;
}

static tree *bitleaf(long long v) {
  char buf[24];
  snprintf(buf, sizeof buf, "%lld", v);
  return treecompose(buf, nullptr, nullptr);
}

static tree *neg(tree *t) { return treecompose("!", nullptr, t); }

// x_k = bit k of value i, y_k = bit k of value j; equality is the left-nested
// conjunction of (!x|y)&(x|!y), inequality the disjunction of (x|y)&(!x|!y).
static tree *bitframe(bool eq, long long i, long long j, int w) {
  tree *acc = nullptr;
  for (int k = 1; k <= w; k++) {
    long long x = i * w + k, y = j * w + k;
    tree *e;
    if (eq)
      e = treecompose("&", treecompose("|", neg(bitleaf(x)), bitleaf(y)),
                      treecompose("|", bitleaf(x), neg(bitleaf(y))));
    else
      e = treecompose("&", treecompose("|", bitleaf(x), bitleaf(y)),
                      treecompose("|", neg(bitleaf(x)), neg(bitleaf(y))));
    acc = acc ? treecompose(eq ? "&" : "|", acc, e) : e;
  }
  return acc;
}

void eqstateconstruct(tree *t, int w) {
  size_t base = STACK.size();
  STACK.push_back(t);
  while (STACK.size() > base) {
    tree *c = STACK.back();
    STACK.pop_back();
    for (; c; c = c->left) {
      bool eq = strcmp(c->text, "=") == 0, ne = strcmp(c->text, "B") == 0;
      long long i, j;
      if ((eq || ne) && c->left && c->right && treeleadnum(c->left->text, &i) &&
          treeleadnum(c->right->text, &j)) {
        if (tree *r = bitframe(eq, i, j, w)) treereplace(c, r);
        break;   // the new subtree is not searched again
      }
      if (c->right) STACK.push_back(c->right);
    }
  }
}

// ---- traversal

tree *treedopost(tree *t, tree *(*f)(tree *)) {
  tree *result = nullptr;
  if (!t) return nullptr;
  size_t base = WALK.size();
  WALK.push_back({t, &result, 0});
  while (WALK.size() > base) {
    walkframe &w = WALK.back();
    tree *c = w.t;
    if (w.state < 2) {
      tree **next = w.state == 0 ? &c->left : &c->right;
      w.state++;
      if (*next) WALK.push_back({*next, next, 0});   // w is not used after the push
    } else {
      tree **slot = w.slot;
      WALK.pop_back();
      *slot = f(c);
    }
  }
  return result;
}

void treedopostvoid(tree *t, void (*f)(tree *)) {
  if (!t) return;
  size_t base = WALK.size();
  WALK.push_back({t, nullptr, 0});
  while (WALK.size() > base) {
    walkframe &w = WALK.back();
    tree *c = w.t;
    if (w.state < 2) {
      tree *next = w.state == 0 ? c->left : c->right;
      w.state++;
      if (next) WALK.push_back({next, nullptr, 0});
    } else {
      WALK.pop_back();
      f(c);
    }
  }
}

void treedoprevoid(tree *t, int (*f)(tree *)) {
  size_t base = STACK.size();
  STACK.push_back(t);
  while (STACK.size() > base) {
    tree *c = STACK.back();
    STACK.pop_back();
    if (f(c) || !c) continue;
    STACK.push_back(c->right);
    STACK.push_back(c->left);
  }
}

void treeresetwalks() {
  STACK.clear();
  WALK.clear();
  RESULTS.clear();
}

void treereset() {
  treeresetwalks();
  treeresetlists();
  treeresetparse();
}
