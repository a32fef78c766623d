// Definition table, definition reading, constant evaluation and the
// substitution pass.
#include "front/prep.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <unordered_map>


std::vector<std::string> cleft;
std::vector<int> clen;
std::vector<std::string> cright;
int cc = 0;

static const std::vector<std::string> *REPdefs = nullptr;  // the driver's definitions
static size_t REPadopted = 0;   // entries of REPdefs already in the table

// Slots by name, for the constant lookups of eval over the table itself
// (a DEFINE section of n entries would otherwise cost n^2 comparisons).
static std::unordered_map<std::string, std::vector<int>> REPbyname;

void REPsetslot(int slot, const std::string &name, const std::string &repl) {
  if ((size_t)slot >= cleft.size()) {
    cleft.resize(slot + 1);
    clen.resize(slot + 1);
    cright.resize(slot + 1);
  }
  cleft[slot] = name;
  clen[slot] = (int)name.size();
  cright[slot] = repl;
  REPbyname[name].push_back(slot);
}

void REPclearnames() { std::unordered_map<std::string, std::vector<int>>().swap(REPbyname); }

static void repadopt() {
  if (!REPdefs) return;
  for (; REPadopted < REPdefs->size(); REPadopted++) repadddef((*REPdefs)[REPadopted]);
}

// The driver may set the table up before or after it reads the command line:
// whatever defs holds now is adopted here, the rest when preprocessing starts.
void repinit(const std::vector<std::string> *defs) {
  REPdefs = defs;
  cleft.clear();
  clen.clear();
  cright.clear();
  REPclearnames();
  cc = 0;
  REPadopted = 0;
  repadopt();
}

void repadddef(const std::string &text) {
  if (text.empty()) return;
  bool stored = false;
  size_t used = repgetdef(text, 0, cc, stored);
  if (used > 0 && stored) cc++;
}

// Leading decimal number, wrapped to 32 bits as the old fixed-width code did.
static int32_t leadnum(const char *s) {
  uint32_t v = 0;
  for (; PREPdigit(*s); s++) v = v * 10u + (uint32_t)(*s - '0');
  return (int32_t)v;
}

// Characters the expression parser splits at (union of its operator tables).
static bool isopchar(char c) {
  static const char *const tabs[] = {OP1, OP2, OP3, OP4, OP5, OP6, OP7, OP8, OP9};
  if (c == 0) return false;
  for (const char *t : tabs)
    if (std::strchr(t, c)) return true;
  return false;
}

static bool isbracket(char c) { return c == '(' || c == ')' || c == '[' || c == ']'; }

constexpr int REPMAXNEST = 200;   // deeper values are not evaluated

// Operators the parser accepts without a left operand.
static bool isprefixok(char c) { return c && std::strchr("AEFGX!-#;", c); }

// The parser ends the run on malformed texts; a definition value is only
// parsed when none of its fatal cases can arise: balanced parentheses and no
// square brackets, no operator lacking its left operand (other than the
// prefix ones, '-', '#' and ';'), nothing written directly before '(' or
// after ')', leaves of at most 63 characters, limited nesting.  Such values
// could never be constant anyway.
static bool parsable(const std::string &v) {
  int depth = 0;
  bool wantleaf = true;
  for (size_t i = 0; i < v.size();) {
    char c = v[i];
    if (c == 0 || c == '[' || c == ']') return false;
    if (c == '(') {
      if (!wantleaf || ++depth > REPMAXNEST) return false;
      i++;
    } else if (c == ')') {
      if (--depth < 0) return false;
      wantleaf = false;
      i++;
    } else if (isopchar(c)) {
      if (wantleaf && !isprefixok(c)) return false;
      wantleaf = true;
      i++;
    } else {
      if (!wantleaf) return false;
      size_t j = i;
      while (j < v.size() && v[j] && !isopchar(v[j]) && !isbracket(v[j])) j++;
      if (j - i >= (size_t)TREE_TEXTLEN) return false;
      i = j;
      wantleaf = false;
    }
  }
  return depth == 0;
}

