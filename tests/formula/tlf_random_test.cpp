// Randomized truth-table checks, a literal transcription of the propagation
// step as reference, deep chains, and timed large cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formula/tlf.h"

namespace {

constexpr int NVARS = 8;

std::string show(const tree *t) {
  std::string s;
  treewrites(t, s, 0);
  return s;
}

bool isnum(const tree *t) { return t && !t->left && !t->right && isdigit((unsigned char)t->text[0]); }
bool islit(const tree *t) { return isnum(t) || (t && t->text[0] == '!' && isnum(t->right)); }
const tree *var(const tree *l) { return l->text[0] == '!' ? l->right : l; }

tree *randformula(std::mt19937 &rng, int depth, bool nnfonly) {
  int k = depth == 0 ? int(rng() % 3) : int(rng() % (nnfonly ? 6 : 8));
  if (k == 0 || k == 1) return treenum(1 + int(rng() % NVARS));
  if (k == 2) return rng() % 4 ? treecompose("!", nullptr, treenum(1 + int(rng() % NVARS)))
                                : treeconst(int(rng() % 2));
  if (k == 3 && !nnfonly) return treecompose("!", nullptr, randformula(rng, depth - 1, nnfonly));
  static const char *bin[] = {"&", "|", "&", "|", "I", "~"};
  return treecompose(bin[k - 2], randformula(rng, depth - 1, nnfonly), randformula(rng, depth - 1, nnfonly));
}

// Truth value under val, indexed by variable number.
bool eval(const tree *t, const std::vector<char> &val) {
  switch (t->text[0]) {
  case '^': return true;
  case '_': return false;
  case '!': return !eval(t->right, val);
  case '&': return eval(t->left, val) && eval(t->right, val);
  case '|': return eval(t->left, val) || eval(t->right, val);
  case 'I': return !eval(t->left, val) || eval(t->right, val);
  case '~': return eval(t->left, val) == eval(t->right, val);
  default:
    EXPECT_TRUE(isnum(t)) << t->text;
    return val[size_t(atoi(t->text))];
  }
}

std::vector<bool> table(const tree *t) {
  std::vector<bool> v;
  std::vector<char> val(NVARS + 1);
  for (unsigned a = 0; a < (1u << NVARS); a++) {
    for (int k = 1; k <= NVARS; k++) val[k] = (a >> (k - 1)) & 1;
    v.push_back(eval(t, val));
  }
  return v;
}

// A normal form: outer-op tree over inner-op chains of literals in ascending
// variable order, each variable once; no term subsumes another. Terms are
// returned as bit sets (positive literals low byte, negative high byte).
bool normalform(const tree *t, char outer, char inner, std::string &why) {
  if (t->text[0] == '^' || t->text[0] == '_') return true;
  std::vector<const tree *> work{t}, terms;
  while (!work.empty()) {
    const tree *n = work.back();
    work.pop_back();
    if (n->text[0] == outer) work.push_back(n->right), work.push_back(n->left);
    else terms.push_back(n);
  }
  std::vector<unsigned> sets;
  for (const tree *c : terms) {
    unsigned set = 0;
    int last = 0;
    for (;;) {
      const tree *l = c->text[0] == inner ? c->left : c;
      if (!islit(l)) return why = "not a literal in " + show(c), false;
      int v = atoi(var(l)->text);
      if (v <= last) return why = "unsorted or repeated " + show(c), false;
      last = v;
      set |= 1u << (v - 1 + (l == var(l) ? 0 : NVARS));
      if (c->text[0] != inner) break;
      c = c->right;
    }
    sets.push_back(set);
  }
  for (size_t i = 0; i < sets.size(); i++)
    for (size_t j = 0; j < sets.size(); j++)
      if (i != j && (sets[i] & ~sets[j]) == 0) return why = "subsumed term in " + show(t), false;
  return true;
}

// The propagation step exactly as described: one literal at a time, each
// substituted through the whole subtree.
const tree *reffind(const tree *n, char c) {
  if (!n || islit(n)) return n;
  if (n->text[0] != c) return nullptr;
  const tree *l = reffind(n->left, c);
  return l ? l : reffind(n->right, c);
}
void refsubst(tree *n, const tree *l, bool val) {
  if (!n) return;
  if (islit(n)) {
    if (strcmp(var(n)->text, var(l)->text) == 0) {
      bool v = (n->text[0] == '!') == (l->text[0] == '!') ? val : !val;
      treefree(n->left), treefree(n->right);
      n->left = n->right = nullptr;
      strcpy(n->text, v ? "^" : "_");
    }
    return;
  }
  if (strchr("&|;!", n->text[0])) refsubst(n->left, l, val), refsubst(n->right, l, val);
}
tree *refstep(tree *n) {
  if (!n) return n;
  char c = n->text[0];
  if (c == '&' || c == '|') {
    const tree *l = reffind(n->left, c);
    if (!l) l = reffind(n->right, c);
    if (!l) {
      n->left = refstep(n->left), n->right = refstep(n->right);
      return n;
    }
    tree *lc = treecopy(l);
    refsubst(n, lc, c == '&');
    return treecompose(c == '&' ? "&" : "|", refstep(n), lc);
  }
  if (c == '!' || c == ';') n->right = refstep(n->right);
  return n;
}
tree *refsimp(tree *n) {
  if (!n) return n;
  n->left = refsimp(n->left), n->right = refsimp(n->right);
  return TLFnnfsimp(n);
}
tree *refred(tree *f) {
  if (!f) return f;
  bool conn = strchr("!&|", f->text[0]) && f->text[0];
  if ((conn && TLFisprop(f->left) && TLFisprop(f->right)) || isnum(f))
    return refsimp(refstep(refsimp(refstep(f))));
  f->left = refred(f->left), f->right = refred(f->right);
  return f;
}

} // namespace

