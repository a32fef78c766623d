// The QBF route of bounded checking: one QBF per bound and direction from
// the QBF encoding, decided by the internal QBF solver, by an external QBF
// solver (QDIMACS), or, for a QBF with blocks of one kind, by a SAT solver.
#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "bmc/bmc.h"
#include "bmc/bp2q.h"
#include "formula/tlf.h"
#include "opt/opt.h"
#include "tree/tree.h"
#include "qbf/qbf.h"


static void progress(int dir, int k) {
  if (BMCprogresshook) BMCprogresshook(dir, k);
}

// The matrix as CNF, auxiliaries after the QBF's own variables.
static CNFmodel qbfmatrixcnf(const qmd *root, const qmdata &d) {
  tree *m = treedopost(TLFnnf(md2tree(root)), TLFnnfsimp);
  CNFmodel cnf = CNFspec2model(m, d.V);
  treefree(m);
  return cnf;
}

void qmdwritecnf(const qmd *root, const qmdata &d, FILE *out) { cnfmodelwrite(qbfmatrixcnf(root, d), out); }

std::string BMCdumpname(int direction, int k, char blank) {
  char buf[64];
  std::snprintf(buf, sizeof buf, ".lumet_%i.%3i", direction, k);
  std::string s = buf;
  if (blank != '0' && s.find(' ') == std::string::npos)
    s.insert(s.find('.', 1) + 1, 1, blank);   // three digits: the letter goes in front
  for (char &c : s)
    if (c == ' ') c = blank;
  return s;
}

// ---- counterexamples

// Variables of the root's existential chain when they are whole state
// copies 0..n in order (the root copy and the path of the outermost
// existential quantifier), else none.
static std::vector<int> outerchain(const qmd *root, int w) {
  std::vector<int> vs;
  for (const qmd *n = root; n && n->kind == QMD_E; n = n->kids.empty() ? nullptr : n->kids[0])
    vs.insert(vs.end(), n->list.begin(), n->list.end());
  if (w <= 0 || vs.size() % (size_t)w) return {};
  for (size_t i = 0; i < vs.size(); i++)
    if (vs[i] != (int)i + 1) return {};
  return vs;
}

// Their values after a true answer of the internal solver: 1/-1 per bit.
static std::vector<std::vector<int>> outerstates(size_t nvars, const qmdata &d, int w) {
  std::vector<std::vector<int>> st;
  if (!nvars || w <= 0 || d.outer.size() <= nvars) return st;
  for (size_t j = 0; j < nvars / (size_t)w; j++) {
    std::vector<int> s;
    for (int b = 1; b <= w; b++) s.push_back(d.outer[j * (size_t)w + (size_t)b] ? 1 : -1);
    st.push_back(s);
  }
  return st;
}

// A refutation whose outer existential path violates the property by itself
// (read as one path, as it is or around one of its loops) gets that path as
// its counterexample; any other says that no trace is available.
static void qbfcex(const std::vector<std::vector<int>> &st, const tree *property) {
  if (Xce) return;
  const prg *bp = BMCcexprogram();
  if (!bp) return;
  BMCtrace t;
  bool ok = !st.empty();
  for (size_t j = 0; ok && j + 1 < st.size(); j++) ok = BMCtransition(*bp, st[j], st[j + 1]) != 0;
  if (ok && BMCviolates(property, st, -1)) {
    t.states = st;
  } else {
    for (size_t b = 1; ok && t.states.empty() && b < st.size(); b++)
      for (size_t a = 0; a < b; a++)
        if (st[a] == st[b]) {
          std::vector<std::vector<int>> pre(st.begin(), st.begin() + (long)b);
          if (BMCviolates(property, pre, (int)a)) {
            t.states = pre;
            t.loop = (int)a;
            break;
          }
        }
  }
  if (t.states.empty()) {
    if (!(BMCtracehook && BMCtracehook())) std::printf("INFO:       no trace is available for this refutation\n");
    return;
  }
  std::printf("%s\n", "The property is false, preparing files ...");
  for (size_t j = 0; j + 1 < t.states.size(); j++) t.labels.push_back(BMCtransition(*bp, t.states[j], t.states[j + 1]));
  if (t.loop >= 0) t.labels.push_back(BMCtransition(*bp, t.states.back(), t.states[(size_t)t.loop]));
  BMCwritecex(t, bp->vlist, (int)t.states[0].size(), BMCcexmodelname());
}

// ---- one QBF

static bool external(const char *name) { return name && name[0] != '_'; }

