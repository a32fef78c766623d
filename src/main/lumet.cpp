// Entry point of the checker: one verification from command line to verdict.
// Stages that are not part of this build end the run honestly after the last
// stage that is, with status 0 and no verdict.
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <csignal>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "bmc/bmc.h"
#include "boolean/p2bp.h"
#include "c2v/c2v.h"
#include "coi/coi.h"
#include "formula/tlf.h"
#include "front/f2p.h"
#include "front/int.h"
#include "front/prep.h"
#include "main/json.h"
#include "main/param.h"
#include "main/proc.h"
#include "main/report.h"
#include "symbolic/bp2t.h"
#include "symbolic/cex.h"
#include "symbolic/cexpath.h"
#include "symbolic/dmc.h"
#include "tbd/tbdbw.h"
#include "tbd/tbdmm.h"
#include "tree/tree.h"

static const char *const MAINversion = "lumet 1.43 - JAN 2013";

// Every end of the run goes through here: the trace log is closed first.
[[noreturn]] static void MAINend(int status) {
  JSONwrite(status);
  std::fflush(stdout);
  if (lmtlog) {
    std::fclose(lmtlog);
    lmtlog = nullptr;
  }
  std::exit(status & 0xff);
}

// The pipeline goes no further in this build.
[[noreturn]] static void MAINnotbuilt(const char *stage) {
  std::printf("INFO:       %s not available in this build, run ends here\n", stage);
  MAINend(0);
}

// "logtmp.tmp" starts empty for its producers; "loglmt.tmp" stays open as the
// trace.  A log that cannot be created is reported and the run goes on without it.
static void MAINopenlogs() {
  std::string tmp = utilworkfile("logtmp.tmp"), lmt = utilworkfile("loglmt.tmp");
  if (FILE *f = std::fopen(tmp.c_str(), "w")) std::fclose(f);
  else std::printf("ERROR:      cannot create %s\n", tmp.c_str());
  lmtlog = std::fopen(lmt.c_str(), "w");
  if (!lmtlog) std::printf("ERROR:      cannot create %s\n", lmt.c_str());
}

// -wd DIR: the work files go there; DIR and its missing parents are made.
// One that cannot be made is reported, and each work file then says so too.
static void MAINworkdir(const std::string &dir) {
  utilworkdir = dir;
  for (size_t at = 1; !dir.empty(); at++) {
    at = dir.find('/', at);
    std::string part = dir.substr(0, at);
    struct stat st;
    if (stat(part.c_str(), &st) != 0 && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
      std::printf("ERROR:      cannot create %s\n", part.c_str());
      return;
    }
    if (at == std::string::npos) return;
  }
}

// A labelled tree in the trace log.
static void MAINlog(const char *label, const tree *t) {
  if (!lmtlog) return;
  std::fputs(label, lmtlog);
  treewrite(t, lmtlog);
  std::fputc('\n', lmtlog);
}

static void MAINdumpggb() {
  if (PAR_debug >= 1 && lmtlog) ggbwrite(ggb, lmtlog);
}

static bool MAINhasprocedure(const modrec *m) {
  for (; m; m = m->next)
    if (m->kind == 'P') return true;
  return false;
}

// A limit of -T or -M ran out: the run ends cleanly without a verdict. The
// limit strikes in the middle of a build whose pieces in flight cannot be
// released, nor need to be: the process ends at once, its output flushed.
[[noreturn]] static void MAINlimit(int kind) {
  PARlimitend = kind == TBDLIM_TIME ? "time" : "memory";
  std::printf("INFO:       %s limit reached\n", PARlimitend.c_str());
  reportresult(VERDICT_UNKNOWN, BOUND_NONE);
  JSONwrite(0);
  if (utilexithook) utilexithook(0);
  std::fflush(nullptr);
  if (lmtlog) std::fclose(lmtlog);
  std::_Exit(0);
}

