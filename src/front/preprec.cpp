// Record types and tuple assignments, rewritten while blanks are still in
// the text.
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "front/prep.h"

// Record name characters: lower-case letters and digits.
static bool recchar(char c) { return (c >= 'a' && c <= 'z') || PREPdigit(c); }
// While walking over a declared variable, its index belongs to it.
static bool recvarchar(char c) { return recchar(c) || c == '.' || c == '[' || c == ']'; }

bool PREPisrecord(const std::string &text, size_t pos) {
  if (text.compare(pos, 6, "record") != 0) return false;
  if (pos > 0 && PREPidchar(text[pos - 1])) return false;
  if (pos + 6 < text.size() && PREPidchar(text[pos + 6])) return false;
  size_t b = pos;
  while (b > 0 && PREPblank(text[b - 1])) b--;
  if (b == 0 || text[b - 1] != ':') return false;
  size_t a = pos + 6;
  while (a < text.size() && PREPblank(text[a])) a++;
  return a < text.size() && text[a] == '{';
}

// The access to a record variable whose name ends just before text[a]
// ('.' or '['), rewritten in place with the same length: N.f -> N_f and
// N[i].f -> N_f[i].  The index is the bracket text that balances the '[' and
// must be followed by '.'; otherwise nothing changes.
static void rewriteaccess(std::string &text, size_t a) {
  size_t n = text.size();
  if (text[a] == '.') {
    text[a] = '_';
    return;
  }
  size_t j = a;
  for (int depth = 0; j < n; j++) {
    if (text[j] == '[') depth++;
    else if (text[j] == ']' && --depth == 0) break;
  }
  if (j + 1 >= n || text[j + 1] != '.') return;
  size_t f = j + 2, fe = f;
  while (fe < n && recchar(text[fe])) fe++;
  std::string moved = "_" + text.substr(f, fe - f) + text.substr(a, j + 1 - a);
  text.replace(a, fe - a, moved);
}

// Rewrites the accesses in text[p, e) to the record variables declared so
// far; a name counts where it is not preceded by a lower-case letter or digit.
static size_t accesses(std::string &text, size_t p, size_t e,
                       const std::unordered_set<std::string> &declared) {
  size_t a = p;
  while (a < e && recchar(text[a])) a++;
  if (a < text.size() && (text[a] == '.' || text[a] == '[') &&
      declared.count(text.substr(p, a - p)))
    rewriteaccess(text, a);
  return a;
}

static void accessesin(std::string &text, size_t p, size_t e,
                       const std::unordered_set<std::string> &declared) {
  while (p < e) {
    if (recchar(text[p]) && (p == 0 || !recchar(text[p - 1]))) p = accesses(text, p, e, declared);
    else p++;
  }
}

// Declarations "f : t" of a record body, written as "N_fS:t;" each.
static std::string fields(const std::string &body, const std::string &N, const std::string &S) {
  std::string decls, compact;
  for (char c : body)
    if (!PREPblank(c)) compact += c;
  tree *list = string2tree(compact);
  for (const tree *t = list; t;) {
    const tree *el = t;
    bool cell = t->text[0] == ';' && t->text[1] == 0;
    if (cell) el = t->left;
    if (el && std::strcmp(el->text, ":") == 0 && el->left && el->right) {
      decls += N;
      decls += '_';
      decls += el->left->text;
      decls += S;
      decls += ':';
      if (el->right->left || el->right->right) {   // a type expression, such as 0..N+1
        std::string ty;
        treewrites(el->right, ty, 0);
        decls += ty;
      } else {
        decls += el->right->text;
      }
      decls += ';';
    }
    t = cell ? t->right : nullptr;
  }
  treefree(list);
  return decls;
}

