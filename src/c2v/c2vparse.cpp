// Reading a restricted C program: tokens (with comments, "#include" and
// object-like "#define" handled here), declarations, statements, and
// expressions with C's precedence and left-to-right grouping.  Names are
// resolved while reading, block by block, as C scopes them.
#include <cctype>
#include <functional>

#include "c2v/c2vint.h"

void C2Vunsupported(int line, const std::string &what) {
  throw C2Verror("ERROR:      unsupported C at line " + std::to_string(line) + ": " + what + "\n");
}

void C2Vunknown(int code, const std::string &what) {
  throw C2Verror("UNKNOWN " + std::to_string(code) + " " + what + "\n");
}

static const char *const C2Vpuncts[] = {
    "<<=", ">>=", "...", "->", "++", "--", "<<", ">>", "<=", ">=", "==", "!=", "&&", "||",
    "+=",  "-=",  "*=",  "/=", "%=", "&=", "|=", "^=", nullptr};

static bool C2Videntchar(char c) { return std::isalnum((unsigned char)c) || c == '_'; }

// One escape sequence after the backslash at s[i]; i ends after it.
static long long C2Vescape(const std::string &s, size_t &i, int line) {
  char c = i < s.size() ? s[i++] : 0;
  switch (c) {
    case 'n': return 10;
    case 't': return 9;
    case 'r': return 13;
    case '0': return 0;
    case '\\': return '\\';
    case '\'': return '\'';
    case '"': return '"';
    case 'a': return 7;
    case 'b': return 8;
    case 'f': return 12;
    case 'v': return 11;
    default: C2Vunsupported(line, std::string("escape sequence \\") + c);
  }
}

