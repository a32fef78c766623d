// Preprocessor passes: built-ins, DEFINE section, enumerations, transition
// families, STEP, and the pipeline over one model file.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "front/prep.h"

static void addslot(const std::string &name, const std::string &repl) {
  REPsetslot(cc, name, repl);
  cc++;
}

static void addbuiltins() {
  static const char *const words[][2] = {
      {"TRUE", "1=1"},      {"FALSE", "1=0"},      {"VAR", "   "},       {"INIT", "#"},
      {"TRANS", "#"},       {"SPEC", "#"},         {"PROC", "#"},        {"FAIRNESS", "#1=0;"},
      {"INV", "#1=0;"},     {"ASSUMPTION", "#1=1;"}, {"GUARANTEE", "#1=1;"}, {"!=", "B"},
      {"<=", "{"},          {">=", "}"},           {":=", "="},          {"RETURN", "ret_=1"}};
  for (auto &w : words) addslot(w[0], w[1]);
  char q[4] = {'\'', 0, '\'', 0};
  for (char c = 'A'; c <= 'Z'; c++) { q[1] = c; addslot(q, std::to_string((int)c)); }
  for (char c = 'a'; c <= 'z'; c++) { q[1] = c; addslot(q, std::to_string((int)c)); }
  for (char c = '0'; c <= '9'; c++) { q[1] = c; addslot(q, std::to_string((int)c)); }
  for (char c : {':', ';', ' '}) { q[1] = c; addslot(q, std::to_string((int)c)); }
  addslot("'\\n'", "10");
}

// DEFINE section: one "name = value" per line, up to the first "VAR".
static void readdefines(const std::string &text) {
  size_t d = text.find("DEFINE"), v = text.find("VAR");
  if (d == std::string::npos || (v != std::string::npos && v < d)) return;
  size_t n = text.size(), p = d + 6;
  for (;;) {
    while (p < n && !PREPidchar(text[p])) p++;
    if (p >= n || text.compare(p, 3, "VAR") == 0) break;
    bool stored = false;
    size_t used = repgetdef(text, p, cc, stored);
    if (stored) cc++;
    p += used > 0 ? used : 1;
    while (p < n && PREPblank(text[p])) p++;
  }
}

// Position just after the header ("LUM" or "MAIN", whichever comes first).
static size_t findheader(const std::string &text) {
  size_t l = text.find("LUM"), m = text.find("MAIN");
  if (l == std::string::npos && m == std::string::npos) return std::string::npos;
  if (m == std::string::npos || (l != std::string::npos && l < m)) return l + 3;
  return m + 4;
}

// One enumeration text[lb..rb] (braces included): each item becomes a
// constant; the braces become the range "0..n-1", padded to the old width.
static void enumeration(const std::string &text, size_t lb, size_t rb, std::string &out) {
  int k = 0;
  for (size_t i = lb + 1; i < rb;) {
    if (PREPblank(text[i]) || text[i] == ',') { i++; continue; }
    size_t j = i;
    while (j < rb && !PREPblank(text[j]) && text[j] != ',') j++;
    addslot(text.substr(i, j - i), std::to_string(k++));
    i = j;
  }
  std::string range = "0.." + std::to_string(k - 1);
  out += range;
  if (range.size() < rb - lb + 1) out.append(rb - lb + 1 - range.size(), ' ');
}

// Every VAR section from the first one on, up to its upper-case 'I': record
// bodies are skipped, enumerations replaced.  A range longer than its
// enumeration ({a}) makes the text grow.
static void enumerations(std::string &text, size_t start) {
  std::string out;
  out.reserve(text.size());
  out.append(text, 0, start);
  size_t n = text.size(), p = start;
  while (p < n) {
    size_t v = text.find("VAR", p);
    if (v == std::string::npos) break;
    out.append(text, p, v - p);
    p = v;
    while (p < n && text[p] != 'I') {
      if (text[p] == 'r' && PREPisrecord(text, p)) {
        size_t rb = text.find('}', p);
        size_t e = rb == std::string::npos ? n : rb + 1;
        out.append(text, p, e - p);
        p = e;
      } else if (text[p] == '{') {
        size_t rb = text.find('}', p + 1);
        if (rb == std::string::npos) { out += text[p++]; continue; }   // stray brace
        enumeration(text, p, rb, out);
        p = rb + 1;
      } else {
        out += text[p++];
      }
    }
  }
  if (p < n) out.append(text, p, std::string::npos);
  text = std::move(out);
}