size_t repgetdef(const std::string &text, size_t pos, int slot, bool &stored) {
  stored = false;
  size_t n = text.size(), p = pos;
  while (p < n && PREPidchar(text[p])) p++;
  std::string name = text.substr(pos, p - pos);
  while (p < n && text[p] != '=' && text[p] != '\n') p++;
  bool haseq = p < n && text[p] == '=';
  std::string val;
  if (haseq) p++;
  while (p < n && text[p] != '\n') {
    if (text[p] == '\\') {             // drops itself and the next character,
      p += 2;                          // takes the one after them as it is
      if (p < n) val += text[p++];
      continue;
    }
    val += text[p++];
  }
  if (p > n) p = n;
  if (name.empty() || !haseq) {
    std::string line = text.substr(pos, std::min(p, text.find('\n', pos)) - pos);
    std::printf("ERROR:      definition without %s ignored: %s\n",
                name.empty() ? "a name" : "'='", line.c_str());
    return p - pos;
  }
  int v = -1;
  if (parsable(val)) {
    tree *t = string2tree(val);
    v = eval(t, cleft, cright, std::min(slot, (int)cleft.size()));
    treefree(t);
  }
  REPsetslot(slot, name, v != -1 ? std::to_string(v) : val);
  stored = true;
  return p - pos;
}

static int evalop(char op, int32_t a, int32_t b) {
  int64_t r;
  switch (op) {
    case '+': r = (int64_t)a + b; break;
    case '-': r = (int64_t)a - b; break;
    case '*': r = (int64_t)a * b; break;
    case '/': if (b == 0) return -1; r = a / b; break;   // -1 is never an operand
    default:  if (b == 0) return -1; r = a % b; break;
  }
  return (int32_t)(uint32_t)(uint64_t)r;   // 32-bit wrap-around
}

static bool isarith(const tree *t) {
  return t->text[1] == 0 && t->text[0] && std::strchr("+-*/%", t->text[0]);
}

// First slot below count named text whose replacement begins with a digit.
static int lookup(const char *text, const std::vector<std::string> &names,
                  const std::vector<std::string> &repls, int count) {
  if (&names == &cleft && &repls == &cright) {
    auto it = REPbyname.find(text);
    int best = -1;
    if (it != REPbyname.end())
      for (int j : it->second)
        if (j < count && (best < 0 || j < best) && names[j] == text && PREPdigit(repls[j][0])) best = j;
    return best;
  }
  for (int j = 0; j < count; j++)
    if (names[j] == text && PREPdigit(repls[j][0])) return j;
  return -1;
}

// Post-order over an explicit stack: values can be long chains.
int eval(const tree *t, const std::vector<std::string> &names,
         const std::vector<std::string> &repls, int count) {
  struct frame { const tree *t; int state; int a; };
  std::vector<frame> st;
  std::vector<int> vals;
  st.push_back({t, 0, 0});
  while (!st.empty()) {
    frame &f = st.back();
    if (!f.t) { vals.push_back(-1); st.pop_back(); continue; }
    if (!isarith(f.t)) {
      int v = -1;
      if (PREPdigit(f.t->text[0])) {
        v = leadnum(f.t->text);
      } else {
        int j = lookup(f.t->text, names, repls, count);
        if (j >= 0) v = leadnum(repls[j].c_str());
      }
      vals.push_back(v);
      st.pop_back();
      continue;
    }
    if (f.state == 0) { f.state = 1; st.push_back({f.t->left, 0, 0}); continue; }
    if (f.state == 1) { f.state = 2; st.push_back({f.t->right, 0, 0}); continue; }
    int b = vals.back(); vals.pop_back();
    int a = vals.back(); vals.pop_back();
    vals.push_back(a == -1 || b == -1 ? -1 : evalop(f.t->text[0], a, b));
    st.pop_back();
  }
  return vals.back();
}

// ---- substitution

// Trie over slot names; a node keeps the lowest slot whose name ends there, so
// one walk from a text position finds every candidate and the priority rule
// (lowest slot wins) is a minimum over the walk.
struct REPtrie {
  struct node {
    int child;     // first child, -1 none
    int sibling;   // next sibling, -1 none
    int slot;      // lowest slot whose name ends here, -1 none
    unsigned char ch;   // character on the edge into this node
  };
  std::vector<node> nodes;
  int root[256];   // first-level node per character, -1 none
  REPtrie() { std::memset(root, -1, sizeof root); }
};