std::vector<C2Vtok> C2Vlex(const std::string &s, int line0,
                           const std::map<int, std::vector<std::string>> *sp,
                           std::map<std::string, std::vector<C2Vtok>> *macrotable) {
  std::vector<C2Vtok> out;
  std::map<std::string, std::vector<C2Vtok>> own;
  std::map<std::string, std::vector<C2Vtok>> &macros = macrotable ? *macrotable : own;
  int line = line0;
  auto inject = [&](int n) {  // assertions of the assertion file, before line n
    if (!sp) return;
    auto it = sp->find(n);
    if (it == sp->end()) return;
    for (const std::string &cond : it->second) {
      out.push_back({TK_ID, "lumet_assertion", 0, n});
      out.push_back({TK_PUNCT, "(", 0, n});
      out.push_back({TK_STR, cond, 0, n});
      out.push_back({TK_PUNCT, ")", 0, n});
      out.push_back({TK_PUNCT, ";", 0, n});
    }
  };
  inject(line);
  size_t i = 0;
  bool linestart = true;
  auto newline = [&]() {
    ++line;
    linestart = true;
    inject(line);
  };
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') {
      ++i;
      newline();
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      int l = line;
      i += 2;
      while (i < s.size() && !(s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/')) {
        if (s[i] == '\n') newline();
        ++i;
      }
      if (i >= s.size()) C2Vunsupported(l, "comment without end");
      i += 2;
      continue;
    }
    if (c == '#' && linestart) {  // a preprocessor line
      size_t e = s.find('\n', i);
      std::string dl = s.substr(i + 1, e == std::string::npos ? std::string::npos : e - i - 1);
      i = e == std::string::npos ? s.size() : e;
      size_t k = dl.find_first_not_of(" \t");
      std::string word;
      while (k != std::string::npos && k < dl.size() && C2Videntchar(dl[k])) word += dl[k++];
      if (word == "include" || word == "pragma") continue;
      if (word != "define") C2Vunsupported(line, "#" + word);
      while (k < dl.size() && (dl[k] == ' ' || dl[k] == '\t')) ++k;
      std::string name;
      while (k < dl.size() && C2Videntchar(dl[k])) name += dl[k++];
      if (name.empty()) C2Vunsupported(line, "#define without a name");
      if (k < dl.size() && dl[k] == '(') C2Vunsupported(line, "#define with parameters");
      // earlier definitions are expanded in the body now, so none can recur
      std::vector<C2Vtok> body = C2Vlex(dl.substr(k), line, nullptr, &macros);
      body.pop_back();  // its end mark
      macros[name] = body;
      continue;
    }
    linestart = false;
    if (std::isalpha((unsigned char)c) || c == '_') {
      std::string w;
      while (i < s.size() && C2Videntchar(s[i])) w += s[i++];
      auto m = macros.find(w);
      if (m != macros.end()) {
        for (C2Vtok t : m->second) {
          t.line = line;
          out.push_back(t);
        }
      } else {
        out.push_back({TK_ID, w, 0, line});
      }
      continue;
    }
    if (std::isdigit((unsigned char)c)) {
      std::string w;
      while (i < s.size() && (std::isalnum((unsigned char)s[i]))) w += s[i++];
      long long v = 0;
      size_t k = 0;
      int base = 10;
      if (w.size() > 1 && w[0] == '0' && (w[1] == 'x' || w[1] == 'X')) base = 16, k = 2;
      else if (w.size() > 1 && w[0] == '0') base = 8, k = 1;
      if (base == 16 && k == w.size()) C2Vunsupported(line, "number " + w);
      for (; k < w.size(); ++k) {
        int d = std::isdigit((unsigned char)w[k]) ? w[k] - '0'
                : std::isxdigit((unsigned char)w[k]) && base == 16 ? std::tolower(w[k]) - 'a' + 10
                                                                  : 99;
        if (d >= base) C2Vunsupported(line, "number " + w);
        v = v * base + d;
        if (v > 0x7fffffff) C2Vunsupported(line, "number " + w + " beyond int");
      }
      out.push_back({TK_NUM, w, v, line});
      continue;
    }
    if (c == '\'') {
      size_t k = i + 1;
      long long v;
      if (k < s.size() && s[k] == '\\') {
        ++k;
        v = C2Vescape(s, k, line);
      } else if (k < s.size() && s[k] != '\'' && s[k] != '\n') {
        v = (unsigned char)s[k++];
      } else {
        C2Vunsupported(line, "character constant");
      }
      if (k >= s.size() || s[k] != '\'') C2Vunsupported(line, "character constant");
      out.push_back({TK_NUM, s.substr(i, k + 1 - i), v, line});
      i = k + 1;
      continue;
    }
    if (c == '"') {
      std::string v;
      size_t k = i + 1;
      while (k < s.size() && s[k] != '"') {
        if (s[k] == '\n') C2Vunsupported(line, "string without end");
        if (s[k] == '\\' && k + 1 < s.size() && s[k + 1] == '"') {
          v += '"';  // kept as written: the text is read again as C
          k += 2;
          continue;
        }
        if (s[k] == '\\' && k + 1 < s.size()) {
          v += s[k];
          v += s[k + 1];
          k += 2;
          continue;
        }
        v += s[k++];
      }
      if (k >= s.size()) C2Vunsupported(line, "string without end");
      out.push_back({TK_STR, v, 0, line});
      i = k + 1;
      continue;
    }
    std::string p;
    for (int k = 0; C2Vpuncts[k]; ++k)
      if (s.compare(i, std::char_traits<char>::length(C2Vpuncts[k]), C2Vpuncts[k]) == 0) {
        p = C2Vpuncts[k];
        break;
      }
    if (p.empty()) p = std::string(1, c);
    if (std::string("{}()[];,=<>+-*/%!&|^~?:.").find(p[0]) == std::string::npos)
      C2Vunsupported(line, "character " + p);
    out.push_back({TK_PUNCT, p, 0, line});
    i += p.size();
  }
  out.push_back({TK_END, "", 0, line});
  return out;
}

namespace {

// Names that C programs may use but that the model does not hold.
const std::set<std::string> C2Vunmodelled = {"argc", "argv"};

struct Reader {
  C2Vprog &P;
  std::vector<C2Vtok> t;
  size_t k = 0;
  std::vector<std::map<std::string, C2Vvar *>> scopes;  // innermost last
  C2Vfun *fun = nullptr;                                // function being read
  int depth = 0;                                        // block depth inside the function
  int loops = 0;                                        // enclosing loops
  int switches = 0;                                     // enclosing switches
  std::vector<C2Vexpr *> calls;                         // resolved after reading

