// Entry point of the checker: one verification from command line to verdict.
// Stages that are not part of this build end the run honestly after the last
// stage that is, with status 0 and no verdict.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "main/param.h"
#include "main/report.h"
#include "tree/tree.h"

// Every end of the run goes through here: the trace log is closed first.
[[noreturn]] static void MAINend(int status) {
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
  if (FILE *f = std::fopen("logtmp.tmp", "w")) std::fclose(f);
  else std::printf("ERROR:      cannot create %s\n", "logtmp.tmp");
  lmtlog = std::fopen("loglmt.tmp", "w");
  if (!lmtlog) std::printf("ERROR:      cannot create %s\n", "loglmt.tmp");
}

int main(int argc, char **argv) {
  MAINopenlogs();
  std::printf("VERSION:    lumet 1.43 - JAN 2013\n");
  t0 = std::time(nullptr);
  utiltime(0);

  PARdefaults();
  const char *arg = mainparameters(argc, argv);
  if (!arg) {  // nothing to check: show how to call the checker
    PARhelp();
    MAINend(0);
  }
  std::string model = arg;

  if (op0.cfile) MAINnotbuilt("C translator");
  if (PAR_debug >= 6) MAINend(0);  // levels past 6 stop as early as 6

  std::printf("FILE:       %s\n", model.c_str());
  if (!fileok(model) || PAR_debug == 5) MAINend(0);

  MAINnotbuilt("model parser");
}