TEST(TLFrandom, TruthTablesAndNormalForms) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 1000; i++) {
    tree *f = randformula(rng, 1 + i % 6, false);
    std::string src = show(f);
    std::vector<bool> want = table(f);
    tree *nnf = TLFnnf(treecopy(f));
    EXPECT_EQ(table(nnf), want) << "TLFnnf " << src;
    EXPECT_EQ(show(nnf).find_first_of("I~"), std::string::npos) << src;
    tree *red = TLFred(treecopy(nnf));
    EXPECT_EQ(table(red), want) << "TLFred " << src;
    tree *ref = refred(treecopy(nnf));
    EXPECT_EQ(show(red), show(ref)) << "TLFred against the reference " << src;
    std::string why;
    tree *cnf = TLFcnf(treecopy(nnf));
    EXPECT_EQ(table(cnf), want) << "TLFcnf " << src;
    EXPECT_TRUE(normalform(cnf, '&', '|', why)) << src << ": " << why;
    tree *dnf = TLFdnf(treecopy(nnf));
    EXPECT_EQ(table(dnf), want) << "TLFdnf " << src;
    EXPECT_TRUE(normalform(dnf, '|', '&', why)) << src << ": " << why;
    tree *redf = TLFred(f);                 // non-propositional parts (I, ~) are passed through
    EXPECT_EQ(table(redf), want) << "TLFred " << src;
    for (tree *t : {nnf, red, ref, cnf, dnf, redf}) treefree(t);
  }
}

namespace {

// ((v1 op v2) op v3) ... (left = true) or v1 op (v2 op (...)), literals of n variables.
tree *chain(const char *op, int len, int nvars, bool left) {
  tree *t = nullptr;
  for (int i = 0; i < len; i++) {
    int k = left ? i : len - 1 - i;
    tree *l = treenum(1 + k % nvars);
    if (k % 3 == 1) l = treecompose("!", nullptr, l);
    t = !t ? l : left ? treecompose(op, t, l) : treecompose(op, l, t);
  }
  return t;
}

// Node count and operand count of an op chain, without recursion (the chains
// built here are 100,000 deep on either side).
int nodes(const tree *t, char op = 0) {
  int n = 0;
  std::vector<const tree *> work{t};
  while (!work.empty()) {
    const tree *m = work.back();
    work.pop_back();
    if (!m) continue;
    if (op && m->text[0] != op) {
      n++;
      continue;
    }
    n += !op;
    work.push_back(m->left), work.push_back(m->right);
  }
  return n;
}

// Processor time: the machine is shared, wall time says little.
double msecs(std::clock_t since) { return double(std::clock() - since) * 1000.0 / CLOCKS_PER_SEC; }

} // namespace

void deepchains(bool left) {
  const int N = 100000;
  tree *t = TLFnnf(treecompose("!", nullptr, chain("&", N, N, left)));
  EXPECT_EQ(nodes(t, '|'), N);
  EXPECT_EQ(TLFisprop(t), 1);
  EXPECT_EQ(TLFnnftype(t), 0);
  EXPECT_TRUE(TLFisCTLx(t));
  t = TLFcnf(TLFnegate(t));                // N unit clauses
  EXPECT_EQ(nodes(t, '&'), N);
  t = TLFred(t);
  EXPECT_EQ(nodes(t), 2 * N - 1 + N / 3);
  treefree(t);
  t = TLFcnf(chain("|", N, N, left));      // one clause of N literals
  EXPECT_EQ(nodes(t, '|'), N);
  treefree(t);
  t = TLFdnf(chain("|", N, 1000, left));   // x | !x somewhere: TRUE
  EXPECT_EQ(show(t), "^");
  treefree(t);
}