  Reader(C2Vprog &p) : P(p) {}

  const C2Vtok &cur() const { return t[k]; }
  bool is(const char *p) const { return (t[k].kind == TK_PUNCT || t[k].kind == TK_ID) && t[k].text == p; }
  bool accept(const char *p) {
    if (!is(p)) return false;
    ++k;
    return true;
  }
  void expect(const char *p) {
    if (!accept(p)) C2Vunsupported(cur().line, std::string("expected '") + p + "' before '" + show() + "'");
  }
  std::string show() const { return cur().kind == TK_END ? "end of file" : cur().text; }

  C2Vexpr *mk(int kind, int line) {
    P.exprs.push_back(C2Vexpr{});
    C2Vexpr *e = &P.exprs.back();
    e->kind = kind;
    e->line = line;
    return e;
  }
  C2Vexpr *num(long long v, int line) {
    C2Vexpr *e = mk(EX_NUM, line);
    e->val = v;
    return e;
  }
  C2Vstm *st(int kind, int line) {
    P.stms.push_back(C2Vstm{});
    C2Vstm *s = &P.stms.back();
    s->kind = kind;
    s->line = line;
    return s;
  }

  C2Vvar *lookup(const std::string &n) {
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) {
      auto f = it->find(n);
      if (f != it->end()) return f->second;
    }
    return nullptr;
  }

  // ---- expressions, weakest first
  C2Vexpr *expr() {
    C2Vexpr *e = assign();
    if (is(",")) C2Vunsupported(cur().line, "comma operator");
    return e;
  }

  C2Vexpr *assign() {
    C2Vexpr *l = cond();
    static const char *const ops[] = {"=", "+=", "-=", "*=", "/=", "%=", nullptr};
    for (int i = 0; ops[i]; ++i)
      if (is(ops[i])) {
        int line = cur().line;
        ++k;
        if (l->kind != EX_VAR && l->kind != EX_IDX) C2Vunsupported(line, "assignment to an expression");
        C2Vexpr *e = mk(EX_ASSIGN, line);
        e->op = ops[i];
        e->a = {l, assign()};
        return e;
      }
    if (is("<<=") || is(">>=") || is("&=") || is("|=") || is("^="))
      C2Vunsupported(cur().line, "operator " + cur().text);
    return l;
  }

  C2Vexpr *cond() {
    C2Vexpr *c = binary(0);
    if (!is("?")) return c;
    int line = cur().line;
    ++k;
    C2Vexpr *a = assign();
    expect(":");
    C2Vexpr *b = cond();
    if (c->kind == EX_NUM) return c->val ? a : b;
    C2Vexpr *e = mk(EX_COND, line);
    e->a = {c, a, b};
    return e;
  }

  // Binary levels, weakest first; each groups to the left as in C.
  static int level(const std::string &op) {
    static const std::vector<std::vector<std::string>> L = {
        {"||"}, {"&&"}, {"|"}, {"^"}, {"&"}, {"==", "!="}, {"<", "<=", ">", ">="},
        {"<<", ">>"}, {"+", "-"}, {"*", "/", "%"}};
    for (size_t i = 0; i < L.size(); ++i)
      for (const std::string &o : L[i])
        if (o == op) return (int)i;
    return -1;
  }

  C2Vexpr *binary(int lev) {
    if (lev == 10) return unary();
    C2Vexpr *l = binary(lev + 1);
    while (cur().kind == TK_PUNCT && level(cur().text) == lev) {
      std::string op = cur().text;
      int line = cur().line;
      if (op == "|" || op == "^" || op == "&" || op == "<<" || op == ">>")
        C2Vunsupported(line, "operator " + op);
      ++k;
      C2Vexpr *r = binary(lev + 1);
      l = fold(op, l, r, line);
    }
    return l;
  }