// Polled by the front end's tree builders: the model alone may need more
// than the limits allow.
static void MAINpoll() {
  TBDlimitpoll();
  if (TBDlim.maxbytes && utilrss() > TBDlim.maxbytes) MAINlimit(TBDLIM_MEMORY);
}

static void MAINlimits() {
  TBDlim.deadline = PAR_tm > 0 ? t0 + (time_t)PAR_tm + 1 : 0;
  TBDlim.maxbytes = (uint64_t)PAR_mem << 20;
  TBDlim.out = [](int kind) { MAINlimit(kind); };
  if (TBDlim.deadline || TBDlim.maxbytes) treepollhook = MAINpoll;
}

// At debug level 1 a true property still gets a trace, to its latest layer.
// A backward check leaves no store but a trace of its own, written silently.
static void MAINcounterexample(int c, const std::string &model) {
  if (Xce) return;
  if (!ggt->cex) {
    if (!CEXpathget()) return;
    CEXpathwrite(ggb->bprogram->vlist, model);
    if (op0.cfile) C2Vcexannotate(CEXfilename(model));
    return;
  }
  if (PAR_debug == 1 && c == 1) {
    if (!ggt->cex->targets.empty()) {
      TBDdr(ggt->cex->targets[0]);
      ggt->cex->targets[0] = TBDtau;
    }
  } else if (c != 0 || op0.prop == PARSEL_INTW) {
    return;
  }
  std::printf("%s\n", "The property is false, preparing files ...");
  CEXwrite(ggt->cex, ggb->bprogram->vlist, model);
  if (op0.cfile) C2Vcexannotate(CEXfilename(model));
}

// A bounded verdict whose route gives no trace (an existential property that
// holds, or a refutation that the QBF path does not show by itself) gets one
// from the decision-diagram engine: quietly, within a budget of its own, and
// only when that engine reaches the same verdict. Not under -T or -M, whose
// budget is the user's.
constexpr time_t MAIN_TRACESECONDS = 10;
constexpr uint64_t MAIN_TRACEBYTES = 1ull << 30;
static tree *MAINtraceprop = nullptr;
static std::string MAINtracemodel;
static int MAINtraceverdict = 0;
struct MAINtraceout {};

static bool MAINtbdtrace() {
  if (Xce || PAR_tm || PAR_mem || !MAINtraceprop || op0.prop == PARSEL_INTW) return false;
  TBDlimits saved = TBDlim;
  void (*progress)(int, int) = TBDprogresshook;
  TBDlim.deadline = std::time(nullptr) + MAIN_TRACESECONDS;
  TBDlim.maxbytes = MAIN_TRACEBYTES;
  TBDlim.out = [](int) { throw MAINtraceout{}; };
  TBDprogresshook = nullptr;
  bool wrote = false;
  try {
    if (!ggt) ggt = prg2t(ggb->bprogram, nullptr);
    CEXpathwanted = 1;
    int c = dmc(MAINtraceprop, op0.alg);
    CEXpathwanted = 0;
    const std::string &model = MAINtracemodel;
    if (2 * c - 1 != MAINtraceverdict) {
      // the engines disagree: no trace rather than a wrong one
    } else if (ggt->cex) {
      if (c == 0) {
        std::printf("%s\n", "The property is false, preparing files ...");
        CEXwrite(ggt->cex, ggb->bprogram->vlist, model);
        wrote = true;
      }
    } else if (CEXpathget()) {
      if (c == 0) std::printf("%s\n", "The property is false, preparing files ...");
      CEXpathwrite(ggb->bprogram->vlist, model);
      wrote = true;
    }
    if (wrote && op0.cfile) C2Vcexannotate(CEXfilename(model));
  } catch (const MAINtraceout &) {
  } catch (const std::bad_alloc &) {
  }
  CEXpathwanted = 0;
  TBDlim = saved;
  TBDprogresshook = progress;
  return wrote;
}

