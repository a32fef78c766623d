// Procedures end to end: each model with calls beside a twin whose bodies are
// written inline as pc-sequenced transitions of the main module, contracts
// and their check (-ck NAME), and a counterexample through a call replayed
// step by step, the call by running the procedure's own Boolean program.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "boolean/p2bp.h"
#include "front/f2p.h"
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

std::string dir() {
  static std::string d;
  if (d.empty()) {
    char tmpl[] = "/tmp/lumet_procXXXXXX";
    char *p = mkdtemp(tmpl);
    d = p ? p : "/tmp";
  }
  return d;
}

struct workclean : testing::Environment {
  void TearDown() override {
    if (dir().rfind("/tmp/lumet_proc", 0) == 0) std::system(("rm -rf " + dir()).c_str());
  }
};
testing::Environment *const cleaner = testing::AddGlobalTestEnvironment(new workclean);

std::string model(const std::string &name, const std::string &text) {
  std::string path = dir() + "/" + name;
  std::ofstream(path) << text;
  return path;
}

struct run {
  int status;                       // exit status
  std::string out;                  // standard output and error
};

run lumet(const std::string &args, const std::string &m) {
  std::string cmd = "cd " + dir() + " && " + LUMET_BIN + " " + args + " " + m + " 2>&1";
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

// One procedure model and its inline twin; `props` is shared (properties
// read only the main module's variables at its own locations).
struct twin {
  const char *name;
  const char *proc;                 // model with PROCEDURE definitions
  const char *inl;                  // the bodies inline
  const char *verdicts;             // per property, then df and tt: T or F
};

const char *const PROPS[] = {"AG", "AG", "EF", "AF", "EG", "AU"};

const twin TWINS[] = {
    {"one parameter, with a contract",
     "LUM VAR x : 0..3; pc : 0..3; INIT x = 0 & pc = 0;\n"
     "TRANS pc = 0 : inc(x) & pc := 1; pc = 1 : inc(x) & pc := 2; pc = 2 : pc := 2;\n"
     "SPEC AG(!(pc = 2) | x = 2); AG(!(pc = 1) | x = 0); EF(pc = 2 & x = 2); AF(pc = 2);\n"
     "EG(x < 3); A(x < 3 U pc = 2);\n"
     "PROCEDURE inc(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : v := v + 1 & t := 1; t = 1 : RETURN;\n"
     "ASSUMPTION v : 0..3; v < 3; GUARANTEE v = P(v) + 1;\n",
     "LUM VAR x : 0..3; pc : 0..7; t : 0..1; INIT x = 0 & pc = 0 & t = 0;\n"
     "TRANS pc = 0 : pc := 4 & t := 0; pc = 4 & t = 0 : x := x + 1 & t := 1; pc = 4 & t = 1 : pc := 1;\n"
     "pc = 1 : pc := 5 & t := 0; pc = 5 & t = 0 : x := x + 1 & t := 1; pc = 5 & t = 1 : pc := 2;\n"
     "pc = 2 : pc := 2;\n",
     "TFTTTTTF"},
    {"two parameters and a global side effect",
     "LUM VAR x : 0..3; y : 0..1; g : 0..1; pc : 0..3; INIT x = 0 & y = 1 & g = 0 & pc = 0;\n"
     "TRANS pc = 0 : add(x, y) & pc := 1; pc = 1 : add(x, y) & pc := 2 & y := 0; pc = 2 : pc := 2;\n"
     "SPEC AG(!(pc = 2) | x = 2 & g = 1 & y = 0); AG(g = 0); EF(pc = 2 & y = 0); AF(g = 1);\n"
     "EG(x < 3); A(y = 1 U pc = 2);\n"
     "PROCEDURE add(a, b) VAR t : 0..1; INIT t = 0;\n"
     "TRANS t = 0 : a := a + b & g := 1 & t := 1; t = 1 : RETURN;\n",
     "LUM VAR x : 0..3; y : 0..1; g : 0..1; pc : 0..7; t : 0..1;\n"
     "INIT x = 0 & y = 1 & g = 0 & pc = 0 & t = 0;\n"
     "TRANS pc = 0 : pc := 4 & t := 0; pc = 4 & t = 0 : x := x + y & g := 1 & t := 1;\n"
     "pc = 4 & t = 1 : pc := 1; pc = 1 : pc := 5 & t := 0;\n"
     "pc = 5 & t = 0 : x := x + y & g := 1 & t := 1; pc = 5 & t = 1 : pc := 2 & y := 0;\n"
     "pc = 2 : pc := 2;\n",
     "TFTTTTTF"},
    {"a nested call",
     "LUM VAR x : 0..3; pc : 0..1; INIT x = 0 & pc = 0;\n"
     "TRANS pc = 0 : outer(x) & pc := 1; pc = 1 : pc := 1;\n"
     "SPEC AG(!(pc = 1) | x = 2); AG(x = 0); EF(x = 2); AF(pc = 1); EG(x < 3); A(x < 3 U pc = 1);\n"
     "PROCEDURE outer(v) VAR s : 0..3; INIT s = 0;\n"
     "TRANS s = 0 : inc(v) & s := 1; s = 1 : inc(v) & s := 2; s = 2 : RETURN;\n"
     "PROCEDURE inc(w) VAR t : 0..1; INIT t = 0; TRANS t = 0 : w := w + 1 & t := 1; t = 1 : RETURN;\n",
     "LUM VAR x : 0..3; pc : 0..7; s : 0..3; t : 0..1; INIT x = 0 & pc = 0 & s = 0 & t = 0;\n"
     "TRANS pc = 0 : pc := 2 & s := 0; pc = 2 & s = 0 : pc := 3 & t := 0;\n"
     "pc = 3 & t = 0 : x := x + 1 & t := 1; pc = 3 & t = 1 : pc := 2 & s := 1;\n"
     "pc = 2 & s = 1 : pc := 4 & t := 0; pc = 4 & t = 0 : x := x + 1 & t := 1;\n"
     "pc = 4 & t = 1 : pc := 2 & s := 2; pc = 2 & s = 2 : pc := 1; pc = 1 : pc := 1;\n",
     "TFTTTTTF"},
    {"a procedure that never returns",
     "LUM VAR x : 0..1; pc : 0..3; INIT x = 0 & pc = 0;\n"
     "TRANS pc = 0 : pc := 1; pc = 1 : stuck(x) & pc := 2; pc = 2 : pc := 2;\n"
     "SPEC AG(!(pc = 2)); AG(!(pc = 1)); EF(pc = 2); AF(pc = 2); EG(!(pc = 2)); A(pc = 0 U pc = 1);\n"
     "PROCEDURE stuck(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : v := 1 & t := 1;\n",
     "LUM VAR x : 0..1; pc : 0..3; t : 0..1; INIT x = 0 & pc = 0 & t = 0;\n"
     "TRANS pc = 0 : pc := 1; pc = 1 : pc := 3 & t := 0; pc = 3 & t = 0 : x := 1 & t := 1;\n"
     "pc = 2 : pc := 2;\n",
     "TFFTFTFF"},
};

// Identical verdicts, and the expected ones, for every property of every
// pair, with and without -f and -ag; -ck df and -ck tt too.
TEST(Procedure, InlineTwins) {
  for (const twin &t : TWINS) {
    std::string text = t.proc, props = text.substr(text.find("SPEC"));
    std::string p = model("p.lum", text);
    std::string q = model("q.lum", t.inl + props.substr(0, props.find("PROCEDURE")));
    std::string v = t.verdicts;
    for (size_t k = 0; k < v.size(); k++) {
      std::string sel = k < 6 ? std::to_string(k + 1) : k == 6 ? "df" : "tt";
      int want = v[k] == 'T' ? 1 : 255;
      for (const char *opt : {"", "-f", "-ag"}) {
        run a = lumet(std::string("-ck ") + sel + " " + opt, p);
        EXPECT_EQ(want, a.status) << t.name << ", " << (k < 6 ? PROPS[k] : sel) << " " << opt << "\n"
                                  << a.out;
        if (std::string(opt) == "-ag") continue;
        run b = lumet(std::string("-ck ") + sel + " " + opt, q);
        EXPECT_EQ(want, b.status) << t.name << " (inline), " << sel << " " << opt << "\n" << b.out;
      }
    }
  }
}

bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

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
  std::_Exit(1);
}

