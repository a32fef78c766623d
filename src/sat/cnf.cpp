// CNF record, clause normalisation, DIMACS text and the solver log.
#include "sat/cnf.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>

#include "tree/tree.h"

void CNFaddclause(CNFmodel &m, const int32_t *l, int n) {
  for (int i = 0; i < n; i++) {
    int32_t v = l[i] < 0 ? -l[i] : l[i];
    if (v > m.nv) m.nv = v;
    m.lits.push_back(l[i]);
  }
  m.lits.push_back(0);
  m.nc++;
}

void CNFaddclause(CNFmodel &m, std::initializer_list<int32_t> l) {
  CNFaddclause(m, l.begin(), (int)l.size());
}

// Formatted in blocks: problems of millions of literals are written once per
// bound, and a formatted print per literal was most of the writing time.
void cnfmodelwrite(const CNFmodel &m, FILE *f) {
  fprintf(f, "p cnf %i %i\n", m.nv, m.nc);
  char buf[1 << 16];
  size_t n = 0;
  for (int32_t x : m.lits) {
    if (n > sizeof buf - 16) {
      fwrite(buf, 1, n, f);
      n = 0;
    }
    buf[n++] = ' ';
    n = (size_t)(std::to_chars(buf + n, buf + sizeof buf, x).ptr - buf);
    buf[n++] = x ? ' ' : '\n';
  }
  fwrite(buf, 1, n, f);
}

// ---- reading

namespace {

struct Scan {
  std::string_view t;
  size_t p = 0;
  bool eof() const { return p >= t.size(); }
  void skipblank() {
    while (p < t.size() && (t[p] == ' ' || t[p] == '\t' || t[p] == '\r' || t[p] == '\n')) p++;
  }
  void skipline() {
    while (p < t.size() && t[p] != '\n') p++;
  }
  // Reads a decimal integer (optional '-'); false when none or out of 64-bit range.
  bool number(int64_t &x) {
    const char *b = t.data() + p, *e = t.data() + t.size();
    auto r = std::from_chars(b, e, x);
    if (r.ec != std::errc() || r.ptr == b) return false;
    if (r.ptr < e && !(*r.ptr == ' ' || *r.ptr == '\t' || *r.ptr == '\r' || *r.ptr == '\n'))
      return false;
    p += (size_t)(r.ptr - b);
    return true;
  }
  bool word(std::string_view w) {
    if (t.substr(p, w.size()) != w) return false;
    size_t q = p + w.size();
    if (q < t.size() && !(t[q] == ' ' || t[q] == '\t' || t[q] == '\r' || t[q] == '\n')) return false;
    p = q;
    return true;
  }
};

bool atlinestart(const Scan &s) { return s.p == 0 || s.t[s.p - 1] == '\n'; }

}  // namespace

bool CNFparse(std::string_view text, CNFmodel &m, std::string &tag) {
  m = CNFmodel{};
  Scan s{text};
  int64_t nv = -1, nc = 0, got = 0;
  bool open = false;                // inside a clause (literals since the last 0)
  for (;;) {
    s.skipblank();
    if (s.eof()) break;
    char c = s.t[s.p];
    if (c == 'c' && atlinestart(s)) { s.skipline(); continue; }
    if (c == 'p') {
      if (nv >= 0 || !atlinestart(s)) { tag = "DIMACS header"; return false; }
      s.p++;
      s.skipblank();
      int64_t a, b;
      if (!s.word("cnf")) { tag = "DIMACS header"; return false; }
      s.skipblank();
      if (!s.number(a) || a < 0 || a > INT32_MAX) { tag = "DIMACS header"; return false; }
      s.skipblank();
      if (!s.number(b) || b < 0 || b > INT32_MAX) { tag = "DIMACS header"; return false; }
      // the rest of the header line must be blank
      while (!s.eof() && s.t[s.p] != '\n') {
        if (s.t[s.p] != ' ' && s.t[s.p] != '\t' && s.t[s.p] != '\r') { tag = "DIMACS header"; return false; }
        s.p++;
      }
      nv = a;
      nc = b;
      m.nv = (int32_t)a;
      continue;
    }
    if (nv < 0) { tag = "DIMACS header"; return false; }
    int64_t x;
    if (!s.number(x) || x > nv || x < -nv) { tag = "DIMACS literal"; return false; }
    if (x == 0) {
      if (++got > nc) { tag = "DIMACS clause"; return false; }
      open = false;
    } else {
      open = true;
    }
    m.lits.push_back((int32_t)x);
  }
  if (nv < 0) { tag = "DIMACS header"; return false; }
  if (open || got != nc) { tag = "DIMACS clause"; return false; }
  m.nc = (int32_t)nc;
  return true;
}

