// Parser of compact expression text and the tree printers.
//
// A text is split at the weakest operator level present outside brackets.
// All split points of that level are found in one scan and the operands are
// chained to the right (a-b-c reads a-(b-c)), so a list of 100,000 elements
// is neither rescanned per element nor parsed by 100,000 nested calls.
#include <cctype>
#include <cstring>

#include <string>
#include <vector>

#include "tree/tree.h"
#include "tree/treeint.h"

const char *const OP1 = "*/%";
const char *const OP2 = "+-";
const char *const OP3 = ">=<?@{}B";
const char *const OP4 = "AEFGX!";
const char *const OP5 = "&";
const char *const OP6 = "|";
const char *const OP7 = "UR:";
const char *const OP8 = ";";
const char *const OP9 = "#";
const char *const DUALOPRS = "EAXXFGUR&|>{<}=B^_";

namespace {
struct leveltable {
  signed char lv[256];   // precedence level [1,9] of an operator character, 0 otherwise
  constexpr leveltable() : lv{} {
    const char *t[9] = {"*/%", "+-", ">=<?@{}B", "AEFGX!", "&", "|", "UR:", ";", "#"};
    for (int l = 0; l < 9; l++)
      for (const char *c = t[l]; *c; c++) lv[(unsigned char)*c] = (signed char)(l + 1);
  }
};
}  // namespace
static constexpr leveltable LEVELS;

static int oplevel(char c) { return LEVELS.lv[(unsigned char)c]; }

// Nesting beyond this is refused as "Syntax" instead of exhausting the stack;
// real models stay far below it.
constexpr int PARSE_MAXDEPTH = 2000;
static int PARSEDEPTH;

static std::vector<int> SPLITS;   // split points of the chains being built, nested calls push above

static tree *parse(char *s, int b, int e);

// A '-' at the start of an operand or right after another operator is a
// sign, not a subtraction: "a*-1" is a*(-1) and "-a+b" is (-a)+b.
static bool isunaryminus(const char *s, int b, int i) {
  return s[i] == '-' && (i == b || oplevel(s[i - 1]) != 0);
}

static bool isprefixop(char c) { return c && strchr(OP4, c) != nullptr; }

// One operator of a chain: an empty right operand drops the operator, an
// empty list element is skipped, and only prefix operators, a sign and the
// section separator may lack a left operand.
static tree *chainnode(char op, tree *l, tree *r) {
  if (!r) return l;
  if (!l) {
    if (op == ';') return r;
    if (!isprefixop(op) && op != '-' && op != '#') utilerror("Syntax");
  }
  char text[2] = {op, 0};
  return treecompose(text, l, r);
}

static bool inset(char c, int level, const char *ops) {
  return ops ? c && strchr(ops, c) : oplevel(c) == level;
}

// Splits s[b,e) at every operator of the set (a level or an explicit set)
// found outside brackets; null when there is none.
static tree *splitlevel(char *s, int b, int e, int level, const char *ops) {
  size_t base = SPLITS.size();
  int depth = 0;
  for (int i = b; i < e; i++) {
    char c = s[i];
    if (c == '(' || c == '[') {
      if (++depth < 0) utilerror("Syntax");
    } else if (c == ')' || c == ']') {
      depth--;
    } else if (depth == 0 && inset(c, level, ops) && !isunaryminus(s, b, i)) {
      SPLITS.push_back(i);
    }
  }
  size_t k = SPLITS.size() - base;
  if (k == 0) {
    if (s[b] == '-' && inset('-', level, ops)) return chainnode('-', nullptr, parse(s, b + 1, e));
    return nullptr;
  }
  tree *r = parse(s, SPLITS[base + k - 1] + 1, e);
  for (size_t j = k; j > 0; j--) {
    int at = SPLITS[base + j - 1];
    int from = j > 1 ? SPLITS[base + j - 2] + 1 : b;
    r = chainnode(s[at], parse(s, from, at), r);
  }
  SPLITS.resize(base);
  return r;
}