using bitv = std::vector<int>;      // value of bit k at [k], k >= 1

// Every successor of cur (n bits) under the transitions, by enumeration.
std::vector<bitv> successors(const std::vector<tree *> &trs, const bitv &cur, int n) {
  std::vector<bitv> out;
  for (tree *tr : trs) {
    bitv both((size_t)(2 * n + 1), 0);
    for (int k = 1; k <= n; k++) both[(size_t)k] = cur[(size_t)k];
    if (!evalb(tr->left, both)) continue;
    for (long x = 0; x < (1L << n); x++) {
      for (int k = 1; k <= n; k++) both[(size_t)(n + k)] = (x >> (k - 1)) & 1;
      if (!evalb(tr->right, both)) continue;
      bitv s((size_t)n + 1, 0);
      for (int k = 1; k <= n; k++) s[(size_t)k] = both[(size_t)(n + k)];
      out.push_back(s);
    }
  }
  return out;
}

// The caller states (first k bits) in which a run of the procedure called by
// `call` from the caller state `entry` returns.
std::set<bitv> returns(tree *call, tree *vlist, const bitv &entry, int k) {
  prg *cb = p2bp(prog2prg(procedurecreate(call, ggb->modules, vlist, -1)));
  int n = cb->BOOLN;
  if (n > 16) fail("procedure too wide to enumerate");
  for (tree *c : cb->procs[0].calls)
    if (c) fail("nested call in the replayed procedure");
  tree *init = PROGpart(cb->prog, 1);
  for (tree *c = init; isop(c, ';'); c = c->right) c->text[0] = '&';
  std::vector<bitv> work;
  std::set<bitv> seen, ret;
  for (long x = 0; x < (1L << (n - k)); x++) {
    bitv s = entry;
    s.resize((size_t)n + 1, 0);
    for (int b = k + 1; b <= n; b++) s[(size_t)b] = (x >> (b - k - 1)) & 1;
    if (!s[(size_t)n] && evalb(init, s) && seen.insert(s).second) work.push_back(s);
  }
  while (!work.empty()) {
    bitv s = work.back();
    work.pop_back();
    if (s[(size_t)n]) {               // returned: the caller's part
      ret.insert(bitv(s.begin(), s.begin() + k + 1));
      continue;
    }
    for (const bitv &t : successors(cb->procs[0].trans, s, n))
      if (seen.insert(t).second) work.push_back(t);
  }
  return ret;
}