CNFmodel cnfmodelread(FILE *f) {
  std::string text;
  char buf[1 << 16];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  CNFmodel m;
  std::string tag;
  if (!CNFparse(text, m, tag)) utilerror(tag.c_str());
  return m;
}

CNFmodel cnfmodelreadfile(const char *name) {
  FILE *f = fopen(name, "rb");
  if (!f) utilerror("DIMACS file");
  CNFmodel m = cnfmodelread(f);
  fclose(f);
  return m;
}

bool CNFsatisfied(const CNFmodel &m, const std::vector<int8_t> &value) {
  bool sat = false;
  for (int32_t x : m.lits) {
    if (x == 0) {
      if (!sat) return false;
      sat = false;
      continue;
    }
    size_t v = (size_t)(x < 0 ? -(int64_t)x : x);
    bool t = v < value.size() && value[v] != 0;
    if (t == (x > 0)) sat = true;
  }
  return true;
}

// ---- normalisation

// Scratch of remove_red for long clauses: sorted copy and per-value counts.
static std::vector<int32_t> rrsorted;
static std::vector<int32_t> rrcount;

int remove_red(int32_t *l, int n) {
  int n0 = n;
  if (n <= 16) {
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++)
        if (l[j] == -l[i]) return n0;
    // Positions before i never regain a later copy, so the restart of the
    // scan after each replacement can resume at i.
    for (int i = 0; i < n;) {
      bool later = false;
      for (int j = i + 1; j < n && !later; j++) later = l[j] == l[i];
      if (later) l[i] = l[--n];
      else i++;
    }
    return n0 - n;
  }
  rrsorted.assign(l, l + n);
  std::sort(rrsorted.begin(), rrsorted.end());
  for (int i = 0; i < n; i++)
    if (rrsorted[i] < 0 && std::binary_search(rrsorted.begin(), rrsorted.end(), -rrsorted[i]))
      return n0;
  rrcount.assign(n, 0);
  auto slot = [&](int32_t x) {
    return (size_t)(std::lower_bound(rrsorted.begin(), rrsorted.end(), x) - rrsorted.begin());
  };
  for (int i = 0; i < n; i++) rrcount[slot(l[i])]++;
  // rrcount holds the copies of each literal in l[i..n-1]
  for (int i = 0; i < n;) {
    size_t k = slot(l[i]);
    if (rrcount[k] > 1) {
      rrcount[k]--;
      l[i] = l[--n];
    } else {
      rrcount[k]--;
      i++;
    }
  }
  return n0 - n;
}

int remove_red2(int32_t *l) {
  int n = 0;
  while (l[n]) n++;
  int r = remove_red(l, n);
  if (n > 0 && r == n) return 0;
  l[n - r] = 0;
  return 1;
}

void CNFnormalise(CNFmodel &m) {
  size_t w = 0, i = 0, nl = m.lits.size();
  int32_t nc = 0;
  while (i < nl) {
    size_t b = i;
    while (m.lits[i]) i++;
    int n = (int)(i - b);
    int r = remove_red(&m.lits[b], n);
    i++;
    if (n > 0 && r == n) continue;   // tautology
    for (int k = 0; k < n - r; k++) m.lits[w++] = m.lits[b + k];
    m.lits[w++] = 0;
    nc++;
  }
  m.lits.resize(w);
  m.lits.shrink_to_fit();
  m.nc = nc;
}