std::string PREPreplaceENUM(std::string text) {
  REPadoptpending();
  addbuiltins();                                          // E1
  readdefines(text);                                      // E2
  size_t h = findheader(text);                            // E3
  if (h != std::string::npos) {
    size_t v = text.find("VAR", h);
    if (v == std::string::npos) {
      std::printf("ERROR:      VAR not found\n");
    } else {
      // a main module without variables: its sections are not erased up to
      // the first definition's VAR
      size_t m = std::min(text.find("MODULE", h), text.find("PROCEDURE", h));
      if (v < m)
        for (size_t i = h; i < v; i++) text[i] = ' ';
      enumerations(text, v);                              // E4
    }
  }
  REPexpandreplacements();                                // E5
  std::string out;                                        // E6
  stringkstring(text, cleft, cright, clen, cc, out);
  std::string().swap(text);
  REPclearnames();                                        // no lookups by name from here on
  cc = 0;                                                 // E7
  REPforp(out);
  for (int pass = 0; pass < 2 && cc > 0; pass++) {        // E8
    std::string next;
    stringkstring(out, cleft, cright, clen, cc, next);
    out.swap(next);
  }
  std::vector<std::string>().swap(cleft);                 // E9
  std::vector<int>().swap(clen);
  std::vector<std::string>().swap(cright);
  REPclearnames();
  cc = 0;
  out.shrink_to_fit();
  return out;
}

// ---- transition families

static bool startsdef(const std::string &text, size_t p) {
  return text.compare(p, 6, "MODULE") == 0 || text.compare(p, 9, "PROCEDURE") == 0;
}

// End (exclusive) of the statement starting at p: just after the next ';',
// or at the next '#', definition keyword or text end.
static size_t stmtend(const std::string &text, size_t p) {
  for (size_t n = text.size(); p < n; p++) {
    char c = text[p];
    if (c == ';') return p + 1;
    if (c == '#' || ((c == 'M' || c == 'P') && startsdef(text, p))) return p;
  }
  return text.size();
}

static std::string compact(const std::string &s) {
  std::string r;
  for (char c : s)
    if (!PREPblank(c)) r += c;
  return r;
}

// The first module's TRANS section follows the second '#'.  A statement that
// begins with "goto" continues the one before it; the scan ends at '#', at
// the text end, or where a MODULE or PROCEDURE definition begins.
void REPforp(const std::string &text) {
  size_t h1 = text.find('#');
  if (h1 == std::string::npos) return;
  size_t h2 = text.find('#', h1 + 1);
  if (h2 == std::string::npos) return;
  size_t n = text.size(), p = h2 + 1;
  for (;;) {
    while (p < n && PREPblank(text[p])) p++;
    if (p >= n || text[p] == '#' || startsdef(text, p)) break;
    size_t first = stmtend(text, p), e = first;
    for (;;) {
      if (text[e - 1] != ';') break;
      size_t q = e;
      while (q < n && PREPblank(text[q])) q++;
      if (text.compare(q, 4, "goto") != 0) break;
      e = stmtend(text, q);
    }
    // parsed as the module parser will see it: a tuple assignment's name
    // list would otherwise be one long leaf
    std::string piece = text.substr(p, first - p);
    PREPreplaceASSEQ(piece, true);
    tree *t = string2tree(compact(piece));
    if (e != first) {                       // sequenced by goto: never a family
      if (!t || std::strcmp(t->text, ":") != 0) utilerror("REPforp1");
    } else {
      std::string expansion;
      int used = REPforp1(t, expansion);
      if (used > 0) {
        std::string name = text.substr(p, e - p);
        clen[cc] = (int)name.size();
        cleft[cc] = std::move(name);
        cright[cc] = std::move(expansion);
        cc += used;
      }
    }
    treefree(t);
    p = e;
  }
}

static bool isname(const tree *t) {
  if (!t || t->left || t->right || !PREPletter(t->text[0])) return false;
  for (const char *s = t->text; *s; s++)
    if (!PREPidchar(*s)) return false;
  return true;
}