// After a failed overflow check: the first variable whose own check fails.
static void MAINoverflowname() {
  for (size_t k = 0; k < F2Poverflowvars.size(); k++) {
    tree *prop = mgetp(ggb->bprogram->prog, (int)k + 2, 0);
    if (prop && !dmc(prop, op0.alg)) {
      std::printf("INFO:       OVERFLOW=%s\n", F2Poverflowvars[k].c_str());
      return;
    }
  }
}

// Bounded checking gets the program with the transition relation in place of
// its transitions: a new spine over the record's own parts, which stay as
// they are (the Boolean program's formulas may be shared).
static int MAINbounded(prg *bp, tree *prop, const std::string &model) {
  tree *parts[5] = {};
  tree *t = bp->prog;
  for (int k = 0; k < 4 && t && !std::strcmp(t->text, "#"); k++, t = t->right) parts[k] = t->left;
  parts[4] = t && std::strcmp(t->text, "#") ? t : nullptr;
  tree *rel = mgett(*bp);
  tree *s3 = treecompose("#", parts[3], parts[4]);
  tree *s2 = treecompose("#", rel, s3);
  tree *s1 = treecompose("#", parts[1], s2);
  tree *spine = treecompose("#", parts[0], s1);
  tree *f = TLFnnf(treecopy(prop));
  BMCsetcex(bp, model);
  BMCprogresshook = reportprogress;
  MAINtraceprop = prop;
  MAINtracemodel = model;
  MAINtraceverdict = BMC_FALSE;
  BMCtracehook = MAINtbdtrace;
  int v = bmc(f, spine, parts[3], bp->varc, bp->BOOLN);
  BMCtracehook = nullptr;
  if (v == BMC_TRUE && (TLFnnftype(f) & TLF_HASE)) {
    MAINtraceverdict = BMC_TRUE;
    MAINtbdtrace();
  }
  for (tree *n : {spine, s1, s2, s3}) n->left = nullptr;   // borrowed parts stay
  s3->right = nullptr;
  treefree(spine);
  treefree(rel);
  treefree(f);
  return v;
}

// -Om: the cone of influence of the selected property, where it keeps the verdict.
static void MAINcone(prg *p) {
  if (const char *why = DEPconerefusal(p, op0.prop, opDFTT, MAINhasprocedure(ggb->modules))) {
    std::printf("INFO:       -Om not applied: %s\n", why);
    return;
  }
  MAINlog("INITALL\n", PROGpart(p->prog, 1));
  int removed = DEPanalysis(p, op0.prop);
  MAINlog("INIT\n", PROGpart(p->prog, 1));
  if (removed)
    std::printf("INFO:       -Om removed %i variables outside the cone of the property; "
                "counterexamples do not show them\n", removed);
}

// The engines walk the formula recursively: a deeper one ends here, clearly.
static void MAINcheckdepth(const tree *f) {
  int d = TLFdepth(f);
  if (d <= TLF_MAXDEPTH) return;
  std::printf("ERROR:      the property is nested too deeply (%i levels, at most %i)\n", d,
              TLF_MAXDEPTH);
  utilwhy = "the property is nested too deeply";
  MAINend(0);
}

// ---- variable order of the decision diagrams
//
// The engine decides under a computed order, while the files it writes must
// be those of the declaration order: the one-state choices of a trace follow
// the diagrams' shapes. So the check runs under the computed order in a child
// process, which prints everything itself unless its verdict needs a trace;
// then the parent, which has no store yet, reruns the check quietly under the
// declaration order and writes the trace. As no shape leaves the child, its
// store keeps canonical nodes: far fewer of them, and every set test is a
// handle comparison. LUMET_ORDER=declared keeps the
// declaration order; reverse and shuffle:SEED force others (diagnostics).