// The call's own parentheses become ':' and ';' and its top-level commas
// '|'; brackets inside an argument stay as they are.
static void rewritecall(char *s, int open, int e) {
  s[open] = ':';
  int depth = 0;
  for (int k = open + 1; k < e; k++) {
    char c = s[k];
    if (c == '(' || c == '[') {
      depth++;
    } else if (c == ')' || c == ']') {
      if (depth == 0 && c == ')') {
        s[k] = ';';
        return;
      }
      depth--;
    } else if (c == ',' && depth == 0) {
      s[k] = '|';
    }
  }
}

static tree *parseleaf(char *s, int b, int e) {
  int i = b;
  for (int count = 1; i < e; i++) {
    if (s[i] == '(') count++;
    if (s[i] == ')' && --count == 0) break;
  }
  int j = b;
  while (j < i && isalnum((unsigned char)s[j])) j++;
  if (j > b && j < i && s[j] == '(') {
    rewritecall(s, j, i);
    return parse(s, b, i);
  }
  if (i - b >= TREE_TEXTLEN) utilerror("string2tree");
  tree *t = treenewnode("treecompose");
  memcpy(t->text, s + b, i - b);
  t->text[i - b] = 0;
  return t;
}

// "x=*": the free choice is a leaf with an empty text.
static bool isfreechoice(const char *s, int b, int e) {
  if (s[b] != '*') return false;
  int i = b + 1;
  while (i < e && s[i] == ')') i++;
  return i == e;
}

static tree *parsetext(char *s, int b, int e) {
  if (isfreechoice(s, b, e)) return treecompose("", nullptr, nullptr);
  int depth = 0, weakest = 0;
  for (int i = b; i < e; i++) {
    char c = s[i];
    if (c == '(' || c == '[') {
      if (++depth < 0) utilerror("Syntax");
    } else if (c == ')' || c == ']') {
      depth--;
    } else if (depth == 0) {
      int l = oplevel(c);
      if (l > weakest && !(c == '-' && i > b && isunaryminus(s, b, i))) weakest = l;
    }
  }
  if (weakest > 0) return splitlevel(s, b, e, weakest, nullptr);
  if (s[b] == '(') return parse(s, b + 1, e);
  return parseleaf(s, b, e);
}

static tree *parse(char *s, int b, int e) {
  if (b >= e) return nullptr;
  if (++PARSEDEPTH > PARSE_MAXDEPTH) utilerror("Syntax");
  tree *t = parsetext(s, b, e);
  PARSEDEPTH--;
  return t;
}

// Brackets of a whole text must balance; "a)(" and "(a" alike are "Syntax".
// A bracket closed by the other kind ("(a]") is unbalanced too: the leaf it
// would leave could not be printed back.
static void checkbrackets(const char *s) {
  std::string open;
  for (; *s; s++) {
    if (*s == '(' || *s == '[') open += *s;
    if (*s == ')' || *s == ']') {
      if (open.empty() || open.back() != (*s == ')' ? '(' : '[')) utilerror("Syntax");
      open.pop_back();
    }
  }
  if (!open.empty()) utilerror("Syntax");
}

tree *string2tree(char *text) {
  if (!text) return nullptr;
  checkbrackets(text);
  PARSEDEPTH = 0;
  return parse(text, 0, (int)strlen(text));
}

tree *string2tree(const std::string &text) {
  std::string scratch(text);
  return string2tree(scratch.data());
}

tree *string2tree_local(char *text, const char *ops) {
  if (!text || !*text) return nullptr;
  int e = (int)strlen(text);
  return splitlevel(text, 0, e, 0, ops ? ops : "");
}

// ---- printers
//
// The printers keep pending work on a stack instead of recursing, so a left-
// or right-deep tree of any size prints without deepening the call stack.
// Tasks: print a subtree, print a node's text and then its right subtree,
// close a parenthesis.