int SOLVEapplyq(const char *solvername, qmd *root, qmdata &qd, int direction) {
  SOLVEstop = 0;
  int r;
  if (external(solvername)) {
    std::string pbs = utilworkfile("logpbs.tmp");
    FILE *f = std::fopen(pbs.c_str(), "w");
    if (!f) {
      std::printf("ERROR:      cannot create %s\n", pbs.c_str());
      freeqmdata(root);
      SOLVEstop = BMC_FAILED;
      return BMC_UNKNOWN;
    }
    // Universal blocks only: the solver gets the negation, an existential
    // problem. Its clause form is then plain CNF; that of a universal
    // matrix (auxiliaries existential inside) is very hard for QDIMACS
    // solvers.
    bool negated = md2treetype(root) == 1;
    if (negated) mdnegate(root);
    qmdwriteqdimacs(root, qd, f);
    std::fclose(f);
    freeqmdata(root);
    std::string out;
    int a = BMCexternalrun(solvername, out);
    if (a <= 0) {
      SOLVEstop = a < 0 ? BMC_LIMIT : BMC_FAILED;
      return BMC_UNKNOWN;
    }
    r = a == (negated ? 20 : 10);   // a false QBF lets the bound loop go on
  } else {
    qd.deadline = BMCdeadline();
    qd.maxbytes = (uint64_t)PAR_mem << 20;
    r = QBFapply(qd, root);
    if (r == QBF_TIMEOUT) {
      SOLVEstop = BMC_LIMIT;
      return BMC_UNKNOWN;
    }
  }
  if (r != 1) return BMC_UNKNOWN;
  return direction ? BMC_TRUE : BMC_FALSE;
}

static void writefile(const std::string &name, const qmd *root, const qmdata &d,
                      void (*fn)(const qmd *, const qmdata &, FILE *)) {
  if (FILE *f = std::fopen(name.c_str(), "w")) {
    fn(root, d, f);
    std::fclose(f);
  } else {
    std::printf("ERROR:      cannot create %s\n", name.c_str());
  }
}

// Dump mode: the QBF text, its QDIMACS form beside it, and for blocks of
// one kind the CNF a SAT solver decides ('a': of the negation).
static void qbfdump(qmd *root, const qmdata &d, int dir, int k) {
  std::string name = utilworkfile(BMCdumpname(dir, k).c_str());
  writefile(name, root, d, qmdwrite);
  writefile(name + ".qdimacs", root, d, qmdwriteqdimacs);
  int t = md2treetype(root);
  if (t == 1) mdnegate(root);
  if (t == 1 || t == 2) writefile(utilworkfile(BMCdumpname(dir, k, t == 1 ? 'a' : 'e').c_str()), root, d, qmdwritecnf);
}

// ---- the bound loop

int qbfbmc(tree *property, tree *program, tree *fairness, int nbits, tree *constraints) {
  if (!TLFisCTLx(property)) {
    std::printf("ERROR:      invalid options\n");
    op0.bound = 0;
    return BMC_UNKNOWN;
  }
  bool sat = op0.engine == PARENG_QSAT;
  const char *shown = sat ? op0.satsolver : op0.qbfsolver;
  bool dump = op0.qbfsolver && !std::strcmp(op0.qbfsolver, "_");
  if (!(shown && shown[0] == '_'))
    std::printf("INFO:       applying %s\n",
                shown ? shown : sat ? "an internal SAT-solver" : "an internal QBF-solver");
  // Two questions about the model shape the encoding; each gets a short
  // budget, and an unsettled one keeps the general (always sound) form.
  time_t budget = std::time(nullptr) + 2, end = BMCdeadline();
  if (end && end < budget) budget = end;
  int flags = 0;
  if (BP2Qhalting(program, nbits, budget, constraints)) flags |= BP2Q_HALTING;
  if (BP2Qoneinit(program, nbits, budget)) flags |= BP2Q_ONEINIT;
  if (lmtlog) std::fprintf(lmtlog, "QBF route: dead ends %i, one initial state %i\n", flags & BP2Q_HALTING ? 1 : 0,
                           flags & BP2Q_ONEINIT ? 1 : 0);
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
      int v = BMC_UNKNOWN;
      try {
        qmdata d;
        qmd *root = bp2q(d, program, fairness, property, nbits, k, dir, flags);
        if (dump) {
          qbfdump(root, d, dir, k);
          freeqmdata(root);
          progress(dir, k);
          continue;
        }
        int t = md2treetype(root);
        if (sat && (t == 1 || t == 2)) {
          // a universal QBF is true when its negated matrix is unsatisfiable
          if (t == 1) mdnegate(root);
          CNFmodel cnf = qbfmatrixcnf(root, d);
          freeqmdata(root);
          v = SOLVEapply(op0.satsolver, cnf, t == 1 ? 1 : 0, nullptr);
          if ((t == 1) != (dir == 1)) v = -v;
        } else {
          bool internal = !external(op0.qbfsolver);
          size_t chain = internal && dir == 0 ? outerchain(root, nbits).size() : 0;
          v = SOLVEapplyq(op0.qbfsolver, root, d, dir);
          if (v == BMC_FALSE && !SOLVEstop) {
            progress(dir, k);
            if (!Xce && BMCcexprogram()) {
              if (internal) qbfcex(outerstates(chain, d, nbits), property);
              else if (!(BMCtracehook && BMCtracehook()))
                std::printf("INFO:       no trace is available for this refutation\n");
            }
            op0.bound = k;
            return v;
          }
        }
      } catch (const std::bad_alloc &) {
        op0.bound = k;   // memory ran out inside this bound
        return BMC_UNKNOWN;
      }
      if (SOLVEstop) {
        op0.bound = k;
        return BMC_UNKNOWN;
      }
      progress(dir, k);
      if (v) {
        op0.bound = k;
        return v;
      }
    }
  }
  op0.bound = ub + 1 > lb ? ub + 1 : lb;
  return BMC_UNKNOWN;
}