// "N : record { f : t; ... }" becomes "N_f:t;..." and the accesses to N after
// it are renamed.  One left-to-right pass: text before the current position
// is final, a declaration activates its name for the rest of the text, so
// each record costs its own declaration, not a pass over the whole text.  The
// name is found by walking back from the ':' over the text already written;
// every character before the name is kept.
std::string PREPreplaceRECORD(std::string text) {
  if (text.find("record") == std::string::npos) return text;
  std::unordered_set<std::string> declared;
  bool more = true;   // false after an unterminated declaration
  std::string out;
  out.reserve(text.size());
  size_t n = text.size();
  for (size_t p = 0; p < n;) {
    char c = text[p];
    if (more && c == 'r' && PREPisrecord(text, p)) {
      size_t lb = text.find('{', p), rb = text.find('}', lb);
      if (rb == std::string::npos) {
        std::printf("ERROR:      record without '}'\n");
        more = false;
        continue;
      }
      size_t q = out.size();
      while (q > 0 && PREPblank(out[q - 1])) q--;
      bool colon = q > 0 && out[q - 1] == ':';
      if (colon) q--;
      while (q > 0 && PREPblank(out[q - 1])) q--;
      size_t ne = q;
      while (q > 0 && recvarchar(out[q - 1])) q--;
      std::string N = out.substr(q, ne - q), S;
      size_t ib = N.find('[');
      if (ib != std::string::npos) {
        S = N.substr(ib);
        N.resize(ib);
      }
      if (!colon || N.empty() || !recchar(N[0])) {
        std::printf("ERROR:      record without a name\n");
        out.append(text, p, 6);
        p += 6;
        continue;
      }
      accessesin(text, lb + 1, rb, declared);
      out.resize(q);
      out += fields(text.substr(lb + 1, rb - lb - 1), N, S);
      p = rb + 1;
      while (p < n && (text[p] == ';' || PREPblank(text[p]))) p++;
      size_t k = 0;   // accesses are matched on the name's first run of name characters
      while (k < N.size() && recchar(N[k])) k++;
      declared.insert(N.substr(0, k));
    } else if (recchar(c) && (p == 0 || !recchar(text[p - 1]))) {
      size_t a = accesses(text, p, n, declared);
      out.append(text, p, a - p);
      p = a;
    } else {
      out += c;
      p++;
    }
  }
  return out;
}

void PREPreplaceRECORD1(std::string &text, size_t from, const std::string &name) {
  size_t k = 0;
  while (k < name.size() && recchar(name[k])) k++;
  if (k == 0) return;
  accessesin(text, from, text.size(), {name.substr(0, k)});
}

std::vector<std::string> PREPcreatevlist(const std::string &text, size_t first, size_t last) {
  std::vector<std::string> v;
  size_t s = first;
  for (size_t i = first; i <= last; i++) {
    if (i == last || text[i] == ',') {
      v.push_back(text.substr(s, i - s));
      s = i + 1;
    }
  }
  return v;
}

void PREPwritevlist(const std::vector<std::string> &names,
                    const std::vector<std::string> &comps, std::string &out) {
  for (size_t i = 0; i < names.size() && i < comps.size(); i++) {
    if (i > 0) out += '&';
    out += names[i];
    out += '=';
    out += comps[i];
  }
}

// Matching bracket of text[p] inside [lo, hi), walking in direction dir.
static size_t matchparen(const std::string &text, size_t p, size_t lo, size_t hi, int dir) {
  int depth = 0;
  for (size_t i = p; i >= lo && i < hi; i += dir) {
    if (text[i] == '(') depth -= dir;
    else if (text[i] == ')') depth += dir;
    if (depth == 0) return i;
    if (i == lo && dir < 0) break;
  }
  return std::string::npos;
}

// One segment text[s, e): "(a, b) = (x, y)" becomes "a=x&b=y" and blanks.
static void tuple(std::string &text, size_t s, size_t e, bool quiet) {
  int depth = 0;
  bool comma = false;
  size_t eq = std::string::npos;
  for (size_t i = e; i-- > s;) {
    char c = text[i];
    if (c == ')') depth++;
    else if (c == '(') depth--;
    else if (c == ',') comma = true;
    else if (c == '=' && depth == 0) { eq = i; break; }
  }
  if (eq == std::string::npos || !comma) return;
  size_t l = eq;
  while (l > s && PREPblank(text[l - 1])) l--;
  if (l == s || text[l - 1] != ')') return;
  size_t lclose = l - 1, lopen = matchparen(text, lclose, s, e, -1);
  if (lopen == std::string::npos) return;
  size_t r = eq + 1;
  while (r < e && PREPblank(text[r])) r++;
  if (r >= e || text[r] != '(') return;
  size_t rclose = matchparen(text, r, s, e, 1);
  if (rclose == std::string::npos) return;
  std::vector<std::string> names = PREPcreatevlist(text, lopen + 1, lclose);
  std::vector<std::string> comps = PREPcreatevlist(text, r + 1, rclose);
  if (names.size() != comps.size()) {
    if (!quiet)
      std::printf("ERROR:      tuple assignment of %zu names and %zu values ignored\n",
                names.size(), comps.size());
    return;
  }
  std::string out;
  PREPwritevlist(names, comps, out);
  // the rewrite is shorter than the span: brackets, commas and '=' go
  text.replace(lopen, out.size(), out);
  for (size_t i = lopen + out.size(); i <= rclose; i++) text[i] = ' ';
}

void PREPreplaceASSEQ(std::string &text, bool quiet) {
  size_t n = text.size();
  for (size_t s = 0; s <= n;) {
    size_t e = s;
    while (e < n && text[e] != ';' && text[e] != '&') e++;
    tuple(text, s, e, quiet);
    s = e + 1;
  }
}