TEST(TLFdeep, RightSpines) { deepchains(false); }
TEST(TLFdeep, LeftSpines) { deepchains(true); }

TEST(TLFdeep, AlternatingNesting) {
  // 1 & (!2 | (3 & (!4 | ...)))
  const int N = 100000;
  tree *t = treenum(N);
  for (int i = N - 1; i > 0; i--)
    t = treecompose(i % 2 ? "&" : "|", i % 2 ? treenum(i) : treecompose("!", nullptr, treenum(i)), t);
  t = TLFred(TLFnnf(TLFnegate(t)));
  EXPECT_EQ(TLFisprop(t), 1);
  EXPECT_EQ(TLFnnftype(t), 0);
  treefree(t);
}

// Large cases with their times (they also guard against quadratic slips). Release figures come from the same tests in a release build.
TEST(TLFperf, CnfOfTenThousandClauses) {
  // (x1 & ... & x100) | (y1 & ... & y100): 10,000 two-literal clauses
  tree *f = treecompose("|", chain("&", 100, 100, false), nullptr);
  tree *g = nullptr;
  for (int i = 100; i > 0; i--) g = g ? treecompose("&", treenum(100 + i), g) : treenum(100 + i);
  f->right = g;
  std::clock_t t0 = std::clock();
  tree *cnf = TLFcnf(f);
  double ms = msecs(t0);
  EXPECT_EQ(nodes(cnf, '&'), 10000);
  printf("TLFcnf: 100x100 distribution -> 10000 clauses %.1f ms cpu\n", ms);
  treefree(cnf);
}

TEST(TLFperf, CnfProductsAndDenseSubsumption) {
  // (a1 & .. & a10) | (b1 & .. & b10) | (c..) | (d..): products of 100, 1,000, 10,000 clauses
  auto group = [](int base) {
    tree *t = nullptr;
    for (int k = 10; k > 0; k--) t = t ? treecompose("&", treenum(base + k), t) : treenum(base + k);
    return t;
  };
  tree *f = treecompose("|", group(0), treecompose("|", group(10), treecompose("|", group(20), group(30))));
  std::clock_t t0 = std::clock();
  tree *cnf = TLFcnf(f);
  double ms = msecs(t0);
  EXPECT_EQ(nodes(cnf, '&'), 10000);
  treefree(cnf);
  // 10,000 random 8-literal clauses over 16 variables: every literal is in
  // thousands of clauses, the worst case of the subsumption index
  std::mt19937 rng(5);
  tree *h = nullptr;
  for (int i = 0; i < 10000; i++) {
    tree *c = nullptr;
    for (int v = 16; v > 0; v--) {
      if (rng() % 2) continue;
      tree *l = treenum(v);
      if (rng() % 2) l = treecompose("!", nullptr, l);
      c = c ? treecompose("|", l, c) : l;
    }
    if (c) h = h ? treecompose("&", c, h) : c;
  }
  t0 = std::clock();
  cnf = TLFcnf(h);
  double ms2 = msecs(t0);
  printf("TLFcnf: 4-way product -> 10000 clauses %.1f ms cpu; dense 10000 clauses -> %d %.1f ms cpu\n", ms,
         nodes(cnf, '&'), ms2);
  treefree(cnf);
}

TEST(TLFperf, RedOfHundredThousandNodes) {
  // conjunction of 14,000 three-literal clauses over 4,000 variables, some units
  std::mt19937 rng(11);
  tree *f = nullptr;
  for (int i = 0; i < 14000; i++) {
    tree *c = nullptr;
    for (int k = i % 700 == 0 ? 1 : 3; k > 0; k--) {
      tree *l = treenum(1 + int(rng() % 4000));
      if (rng() % 2) l = treecompose("!", nullptr, l);
      c = c ? treecompose("|", l, c) : l;
    }
    f = f ? treecompose("&", c, f) : c;
  }
  tree *g = treecopy(f);
  int size = nodes(f);
  std::clock_t t0 = std::clock();
  f = TLFred(f);
  double ms = msecs(t0);
  std::vector<char> val(4001);
  for (int a = 0; a < 64; a++) {           // a few random assignments agree
    for (size_t k = 0; k < val.size(); k++) val[k] = rng() % 2;
    EXPECT_EQ(eval(f, val), eval(g, val));
  }
  printf("TLFred: %d nodes -> %d nodes %.1f ms cpu\n", size, nodes(f), ms);
  treefree(f);
  treefree(g);
}
