// Long lists, deep nesting, and random and mutated texts for the parser.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <vector>
#include <string>

#include "tree/tree.h"
#include "treetest.h"

constexpr int LONG = 100000;

static std::string longlist(const char *fmt) {
  std::string s;
  char buf[64];
  for (int i = 0; i < LONG; i++) {
    snprintf(buf, sizeof buf, fmt, i, i);
    s += buf;
  }
  return s;
}

static tree *pairup(tree *x, tree *y, tree *rest) {
  tree *p = treecompose("&", treecopy(x), treecopy(y));
  return rest ? treecompose(";", p, rest) : p;
}
static tree *same(tree *t) { return t; }
static int COUNT;
static void count(tree *) { COUNT++; }
static int countpre(tree *t) { return t ? (COUNT++, 0) : 0; }

TEST(Long, ListOf100000) {
  tree *l = P(longlist("v%i:0..%i;"));
  ASSERT_EQ(listlength(l), LONG);
  EXPECT_EQ(treesize(l), 4 * LONG - 1);
  EXPECT_EQ(treesizeof(';', l), LONG);
  EXPECT_EQ(W(listget1n(l, LONG)), "(v99999:0..99999)");
  EXPECT_EQ(treesearchvarlistnum("v99999", 0, l), LONG - 1);

  tree *c = treecopy(l);
  EXPECT_EQ(treediff(l, c), 0);
  treesearch("0..99999", 0, c)->text[0] = '1';
  EXPECT_EQ(treediff(l, c), 1);

  std::string s;
  int n = treewrites(l, s, 0);
  EXPECT_EQ(n, (int)s.size());
  EXPECT_EQ(s.compare(0, 13, "((v0:0..0);(("), 0);
  std::string p;
  EXPECT_GT(treewritep(l, p, 0, 0), (int)s.size());
  FILE *devnull = fopen("/dev/null", "w");
  treewrite(l, devnull);
  fclose(devnull);

  COUNT = 0;
  treedopostvoid(l, count);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  COUNT = 0;
  treedoprevoid(l, countpre);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  EXPECT_EQ(treedopost(l, same), l);
  treereplacestring(l, "..", ".");
  treeaddnumber(l, 1);
  EXPECT_EQ(W(listget1n(l, LONG)), "(v99999:1)");   // the whole text is rewritten

  tree *m = listcombine(pairup, l, c);
  EXPECT_EQ(listlength(m), LONG);
  treefree(m);
  tree *both = listmerge(l, c);
  EXPECT_EQ(listlength(both), 2 * LONG);
  treefree(both);
}

TEST(Long, ChainsAndNesting) {
  tree *t = P(longlist("x%i=%i&"));
  EXPECT_EQ(treesizeof('&', t), LONG);
  tree *x = treesearchvarall("x9999", 0, t);   // x9999 only, not x99990
  EXPECT_EQ(W(x), "(x9999=9999)");
  treefree(x);
  x = treesearchvarall("x", 1, t);
  EXPECT_EQ(treediff(x, t), 0);
  treefree(x);
  treefree(t);

  t = P(std::string(LONG, '!') + "x");   // a prefix chain is one level
  EXPECT_EQ(treesize(t), LONG + 1);
  treefree(t);

  int deep = 500;
  t = P(std::string(deep, '(') + "a+b" + std::string(deep, ')') + "*c");
  EXPECT_EQ(W(t), "((a+b)*c)");
  treefree(t);
  // nesting beyond the parser's bound is refused, not a stack overflow
  EXPECT_EXIT(P(std::string(5000, '(') + "x" + std::string(5000, ')')), testing::ExitedWithCode(0),
              "^Syntax error\n$");
  EXPECT_EXIT(P(std::string(5000, '-') + "x"), testing::ExitedWithCode(0), "^Syntax error\n$");
}

