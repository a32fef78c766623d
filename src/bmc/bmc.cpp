// Bounded model checking driver: route selection, the SAT route's bound loop,
// dump mode, and the solvers (internal, or an external program ended at the
// time limit).
#include "bmc/bmc.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <new>
#include <sstream>

#include "formula/tlf.h"
#include "opt/opt.h"
#include "tree/tree.h"
#include "sat/satis.h"

extern char **environ;

int SOLVEstop = 0;
void (*BMCprogresshook)(int kind, int bound) = nullptr;
bool (*BMCtracehook)() = nullptr;

static void BMCprogress(int kind, int bound) {
  if (BMCprogresshook) BMCprogresshook(kind, bound);
}

static const prg *BMCbprog = nullptr;
static std::string BMCmodel;

void BMCsetcex(const prg *bprog, const std::string &model) {
  BMCbprog = bprog;
  BMCmodel = model;
}

const prg *BMCcexprogram() { return BMCbprog; }
const std::string &BMCcexmodelname() { return BMCmodel; }

static bool isop(const tree *t, char c) { return t && t->text[0] == c && !t->text[1]; }

static int BMCelapsed() { return (int)std::difftime(std::time(nullptr), t0); }

time_t BMCdeadline() { return PAR_tm > 0 ? t0 + (time_t)PAR_tm + 1 : 0; }

bool BMCtimeup() { return PAR_tm > 0 && BMCelapsed() > PAR_tm; }

// ---- external solvers

static bool readable(const std::string &path) {
  FILE *f = std::fopen(path.c_str(), "r");
  if (!f) return false;
  std::fclose(f);
  return true;
}

std::string BMCsolverpath(const char *name) {
  std::string n = name;
  if (n.empty()) return "";
  if (n.find('/') != std::string::npos) return readable(n) ? n : "";
  if (readable(n)) return "./" + n;   // the shell would search PATH for a bare name
  const char *path = std::getenv("PATH");
  std::string dirs = path ? path : "";
  size_t start = 0;
  for (;;) {
    size_t end = dirs.find(':', start);
    std::string dir = dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (dir.empty()) dir = ".";
    std::string full = dir + "/" + n;
    struct stat st;
    if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0)
      return full;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return "";
}

// Runs the solver with its standard output in the file out and waits for it;
// at the deadline (0: none) its process group is killed. Started directly,
// not through a shell (its start-up cost counts against every bound), but
// with the shell's meanings: a file without "#!" runs as a shell script, an
// unknown program is status 127, one that cannot be run 126. Exit status of
// the solver, 0 when it ended by a signal; -1 when the deadline struck.
static int BMCrun(const std::vector<std::string> &args, const char *out, time_t deadline) {
  std::fflush(nullptr);
  // spawned rather than forked: the checker's heap can be large
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, out, O_WRONLY | O_CREAT | O_TRUNC, 0666);
  std::vector<const char *> argv;
  for (const std::string &a : args) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, argv[0], &files, &attr, (char *const *)argv.data(), environ);
  if (rc == ENOEXEC) {
    argv.insert(argv.begin(), "/bin/sh");
    rc = posix_spawn(&pid, "/bin/sh", &files, &attr, (char *const *)argv.data(), environ);
  }
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) {
    if (FILE *f = std::fopen(out, "w")) std::fclose(f);   // as the redirection would leave it
    return rc == ENOENT ? 127 : 126;
  }
  int status = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, deadline ? WNOHANG : 0);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return 0;
    if (deadline && std::time(nullptr) >= deadline) {
      kill(-pid, SIGKILL);
      kill(pid, SIGKILL);
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      return -1;
    }
    if (deadline) usleep(5000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 0;
}

static std::string BMCslurp(const char *name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// The answer in the solver's output when its exit status does not give it:
// an "s SATISFIABLE" / "s UNSATISFIABLE" line. 10, 20, or 0 for none.
static int BMCsline(const std::string &out) {
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (line == "s SATISFIABLE") return 10;
    if (line == "s UNSATISFIABLE") return 20;
  }
  return 0;
}

static int BMConearg = 0;            // 1: the solver takes the problem file only
static std::string BMCsolverprog;    // resolved program of the run
static std::string BMCsolvername;    // as given, for the messages
static bool BMCfailreported = false;

