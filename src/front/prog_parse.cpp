// Module parser: the preprocessed one-line text becomes the list of module
// records, main module first.
#include <cstring>

#include "front/progint.h"
#include "tree/check.h"

static bool ishash(const tree *t) { return PROGis(t, '#'); }

// Every body gets the full shape "#"(vars, "#"(init, "#"(trans, rest))) so
// the later steps never meet a missing section.
static tree *PROGnormalise(tree *body) {
  if (!ishash(body)) body = treecompose("#", body, nullptr);
  if (!ishash(body->right)) body->right = treecompose("#", body->right, nullptr);
  tree *r = body->right;
  if (!r->left) r->left = string2tree(std::string("1=1"));
  if (!ishash(r->right)) r->right = treecompose("#", r->right, nullptr);
  return body;
}

// Instances in the main module's transition section: only each statement's
// own outer parentheses and top-level commas are rewritten, so index
// expressions inside the arguments keep theirs.
static std::string PROGrewriteinstance(const std::string &s) {
  size_t open = s.find('(');
  if (open == std::string::npos) return s;
  std::string out = s.substr(0, open) + ":";
  int depth = 0;
  size_t i = open + 1;
  size_t argstart = out.size();
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '(' || c == '[') ++depth;
    if (c == ']') --depth;
    if (c == ')') {
      if (depth == 0) break;
      --depth;
    }
    out += (c == ',' && depth == 0) ? '|' : c;
  }
  if (out.size() == argstart) out += '1';  // name() : no parameters
  if (i < s.size()) out += s.substr(i + 1);
  return out;
}

static std::string PROGrewritetrans(const std::string &sec) {
  std::string out;
  size_t start = 0;
  int depth = 0;
  for (size_t i = 0; i <= sec.size(); ++i) {
    char c = i < sec.size() ? sec[i] : ';';
    if (c == '(' || c == '[') ++depth;
    if (c == ')' || c == ']') --depth;
    if (c == ';' && depth <= 0) {
      out += PROGrewriteinstance(sec.substr(start, i - start));
      if (i < sec.size()) out += ';';
      start = i + 1;
    }
  }
  return out;
}

modrec *PROGgetmain(std::string text, int mode) {
  if (mode == 0) {
    for (size_t p = text.find("();"); p != std::string::npos; p = text.find("();", p))
      text.replace(p, 2, ":1");
    size_t h1 = text.find('#');
    size_t h2 = h1 == std::string::npos ? h1 : text.find('#', h1 + 1);
    if (h2 != std::string::npos) {
      size_t h3 = text.find('#', h2 + 1);
      size_t len = (h3 == std::string::npos ? text.size() : h3) - (h2 + 1);
      text.replace(h2 + 1, len, PROGrewritetrans(text.substr(h2 + 1, len)));
    }
  }
  modrec *m = new modrec{};
  LUM_OWN(m);
  m->kind = 'V';
  m->body = PROGnormalise(string2tree(text));
  return m;
}

modrec *PROGgetmodule(const std::string &text, char kind) {
  size_t close = text.find(')');
  if (close == std::string::npos) utilerror("module");
  std::string head = text.substr(0, close + 1);
  for (char &c : head) {
    if (c == '(') c = ':';
    else if (c == ')') c = ';';
    else if (c == ',') c = '|';
  }
  modrec *m = new modrec{};
  LUM_OWN(m);
  m->kind = kind;
  m->header = string2tree(head);
  if (!PROGis(m->header, ':')) m->header = treecompose(":", m->header, treenum(1));
  if (!m->header->left) utilerror("module");
  m->body = PROGnormalise(string2tree(text.substr(close + 1)));
  return m;
}

// After preprocessing the only upper-case 'M' left begins "MODULE".
static size_t PROGnextdef(const std::string &t, size_t from) {
  size_t m = t.find('M', from);
  size_t p = t.find("PROCEDURE", from);
  return m < p ? m : p;
}

modrec *PROGtxt2modules(const std::string &text) {
  size_t pos;
  if (text.compare(0, 4, "MAIN") == 0) pos = 4;
  else if (text.compare(0, 3, "LUM") == 0) pos = 3;
  else utilerror("LUM must be specified at the beginning of the input file.");
  size_t e = PROGnextdef(text, pos);
  if (e == std::string::npos) return PROGgetmain(text.substr(pos), 1);
  modrec *head = PROGgetmain(text.substr(pos, e - pos), text.compare(e, 6, "MODULE") == 0 ? 0 : 1);
  modrec *tail = head;
  while (e != std::string::npos) {
    char kind;
    size_t klen;
    if (text.compare(e, 6, "MODULE") == 0) kind = 'M', klen = 6;
    else if (text.compare(e, 9, "PROCEDURE") == 0) kind = 'P', klen = 9;
    else utilerror("module");
    size_t n = PROGnextdef(text, e + klen);
    size_t end = n == std::string::npos ? text.size() : n;
    tail->next = PROGgetmodule(text.substr(e + klen, end - e - klen), kind);
    tail = tail->next;
    e = n;
  }
  return head;
}

modrec *PROGfindmodule(modrec *modules, const char *name) {
  for (modrec *m = modules; m; m = m->next)
    if (m->header && m->header->left && std::strcmp(m->header->left->text, name) == 0) return m;
  return nullptr;
}