  // Constant operands are computed here, with C's int arithmetic.
  C2Vexpr *fold(const std::string &op, C2Vexpr *l, C2Vexpr *r, int line) {
    if (op == "&&" && l->kind == EX_NUM) return l->val ? truth(r, line) : num(0, line);
    if (op == "||" && l->kind == EX_NUM) return l->val ? num(1, line) : truth(r, line);
    if (l->kind == EX_NUM && r->kind == EX_NUM) {
      long long a = l->val, b = r->val, v = 0;
      if ((op == "/" || op == "%") && b == 0) C2Vunsupported(line, "division by zero");
      if (op == "+") v = a + b;
      else if (op == "-") v = a - b;
      else if (op == "*") v = a * b;
      else if (op == "/") v = a / b;
      else if (op == "%") v = a % b;
      else if (op == "<") v = a < b;
      else if (op == "<=") v = a <= b;
      else if (op == ">") v = a > b;
      else if (op == ">=") v = a >= b;
      else if (op == "==") v = a == b;
      else if (op == "!=") v = a != b;
      else if (op == "&&") v = a && b;
      else if (op == "||") v = a || b;
      if (v > 0x7fffffff || v < -0x7fffffff) C2Vunsupported(line, "constant beyond int");
      return num(v, line);
    }
    C2Vexpr *e = mk(EX_BIN, line);
    e->op = op;
    e->a = {l, r};
    return e;
  }

  // e used as a truth value gives 1 or 0, as C's && and || do.
  C2Vexpr *truth(C2Vexpr *e, int line) {
    if (e->kind == EX_NUM) return num(e->val != 0, line);
    C2Vexpr *n = mk(EX_BIN, line);
    n->op = "!=";
    n->a = {e, num(0, line)};
    return n;
  }

  C2Vexpr *unary() {
    int line = cur().line;
    if (accept("!")) {
      C2Vexpr *a = unary();
      if (a->kind == EX_NUM) return num(a->val == 0, line);
      C2Vexpr *e = mk(EX_UN, line);
      e->op = "!";
      e->a = {a};
      return e;
    }
    if (accept("-")) {
      C2Vexpr *a = unary();
      if (a->kind == EX_NUM) return num(-a->val, line);
      C2Vunsupported(line, "unary minus");
    }
    if (accept("+")) return unary();
    if (is("++") || is("--")) {
      std::string op = cur().text;
      ++k;
      C2Vexpr *a = unary();
      if (a->kind != EX_VAR && a->kind != EX_IDX) C2Vunsupported(line, op + " of an expression");
      C2Vexpr *e = mk(EX_INC, line);
      e->op = op;
      e->a = {a};
      return e;
    }
    if (is("~") || is("*") || is("&")) C2Vunsupported(line, "operator " + cur().text + " (prefix)");
    if (is("sizeof")) C2Vunsupported(line, "sizeof");
    if (is("(") && k + 1 < t.size() && t[k + 1].kind == TK_ID && istype(t[k + 1].text))
      C2Vunsupported(line, "cast");
    return postfix();
  }

  static bool istype(const std::string &w) {
    return w == "int" || w == "char" || w == "void" || w == "unsigned" || w == "signed" ||
           w == "long" || w == "short" || w == "float" || w == "double" || w == "const" ||
           w == "static" || w == "struct" || w == "union" || w == "enum" || w == "volatile" ||
           w == "_Bool" || w == "bool" || w == "extern" || w == "register" || w == "auto";
  }

  C2Vexpr *postfix() {
    C2Vexpr *e = primary();
    while (is("++") || is("--")) {
      C2Vexpr *n = mk(EX_INC, cur().line);
      n->op = cur().text;
      ++k;
      if (e->kind != EX_VAR && e->kind != EX_IDX) C2Vunsupported(n->line, n->op + " of an expression");
      n->a = {e};
      e = n;
    }
    if (is("[") || is("(") || is(".") || is("->")) C2Vunsupported(cur().line, "'" + cur().text + "' after an expression");
    return e;
  }