// The solver of the following calls; its forms and messages start afresh.
static void BMCsetsolver(const char *name) {
  BMCsolvername = name ? name : "";
  std::string path = name ? BMCsolverpath(name) : "";
  BMCsolverprog = path.empty() ? BMCsolvername : path;
  BMConearg = 0;
  BMCfailreported = false;
}

int BMCexternalrun(const char *name, std::string &out) {
  if (BMCsolvername != name) BMCsetsolver(name);
  time_t deadline = BMCdeadline();
  int status = 0;
  for (int attempt = 0; attempt < 2; attempt++) {
    std::string pbs = utilworkfile("logpbs.tmp"), cex = utilworkfile("logsat.cex"),
                log = utilworkfile("logsat.tmp");
    std::remove(cex.c_str());
    // SOLVER logpbs.tmp logsat.cex > logsat.tmp
    std::vector<std::string> args = {BMCsolverprog, pbs};
    if (!BMConearg) args.push_back(cex);
    status = BMCrun(args, log.c_str(), deadline);
    if (status < 0) return -1;
    out = BMCslurp(log.c_str());
    int answer = status == 10 || status == 20 ? status : BMCsline(out);
    if (answer) return answer;
    if (BMConearg) break;
    BMConearg = 1;   // PicoSAT and others reject a second file name
  }
  BMConearg = 0;
  if (!BMCfailreported)
    std::printf("ERROR:      solver %s failed (status %i)\n", BMCsolvername.c_str(), status);
  BMCfailreported = true;
  return 0;
}

// 10 satisfiable, 20 unsatisfiable, 0 no answer, -1 deadline.
static int BMCexternal(const char *name, const CNFmodel &cnf, std::string &out) {
  std::string pbs = utilworkfile("logpbs.tmp");
  FILE *f = std::fopen(pbs.c_str(), "w");
  if (!f) {
    std::printf("ERROR:      cannot create %s\n", pbs.c_str());
    return 0;
  }
  cnfmodelwrite(cnf, f);
  std::fclose(f);
  return BMCexternalrun(name, out);
}

int SOLVEapply(const char *solvername, CNFmodel &cnf, int direction, std::vector<int8_t> *model) {
  SOLVEstop = 0;
  if (model) model->clear();
  bool sat;
  if (solvername && solvername[0] != '_') {
    std::string out;
    int a = BMCexternal(solvername, cnf, out);
    if (a <= 0) {
      SOLVEstop = a < 0 ? BMC_LIMIT : BMC_FAILED;
      return 0;
    }
    sat = a == 10;
    if (sat && model && direction == 0) {
      std::vector<int8_t> v;
      if (SATreadsolution(out, cnf.nv, v) || SATreadsolution(BMCslurp(utilworkfile("logsat.cex").c_str()), cnf.nv, v))
        *model = std::move(v);
    }
  } else {
    SATlimits lim;
    lim.deadline = BMCdeadline();
    lim.maxbytes = (uint64_t)PAR_mem << 20;
    int a = SATsolve(cnf, lim, model && direction == 0 ? model : nullptr);
    if (a == SATUNKNOWN) {
      SOLVEstop = BMC_LIMIT;
      return 0;
    }
    sat = a == SATSAT;
  }
  if (direction == 1) return sat ? 0 : BMC_TRUE;
  return sat ? BMC_FALSE : 0;
}

// ---- the SAT route


static void BMCcounterexample(const BMCproblem &p, const std::vector<int8_t> &model,
                              const tree *property) {
  if (Xce || !BMCbprog) return;
  if (model.empty()) {
    std::printf("INFO:       the solver gave no model, no counterexample file\n");
    return;
  }
  std::printf("%s\n", "The property is false, preparing files ...");
  BMCtrace t = BMCdecode(p, model, *BMCbprog, property);
  BMCwritecex(t, BMCbprog->vlist, p.V, BMCmodel);
}