// In a child: the ".cex" of an invariant is an execution whose last state
// violates it; a call step is a return of the procedure followed by the
// rest of the calling transition.
void replay(const std::string &m, int sel) {
  if (chdir(dir().c_str()) != 0) fail("chdir");
  std::FILE *quiet = std::freopen("/dev/null", "w", stdout);
  (void)quiet;
  PARdefaults();
  repinit();
  char name[PARNAMELEN] = {0};
  char prog[] = "lumet";
  char *argv[] = {prog, nullptr};
  f2p0(m.c_str(), sel, name, argv, 1);
  prg *p = ggb->program;
  mgetp(p->prog, sel, 0);
  f2p1(p);
  f2p1INFO(ggb);
  prg *bp = p2bp(p);
  int n = bp->BOOLN;
  tree *init = PROGpart(bp->prog, 1);
  for (tree *c = init; isop(c, ';'); c = c->right) c->text[0] = '&';
  std::vector<tree *> trs, calls;
  for (prgproc &pr : bp->procs)
    for (size_t j = 0; j < pr.trans.size(); j++) {
      trs.push_back(pr.trans[j]);
      calls.push_back(j < pr.calls.size() ? pr.calls[j] : nullptr);
    }
  std::vector<bitv> states;
  std::vector<int> trans;
  std::istringstream in(slurp(CEXfilename(m)));
  std::string line;
  std::vector<std::map<std::string, long>> named;
  while (std::getline(in, line)) {
    if (line.rfind("--- STATE ", 0) == 0) named.emplace_back();
    else if (line.rfind("--- TRANS ", 0) == 0) trans.push_back(std::atoi(line.c_str() + 10));
    else if (line.find("\t=") != std::string::npos && !named.empty())
      named.back()[line.substr(0, line.find("\t="))] = std::atol(line.c_str() + line.find("\t=") + 2);
  }
  for (auto &st : named) {
    bitv b((size_t)n + 1, 0);
    for (tree *l = bp->vlist; l;) {
      tree *d = isop(l, ';') ? l->left : l;
      l = isop(l, ';') ? l->right : nullptr;
      int lo = std::atoi(d->left->left->text), hi = std::atoi(d->left->right->text);
      long v = st.at(CEXrename(d->left->text));
      for (int k = hi; k >= lo; k--, v >>= 1) b[(size_t)k] = (int)(v & 1);
    }
    states.push_back(b);
  }
  if (states.empty() || trans.size() + 1 != states.size()) fail("trace shape");
  if (!evalb(init, states[0])) fail("first state is not initial");
  int through = 0;
  for (size_t j = 0; j < trans.size(); j++) {
    size_t t = (size_t)trans[j] - 1;
    if (t >= trs.size()) fail("bad transition number");
    bitv both((size_t)(2 * n + 1), 0);
    for (int k = 1; k <= n; k++) both[(size_t)k] = states[j][(size_t)k];
    if (!evalb(trs[t]->left, both)) fail("guard false at step " + std::to_string(j));
    std::vector<bitv> mids{states[j]};
    if (calls[t]) {
      std::set<bitv> r = returns(calls[t], bp->vlist, states[j], n);
      mids.assign(r.begin(), r.end());
      through++;
    }
    bool ok = false;
    for (const bitv &mid : mids) {
      for (int k = 1; k <= n; k++) {
        both[(size_t)k] = mid[(size_t)k];
        both[(size_t)(n + k)] = states[j + 1][(size_t)k];
      }
      ok = ok || evalb(trs[t]->right, both);
    }
    if (!ok) fail("no step " + std::to_string(j) + " by transition " + std::to_string(t + 1));
  }
  tree *prop = mgetp(bp->prog, sel, 0);
  if (!isop(prop, 'A') || !isop(prop->right, 'G') || evalb(prop->right->right, states.back()))
    fail("last state satisfies the invariant");
  std::fprintf(stderr, "TRACE OK %i calls\n", through);
  std::_Exit(0);
}

