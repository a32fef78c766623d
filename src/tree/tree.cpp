// Tree nodes: construction, copy/free/replace, comparison, search, rewriting
// and traversal. Every walk loops along the right child and recurses only
// into the left one, so right-leaning chains (lists of 100,000 transitions,
// long conjunctions) never deepen the stack.
#include "tree/tree.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "tree/treeint.h"

FILE *lmtlog = nullptr;

void utilerror(const char *tag) {
  fflush(stdout);
  if (lmtlog) fflush(lmtlog);
  fprintf(stderr, "%s error\n", tag);
  fflush(stderr);
  exit(0);
}

tree *treenewnode(const char *op) {
  tree *t = new (std::nothrow) tree{};
  if (!t) utilerror(op);
  return t;
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

// Scratch stack shared by the walks that must see a whole right spine before
// acting (post-order); nested calls push above their caller's part.
static std::vector<tree *> SPINE;

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
  tree *root = nullptr;
  tree **slot = &root;
  for (; t; t = t->right) {
    tree *n = treenewnode("treecompose");
    memcpy(n->text, t->text, TREE_TEXTLEN);
    n->left = treecopy(t->left);
    *slot = n;
    slot = &n->right;
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
      if (t != keep) delete t;
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
  delete src;
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
    delete c;
  } else {
    node->text[0] = 0;
    node->left = node->right = nullptr;
  }
  return 1;
}

// ---- comparison, size, search

int treediff(const tree *a, const tree *b) {
  while (a && b) {
    if (strcmp(a->text, b->text) != 0) return 1;
    if (treediff(a->left, b->left)) return 1;
    a = a->right;
    b = b->right;
  }
  return a != b;
}

int treesize(const tree *t) {
  int n = 0;
  for (; t; t = t->right) n += 1 + treesize(t->left);
  return n;
}

int treesizeof(char op, const tree *t) {
  int n = 0;
  for (; t; t = t->right) {
    if (t->text[0] != op) return n + 1;
    n += treesizeof(op, t->left);
  }
  return n;
}

int treematch(const char *text, const char *s, int n) {
  return n > 0 ? strncmp(text, s, n) == 0 : strcmp(text, s) == 0;
}

tree *treesearch(const char *s, int n, tree *t) {
  for (; t; t = t->right) {
    if (treematch(t->text, s, n)) return t;
    if (tree *f = treesearch(s, n, t->left)) return f;
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

// Right spine of "&"/"|" nodes is collected first so that a long conjunction
// is folded bottom-up without recursion along it.
tree *treesearchvarall(const char *s, int n, const tree *t) {
  size_t base = SPINE.size();
  while (isandor(t)) {
    SPINE.push_back(const_cast<tree *>(t));
    t = t->right;
  }
  tree *r = searchvaratom(s, n, t);
  for (size_t i = SPINE.size(); i > base; i--) {
    const tree *c = SPINE[i - 1];
    tree *l = treesearchvarall(s, n, c->left);
    if (l && r) r = treecompose(c->text, l, r);
    else if (l) r = l;
  }
  SPINE.resize(base);
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
  for (; t; t = t->right) {
    stringreplacesubstring(t->text, s, r);
    treereplacestring(t->left, s, r);
  }
}

static void addnumber(tree *t, long long k, bool cond, long long bound) {
  for (; t; t = t->right) {
    long long v;
    if (treeleadnum(t->text, &v) && (!cond || v > bound)) {
      char buf[32];
      snprintf(buf, sizeof buf, "%lld", v + k);
      treesettext(t, buf, "treeaddnumber");
    }
    addnumber(t->left, k, cond, bound);
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
  for (; t; t = t->right) {
    bool eq = strcmp(t->text, "=") == 0, ne = strcmp(t->text, "B") == 0;
    long long i, j;
    if ((eq || ne) && t->left && t->right && treeleadnum(t->left->text, &i) &&
        treeleadnum(t->right->text, &j)) {
      tree *r = bitframe(eq, i, j, w);
      if (r) treereplace(t, r);
      return;
    }
    eqstateconstruct(t->left, w);
  }
}

// ---- traversal

tree *treedopost(tree *t, tree *(*f)(tree *)) {
  if (!t) return nullptr;
  size_t base = SPINE.size();
  for (tree *c = t; c; c = c->right) SPINE.push_back(c);
  for (size_t i = base; i < SPINE.size(); i++) {
    tree *c = SPINE[i];   // nested calls may move SPINE
    c->left = treedopost(c->left, f);
  }
  tree *r = nullptr;
  for (size_t i = SPINE.size(); i > base; i--) {
    tree *c = SPINE[i - 1];
    c->right = r;
    r = f(c);
  }
  SPINE.resize(base);
  return r;
}

void treedopostvoid(tree *t, void (*f)(tree *)) {
  if (!t) return;
  size_t base = SPINE.size();
  for (tree *c = t; c; c = c->right) SPINE.push_back(c);
  for (size_t i = base; i < SPINE.size(); i++) treedopostvoid(SPINE[i]->left, f);
  for (size_t i = SPINE.size(); i > base; i--) f(SPINE[i - 1]);
  SPINE.resize(base);
}

void treedoprevoid(tree *t, int (*f)(tree *)) {
  for (;;) {
    if (f(t) || !t) return;
    treedoprevoid(t->left, f);
    t = t->right;
  }
}