int satbmc(tree *property, tree *program, tree *, tree *constraints, int nbits) {
  const char *solver = op0.satsolver;
  bool dump = solver && !std::strcmp(solver, "_");
  if (!dump) std::printf("INFO:       applying %s\n", solver ? solver : "an internal SAT-solver");
  if (solver && solver[0] != '_') BMCsetsolver(solver);
  int lb = op0.lbound, ub = op0.bound;
  for (int k = lb; k <= ub; k++) {
    for (int dir = 1; dir >= 0; dir--) {
      if (BMCtimeup()) {
        op0.bound = k;
        return BMC_UNKNOWN;
      }
      if (PAR_mem && utilrss() > (unsigned long long)PAR_mem << 20) {   // -M: problems grow with k
        SOLVEstop = BMC_LIMIT;
        op0.bound = k;
        return BMC_UNKNOWN;
      }
      int v = 0;
      try {
        std::unique_ptr<BMCproblem> p = bp2s(program, constraints, property, nbits, k, dir, 0);
        if (dump) {
          std::string name = utilworkfile(BMCdumpname(dir, k).c_str());
          if (FILE *f = std::fopen(name.c_str(), "w")) {
            cnfmodelwrite(p->cnf, f);
            std::fclose(f);
          } else {
            std::printf("ERROR:      cannot create %s\n", name.c_str());
          }
          BMCprogress(dir, k);
          continue;
        }
        std::vector<int8_t> model;
        v = SOLVEapply(solver, p->cnf, dir, &model);
        if (SOLVEstop) {
          op0.bound = k;
          return BMC_UNKNOWN;
        }
        p->cnf = CNFmodel();   // the decoding needs the formulas only
        BMCprogress(dir, k);
        if (v == BMC_FALSE) BMCcounterexample(*p, model, property);
      } catch (const std::bad_alloc &) {
        op0.bound = k;   // memory ran out inside this bound
        return BMC_UNKNOWN;
      }
      if (v) {
        op0.bound = k;
        return v;
      }
    }
  }
  op0.bound = ub + 1 > lb ? ub + 1 : lb;
  return BMC_UNKNOWN;
}

// ---- route selection

// The solver named with -satsolver/-qbfsolver: announced when found, dropped
// (internal solver) when not.
static void BMCchecksolver(const char *&name, const char *label) {
  if (!name || !std::strcmp(name, "_")) return;
  if (BMCsolverpath(name).empty()) {
    std::printf("ERROR:      %s not found\n", name);
    name = nullptr;
    return;
  }
  std::printf("%s:  %s\n", label, name);
}

// A or E directly over F over G or over G over F: one quantifier over two
// temporal operators, which the SAT translations do not decide.
static bool BMCfgpair(const tree *root) {
  std::vector<const tree *> stack{root};
  while (!stack.empty()) {
    const tree *t = stack.back();
    stack.pop_back();
    if (!t) continue;
    if ((isop(t, 'A') || isop(t, 'E')) && t->right) {
      const tree *a = t->right, *b = a->right;
      if ((isop(a, 'F') && isop(b, 'G')) || (isop(a, 'G') && isop(b, 'F'))) return true;
    }
    stack.push_back(t->left);
    stack.push_back(t->right);
  }
  return false;
}

static bool BMChasfairness(const tree *fairness) { return fairness && !isop(fairness, '^'); }

int bmc(tree *property, tree *program, tree *fairness, tree *constraints, int nbits) {
  int type = TLFnnftype(property);
  bool hasA = type & TLF_HASA, hasE = type & TLF_HASE;
  bool ctl = TLFisCTLx(property);
  bool noquant = !hasA && !hasE;
  bool actl = ctl && hasA && !hasE;
  bool fg = BMCfgpair(property);
  if (op0.engine == PARENG_BCC) {
    // SAT where its translations decide the property, QBF otherwise
    bool sat = (noquant || (actl && !fg)) && !BMChasfairness(fairness);
    op0.engine = sat ? PARENG_SAT : PARENG_QBF;
  }
  if (op0.engine == PARENG_SAT) {
    BMCchecksolver(op0.satsolver, "SATSOLVER");
    if (ctl && hasE && !hasA) {
      std::printf("INFO:       existential properties are decided with -QBF\n");
      op0.bound = 0;
      return BMC_UNKNOWN;
    }
    if (!(noquant || actl) || fg || BMChasfairness(fairness)) {
      std::printf("ERROR:      invalid options\n");
      op0.bound = 0;
      return BMC_UNKNOWN;
    }
    return satbmc(property, program, fairness, constraints, nbits);
  }
  if (op0.engine == PARENG_QBF) BMCchecksolver(op0.qbfsolver, "QBFSOLVER");
  BMCchecksolver(op0.satsolver, "SATSOLVER");
  return qbfbmc(property, program, fairness, nbits, constraints);
}