  C2Vexpr *primary() {
    const C2Vtok &tk = cur();
    int line = tk.line;
    if (tk.kind == TK_NUM) {
      ++k;
      return num(tk.val, line);
    }
    if (accept("(")) {
      C2Vexpr *e = expr();
      expect(")");
      return e;
    }
    if (tk.kind == TK_STR) C2Vunsupported(line, "string \"" + tk.text + "\" in an expression");
    if (tk.kind != TK_ID || istype(tk.text) || iskeyword(tk.text))
      C2Vunsupported(line, "'" + show() + "' in an expression");
    std::string n = tk.text;
    ++k;
    if (n == "getc" || n == "getchar" || n == "fgetc") {
      expect("(");
      for (int d = 1; d > 0; ++k) {  // the stream argument is not modelled
        if (cur().kind == TK_END) C2Vunsupported(line, "call of " + n);
        if (is("(")) ++d;
        if (is(")")) --d;
        if (d == 0) break;
      }
      ++k;
      return mk(EX_GETC, line);
    }
    if (is("(")) {
      if (lookup(n)) C2Vunsupported(line, "call of the variable " + n);
      ++k;
      C2Vexpr *e = mk(EX_CALL, line);
      e->op = n;
      if (!accept(")")) {
        do e->a.push_back(assign());
        while (accept(","));
        expect(")");
      }
      calls.push_back(e);
      return e;
    }
    C2Vvar *v = lookup(n);
    if (!v) {
      if (C2Vunmodelled.count(n)) C2Vunsupported(line, n + " is not modelled");
      C2Vunsupported(line, "undeclared name " + n);
    }
    if (accept("[")) {
      if (v->size < 0) C2Vunsupported(line, n + " is not an array");
      C2Vexpr *e = mk(EX_IDX, line);
      e->var = v;
      e->a = {expr()};
      expect("]");
      if (is("[")) C2Vunsupported(line, "array of arrays");
      if (e->a[0]->kind == EX_NUM && (e->a[0]->val < 0 || e->a[0]->val >= v->size))
        C2Vunsupported(line, "index " + std::to_string(e->a[0]->val) + " outside " + n);
      return e;
    }
    if (v->size >= 0) C2Vunsupported(line, "array " + n + " used without an index");
    C2Vexpr *e = mk(EX_VAR, line);
    e->var = v;
    return e;
  }

  static bool iskeyword(const std::string &w) {
    static const std::set<std::string> kw = {"if", "else", "while", "do", "for", "switch", "case",
                                             "default", "break", "continue", "return", "goto",
                                             "typedef", "sizeof"};
    return kw.count(w) > 0;
  }

  long long constant(const char *what) {
    int line = cur().line;
    C2Vexpr *e = cond();
    if (e->kind != EX_NUM) C2Vunsupported(line, std::string(what) + " is not a constant expression");
    return e->val;
  }

  // ---- declarations
  // "int" or "char" with qualifiers that change nothing here; "" when no type starts.
  std::string typeword() {
    while (is("const") || is("static") || is("register") || is("auto")) ++k;
    if (is("int") || is("char") || is("void")) return t[k++].text;
    if (cur().kind == TK_ID && istype(cur().text)) C2Vunsupported(cur().line, "type " + cur().text);
    return "";
  }

  C2Vvar *newvar(const std::string &name, const std::string &type, int line) {
    if (type == "void") C2Vunsupported(line, "void variable " + name);
    if (scopes.back().count(name)) C2Vunsupported(line, name + " declared twice");
    P.vars.push_back(C2Vvar{});
    C2Vvar *v = &P.vars.back();
    v->cname = name;
    v->type = type;
    v->fun = fun;
    scopes.back()[name] = v;
    return v;
  }

  // Initial values of an array: a brace list of constants or, for char, a string.
  void arrayinit(C2Vvar *v, bool sized, int line) {
    if (cur().kind == TK_STR && v->type == "char") {
      std::string s = cur().text;
      ++k;
      for (size_t i = 0; i < s.size(); ++i) {
        long long c = (unsigned char)s[i];
        if (s[i] == '\\') {
          ++i;
          size_t j = i;
          c = C2Vescape(s, j, line);
        }
        v->init.push_back(c);
      }
      v->init.push_back(0);
    } else {
      expect("{");
      if (!is("}")) {
        do {
          if (is("}")) break;
          v->init.push_back(constant("array initialiser"));
        } while (accept(","));
      }
      expect("}");
    }
    if (!sized) v->size = (int)v->init.size();
    if ((int)v->init.size() > v->size) {
      if (v->type == "char" && (int)v->init.size() == v->size + 1 && v->init.back() == 0) v->init.pop_back();
      else C2Vunsupported(line, "too many initialisers for " + v->cname);
    }
    if (v->size <= 0) C2Vunsupported(line, "array " + v->cname + " without elements");
  }