bool CNFnormalised(const CNFmodel &m) {
  int32_t nc = 0;
  for (size_t i = 0; i < m.lits.size();) {
    size_t b = i;
    while (m.lits[i]) {
      int32_t x = m.lits[i];
      if (x < -m.nv || x > m.nv) return false;
      for (size_t k = b; k < i; k++)
        if (m.lits[k] == x || m.lits[k] == -x) return false;
      i++;
    }
    i++;
    nc++;
  }
  return nc == m.nc && (m.lits.empty() || m.lits.back() == 0);
}

// ---- clause structure

CNFmstruct model2mstruct(const CNFmodel &m) {
  CNFmstruct s;
  s.nv = m.nv;
  size_t nl = m.lits.size();
  s.cstart.assign((size_t)m.nc + 1, 0);
  s.clen.assign((size_t)m.nc, 0);
  s.ocount.assign(2 * (size_t)m.nv + 1, 0);
  s.ostart.assign(2 * (size_t)m.nv + 1, 0);
  int32_t c = 0;
  s.cstart[0] = 0;
  for (size_t i = 0; i < nl; i++) {
    int32_t x = m.lits[i];
    if (x == 0) {
      c++;
      s.cstart[c] = (int32_t)i + 1;
      continue;
    }
    s.clen[c]++;
    s.ocount[x + m.nv]++;
  }
  int32_t at = 0;
  for (size_t k = 0; k < s.ostart.size(); k++) {
    s.ostart[k] = at;
    at += s.ocount[k];
  }
  s.occ.assign((size_t)at, 0);
  std::vector<int32_t> fill(s.ostart);
  c = 0;
  for (size_t i = 0; i < nl; i++) {
    int32_t x = m.lits[i];
    if (x == 0) { c++; continue; }
    s.occ[fill[x + m.nv]++] = c;
  }
  return s;
}

// ---- log

void SATlogopen() {
  FILE *f = fopen(utilworkfile(SATLOGNAME).c_str(), "w");
  if (f) fclose(f);
}

void writelog(const char *name, const int32_t *l, size_t n) {
  FILE *f = fopen(utilworkfile(SATLOGNAME).c_str(), "a");
  if (!f) return;
  fprintf(f, "%s\n", name);
  for (size_t i = 0; i < n; i++) {
    fprintf(f, "%i ", l[i]);
    if (i % 10 == 9) fputc('\n', f);
  }
  fputs("0\n", f);
  fclose(f);
}

void writelog(const char *name, const int32_t *l) {
  size_t n = 0;
  while (l[n]) n++;
  writelog(name, l, n);
}

// ---- external solver output

bool SATreadsolution(std::string_view text, int32_t nv, std::vector<int8_t> &value) {
  value.assign((size_t)(nv > 0 ? nv : 0) + 1, 0);
  bool found = false, vlines = false;
  // MiniSat's result file: first line "SAT", then the literals.
  size_t p = 0;
  while (p < text.size() && (text[p] == ' ' || text[p] == '\r' || text[p] == '\n')) p++;
  std::string_view rest = text.substr(p);
  bool minisat = rest.substr(0, 3) == "SAT" && (rest.size() == 3 || rest[3] == '\n' || rest[3] == '\r');
  if (minisat) rest = rest.substr(3);
  size_t i = 0;
  while (i < rest.size()) {
    size_t e = rest.find('\n', i);
    if (e == std::string_view::npos) e = rest.size();
    std::string_view line = rest.substr(i, e - i);
    i = e + 1;
    if (!minisat) {
      if (line.size() < 2 || line[0] != 'v' || (line[1] != ' ' && line[1] != '\t')) continue;
      line = line.substr(1);
      vlines = true;
    }
    Scan s{line};
    for (;;) {
      s.skipblank();
      if (s.eof()) break;
      int64_t x;
      if (!s.number(x)) break;
      if (x == 0) continue;
      int64_t v = x < 0 ? -x : x;
      if (v <= nv) value[(size_t)v] = x > 0;
      found = true;
    }
  }
  return found || vlines || minisat;
}