TEST(Procedure, ForwardCounterexampleThroughCalls) {
  std::string m = model("cex.lum", TWINS[1].proc);
  run r = lumet("-ck 2 -f", m);
  EXPECT_EQ(255, r.status) << r.out;
  EXPECT_EXIT(replay(m, 2), testing::ExitedWithCode(0), "TRACE OK 1 calls");
  m = model("cex3.lum", TWINS[0].proc);
  r = lumet("-ck 2 -f -ag", m);
  EXPECT_EQ(255, r.status) << r.out;
  EXPECT_EXIT(replay(m, 2), testing::ExitedWithCode(0), "TRACE OK 1 calls");
}

const char *const INC =
    "LUM VAR x : 0..3; pc : 0..1; INIT x = 0 & pc = 0;\n"
    "TRANS pc = 0 : outer(x) & pc := 1; pc = 1 : pc := 1; FAIRNESS pc = 1;\n"
    "SPEC AG(x < 3);\n"
    "PROCEDURE outer(v) VAR s : 0..1; INIT s = 0;\n"
    "TRANS s = 0 : inc(v) & s := 1; s = 1 : RETURN;\n"
    "ASSUMPTION v : 0..3; v < 2; GUARANTEE v = P(v) + 1;\n"
    "PROCEDURE inc(w) VAR t : 0..1; INIT t = 0; TRANS t = 0 : w := %s & RETURN;\n"
    "ASSUMPTION w : 0..3; w < %s; GUARANTEE w = %s;\n";

std::string inc(const char *body, const char *bound, const char *g) {
  char buf[1024];
  std::snprintf(buf, sizeof buf, INC, body, bound, g);
  return buf;
}

struct agcase {
  const char *what;
  std::string text;
  const char *args;
  int status;
  const char *lines;                // expected in the output
};