  // One declaration list after its type word; locals with values that are
  // not known at the start become assignments at their place.
  C2Vstm *declist(const std::string &type, bool global) {
    C2Vstm *blk = st(ST_BLOCK, cur().line);
    for (;;) {
      int line = cur().line;
      if (is("*")) C2Vunsupported(line, "pointer");
      if (cur().kind != TK_ID || iskeyword(cur().text) || istype(cur().text)) C2Vunknown(2, show());
      std::string name = t[k++].text;
      C2Vvar *v = newvar(name, type, line);
      bool sized = false;
      if (accept("[")) {
        if (!is("]")) {
          long long n = constant("array size");
          if (n <= 0 || n > 100000) C2Vunsupported(line, "array size " + std::to_string(n));
          v->size = (int)n;
          sized = true;
        } else {
          v->size = 0;
        }
        expect("]");
        if (is("[")) C2Vunsupported(line, "array of arrays");
      }
      if (accept("=")) {
        if (v->size >= 0) {
          if (!global && depth > 1) C2Vunsupported(line, "array initialiser inside a block");
          arrayinit(v, sized, line);
        } else {
          C2Vexpr *e = assign();
          if (e->kind == EX_NUM && (global || depth == 1)) {
            v->init = {e->val};
          } else if (global) {
            C2Vunsupported(line, "initial value of " + name + " is not a constant expression");
          } else {
            C2Vexpr *x = mk(EX_VAR, line);
            x->var = v;
            C2Vexpr *a = mk(EX_ASSIGN, line);
            a->op = "=";
            a->a = {x, e};
            C2Vstm *s = st(ST_EXPR, line);
            s->e = a;
            blk->list.push_back(s);
          }
        }
      } else if (v->size == 0) {
        C2Vunsupported(line, "array " + name + " without a size");
      }
      for (long long x : v->init) {
        if (x < 0) C2Vunsupported(line, "negative initial value of " + name);
        if (x > 127 && type == "char") C2Vunsupported(line, "initial value of " + name + " beyond char");
      }
      if (global) {
        v->global = true;
        P.globals.push_back(v);
      } else {
        fun->locals.push_back(v);
      }
      if (accept(";")) break;
      if (!accept(",")) C2Vunknown(2, show());
    }
    return blk;
  }

  // ---- statements
  C2Vstm *block() {
    C2Vstm *b = st(ST_BLOCK, cur().line);
    expect("{");
    scopes.emplace_back();
    ++depth;
    while (!is("}")) {
      if (cur().kind == TK_END) C2Vunsupported(cur().line, "block without '}'");
      b->list.push_back(statement());
    }
    ++k;
    --depth;
    scopes.pop_back();
    return b;
  }

  // A statement that is its own scope (body of if, while, ...).
  C2Vstm *substatement() {
    if (cur().kind == TK_ID && istype(cur().text)) C2Vunsupported(cur().line, "declaration as a branch");
    ++depth;
    C2Vstm *s = statement();
    --depth;
    return s;
  }

  C2Vexpr *paren() {
    expect("(");
    C2Vexpr *e = expr();
    expect(")");
    return e;
  }

