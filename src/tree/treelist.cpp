// Lists: right-leaning chains of ";" cells, the last element standing alone.
// All operations walk the chain in loops; none recurses along it.
#include <vector>

#include "tree/tree.h"
#include "tree/treeint.h"

static tree *CURSOR1;   // cursor of listgetone, listget1n, listtraverse, treesearchvarlist
static tree *CURSOR2;   // cursor of listgetone2 only

static bool iscell(const tree *t) { return t && t->text[0] == ';'; }

static tree *cursorstep(tree **cur, tree *list, int more) {
  if (!more) *cur = list;
  tree *c = *cur;
  if (!c) return nullptr;
  if (iscell(c)) {
    *cur = c->right;
    return c->left;
  }
  *cur = nullptr;
  return c;
}

int listlength(const tree *list) {
  if (!list) return 0;
  int n = 1;
  for (; iscell(list); list = list->right) n++;
  return n;
}

tree *listgetone(tree *list, int more) { return cursorstep(&CURSOR1, list, more); }

tree *listgetone2(tree *list, int more) { return cursorstep(&CURSOR2, list, more); }

tree *listget1n(tree *list, int i) {
  CURSOR1 = list;
  if (i <= 0) return nullptr;
  tree *e = nullptr;
  for (int k = 0; k < i; k++) {
    if (!CURSOR1) return nullptr;
    e = cursorstep(&CURSOR1, nullptr, 1);
  }
  return e;
}

// Walks with its own cursor, so f may iterate other lists; the shared
// cursor ends at the end of the list as before.
void listtraverse(tree *list, void (*f)(tree *)) {
  tree *cur = list;
  while (cur) f(cursorstep(&cur, nullptr, 1));
  CURSOR1 = nullptr;
}

tree *listmerge(tree *a, tree *b) {
  if (!a) return b;
  if (!b) return a;
  tree *last = a;
  while (iscell(last)) last = last->right;
  // The last element moves into a fresh node; its old record becomes the cell.
  tree *e = treenewnode("treecompose");
  *e = *last;
  treesettext(last, ";", "listmerge");
  last->left = e;
  last->right = b;
  return a;
}

static std::vector<tree *> ELEMS;   // scratch for listcombone, nested calls push above

static void pushelements(const tree *l) {
  if (!l) return;
  for (; iscell(l); l = l->right) ELEMS.push_back(l->left);
  ELEMS.push_back(const_cast<tree *>(l));
}

// Right fold: f(a1, b1, f(a2, b2, ... f(an, bn, empty))). A shorter list is
// padded with empty elements.
tree *listcombone(tree *(*f)(tree *, tree *, tree *), tree *a, tree *b) {
  size_t base = ELEMS.size();
  pushelements(a);
  size_t na = ELEMS.size() - base;
  pushelements(b);
  size_t nb = ELEMS.size() - base - na;
  size_t n = na > nb ? na : nb;
  tree *r = nullptr;
  for (size_t i = n; i > 0; i--) {
    tree *x = i - 1 < na ? ELEMS[base + i - 1] : nullptr;
    tree *y = i - 1 < nb ? ELEMS[base + na + i - 1] : nullptr;
    r = f(x, y, r);
  }
  ELEMS.resize(base);
  return r;
}

// Puts n - m new elements in front of list (which has m elements).
static tree *lengthen(tree *list, int m, int n, const tree *model, bool dist) {
  auto mk = [&]() -> tree * { return dist ? treecopy(model) : treeconst(0); };
  if (m >= n) return list;
  if (m == 0) {
    list = mk();
    m = 1;
  }
  for (; m < n; m++) list = treecompose(";", mk(), list);
  return list;
}

static tree *combine(tree *(*f)(tree *, tree *, tree *), const tree *a, const tree *b, bool dist) {
  int na = listlength(a), nb = listlength(b);
  tree *ca = treecopy(a), *cb = treecopy(b);
  if (na < nb) ca = lengthen(ca, na, nb, a, dist);
  if (nb < na) cb = lengthen(cb, nb, na, b, dist);
  tree *r = listcombone(f, ca, cb);
  treefree(ca);
  treefree(cb);
  return r;
}

tree *listcombine(tree *(*f)(tree *, tree *, tree *), const tree *a, const tree *b) {
  return combine(f, a, b, false);
}

tree *listcombinedist(tree *(*f)(tree *, tree *, tree *), const tree *a, const tree *b) {
  return combine(f, a, b, true);
}

void treeresetlists() {
  CURSOR1 = CURSOR2 = nullptr;
  ELEMS.clear();
}