TEST(Procedure, ContractCheck) {
  const agcase cases[] = {
      {"a correct contract", inc("w + 1", "3", "P(w) + 1"), "-ck outer", 1, "A/G=1\nCONCLUSION: TRUE"},
      {"inlined as well", inc("w + 1", "3", "P(w) + 1"), "-ck outer -ag", 1, "A/G=-1\nCONCLUSION: TRUE"},
      {"the callee body is wrong, its contract holds the caller's",
       inc("w", "3", "P(w) + 1"), "-ck outer", 1, "A/G=1\nCONCLUSION: TRUE"},
      {"... and inlined the caller's contract fails", inc("w", "3", "P(w) + 1"), "-ck outer -ag", 255,
       "A/G=-1\nCONCLUSION: FALSE"},
      {"the callee's contract is too weak: holds only inlined", inc("w + 1", "3", "P(w) + 1 | w = 0"),
       "-ck outer", 1, "A/G=-1\nCONCLUSION: TRUE"},
      {"the callee's own contract is violated", inc("w", "3", "P(w) + 1"), "-ck inc", 255,
       "CONCLUSION: FALSE"},
      {"a do-nothing body does not flip", inc("w", "3", "1 - P(w)"), "-ck inc", 255, "CONCLUSION: FALSE"},
      {"a flip", inc("1 - w", "2", "1 - P(w)"), "-ck inc", 1, "CONCLUSION: TRUE"},
      {"the callee's assumption is violated", inc("w + 1", "1", "P(w) + 1"), "-ck outer", 0,
       "INFO:       ASSUMPTION violation\nCONCLUSION: UNKNOWN"},
      {"no such procedure", inc("w + 1", "3", "P(w) + 1"), "-ck nosuch", 0,
       "INFO:       PROCEDURE not available\nCONCLUSION: UNKNOWN"},
      {"normal run with contracts", inc("w", "3", "P(w) + 1"), "", 1,
       "INFO:       using the contract of outer\n"},
      {"normal run inlined", inc("w + 1", "3", "P(w) + 1"), "-ag", 1, "CONCLUSION: TRUE"},
      {"normal run, assumption violated at a call",
       "LUM VAR x : 0..3; INIT x = 3; TRANS x = 3 : inc(x); SPEC AG(x < 4);\n"
       "PROCEDURE inc(w) VAR t : 0..1; INIT t = 0; TRANS t = 0 : w := w + 1 & RETURN;\n"
       "ASSUMPTION w : 0..3; w < 3; GUARANTEE w = P(w) + 1;\n",
       "", 0, "INFO:       ASSUMPTION violation\nCONCLUSION: UNKNOWN"},
      {"no GUARANTEE", "LUM VAR x : 0..1; INIT x = 0; TRANS x = 0 : set(x);\n"
                       "PROCEDURE set(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : v := 1 & RETURN;\n",
       "-ck set", 0, "INFO:       set has no GUARANTEE\nCONCLUSION: UNKNOWN"},
      {"the only call sets x: no deadlock", "LUM VAR x : 0..1; INIT x = 0; TRANS TRUE : set(x);\n"
                       "PROCEDURE set(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : v := 1 & RETURN;\n",
       "-ck df", 1, "CONCLUSION: TRUE"},
      {"recursion", "LUM VAR x : 0..1; INIT x = 0; TRANS x = 0 : rec(x); SPEC AG(x = 0);\n"
                    "PROCEDURE rec(v) VAR t : 0..1; INIT t = 0; TRANS t = 0 : rec(v) & RETURN;\n",
       "-ck 1", 0, "recursive procedure error"},
  };
  for (const agcase &c : cases) {
    run r = lumet(c.args, model("ag.lum", c.text));
    EXPECT_EQ(c.status, r.status) << c.what << "\n" << r.out;
    EXPECT_NE(std::string::npos, r.out.find(c.lines)) << c.what << "\n" << r.out;
  }
}

// One call site executed 50 times: its relation is built once.
TEST(Procedure, FiftyCallsBuildOnce) {
  std::string m = model("fifty.lum",
                        "LUM VAR i : 0..63; x : 0..63; pc : 0..1; INIT i = 0 & x = 0 & pc = 0;\n"
                        "TRANS pc = 0 & i < 50 : inc(x) & i := i + 1; pc = 0 & i = 50 : pc := 1;\n"
                        "pc = 1 : pc := 1; SPEC AG(!(pc = 1) | x = 50); EF(x = 50 & pc = 1);\n"
                        "PROCEDURE inc(v) VAR t : 0..1; INIT t = 0;\n"
                        "TRANS t = 0 : v := v + 1 & t := 1; t = 1 : RETURN;\n");
  for (const char *sel : {"1", "2"}) {
    run r = lumet(std::string("-ck ") + sel, m);
    EXPECT_EQ(1, r.status) << r.out;
    std::string log = slurp(dir() + "/loglmt.tmp");
    size_t built = 0;
    for (size_t at = log.find("pc2tbd\n"); at != std::string::npos; at = log.find("pc2tbd\n", at + 1))
      built++;
    EXPECT_EQ(1u, built) << sel;
  }
}

}  // namespace