// The declared variables' order, as positions in the declaration list; empty
// where the check runs in one process (LUMET_ORDER=declared, one variable).
static std::vector<int> MAINvarorder(prg *p, int n) {
  const char *env = std::getenv("LUMET_ORDER");
  std::string how = env ? env : "";
  std::vector<int> order;
  if (how == "declared" || n < 2) return order;
  if (how == "reverse" || how.rfind("shuffle:", 0) == 0) {
    for (int i = 0; i < n; i++) order.push_back(how == "reverse" ? n - 1 - i : i);
    if (how != "reverse") {
      std::mt19937 rng((unsigned)std::strtoul(how.c_str() + 8, nullptr, 10));
      std::shuffle(order.begin(), order.end(), rng);
    }
    return order;
  }
  order = DEPspanorder(p->prog);
  // the declaration order is kept, still by the child with canonical nodes
  if (order.empty())
    for (int i = 0; i < n; i++) order.push_back(i);
  return order;
}

// Place of every state bit: the variables in the given order, each with its
// bits in their own order; bits of no variable stay last. Empty when the
// order does not fit the list.
static std::vector<int> MAINbitorder(tree *vlist, int n, const std::vector<int> &order) {
  std::vector<std::pair<int, int>> range;
  for (tree *t = vlist; t;) {
    bool cell = t->text[0] == ';' && !t->text[1];
    tree *d = cell ? t->left : t;
    t = cell ? t->right : nullptr;
    tree *name = d && d->text[0] == ':' && !d->text[1] ? d->left : d;
    if (!name || !name->left || !name->right) return {};
    range.push_back({std::atoi(name->left->text), std::atoi(name->right->text)});
  }
  if (order.size() != range.size()) return {};
  std::vector<int> pos((size_t)n, -1);
  int next = 0;
  for (int v : order) {
    if (v < 0 || (size_t)v >= range.size()) return {};
    for (int b = range[(size_t)v].first; b <= range[(size_t)v].second; b++) {
      if (b < 1 || b > n || pos[(size_t)b - 1] >= 0) return {};
      pos[(size_t)b - 1] = next++;
    }
  }
  for (int b = 0; b < n; b++)
    if (pos[(size_t)b] < 0) pos[(size_t)b] = next++;
  return pos;
}

static int MAINtracefd = -1;        // child: tells the parent that a trace is due

// Step lines of the check. The child stops where the search for a trace
// would begin; the parent's rerun prints only the lines past that point.
static uint64_t MAINstepcalls = 0;  // progress calls so far
static uint64_t MAINstepskip = 0;   // calls the child printed already
static void MAINprogress(int kind, int bound) {
  if (MAINstepcalls++ >= MAINstepskip) reportprogress(kind, bound);
}

// Whether MAINcounterexample will write a trace for verdict c.
static bool MAINtracedue(int c) {
  if (Xce) return false;
  if (!ggt->cex) return CEXpathdue();
  return c == 0 && op0.prop != PARSEL_INTW;
}

// Runs the rest of the check under the order in a child. Returns in the
// parent only when the trace is due (true) or no child could be made (false:
// the run goes on as one); every other end of the child is the parent's end.
static bool MAINorderedrun(const std::vector<int> &pos) {
  std::fflush(nullptr);
  int fd[2];
  if (pipe(fd) != 0) return false;
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    close(fd[0]);
    close(fd[1]);
    return false;
  }
  if (pid == 0) {
    // a parent stopped by timeout or kill takes its child along
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) std::_Exit(1);
    close(fd[0]);
    MAINtracefd = fd[1];
    TBDmmsetorder(pos);
    TBDcanon = true;                // no file of the child shows a shape
    CEXpathprobe = 1;               // the parent searches the path it writes
    return false;
  }
  close(fd[1]);
  char msg[1 + sizeof(uint64_t)] = {0};
  size_t got = 0;
  while (got < sizeof msg) {
    ssize_t k = read(fd[0], msg + got, sizeof msg - got);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0) break;
    got += (size_t)k;
  }
  close(fd[0]);
  char due = got == sizeof msg ? msg[0] : 0;
  if (due == 'T') std::memcpy(&MAINstepskip, msg + 1, sizeof MAINstepskip);
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
  if (due == 'T' && WIFEXITED(st)) return true;
  if (lmtlog) std::fclose(lmtlog);
  if (WIFSIGNALED(st)) {
    std::signal(WTERMSIG(st), SIG_DFL);
    std::raise(WTERMSIG(st));
  }
  std::_Exit(WIFEXITED(st) ? WEXITSTATUS(st) : 1);
}