// A family body is a call: name(arguments), or a bare name.
static bool iscall(const tree *t) {
  return isname(t) || (t && std::strcmp(t->text, ":") == 0 && isname(t->left));
}

// Family sizes beyond this are not a model but a typo; they would only
// exhaust memory.
constexpr long long REPMAXFAMILY = 1000000;

int REPforp1(const tree *stmt, std::string &out) {
  if (!stmt || std::strcmp(stmt->text, ":") != 0) utilerror("REPforp1");
  std::string L = stmt->left ? stmt->left->text : "";
  size_t lb = L.find('[');
  if (lb == std::string::npos) return 0;
  long long lo = ran(L.c_str() + lb + 1, 0), hi = ran(L.c_str() + lb + 1, 1);
  if (hi == 0) hi = lo;
  if (hi < lo) return 0;
  std::string N = L.substr(0, lb), v;
  const tree *body = stmt->right;
  bool loop = N.compare(0, 3, "for") == 0 && N.size() >= 5 && N.compare(N.size() - 2, 2, "in") == 0;
  if (loop) {
    v = N.substr(3, N.size() - 5);           // text between "for" and "in["
    if (v.empty()) utilerror("REPforp1");
    if (!body || std::strcmp(body->text, ":") != 0 || !body->left || body->left->left ||
        body->left->right || !iscall(body->right))
      return 0;
    N = body->left->text;
    size_t nb = N.find('[');
    if (nb != std::string::npos) {
      if (N.compare(nb + 1, v.size(), v) != 0) utilerror("REPforp1");
      N.resize(nb);
    }
    body = body->right;
  } else if (!iscall(body)) {
    return 0;
  }
  if (N.empty()) return 0;
  if (hi - lo >= REPMAXFAMILY) utilerror("REPforp1");
  int used = 1;
  for (long long k = lo; k <= hi; k++, used++) {
    std::string ks = std::to_string(k), label = N + "_x_" + ks;
    tree *c = treecopy(body);
    if (loop) treereplacestring(c, v.c_str(), ks.c_str());
    out += label;
    out += ':';
    int len = treewritep(c, out, (int)out.size(), 0);
    out.resize(len);
    treefree(c);
    int save = cc;
    cc += used;
    addslot(N + "[" + ks + "]", label);
    cc = save;
  }
  return used;
}

void PREPreplaceSTEP(std::string &text) {
  std::string out;
  out.reserve(text.size());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    if (text.compare(i, 4, "STEP") == 0) {
      bool more = i + 4 < n && (PREPletter(text[i + 4]) || PREPdigit(text[i + 4]));
      out += more ? "s_p=" : "s_p";
      i += 4;
    } else {
      out += text[i++];
    }
  }
  text.swap(out);
}

static void replaceall(std::string &s, const char *p, const char *r) {
  size_t lp = std::strlen(p), pos = s.find(p);
  if (pos == std::string::npos) return;
  std::string out;
  out.reserve(s.size());
  size_t from = 0;
  for (; pos != std::string::npos; from = pos + lp, pos = s.find(p, from)) {
    out.append(s, from, pos - from);
    out += r;
  }
  out.append(s, from, std::string::npos);
  s.swap(out);
}

constexpr size_t PREPLOGMAX = 4095;   // longer texts are not copied to the log

std::string PREPfile2txt(const std::string &path) {
  std::string text = file2string(path);                   // 1
  size_t z = text.find('\0');
  if (z != std::string::npos) text.resize(z);             // a text ends at its first NUL
  stringcomments(text);                                   // 2
  text = PREPreplaceENUM(std::move(text));                // 3
  text = PREPreplaceRECORD(std::move(text));              // 4
  PREPreplaceASSEQ(text);                                 // 5
  stringcompress(text, ' ', ' ');                         // 6
  PREPreplaceSTEP(text);                                  // 7
  replaceall(text, ";goto", "&");                         // 8
  replaceall(text, ":goto", ":");
  if (text.size() <= PREPLOGMAX) {                        // 9
    FILE *f = utillogopen("logtmp.tmp", "a");
    if (f) {
      std::fprintf(f, "%s\n%s\n", "PREP", text.c_str());
      std::fclose(f);
    }
  }
  return text;                                            // 10
}
