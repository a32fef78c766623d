// lumet end to end on the bundled examples and on models written here: the
// verdicts, and every counterexample file checked as an execution of the
// model's Boolean program (evaluated on the formula trees, without TBDs).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "front/f2p.h"
#include "front/int.h"
#include "formula/tlf.h"
#include "front/prep.h"
#include "main/param.h"
#include "main/report.h"
#include "symbolic/cex.h"
#include "tree/tree.h"

namespace {

std::string slurp(const std::string &path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::string workdir() {
  static std::string d;
  if (d.empty()) {
    char tmpl[] = "/tmp/lumet_symXXXXXX";
    char *p = mkdtemp(tmpl);
    d = p ? p : "/tmp";
  }
  return d;
}

// Copies a bundled example into the work directory, where the ".cex" goes.
std::string example(const std::string &rel) {
  std::string src = std::string(LUMET_SRC) + "/tests/acceptance/examples/" + rel;
  std::string dst = workdir() + "/" + rel.substr(rel.find_last_of('/') + 1);
  std::ofstream(dst) << slurp(src);
  return dst;
}

std::string writemodel(const std::string &name, const std::string &text) {
  std::string path = workdir() + "/" + name;
  std::ofstream(path) << text;
  return path;
}

struct run {
  int status;                       // exit status
  std::string out;                  // standard output
};

run lumet(const std::string &args, const std::string &model) {
  std::string cmd = "cd " + workdir() + " && " + LUMET_BIN + " " + args + " " + model + " 2>/dev/null";
  run r{-1, ""};
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t k;
  while ((k = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, k);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string conclusion(const std::string &out) {
  size_t at = out.find("CONCLUSION: ");
  if (at == std::string::npos) return "";
  size_t b = at + 12, e = out.find_first_of(" \n", b);
  return out.substr(b, e - b);
}

bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

// bits[k] is the value of Boolean variable k, current 1..n, next n+1..2n.
bool evalb(const tree *t, const std::vector<int> &bits) {
  if (!t) return true;
  const std::string s = t->text;
  if (s == "^") return true;
  if (s == "_") return false;
  if (s == "!") return !evalb(t->right, bits);
  if (s == "&" || s == ":") return evalb(t->left, bits) && evalb(t->right, bits);
  if (s == "|" || s == ";") return evalb(t->left, bits) || evalb(t->right, bits);
  size_t k = (size_t)std::atoi(s.c_str());
  if (k >= 1 && k < bits.size()) return bits[k] != 0;
  std::fprintf(stderr, "not a Boolean formula at %s\n", s.c_str());
  std::exit(1);
}

[[noreturn]] void fail(const std::string &why) {
  std::fprintf(stderr, "%s\n", why.c_str());
  std::fflush(stderr);
  std::_Exit(1);
}

bool temporal(const tree *t) {
  bool op = t && !t->text[1] && t->text[0] && std::strchr("AEXFGUR", t->text[0]) && (t->left || t->right);
  return t && (op || temporal(t->left) || temporal(t->right));
}
bool hasE(const tree *t) {
  return t && (isop(t, 'E') || ((isop(t, '&') || isop(t, '|')) && (hasE(t->left) || hasE(t->right))));
}

// Truth of a formula in negation normal form at every position of a trace
// read as one path: the last state steps to the loop state or, without a
// loop, to an end where no temporal claim holds. A universal subformula is
// not checked (one path cannot show it), and of a conjunction of two
// existential claims one path shows one.
std::vector<char> onpath(const tree *f, const std::vector<std::vector<int>> &st, int loop) {
  int n = (int)st.size();
  std::vector<char> v((size_t)n + 1, 0);
  auto succ = [&](int j) { return j < n - 1 ? j + 1 : loop >= 0 ? loop : n; };
  if (!temporal(f)) {
    for (int j = 0; j < n; j++) v[(size_t)j] = evalb(f, st[(size_t)j]);
    return v;
  }
  if (isop(f, 'A')) return std::vector<char>((size_t)n + 1, 1);
  if (isop(f, 'E')) return onpath(f->right, st, loop);
  std::vector<char> b = onpath(f->right, st, loop), a;
  if (f->left) a = onpath(f->left, st, loop);
  bool either = isop(f, '&') && hasE(f->left) && hasE(f->right);
  if (isop(f, '&') || isop(f, '|')) {
    for (int j = 0; j < n; j++)
      v[(size_t)j] = isop(f, '&') && !either ? a[(size_t)j] && b[(size_t)j] : a[(size_t)j] || b[(size_t)j];
    return v;
  }
  if (isop(f, 'X')) {
    for (int j = 0; j < n; j++) v[(size_t)j] = b[(size_t)succ(j)];
    return v;
  }
  bool least = isop(f, 'F') || isop(f, 'U');
  for (int j = 0; j < n; j++) v[(size_t)j] = !least;
  for (bool changed = true; changed;) {
    changed = false;
    for (int j = n - 1; j >= 0; j--) {
      bool nx = v[(size_t)succ(j)], r;
      if (isop(f, 'F')) r = b[(size_t)j] || nx;
      else if (isop(f, 'G')) r = b[(size_t)j] && nx;
      else if (isop(f, 'U')) r = b[(size_t)j] || (a[(size_t)j] && nx);
      else r = b[(size_t)j] && (a[(size_t)j] || nx);
      if (r != (bool)v[(size_t)j]) v[(size_t)j] = r, changed = true;
    }
  }
  return v;
}

// States of a ".cex" file as name -> value maps, the TRANS numbers and the
// LOOP state (-1 without one).
void parsecex(const std::string &text, std::vector<std::map<std::string, long>> &states,
              std::vector<int> &trans, int &loop) {
  std::istringstream in(text);
  std::string line;
  loop = -1;
  while (std::getline(in, line)) {
    if (line.rfind("--- LOOP ", 0) == 0) {
      loop = std::atoi(line.c_str() + 9);
    } else if (line.rfind("// ", 0) == 0) {
      continue;                     // C annotations
    } else if (line.rfind("--- STATE ", 0) == 0) {
      states.emplace_back();
    } else if (line.rfind("--- TRANS ", 0) == 0) {
      trans.push_back(std::atoi(line.c_str() + 10));
    } else {
      size_t tab = line.find("\t=");
      if (tab == std::string::npos || states.empty()) fail("bad line: " + line);
      states.back()[line.substr(0, tab)] = std::atol(line.c_str() + tab + 2);
    }
  }
}

// Runs in a child process (the front end keeps global state): builds the
// Boolean program as lumet does and checks the trace of the ".cex" file.
// kind 0: the last state violates the invariant A G p; 1: it is a deadlock;
// 2 (3): the trace witnesses the property (its negation) read on the path,
// and a loop passes through every fairness condition.
void checktrace(std::vector<std::string> args, const std::string &model, int kind) {
  if (chdir(workdir().c_str()) != 0) fail("chdir");
  args.insert(args.begin(), "lumet");
  args.push_back(model);
  std::vector<char *> argv;
  for (std::string &a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  int argc = (int)args.size();
  std::FILE *quiet = std::freopen("/dev/null", "w", stdout);
  (void)quiet;
  PARdefaults();
  repinit();
  const char *file = mainparameters(argc, argv.data());
  if (!file) fail("no model");
  f2p0(file, op0.prop, op0.name, argv.data(), argc);
  prg *p = ggb->program;
  if (op0.prop == PARSEL_ALL) {
    specmerge21(MAINproperties(p->prog));
    op0.prop = 1;
  }
  if (!opDFTT) mgetp(p->prog, op0.prop, 0);
  f2p1(p);
  f2p1INFO(ggb);
  prg *bp = p2bp(p);
  int n = bp->BOOLN;
  tree *init = PROGpart(bp->prog, 1);
  for (tree *c = init; isop(c, ';'); c = c->right) c->text[0] = '&';
  std::vector<tree *> trs;
  for (prgproc &pr : bp->procs)
    for (tree *t : pr.trans) trs.push_back(t);

  std::vector<std::map<std::string, long>> states;
  std::vector<int> trans;
  int loop;
  parsecex(slurp(CEXfilename(model)), states, trans, loop);
  if (states.empty() || trans.size() + 1 != states.size() + (loop >= 0)) fail("trace shape");
  if (loop >= (int)states.size()) fail("loop to no state");
  std::vector<std::vector<int>> bits;
  for (auto &st : states) {
    std::vector<int> b((size_t)(2 * n + 1), 0);
    for (tree *l = bp->vlist; l;) {
      tree *d = isop(l, ';') ? l->left : l;
      l = isop(l, ';') ? l->right : nullptr;
      tree *name = d->left;
      int lo = std::atoi(name->left->text), hi = std::atoi(name->right->text);
      auto it = st.find(CEXrename(name->text));
      if (it == st.end()) fail(std::string("variable missing: ") + name->text);
      long v = it->second;
      for (int k = hi; k >= lo; k--, v >>= 1) b[(size_t)k] = (int)(v & 1);
      if (v) fail(std::string("value too wide: ") + name->text);
    }
    bits.push_back(b);
  }
  if (!evalb(init, bits[0])) fail("first state is not initial");
  for (size_t j = 0; j < trans.size(); j++) {
    int t = trans[j];
    if (t < 1 || t > (int)trs.size()) fail("bad transition number");
    std::vector<int> both = bits[j];
    const std::vector<int> &to = j + 1 < bits.size() ? bits[j + 1] : bits[(size_t)loop];
    for (int k = 1; k <= n; k++) both[(size_t)(n + k)] = to[(size_t)k];
    tree *tr = trs[(size_t)t - 1];
    if (!evalb(tr->left, both) || !evalb(tr->right, both))
      fail("state " + std::to_string(j + 1) + " is no successor by transition " + std::to_string(t));
  }
  std::vector<int> last = bits.back();
  if (kind >= 2) {
    tree *prop = TLFnnf(treecopy(mgetp(bp->prog, op0.prop, 0)));
    if (kind == 3) prop = TLFnnf(TLFnegate(prop));
    if (!onpath(prop, bits, loop)[0]) fail("the path does not show the property");
    for (tree *c = PROGpart(bp->prog, 3); c && loop >= 0;) {
      tree *e = isop(c, ';') ? c->left : c;
      c = isop(c, ';') ? c->right : nullptr;
      bool met = false;
      for (size_t j = (size_t)loop; j < bits.size(); j++) met = met || evalb(e, bits[j]);
      if (!met) fail("the loop misses a fairness condition");
    }
  } else if (kind == 0) {
    tree *prop = mgetp(bp->prog, op0.prop, 0);
    if (!isop(prop, 'A') || !isop(prop->right, 'G')) fail("not an invariant");
    if (evalb(prop->right->right, last)) fail("last state satisfies the invariant");
  } else if (!evalb(bp->dead, last)) {
    if (n > 20) fail("no deadlock condition and too many bits to enumerate");
    for (tree *tr : trs) {
      if (!evalb(tr->left, last)) continue;
      for (long x = 0; x < (1L << n); x++) {
        for (int k = 1; k <= n; k++) last[(size_t)(n + k)] = (x >> (k - 1)) & 1;
        if (evalb(tr->right, last)) fail("last state has a successor");
      }
    }
  }
  std::fprintf(stderr, "TRACE OK %zu\n", states.size());
  std::fflush(stderr);
  std::_Exit(0);
}

// The work directory goes when the tests are done.
struct workclean : testing::Environment {
  void TearDown() override {
    std::string d = workdir();
    if (d.rfind("/tmp/lumet_sym", 0) == 0) std::system(("rm -rf " + d).c_str());
  }
};
testing::Environment *const cleaner = testing::AddGlobalTestEnvironment(new workclean);

std::vector<std::string> split(const std::string &s, char sep) {
  std::vector<std::string> v;
  std::string cur;
  std::istringstream in(s);
  while (std::getline(in, cur, sep)) v.push_back(cur);
  return v;
}

}  // namespace

// Every bundled case: verdict word and exit status; every false case but
// totalness and every holding existential one that leaves a trace leaves an
// execution showing it. A C program is replayed on its translation, a
// bounded trace as a path showing the property or its negation.
constexpr int CASES = 66, TRACED = 32;
TEST(Lumet, BundledExamples) {
  std::istringstream tsv(slurp(std::string(LUMET_SRC) + "/tests/acceptance/examples/expected.tsv"));
  std::string line;
  std::getline(tsv, line);
  int cases = 0, traces = 0;
  while (std::getline(tsv, line)) {
    std::vector<std::string> c = split(line, '\t');
    if (c.size() < 5 || !std::strchr("XCBQ", c[0][0])) continue;
    bool isc = c[0][0] == 'C', bounded = c[0][0] == 'B' || c[0][0] == 'Q';
    // files named in the options are copied too; the replay reads the
    // translation of a C program with the options of the check alone
    std::string args, replay;
    std::vector<std::string> words = split(c[2], ' ');
    for (size_t k = 0; k < words.size(); k++) {
      bool file = words[k].rfind("models/", 0) == 0;
      std::string w = file ? example(words[k]) : words[k];
      args += (args.empty() ? "" : " ") + w;
      bool cfile = k > 0 && (words[k - 1] == "-c" || words[k - 1] == "-sp");
      if (!cfile && words[k] != "-c" && words[k] != "-sp") replay += (replay.empty() ? "" : " ") + w;
    }
    std::string model = example(c[1]);
    std::remove(CEXfilename(model).c_str());
    run r = lumet(args, model);
    EXPECT_EQ(std::atoi(c[3].c_str()), r.status) << c[0] << "\n" << r.out;
    EXPECT_EQ(c[4], conclusion(r.out)) << c[0];
    cases++;
    if (isc) {
      // the translation read again with the width the probe chose
      model = model.substr(0, model.size() - 2) + ".lum";
      size_t at = r.out.find("INFO:       int width ");
      if (at != std::string::npos) {
        std::string text = slurp(model);
        F2Psetintwidth(text, std::atoi(r.out.c_str() + at + 22));
        std::ofstream(model) << text;
      }
    }
    bool fw = (" " + c[2] + " ").find(" -f ") != std::string::npos || isc;
    bool df = c[2].find("-ck df") != std::string::npos;
    bool tt = c[2].find("-ck tt") != std::string::npos;
    // a failed backward check or a holding existential one writes a trace silently
    bool stored = c[4] == "FALSE" && (fw || df);
    bool said = r.out.find("The property is false, preparing files ...") != std::string::npos;
    if (!bounded) {
      EXPECT_EQ(stored, said) << c[0];
    }
    if (std::ifstream(CEXfilename(model)).good()) {
      int kind = df ? 1 : fw ? 0 : c[4] == "TRUE" ? 2 : 3;
      EXPECT_FALSE(tt) << c[0];
      EXPECT_EXIT(checktrace(split(replay, ' '), model, kind), testing::ExitedWithCode(0), "TRACE OK")
          << c[0];
      traces++;
    } else {
      EXPECT_FALSE(stored || said) << c[0] << ": no trace";
    }
  }
  EXPECT_EQ(CASES, cases);
  EXPECT_EQ(TRACED, traces);
}

// A free choice must reach every value forward: -f and -ck df agree with the
// backward verdict, and the traces are executions.
TEST(Lumet, FreeChoiceForward) {
  std::string m = writemodel("choice.lum",
                             "LUM\nVAR\n  x : 0..3;\n  y : 0..1;\nINIT\n  x = 0; y = 0;\nTRANS\n"
                             "  x = 0 : x := * & y := 1 - y;\n  x = 1 : x := 1;\n  x = 3 : x := 0;\n"
                             "SPEC\n  AG(x != 2);\n  EF(x = 2);\n  AG(x != 2 | y = 1);\n");
  struct row {
    const char *args;
    int status;
    const char *word;
    int trace;                      // -1 none, 0 invariant, 1 deadlock
  } rows[] = {
      {"-ck 1", 255, "FALSE", -1}, {"-ck 1 -f", 255, "FALSE", 0}, {"-ck 2", 1, "TRUE", -1},
      {"-ck 2 -f", 1, "TRUE", -1},  {"-ck 3", 255, "FALSE", -1},   {"-ck 3 -f", 255, "FALSE", 0},
      {"-ck df", 255, "FALSE", 1},  {"-ck tt", 255, "FALSE", -1},
  };
  for (auto &r : rows) {
    std::remove(CEXfilename(m).c_str());
    run o = lumet(r.args, m);
    EXPECT_EQ(r.status, o.status) << r.args << "\n" << o.out;
    EXPECT_EQ(r.word, conclusion(o.out)) << r.args;
    if (r.trace >= 0) {
      EXPECT_EXIT(checktrace(split(r.args, ' '), m, r.trace), testing::ExitedWithCode(0), "TRACE OK")
          << r.args;
    }
  }
  lumet("-ck df", m);
  std::string cex = slurp(CEXfilename(m));
  EXPECT_NE(std::string::npos, cex.find("x\t=2\n")) << cex;   // the deadlock is x = 2
  run o = lumet("-ck 3 -f", m);
  cex = slurp(CEXfilename(m));   // (0,0) (0,1) (2,0): x = 2 reached with y = 0
  size_t states = 0;
  for (size_t at = cex.find("STATE"); at != std::string::npos; at = cex.find("STATE", at + 1)) states++;
  EXPECT_EQ(3u, states) << cex;
  EXPECT_EQ("x\t=2", cex.substr(cex.rfind("x\t="), 4)) << cex;
}

// A FAIRNESS condition of the main module (no "running") changes liveness.
TEST(Lumet, FairnessChangesLiveness) {
  const char *body =
      "VAR\n  x : 0..1;\n  y : 0..1;\nINIT\n  x = 0; y = 0;\nTRANS\n"
      "  TRUE : x := 1 - x;\n  x = 1 : y := 1;\n";
  const char *props = "SPEC\n  AF(y = 1);\n  EG(y = 0);\n  AG(EF(y = 1));\n";
  std::string unfair = writemodel("live0.lum", std::string("LUM\n") + body + props);
  std::string fair = writemodel("live1.lum", std::string("LUM\n") + body + "FAIRNESS\n  y = 1;\n" + props);
  struct row {
    const std::string *m;
    const char *args, *word;
  } rows[] = {{&unfair, "-ck 1", "FALSE"}, {&fair, "-ck 1", "TRUE"},
              {&unfair, "-ck 2", "TRUE"},  {&fair, "-ck 2", "FALSE"},
              {&unfair, "-ck 3", "TRUE"},  {&fair, "-ck 3", "TRUE"}};
  for (auto &r : rows) {
    run o = lumet(r.args, *r.m);
    EXPECT_EQ(r.word, conclusion(o.out)) << *r.m << " " << r.args << "\n" << o.out;
  }
}

// Formulas outside the fragment end with an error, never a verdict.
TEST(Lumet, FormulaOutsideFragment) {
  std::string m = writemodel("frag.lum",
                             "LUM\nVAR\n  x : 0..1;\nINIT\n  x = 0;\nTRANS\n  TRUE : x := 1 - x;\n"
                             "SPEC\n  A(F(x = 1) | G(x = 0));\n  AF(G(x = 1));\n");
  for (const char *a : {"-ck 1", "-ck 2", "-ck 1 -f"}) {
    run o = lumet(a, m);
    EXPECT_EQ("", conclusion(o.out)) << a << "\n" << o.out;
    EXPECT_EQ(0, o.status) << a;
  }
}