// The ends through utilexit (errors, help, the stages' own ends) write the
// result file too.
static void MAINexithook(int status) { JSONwrite(status); }

int main(int argc, char **argv) {
  JSONbegin(argc, argv);
  JSONrun.version = MAINversion;
  utilexithook = MAINexithook;
  MAINworkdir(PARworkdir(argc, argv));
  MAINopenlogs();
  std::printf("VERSION:    %s\n", MAINversion);
  t0 = std::time(nullptr);
  utiltime(0);

  PARdefaults();
  repinit(&PARdefs);
  const char *arg = mainparameters(argc, argv);
  if (!arg) {  // nothing to check: show how to call the checker
    PARhelp();
    MAINend(0);
  }
  std::string model = arg;
  JSONrun.model = model;
  MAINlimits();

  if (op0.cfile) {
    c2v(op0.cfile, op0.spfile, op0.fspfile);
    model = C2Vmodelname(op0.cfile);
  }
  if (PAR_debug >= 6) MAINend(0);  // levels past 6 stop as early as 6

  std::printf("FILE:       %s\n", model.c_str());
  JSONrun.model = model;
  if (!fileok(model)) {
    utilwhy = model + " not found";
    MAINend(0);
  }
  if (PAR_debug == 5) MAINend(0);

  // a user's overflow check names an overflowing variable (the probe's widest too)
  F2Poverflownames = op0.prop == PARSEL_INTW;
  F2Punknownhook = [] { reportresult(VERDICT_UNKNOWN, BOUND_NONE); };
  F2Pprobing = true;
  f2p0(model.c_str(), op0.prop, op0.name, argv, argc);
  MAINdumpggb();
  if (PAR_debug == 4) MAINend(0);
  prg *p = ggb->program;
  int propcount = listlength(MAINproperties(p->prog)), allprops = op0.prop == PARSEL_ALL;

  if (op0.prop == PARSEL_ALL) {
    specmerge21(MAINproperties(p->prog));
    op0.prop = 1;
  } else if (op0.prop < 0 && op0.name[0] == PARAG_NOPROC) {
    std::printf("INFO:       PROCEDURE not available\n");
    reportresult(VERDICT_UNKNOWN, BOUND_NONE);
    MAINend(0);
  }
  if (MAINhasprocedure(ggb->modules) && op0.alg <= 10) op0.alg = 11;

  if (opDFTT == 1) {
    std::printf("PROPERTY:   deadlock-freeness\n");
    JSONrun.written = JSONrun.checked = "deadlock-freeness";
  } else if (opDFTT == 2) {
    std::printf("PROPERTY:   tr-totalness\n");
    JSONrun.written = JSONrun.checked = "tr-totalness";
  } else if (op0.name[0] != PARAG_HARNESS) {
    tree *sel = mgetp(p->prog, op0.prop, 1);
    if (!sel) {
      reportresult(VERDICT_UNKNOWN, 0);
      MAINend(0);
    }
    if (!PARjson.empty()) {
      JSONrun.checked = treewritetext(sel);
      JSONrun.written = JSONspectext(file2string(model), allprops ? 0 : op0.prop < 0 ? 1 : op0.prop,
                                     propcount);
    }
    MAINcheckdepth(sel);
  }

  // the order file names variables as declared, before arrays are flattened
  char c0 = op0.name[0];
  bool orderfile = (c0 >= 'a' && c0 <= 'z') || (c0 >= 'A' && c0 <= 'Z');
  tree *declared = orderfile ? treecopy(PROGpart(p->prog, 0)) : nullptr;
  f2p1(p);
  MAINdumpggb();
  if (PAR_debug == 3) MAINend(0);
  MAINlog("VARALL\n", p->vlist);
  MAINlog("TRANSALL\n", PROGpart(p->prog, 2));

  if (orderfile) var_order(p, op0.name, declared);
  treefree(declared);
  if (op0.ovord) DEPanalysis(p, 0);  // after the order file: the computed order wins
  if (op0.om && op0.prop > 0) MAINcone(p);
  // the user's order stands; so do the debug logs, which show the diagrams
  std::vector<int> varorder;
  if (!orderfile && !op0.ovord && PAR_debug == 0 && op0.engine == PARENG_TBD &&
      !MAINhasprocedure(ggb->modules) && op0.prop != PARSEL_INTW && (op0.alg < 0 || op0.alg % 10 != 0))
    varorder = MAINvarorder(p, listlength(PROGpart(p->prog, 0)));

  f2p1INFO(ggb);
  if (lmtlog) std::fprintf(lmtlog, "VAR %i\n", p->BOOLN);
  MAINlog("", p->vlist);

  ggb->bprogram = p2bp(p);
  // a built-in property needs no formula: nothing to select or to complain about
  tree *prop = opDFTT ? nullptr : mgetp(ggb->bprogram->prog, op0.prop, 0);
  if (PAR_debug >= 1 && lmtlog) prgwrite(ggb->bprogram, lmtlog);
  if (PAR_debug == 2) MAINend(0);

  if (MAINhasprocedure(ggb->modules) && op0.engine != PARENG_TBD)
    MAINnotbuilt("bounded checking of procedures");
  if (op0.engine != PARENG_TBD) {
    if (opDFTT) MAINnotbuilt("bounded checking of built-in properties");
    int v = MAINbounded(ggb->bprogram, prop, model);
    if (v == BMC_UNKNOWN && (BMCtimeup() || SOLVEstop == BMC_LIMIT)) {
      PARlimitend = BMCtimeup() || !PAR_mem ? "time" : "memory";
      std::printf("INFO:       %s limit reached\n", PARlimitend.c_str());
    }
    reportresult(v, op0.bound);
    MAINend(v);
  }

  std::vector<int> bitorder = MAINbitorder(ggb->bprogram->vlist, ggb->bprogram->BOOLN, varorder);
  // the parent's rerun prints the steps of the trace search only: the child
  // printed those of the check
  if (!bitorder.empty()) MAINorderedrun(bitorder);   // returns in the parent for its rerun
  TBDprogresshook = MAINprogress;
  ggt = prg2t(ggb->bprogram, nullptr);
  if (MAINhasprocedure(ggb->modules)) {
    PROCinit(ggt);
    if (op0.name[0] == PARAG_HARNESS) PROCagcheck(ggt);
    // a contract's assumption must hold at every reachable call
    if (PROCcontracts(ggb->modules)) TBDrset(ggt->init);
  }
  // no trace under a limit: building it must not cost the computed verdict
  CEXpathwanted = !Xce && op0.prop != PARSEL_INTW && !PAR_tm && !PAR_mem;
  int c = opDFTT ? dmcDFTT(opDFTT) : dmc(prop, op0.alg);
  CEXpathwanted = 0;
  if (PAR_debug >= 1)
    if (FILE *f = TBDlog()) {  // where the engine's time went
      TBDstatswrite(f);
      std::fflush(f);
    }
  if (MAINtracefd >= 0 && MAINtracedue(c)) {
    std::fflush(nullptr);
    char msg[1 + sizeof(uint64_t)] = {'T'};
    std::memcpy(msg + 1, &MAINstepcalls, sizeof MAINstepcalls);
    if (write(MAINtracefd, msg, sizeof msg) == (ssize_t)sizeof msg) std::_Exit(0);
  }
  MAINcounterexample(c, model);
  if (op0.prop == PARSEL_INTW && c == 0 && !opDFTT) MAINoverflowname();
  int v = reportresult(2 * c - 1, BOUND_NONE);
  MAINend(v);
}
