// Small helpers of the front end: node making, lists, declaration lookup.
#include <cstdarg>
#include <cstring>

#include "front/progint.h"

tree *PROGmk(const std::string &text, tree *l, tree *r, const char *tag) {
  if (text.size() >= (size_t)TREE_TEXTLEN) utilerror(tag);
  return treecompose(text.c_str(), l, r);
}

void PROGsettext(tree *t, const std::string &s, const char *tag) {
  if (s.size() >= (size_t)TREE_TEXTLEN) utilerror(tag);
  std::memcpy(t->text, s.c_str(), s.size() + 1);
}

std::vector<tree *> PROGelems(tree *list, char op) {
  std::vector<tree *> v;
  while (list && PROGis(list, op)) {
    if (list->left) v.push_back(list->left);
    list = list->right;
  }
  if (list) v.push_back(list);
  return v;
}

std::vector<tree *> PROGunlist(tree *list, char op) {
  std::vector<tree *> v;
  while (list && PROGis(list, op)) {
    tree *cell = list;
    if (cell->left) v.push_back(cell->left);
    list = cell->right;
    cell->left = cell->right = nullptr;
    treefree(cell);
  }
  if (list) v.push_back(list);
  return v;
}

std::vector<tree **> PROGslots(tree *&list) {
  std::vector<tree **> v;
  tree **s = &list;
  while (*s && PROGis(*s, ';')) {
    v.push_back(&(*s)->left);
    s = &(*s)->right;
  }
  if (*s) v.push_back(s);
  return v;
}

tree *PROGvec2list(const std::vector<tree *> &v, char op) {
  tree *r = nullptr;
  const char text[2] = {op, 0};
  for (size_t i = v.size(); i-- > 0;) r = r ? treecompose(text, v[i], r) : v[i];
  return r;
}

tree *PROGand(tree *a, tree *b) {
  if (!a) return b;
  if (!b) return a;
  return treecompose("&", a, b);
}

std::string PROGkey(const char *name) {
  const char *b = std::strchr(name, '[');
  return b ? std::string(name, b - name + 1) : std::string(name);
}

std::unordered_map<std::string, tree *> PROGdecls(tree *vars) {
  std::unordered_map<std::string, tree *> m;
  for (tree *d : PROGelems(vars))
    if (PROGis(d, ':') && d->left) m.emplace(PROGkey(d->left->text), d);
  return m;
}

void PROGmarkvc(tree *&t, const std::unordered_map<std::string, tree *> &decls) {
  PROGwalk(t, [&](tree *&n) {
    if (PROGlower(n->text[0])) {
      std::string mark = decls.count(PROGkey(n->text)) ? "V" : "C";
      PROGsettext(n, mark + n->text, "name");
    }
    return true;
  });
}

bool PROGindex(const char *name, std::string &out) {
  const char *b = std::strchr(name, '[');
  const char *e = std::strrchr(name, ']');
  if (!b || !e || e < b) return false;
  out.assign(b + 1, e - b - 1);
  return true;
}

long long PROGhi(const char *type) { return ran(type, 1); }
long long PROGlo(const char *type) { return ran(type, 0); }

void PROGlog(const char *fmt, const char *s) {
  if (lmtlog) std::fprintf(lmtlog, fmt, s);
}

// The atoms of an action: operands of its "&" and "|" chains.
void PROGatoms(tree *a, std::vector<tree *> &out) {
  std::vector<tree *> st{a};
  while (!st.empty()) {
    tree *n = st.back();
    st.pop_back();
    if (!n) continue;
    if (PROGis(n, '&') || PROGis(n, '|')) {
      st.push_back(n->right);
      st.push_back(n->left);
    } else {
      out.push_back(n);
    }
  }
}