// Conjunctions folded to the left: acc = acc & atom.
TEST(Long, LeftDeepChain) {
  tree *t = nullptr;
  for (int i = 0; i < LONG; i++) {
    tree *a = treecompose("=", treecompose(("x" + std::to_string(i)).c_str(), nullptr, nullptr), treenum(i));
    t = t ? treecompose("&", t, a) : a;
  }
  EXPECT_EQ(treesize(t), 4 * LONG - 1);
  EXPECT_EQ(treesizeof('&', t), LONG);
  tree *c = treecopy(t);
  EXPECT_EQ(treediff(t, c), 0);
  EXPECT_EQ(treesearch("x0", 0, t), treesearch("=", 0, t)->left);   // the deepest atom comes first
  tree *x = treesearchvarall("x0", 0, t);
  EXPECT_EQ(W(x), "(x0=0)");
  treefree(x);
  std::string s, p;
  int n = treewrites(t, s, 0), m = treewritep(t, p, 0, 0);
  EXPECT_EQ(m, n + 1);
  EXPECT_EQ(p, s + ";");
  FILE *devnull = fopen("/dev/null", "w");
  treewrite(t, devnull);
  fclose(devnull);
  COUNT = 0;
  treedopostvoid(t, count);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  COUNT = 0;
  treedoprevoid(t, countpre);
  EXPECT_EQ(COUNT, 4 * LONG - 1);
  EXPECT_EQ(treedopost(t, same), t);
  treereplacestring(c, "x", "y");
  treeaddnumber(c, 1);
  EXPECT_EQ(treesearch("y0", 0, c)->text[0], 'y');
  EXPECT_NE(treesearch("1", 0, c), nullptr);
  EXPECT_EQ(treesearch("0", 0, c), nullptr);
  eqstateconstruct(c, 1);   // no equality of two numbers: nothing changes
  EXPECT_EQ(treesize(c), 4 * LONG - 1);
  EXPECT_EQ(treediff(t, c), 1);
  treefree(t), treefree(c);
}

// Well-formed texts: every operand is non-empty and brackets balance.
struct textgen {
  std::mt19937 rng;
  int pick(int n) { return (int)(rng() % (unsigned)n); }
  std::string name() {
    static const char *names[] = {"x", "y", "pc", "a1", "x_x_2", "go", "c"};
    return names[pick(7)];
  }
  std::string atom() {
    switch (pick(6)) {
      case 0: return std::to_string(pick(1000));
      case 1: return name() + "[" + (pick(2) ? name() + "+1" : std::to_string(pick(9))) + "]";
      case 2: return "(" + name() + "=*)";
      default: return name();
    }
  }
  std::string expr(int depth) {
    if (depth <= 0) return atom();
    static const char *bin = "#;:UR|&>=<?@{}B+-*/%";
    switch (pick(8)) {
      case 0: return std::string(1, "AEFGX!-"[pick(7)]) + expr(depth - 1);
      case 1: return "(" + expr(depth - 1) + ")";
      case 2: {
        static const char *calls[] = {"f", "proc", "p1"};   // a '_' would make a plain leaf
        std::string s = std::string(calls[pick(3)]) + "(";
        int n = pick(4);
        for (int i = 0; i < n; i++) s += (i ? "," : "") + expr(depth - 2);
        return s + ")";
      }
      case 3: return atom();
      default: return expr(depth - 1) + bin[pick(20)] + expr(depth - 1);
    }
  }
};

static bool balanced(const std::string &s) {
  int d = 0;
  for (char c : s) {
    if (c == '(' || c == '[') d++;
    if ((c == ')' || c == ']') && --d < 0) return false;
  }
  return d == 0;
}

static void exercise(const std::string &text, FILE *sink) {
  tree *t = P(text);
  treewrite(t, sink);
  std::string s, p;
  treewrites(t, s, 0);
  treewritep(t, p, 0, 0);
  tree *c = treecopy(t);
  if (treediff(t, c) != 0 || treesize(t) != treesize(c)) abort();
  treefree(c);
  treefree(t);
}

TEST(Fuzz, GeneratedTextsReadBack) {
  textgen g{std::mt19937(12345)};
  FILE *sink = fopen("/dev/null", "w");
  int checked = 0;
  for (int i = 0; i < 4000; i++) {
    std::string text = g.expr(1 + g.pick(7));
    ASSERT_TRUE(balanced(text));
    tree *t = P(text);
    treewrite(t, sink);
    if (t && (t->left || t->right)) {   // call syntax reads back as the same tree
      std::string p;
      treewritep(t, p, 0, 0);
      tree *back = P(p);
      EXPECT_EQ(treediff(t, back), 0) << text << " -> " << p;
      treefree(back);
      checked++;
    }
    treefree(t);
  }
  fclose(sink);
  EXPECT_GT(checked, 2000);
}

