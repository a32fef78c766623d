// Conjunctive and disjunctive normal forms.
//
// The tree is converted bottom-up into flat clause sets (sorted literal arrays),
// treating a whole '&' or '|' chain as one n-ary node: the clause sets of a
// conjunction are concatenated and reduced once, a disjunction is distributed
// operand by operand with a reduction after each product. The result is built
// as a tree only at the end. Reduction keeps the subset-minimal clauses, so no
// clause of the result subsumes another. Its cost is quadratic in the number
// of clauses in the worst case (every literal in most clauses) and close to
// linear when literals are spread: every kept clause is indexed under its
// rarest literal only, a clause is checked against the lists of its own
// literals, and a 64-bit literal signature rejects most candidates at once.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formula/tlfint.h"
#include "tree/check.h"

namespace {

// Literal code: 2 * variable + sign; variables are numbered in ascending order
// of their leaf numbers, so sorted codes give sorted clauses.
inline int TLFcode(int var, bool neg) { return 2 * var + int(neg); }

struct TLFclauses {
  std::vector<int> lit;                    // literal codes, clause after clause
  std::vector<uint32_t> beg{0};            // clause i is lit[beg[i], beg[i+1])
};

inline size_t TLFnclauses(const TLFclauses &s) { return s.beg.size() - 1; }
inline bool TLFsetistrue(const TLFclauses &s) { return TLFnclauses(s) == 0; }
inline bool TLFsetisfalse(const TLFclauses &s) { return TLFnclauses(s) == 1 && s.beg[1] == 0; }

void TLFsetmakefalse(TLFclauses &s) {
  s.lit.clear();
  s.beg.assign(2, 0);
}

void TLFsetadd(TLFclauses &s, const int *c, size_t len) {
  s.lit.insert(s.lit.end(), c, c + len);
  s.beg.push_back(uint32_t(s.lit.size()));
}

struct TLFcnfstate {
  TLFvarmap ids;                             // variable text -> variable number
  std::vector<std::string> names;            // variable number -> text
  // scratch of the reduction, indexed by literal code [0, 2 * names.size())
  std::vector<uint32_t> occurs;              // occurrences in the set being reduced
  std::vector<int32_t> watchhead;            // first kept clause indexed under a literal, -1
  std::vector<char> mark;                    // literal of the clause being checked
  std::vector<char> unit;                    // literal kept as a unit clause
  std::vector<int32_t> watchnext;            // next kept clause under the same literal
  std::vector<uint64_t> sig;                 // literal signature per clause of the set
  std::vector<uint32_t> order;               // clauses by size
  std::vector<int> merged;                   // one clause of a product
};

// Leaf numbers order by value (leading digits without leading zeros), then by text.
void TLFsortvars(std::vector<std::string> &texts) {
  struct key { std::string_view digits; size_t idx; };
  std::vector<key> keys;
  for (size_t i = 0; i < texts.size(); i++) {
    std::string_view t = texts[i];
    size_t from = t.find_first_not_of('0'), to = from;
    if (from == std::string_view::npos) from = to = t.size();
    while (to < t.size() && t[to] >= '0' && t[to] <= '9') to++;
    keys.push_back({t.substr(from, to - from), i});
  }
  std::sort(keys.begin(), keys.end(), [&](const key &a, const key &b) {
    if (a.digits.size() != b.digits.size()) return a.digits.size() < b.digits.size();
    if (a.digits != b.digits) return a.digits < b.digits;
    return texts[a.idx] < texts[b.idx];
  });
  std::vector<std::string> sorted;
  sorted.reserve(texts.size());
  for (const key &k : keys) sorted.push_back(std::move(texts[k.idx]));
  texts = std::move(sorted);
}

bool TLFisconst(const tree *t) { return (TLFistrue(t) || TLFisfalse(t)) && !t->left && !t->right; }

// Rejects every node that is not '&', '|', a literal or a constant, and numbers
// the variables.
void TLFcnfscan(TLFcnfstate &s, const tree *f) {
  std::vector<const tree *> work;
  std::vector<std::string> texts;
  work.push_back(f);
  while (!work.empty()) {
    const tree *t = work.back();
    work.pop_back();
    if (t && (t->text[0] == '&' || t->text[0] == '|') && t->left && t->right) {
      work.push_back(t->right);
      work.push_back(t->left);
    } else if (TLFislit(t)) {
      const char *v = TLFlitvar(t)->text;
      int *id = TLFvarfind(s.ids, v, true);
      if (*id < 0) {
        *id = 0;
        texts.emplace_back(v);
      }
    } else if (!t || !TLFisconst(t)) {
      utilerror("TLFcnf");
    }
  }
  TLFsortvars(texts);
  for (size_t i = 0; i < texts.size(); i++) *TLFvarfind(s.ids, texts[i].c_str(), false) = int(i);
  s.names = std::move(texts);
  size_t nl = 2 * s.names.size();
  s.occurs.assign(nl, 0);
  s.watchhead.assign(nl, -1);
  s.mark.assign(nl, 0);
  s.unit.assign(nl, 0);
}

// The clause set of a literal or constant.
void TLFleafset(TLFcnfstate &s, const tree *t, TLFclauses &out) {
  out.lit.clear();
  out.beg.assign(1, 0);
  if (TLFisfalse(t)) {
    TLFsetmakefalse(out);
  } else if (!TLFistrue(t)) {
    int code = TLFcode(*TLFvarfind(s.ids, TLFlitvar(t)->text, false), TLFlitneg(t));
    TLFsetadd(out, &code, 1);
  }
}

inline uint64_t TLFsigbit(int lit) { return uint64_t(1) << (unsigned(lit) * 0x9E3779B1u >> 26); }

// Keeps the subset-minimal clauses of set, in their order; duplicates keep the
// first. Complementary unit clauses make the set FALSE.
void TLFreduce(TLFcnfstate &s, TLFclauses &set) {
  size_t n = TLFnclauses(set);
  if (n == 0) return;
  for (size_t i = 0; i < n; i++) {
    if (set.beg[i] == set.beg[i + 1]) {
      TLFsetmakefalse(set);
      return;
    }
  }
  if (n == 1) return;
  for (int l : set.lit) s.occurs[l]++;
  s.order.resize(n);
  for (size_t i = 0; i < n; i++) s.order[i] = uint32_t(i);
  std::stable_sort(s.order.begin(), s.order.end(), [&](uint32_t a, uint32_t b) {
    return set.beg[a + 1] - set.beg[a] < set.beg[b + 1] - set.beg[b];
  });
  s.watchnext.assign(n, -1);
  s.sig.resize(n);
  std::vector<char> kept(n, 0);
  bool conflict = false;
  for (uint32_t i : s.order) {
    const int *c = set.lit.data() + set.beg[i], *ce = set.lit.data() + set.beg[i + 1];
    uint64_t sig = 0;
    for (const int *p = c; p < ce; p++) s.mark[*p] = 1, sig |= TLFsigbit(*p);
    s.sig[i] = sig;
    bool subsumed = false;
    for (const int *p = c; p < ce && !subsumed; p++) {
      for (int32_t d = s.watchhead[*p]; d >= 0 && !subsumed; d = s.watchnext[d]) {
        if (s.sig[d] & ~sig) continue;     // some literal of d is surely not in c
        bool all = true;
        for (uint32_t k = set.beg[d]; k < set.beg[d + 1] && all; k++) all = s.mark[set.lit[k]];
        subsumed = all;
      }
    }
    for (const int *p = c; p < ce; p++) s.mark[*p] = 0;
    if (subsumed) continue;
    if (ce - c == 1) {
      if (s.unit[*c ^ 1]) {
        conflict = true;
        break;
      }
      s.unit[*c] = 1;
    }
    const int *w = c;
    for (const int *p = c + 1; p < ce; p++)
      if (s.occurs[*p] < s.occurs[*w]) w = p;
    s.watchnext[i] = s.watchhead[*w];
    s.watchhead[*w] = int32_t(i);
    kept[i] = 1;
  }
  for (int l : set.lit) s.occurs[l] = 0, s.watchhead[l] = -1, s.unit[l] = 0;
  if (conflict) {
    TLFsetmakefalse(set);
    return;
  }
  TLFclauses out;
  out.lit.reserve(set.lit.size());
  out.beg.reserve(n + 1);
  for (size_t i = 0; i < n; i++)
    if (kept[i]) TLFsetadd(out, set.lit.data() + set.beg[i], set.beg[i + 1] - set.beg[i]);
  set = std::move(out);
}

// Union of two sorted clauses into s.merged; false when it is a tautology.
bool TLFmerge(TLFcnfstate &s, const int *a, const int *ae, const int *b, const int *be) {
  LUM_CHECK(std::is_sorted(a, ae) && std::is_sorted(b, be));   // a merge, not a set union
  s.merged.clear();
  while (a < ae || b < be) {
    int l = (b == be || (a < ae && *a <= *b)) ? *a++ : *b++;
    if (!s.merged.empty() && (s.merged.back() >> 1) == (l >> 1)) {
      if (s.merged.back() != l) return false;  // x | !x
      continue;                                // x | x
    }
    s.merged.push_back(l);
  }
  return true;
}

// acc := acc | q, distributed: a clause for every pair, acc's clauses outermost.
void TLFdistribute(TLFcnfstate &s, TLFclauses &acc, const TLFclauses &q) {
  if (TLFsetistrue(acc) || TLFsetisfalse(q)) return;
  if (TLFsetistrue(q) || TLFsetisfalse(acc)) {
    acc = q;
    return;
  }
  TLFclauses out;
  for (size_t i = 0; i < TLFnclauses(acc); i++) {
    for (size_t j = 0; j < TLFnclauses(q); j++) {
      const int *a = acc.lit.data(), *b = q.lit.data();
      if (TLFmerge(s, a + acc.beg[i], a + acc.beg[i + 1], b + q.beg[j], b + q.beg[j + 1]))
        TLFsetadd(out, s.merged.data(), s.merged.size());
    }
  }
  TLFreduce(s, out);
  acc = std::move(out);
}

// One pending '&' or '|' chain.
struct TLFcnfframe {
  char op;                                 // '&' or '|'
  std::vector<const tree *> operands;      // chain operands, left to right
  size_t next;                             // operands converted so far
  bool started;                            // acc holds a value ('|')
  TLFclauses acc;                          // clauses so far
};

// Collects the operands of the chain at t. The literal operands of a disjunction
// are merged into one clause at once, which starts the product: merging them one
// at a time would be quadratic in a long clause.
void TLFframeinit(TLFcnfstate &s, TLFcnfframe &fr, const tree *t) {
  fr.op = t->text[0];
  fr.next = 0;
  fr.started = false;
  bool disj = fr.op == '|', holds = false;
  std::vector<int> &clause = s.merged;
  clause.clear();
  std::vector<const tree *> work;
  work.push_back(t);
  while (!work.empty()) {
    const tree *m = work.back();
    work.pop_back();
    if (m->text[0] == fr.op && m->left && m->right) {
      work.push_back(m->right);
      work.push_back(m->left);
    } else if (disj && TLFislit(m)) {
      clause.push_back(TLFcode(*TLFvarfind(s.ids, TLFlitvar(m)->text, false), TLFlitneg(m)));
    } else if (disj && TLFisconst(m)) {
      holds = holds || TLFistrue(m);       // x | TRUE = TRUE, x | FALSE = x
    } else {
      fr.operands.push_back(m);
    }
  }
  if (!disj) return;
  std::sort(clause.begin(), clause.end());
  clause.erase(std::unique(clause.begin(), clause.end()), clause.end());
  for (size_t k = 1; k < clause.size() && !holds; k++) holds = (clause[k] ^ clause[k - 1]) == 1;
  if (holds) {
    fr.started = true;                     // acc stays TRUE
    fr.next = fr.operands.size();
  } else if (!clause.empty()) {
    fr.started = true;
    TLFsetadd(fr.acc, clause.data(), clause.size());
  }
}

// Adds the clauses of one operand; stops the chain early once it is decided.
void TLFframeadd(TLFcnfstate &s, TLFcnfframe &fr, TLFclauses &part) {
  if (fr.op == '&') {
    if (TLFsetisfalse(part)) {
      TLFsetmakefalse(fr.acc);
      fr.next = fr.operands.size();        // x & FALSE = FALSE
      return;
    }
    fr.acc.lit.insert(fr.acc.lit.end(), part.lit.begin(), part.lit.end());
    uint32_t base = fr.acc.beg.back();
    for (size_t i = 1; i < part.beg.size(); i++) fr.acc.beg.push_back(base + part.beg[i]);
    return;
  }
  if (!fr.started) {
    fr.acc = std::move(part);
    fr.started = true;
  } else {
    TLFdistribute(s, fr.acc, part);
  }
  if (TLFsetistrue(fr.acc)) fr.next = fr.operands.size();  // x | TRUE = TRUE
}

void TLFcnfsets(TLFcnfstate &s, const tree *f, TLFclauses &out) {
  std::vector<TLFcnfframe> frames;
  TLFclauses part;
  frames.emplace_back();
  TLFframeinit(s, frames.back(), f);
  while (!frames.empty()) {
    TLFcnfframe &fr = frames.back();
    if (fr.next < fr.operands.size()) {
      const tree *t = fr.operands[fr.next++];
      if (TLFislit(t) || TLFisconst(t)) {
        TLFleafset(s, t, part);
        TLFframeadd(s, fr, part);
      } else {
        frames.emplace_back();             // fr is invalid from here
        TLFframeinit(s, frames.back(), t);
      }
      continue;
    }
    if (fr.op == '&') TLFreduce(s, fr.acc);
    if (fr.op == '|' && !fr.started) TLFsetmakefalse(fr.acc);  // only FALSE operands
    part = std::move(fr.acc);
    frames.pop_back();
    if (frames.empty()) break;
    TLFframeadd(s, frames.back(), part);
  }
  out = std::move(part);
}

tree *TLFclausetree(const TLFcnfstate &s, const int *c, size_t len) {
  tree *t = nullptr;
  for (size_t k = len; k-- > 0;) {
    tree *l = TLFnewlit(s.names[c[k] >> 1].c_str(), c[k] & 1);
    t = t ? treecompose("|", l, t) : l;
  }
  return t;
}

tree *TLFsettree(const TLFcnfstate &s, const TLFclauses &set) {
  if (TLFsetistrue(set)) return treeconst(1);
  if (TLFsetisfalse(set)) return treeconst(0);
  tree *t = nullptr;
  for (size_t i = TLFnclauses(set); i-- > 0;) {
    tree *c = TLFclausetree(s, set.lit.data() + set.beg[i], set.beg[i + 1] - set.beg[i]);
    t = t ? treecompose("&", c, t) : c;
  }
  return t;
}

} // namespace

tree *TLFcnf(tree *f) {
  if (!f || TLFislit(f) || TLFisconst(f)) return f;
  TLFcnfstate s;
  TLFcnfscan(s, f);
  TLFclauses set;
  TLFcnfsets(s, f, set);
  treefree(f);
  return TLFsettree(s, set);
}

tree *TLFdnf(tree *f) { return TLFnegate(TLFcnf(TLFnegate(f))); }
