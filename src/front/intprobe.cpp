// The integer-width probe: for widths 1, 2, ... a child process checks for
// reachable overflow at that width (the run -ck iN would make); the first
// width without one is the width of int.  A constant too large for a width
// is too large for every narrower one, so the probe goes on at the first
// width that holds it.  A child is a fork of this run
// after preprocessing: it has the run's options, definitions and deadline,
// starts no program, and writes only its output file ".log%i.tmp".
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "front/int.h"
#include "front/progint.h"
#include "opt/opt.h"
#include "tree/tree.h"

bool F2Pprobing = false;

static std::string F2Plogname(int w) { return utilworkfile((".log" + std::to_string(w) + ".tmp").c_str()); }

// Seconds of the time limit still left (PAR_tm > 0); the engines stop once
// more seconds than the limit have passed.
static long long F2Pleft() { return (long long)PAR_tm - (long long)(std::time(nullptr) - t0); }

// Starts the check at width w with its standard output in log: in the
// child, the run goes on as -ck iN would (child is set and 0 returned).
static pid_t F2Pstart(int w, const std::string &log, bool &child) {
  int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  std::fflush(nullptr);  // nothing buffered is written twice
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid == 0) {
    // a probe stopped by timeout or kill takes its child along
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (dup2(fd, 1) < 0) _exit(127);
    close(fd);
    child = true;
    Xlog = 1;
    lmtlog = nullptr;
    if (op0.prop == PARSEL_MODULE) op0.name[0] = 0;  // a module name, not an order file
    op0.prop = PARSEL_INTW;
    opDFTT = 0;
    op0.engine = PARENG_TBD;  // the engine options of the run, but not its debug stops
    PAR_debug = 0;
    PAR_intw = w;
    F2Poverflownames = w >= F2P_INTMAXW;
    return 0;
  }
  close(fd);
  return pid;
}

// The child's wait status; at the time limit the child is stopped and late set.
static int F2Pwait(pid_t pid, bool &late) {
  int st = 0;
  long nap = 1000000;  // ns, doubled up to 64 ms while a time limit is watched
  for (;;) {
    pid_t r = waitpid(pid, &st, PAR_tm > 0 ? WNOHANG : 0);
    if (r == pid) return st;
    if (r < 0 && errno != EINTR) return -1;
    if (r == 0) {
      if (F2Pleft() < 0) {
        kill(pid, SIGKILL);
        while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {}
        late = true;
        return st;
      }
      timespec ts{0, nap};
      nanosleep(&ts, nullptr);
      if (nap < 64000000) nap *= 2;
    }
  }
}

// The first line of the child's output that begins with key, or "".
static std::string F2Plogline(const std::string &log, const char *key) {
  FILE *f = std::fopen(log.c_str(), "r");
  if (!f) return "";
  std::string line, found;
  size_t n = std::strlen(key);
  for (int c; found.empty() && (c = std::fgetc(f)) != EOF;) {
    if (c != '\n') {
      line += (char)c;
      continue;
    }
    if (line.compare(0, n, key) == 0) found = line;
    line.clear();
  }
  if (found.empty() && line.compare(0, n, key) == 0) found = line;
  std::fclose(f);
  return found;
}

[[noreturn]] static void F2Pprobeend(int verdict) {
  if (verdict && F2Punknownhook) F2Punknownhook();
  std::fflush(nullptr);
  utilexit(0);
}

int F2Pintprobe(bool &child) {
  if (!F2Pprobing) utilerror("int");
  for (int w = 1; w <= F2P_INTMAXW; ++w) {
    if (PAR_tm > 0 && F2Pleft() < 0) {
      std::printf("INFO:       time limit reached in the int width probe at width %i\n", w);
      PARlimitend = "time";
      F2Pprobeend(1);
    }
    std::string log = F2Plogname(w);
    if (lmtlog) {
      std::fprintf(lmtlog, "INFO:       int width %i\n", w);
      std::fflush(lmtlog);
    }
    pid_t pid = F2Pstart(w, log, child);
    if (child) return w;
    if (pid < 0) {
      std::printf("ERROR:      cannot start the int width check (%s)\n", log.c_str());
      utilwhy = "cannot start the int width check";
      F2Pprobeend(0);
    }
    bool late = false;
    int st = F2Pwait(pid, late);
    if (late) {
      std::printf("INFO:       time limit reached in the int width probe at width %i\n", w);
      PARlimitend = "time";
      F2Pprobeend(1);
    }
    int code = st >= 0 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    if (code == 1) return w;  // AG err_x_ = 0 holds: no reachable overflow
    // overflow reachable, or a constant that this width cannot hold
    std::string cst = code == 0 ? F2Plogline(log, "INFO:       CONSTANT=") : "";
    bool wider = code == 255 || !cst.empty();
    if (!cst.empty()) {  // no width below one that holds the constant can do better: skip them
      long long k = std::atoll(cst.c_str() + std::strlen("INFO:       CONSTANT="));
      while (w + 1 < F2P_INTMAXW && ((1LL << (w + 1)) - 1) <= k) ++w;
    }
    if (!wider) {
      std::printf("INFO:       the int width check at width %i ended without an answer, see %s\n", w,
                  log.c_str());
      utilwhy = "the int width check ended without an answer";
      F2Pprobeend(0);
    }
  }
  std::string log = F2Plogname(F2P_INTMAXW);
  const char *key = "INFO:       OVERFLOW=";
  std::string var = F2Plogline(log, key), cst = F2Plogline(log, "INFO:       CONSTANT=");
  std::fprintf(stderr, "%s error\n", "int too big");
  utilwhy = "int too big error";
  if (!var.empty())
    std::printf("INFO:       int too big: %s still overflows at %i bits\n", var.c_str() + std::strlen(key),
                F2P_INTMAXW);
  else if (!cst.empty())
    std::printf("%s\n", cst.c_str());
  F2Pprobeend(1);
}