// Children (death tests too) end through exit() in the middle of an
// operation; a leak check of the parent's heap there would only cost time.
static int INCHILD;
extern "C" int __lsan_is_turned_off() { return INCHILD || testing::internal::InDeathTestChild(); }

static std::string readall(int fd) {
  std::string s;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) s.append(buf, n);
  close(fd);
  return s;
}

// Runs texts[from..] in one child process, which reports the index of each
// text before it starts on it. A finished batch exits with 3; a rejected text
// ends the child with status 0 and its error line, and the next child goes
// on after it. A crash or a sanitizer report is any other end.
// Returns the index after the last text handled.
static size_t runbatch(const std::vector<std::string> &texts, size_t from, int *finished,
                       int *rejected) {
  int status_fd[2], err_fd[2];
  if (pipe(status_fd) != 0 || pipe(err_fd) != 0) abort();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) abort();
  if (pid == 0) {
    INCHILD = 1;
    close(status_fd[0]);
    close(err_fd[0]);
    dup2(err_fd[1], 2);
    FILE *sink = fopen("/dev/null", "w");
    for (size_t i = from; i < texts.size(); i++) {
      uint32_t k = (uint32_t)i;
      if (write(status_fd[1], &k, sizeof k) != sizeof k) _exit(4);
      exercise(texts[i], sink);
    }
    _exit(3);
  }
  close(status_fd[1]);
  close(err_fd[1]);
  std::string st = readall(status_fd[0]);   // small: the child writes 4 bytes per text
  std::string err = readall(err_fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  size_t last = from;
  if (st.size() >= 4) {
    uint32_t k;
    memcpy(&k, st.data() + st.size() - 4, 4);
    last = k;
  }
  const std::string &text = texts[last];
  EXPECT_TRUE(WIFEXITED(status)) << text;
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code == 3) {
    for (size_t i = from; i < texts.size(); i++) EXPECT_TRUE(balanced(texts[i])) << texts[i];
    *finished += (int)(texts.size() - from);
    return texts.size();
  }
  for (size_t i = from; i < last; i++) EXPECT_TRUE(balanced(texts[i])) << texts[i];
  *finished += (int)(last - from);
  *rejected += 1;
  EXPECT_EQ(code, 0) << text << ": " << err;
  if (!balanced(text))
    EXPECT_EQ(err, "Syntax error\n") << text;
  else
    EXPECT_TRUE(err == "Syntax error\n" || err == "string2tree error\n") << text << ": " << err;
  return last + 1;
}

TEST(Fuzz, MutatedAndRandomTextsInChildren) {
  textgen g{std::mt19937(777)};
  const std::string alphabet = "#;:UR|&AEFGX!>=<?@{}B+-*/%()[],.xy19_^";
  std::vector<std::string> texts;
  int unbalanced = 0;
  while (texts.size() < 1200) {
    std::string s;
    if (texts.size() % 4 == 3) {   // raw characters
      int n = 1 + g.pick(30);
      for (int k = 0; k < n; k++) s += alphabet[g.pick((int)alphabet.size())];
    } else {
      s = g.expr(2 + g.pick(5));
      for (int m = 1 + g.pick(3); m > 0 && !s.empty(); m--) {
        size_t at = g.pick((int)s.size());
        switch (g.pick(4)) {
          case 0: s.erase(at, 1); break;
          case 1: s.insert(at, 1, alphabet[g.pick((int)alphabet.size())]); break;
          case 2: s.insert(at, s.substr(at, g.pick(8))); break;
          default: std::swap(s[at], s[g.pick((int)s.size())]);
        }
      }
    }
    // every unbalanced text costs a process: keep a sample of them
    if (!balanced(s) && ++unbalanced > 100) continue;
    texts.push_back(s);
  }
  int finished = 0, rejected = 0;
  for (size_t i = 0; i < texts.size() && !HasFailure();) i = runbatch(texts, i, &finished, &rejected);
  EXPECT_EQ(finished + rejected, (int)texts.size());
  EXPECT_GT(finished, 400);   // both outcomes occur
  EXPECT_GT(rejected, 200);
}