namespace {
struct printtask {
  const tree *t;  // node the task is about
  char kind;      // 'v' subtree, 't' text then right subtree, ')' closing parenthesis
};
}  // namespace
static std::vector<printtask> PRINT;

// One printer: emit(text) writes a text, sep(t) what follows a node's text.
// Full mode parenthesises every operator node and writes an empty leaf "*".
template <class Emit, class Sep>
static void printtree(const tree *t, bool full, Emit emit, Sep sep) {
  size_t base = PRINT.size();
  PRINT.push_back({t, 'v'});
  while (PRINT.size() > base) {
    printtask k = PRINT.back();
    PRINT.pop_back();
    if (k.kind == ')') {
      emit(")");
      continue;
    }
    const tree *n = k.t;
    if (k.kind == 't') {
      emit(n->text);
      sep(n);
      n = n->right;
    }
    while (n) {
      bool wrap = full ? (n->left || n->right) : n->left != nullptr;
      if (wrap) {
        emit("(");
        PRINT.push_back({n, ')'});
        PRINT.push_back({n, 't'});
        n = n->left;
        continue;
      }
      emit(full && !n->right && !n->text[0] ? "*" : n->text);
      sep(n);
      n = n->right;
    }
  }
}

void treewrite(const tree *t, FILE *out) {
  if (!out) return;
  printtree(
      t, false, [out](const char *s) { fputs(s, out); },
      [out](const tree *n) {
        fputc(' ', out);
        if (n->left && (n->text[0] == ';' || n->text[0] == '#')) fputc('\n', out);
      });
}

std::string treewritetext(const tree *t) {
  std::string s;
  printtree(
      t, false, [&s](const char *x) { s += x; },
      [&s](const tree *n) {
        s += ' ';
        if (n->left && (n->text[0] == ';' || n->text[0] == '#')) s += '\n';
      });
  return s;
}

static void writes(const tree *t, std::string &buf) {
  printtree(t, false, [&buf](const char *s) { buf += s; }, [](const tree *) {});
}

static void setlength(std::string &buf, int pos) { buf.resize(pos > 0 ? (size_t)pos : 0); }

int treewrites(const tree *t, std::string &buf, int pos) {
  setlength(buf, pos);
  writes(t, buf);
  return (int)buf.size();
}

// Call syntax is read back by the parser, so every operator node is put in
// parentheses (prefix ones too: "(!a)=b" must not read as !(a=b)) and the
// free choice, a leaf with an empty text, is written "*".
static void writefull(const tree *t, std::string &buf) {
  printtree(t, true, [&buf](const char *s) { buf += s; }, [](const tree *) {});
}

static bool isname(const tree *t) {
  if (!t || t->left || t->right || !t->text[0]) return false;
  for (const char *c = t->text; *c; c++)
    if (!isalnum((unsigned char)*c)) return false;
  return true;
}

int treewritep(const tree *t, std::string &buf, int len, int mode) {
  setlength(buf, len);
  if (!t) return (int)buf.size();
  if (mode == 0) {
    if (strcmp(t->text, ":") == 0 && isname(t->left)) {
      buf += t->left->text;
      buf += '(';
      treewritep(t->right, buf, (int)buf.size(), 1);
      buf += ");";
    } else if (!t->left && !t->right) {
      buf += t->text;
      buf += "();";
    } else {
      writefull(t, buf);
      buf += ';';
    }
    return (int)buf.size();
  }
  for (; t && strcmp(t->text, "|") == 0; t = t->right) {
    writefull(t->left, buf);
    buf += ',';
  }
  writefull(t, buf);
  return (int)buf.size();
}

void treew(const tree *t) {
  printf("treew 0\n");
  treewrite(t, stdout);
  printf("treew 1\n");
}

void treeresetparse() {
  PARSEDEPTH = 0;
  SPLITS.clear();
  PRINT.clear();
}