  C2Vstm *statement() {
    int line = cur().line;
    if (is("{")) return block();
    if (accept(";")) return st(ST_SKIP, line);
    if (cur().kind == TK_ID && istype(cur().text)) {
      std::string ty = typeword();
      return declist(ty, false);
    }
    if (accept("if")) {
      C2Vstm *s = st(ST_IF, line);
      s->e = paren();
      s->s1 = substatement();
      if (accept("else")) s->s2 = substatement();
      return s;
    }
    if (accept("while")) {
      C2Vstm *s = st(ST_WHILE, line);
      s->e = paren();
      ++loops;
      s->s1 = substatement();
      --loops;
      return s;
    }
    if (accept("do")) {
      C2Vstm *s = st(ST_DO, line);
      ++loops;
      s->s1 = substatement();
      --loops;
      expect("while");
      s->e = paren();
      expect(";");
      return s;
    }
    if (accept("for")) {
      C2Vstm *s = st(ST_FOR, line);
      expect("(");
      scopes.emplace_back();
      ++depth;
      s->s1 = st(ST_BLOCK, line);
      if (cur().kind == TK_ID && istype(cur().text)) {
        std::string ty = typeword();
        s->s1->list.push_back(declist(ty, false));
      } else {
        exprlist(s->s1, ";");
      }
      if (!is(";")) s->e = expr();
      expect(";");
      s->s2 = st(ST_BLOCK, line);
      exprlist(s->s2, ")");
      ++loops;
      s->list.push_back(substatement());
      --loops;
      --depth;
      scopes.pop_back();
      return s;
    }
    if (accept("switch")) {
      C2Vstm *s = st(ST_SWITCH, line);
      s->e = paren();
      if (!is("{")) C2Vunsupported(line, "switch without a block");
      ++switches;
      s->s1 = block();
      --switches;
      return s;
    }
    if (accept("case")) {
      if (!switches) C2Vunsupported(line, "case outside a switch");
      C2Vstm *s = st(ST_CASE, line);
      s->e = num(constant("case label"), line);
      expect(":");
      return s;
    }
    if (accept("default")) {
      if (!switches) C2Vunsupported(line, "default outside a switch");
      expect(":");
      return st(ST_CASE, line);
    }
    if (accept("break")) {
      if (!loops && !switches) C2Vunsupported(line, "break outside a loop or switch");
      expect(";");
      return st(ST_BREAK, line);
    }
    if (accept("continue")) {
      if (!loops) C2Vunsupported(line, "continue outside a loop");
      expect(";");
      return st(ST_CONT, line);
    }
    if (accept("return")) {
      C2Vstm *s = st(ST_RETURN, line);
      if (!is(";")) s->e = expr();
      expect(";");
      if (s->e && fun->rtype == "void") C2Vunsupported(line, "return with a value in a void function");
      return s;
    }
    if (is("lumet_assertion")) {
      ++k;
      expect("(");
      if (cur().kind != TK_STR) C2Vunsupported(line, "lumet_assertion without a string");
      C2Vstm *s = st(ST_ASSERT, line);
      s->text = cur().text;
      ++k;
      expect(")");
      expect(";");
      std::map<std::string, C2Vvar *> names;
      for (auto &sc : scopes)
        for (auto &p : sc) names[p.first] = p.second;
      s->e = C2Vparsetext(P, s->text, line, names);
      P.asserts.push_back(s);
      return s;
    }
    if (is("goto")) C2Vunsupported(line, "goto");
    if (cur().kind == TK_ID && k + 1 < t.size() && t[k + 1].text == ":" && t[k + 1].kind == TK_PUNCT)
      C2Vunsupported(line, "label " + cur().text);
    C2Vstm *s = st(ST_EXPR, line);
    s->e = expr();
    expect(";");
    return s;
  }

  // Expression statements separated by ',' up to the closing token (for headers).
  void exprlist(C2Vstm *blk, const char *end) {
    if (accept(end)) return;
    do {
      C2Vstm *s = st(ST_EXPR, cur().line);
      s->e = assign();
      blk->list.push_back(s);
    } while (accept(","));
    expect(end);
  }