static void trieadd(REPtrie &tr, const std::string &name, int len, int slot) {
  if (len <= 0 || (size_t)len > name.size()) return;   // an empty name never matches
  unsigned char c0 = (unsigned char)name[0];
  if (tr.root[c0] < 0) {
    tr.nodes.push_back({-1, -1, -1, c0});
    tr.root[c0] = (int)tr.nodes.size() - 1;
  }
  int cur = tr.root[c0];
  for (int i = 1; i < len; i++) {
    unsigned char ch = (unsigned char)name[i];
    int k = tr.nodes[cur].child, prev = -1;
    while (k >= 0 && tr.nodes[k].ch != ch) { prev = k; k = tr.nodes[k].sibling; }
    if (k < 0) {
      tr.nodes.push_back({-1, -1, -1, ch});
      k = (int)tr.nodes.size() - 1;
      if (prev < 0) tr.nodes[cur].child = k; else tr.nodes[prev].sibling = k;
    }
    cur = k;
  }
  if (tr.nodes[cur].slot < 0 || slot < tr.nodes[cur].slot) tr.nodes[cur].slot = slot;
}

// Lowest slot whose name matches text at pos, or -1.  A name met at a letter
// must not run on into an identifier: when its last character is a letter,
// digit or '_', the character after it must not be one.
static int triematch(const REPtrie &tr, const std::string &text, size_t pos) {
  bool atletter = PREPletter(text[pos]);
  int best = -1;
  int cur = tr.root[(unsigned char)text[pos]];
  for (size_t i = pos; cur >= 0;) {
    const REPtrie::node &nd = tr.nodes[cur];
    if (nd.slot >= 0 && (best < 0 || nd.slot < best)) {
      bool ok = !atletter || !PREPidchar(text[i]) || i + 1 >= text.size() ||
                !PREPidchar(text[i + 1]);
      if (ok) best = nd.slot;
    }
    if (++i >= text.size()) break;
    unsigned char ch = (unsigned char)text[i];
    for (cur = nd.child; cur >= 0 && tr.nodes[cur].ch != ch; cur = tr.nodes[cur].sibling) {}
  }
  return best;
}

static void triescan(const REPtrie &tr, const std::string &text,
                     const std::vector<std::string> &repls, const std::vector<int> &lens,
                     std::string &out) {
  size_t n = text.size();
  out.reserve(out.size() + n + n / 8);
  for (size_t i = 0; i < n;) {
    char c = text[i];
    if (PREPblank(c)) { out += c; i++; continue; }
    int s = triematch(tr, text, i);
    if (s >= 0) {
      out += repls[s];
      if (repls[s].size() < (size_t)lens[s]) out.append(lens[s] - repls[s].size(), ' ');
      i += lens[s];   // the inserted text is not scanned again
      continue;
    }
    if (PREPletter(c)) {
      size_t j = i + 1;
      while (j < n && PREPidchar(text[j])) j++;
      out.append(text, i, j - i);
      i = j;
    } else {
      out += c;
      i++;
    }
  }
}

void stringkstring(const std::string &text, const std::vector<std::string> &names,
                   const std::vector<std::string> &repls, const std::vector<int> &lens,
                   int count, std::string &out) {
  REPtrie tr;
  for (int j = 0; j < count; j++) trieadd(tr, names[j], lens[j], j);
  triescan(tr, text, repls, lens, out);
}

// Each replacement is expanded with the slots before it only; the trie
// grows by one name per step instead of being rebuilt.
void REPexpandreplacements() {
  REPtrie tr;
  for (int i = 1; i < cc; i++) {
    trieadd(tr, cleft[i - 1], clen[i - 1], i - 1);
    std::string out;
    triescan(tr, cright[i], cright, clen, out);
    cright[i] = std::move(out);
  }
}

void REPadoptpending() { repadopt(); }