  // ---- top level
  void function(const std::string &rtype, const std::string &name, int line) {
    C2Vfun *f;
    auto it = P.fbyname.find(name);
    if (it != P.fbyname.end()) {
      f = it->second;
    } else {
      P.funs.push_back(C2Vfun{});
      f = &P.funs.back();
      f->cname = name;
      f->line = line;
      P.fbyname[name] = f;
      P.order.push_back(f);
    }
    f->rtype = rtype;
    fun = f;
    scopes.emplace_back();
    std::vector<C2Vvar *> params;
    if (!accept("(")) C2Vunknown(3, show());
    if (is("void") && t[k + 1].text == ")") ++k;
    if (!accept(")")) {
      for (;;) {
        int pl = cur().line;
        std::string ty = typeword();
        if (ty.empty() || ty == "void") C2Vunknown(4, show());
        if (name == "main" && (is("*") || (cur().kind == TK_ID && (t[k + 1].text == "[")))) {
          while (!is(",") && !is(")") && cur().kind != TK_END) ++k;  // argv: not modelled
        } else {
          if (is("*")) C2Vunsupported(pl, "pointer parameter");
          if (cur().kind != TK_ID) C2Vunknown(4, show());
          std::string pn = t[k++].text;
          if (is("[")) C2Vunsupported(pl, "array parameter");
          if (name != "main") {
            C2Vvar *v = newvar(pn, ty, pl);
            v->param = true;
            params.push_back(v);
          }
        }
        if (accept(")")) break;
        if (!accept(",")) C2Vunknown(4, show());
      }
    }
    if (accept(";")) {  // a prototype
      scopes.pop_back();
      fun = nullptr;
      return;
    }
    if (!is("{")) C2Vunknown(3, show());
    if (f->body) C2Vunsupported(line, "function " + name + " defined twice");
    f->params = params;
    f->line = line;
    depth = 0;
    f->body = block();
    f->endline = t[k - 1].line;
    scopes.pop_back();
    fun = nullptr;
  }

  void file() {
    scopes.emplace_back();  // file scope
    while (cur().kind != TK_END) {
      int line = cur().line;
      if (is("typedef") || is("struct") || is("enum") || is("union") || is("extern"))
        C2Vunsupported(line, cur().text);
      if (accept(";")) continue;
      if (is("lumet_assertion")) C2Vunsupported(line, "assertion outside a function");
      std::string ty = typeword();
      if (cur().kind != TK_ID) {
        if (ty.empty()) C2Vunsupported(line, "'" + show() + "' at file level");
        C2Vunknown(2, show());
      }
      if (t[k + 1].text == "(" && t[k + 1].kind == TK_PUNCT) {
        std::string name = t[k++].text;
        function(ty.empty() ? "int" : ty, name, line);
        continue;
      }
      if (ty.empty()) C2Vunsupported(line, "'" + show() + "' at file level");
      declist(ty, true);
    }
  }
};

}  // namespace

C2Vexpr *C2Vparsetext(C2Vprog &P, const std::string &text, int line,
                      const std::map<std::string, C2Vvar *> &names) {
  Reader r(P);
  r.t = C2Vlex(text, line, nullptr, &P.macros);
  for (C2Vtok &tk : r.t) tk.line = line;  // the text sits on one C line
  r.scopes.emplace_back(names);
  if (r.cur().kind == TK_END) C2Vunsupported(line, "empty assertion");
  C2Vexpr *e = r.expr();
  if (r.cur().kind != TK_END) C2Vunsupported(line, "'" + r.show() + "' in the assertion \"" + text + "\"");
  if (!r.calls.empty()) C2Vunsupported(line, "call in the assertion \"" + text + "\"");
  return e;
}

void C2Vread(C2Vprog &P, const std::string &source, const std::map<int, std::vector<std::string>> &sp) {
  P.lines.assign(1, "");
  size_t b = 0;
  for (;;) {
    size_t e = source.find('\n', b);
    P.lines.push_back(source.substr(b, e == std::string::npos ? std::string::npos : e - b));
    if (e == std::string::npos) break;
    b = e + 1;
  }
  Reader r(P);
  r.t = C2Vlex(source, 1, &sp, &P.macros);
  for (const C2Vtok &tk : r.t)
    if (tk.kind == TK_ID) P.idents.insert(tk.text);
  r.file();
  for (C2Vexpr *c : r.calls) {
    auto it = P.fbyname.find(c->op);
    if (it == P.fbyname.end() || !it->second->body)
      C2Vunsupported(c->line, "call of " + c->op + ", which is not defined in the program");
    if (c->op == "main") C2Vunsupported(c->line, "call of main");
    c->fun = it->second;
    if (c->a.size() != c->fun->params.size())
      C2Vunsupported(c->line, "call of " + c->op + " with " + std::to_string(c->a.size()) + " arguments");
  }
  auto m = P.fbyname.find("main");
  if (m == P.fbyname.end() || !m->second->body) C2Vunsupported(r.cur().line, "no function main");
}
