// Times PREPfile2txt on one model file; prints seconds, sizes and the peak
// memory added by the run (maximum resident set size, before and after).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "front/prep.h"

static long maxrsskb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: prep_bench model.lum\n");
    return 2;
  }
  FILE *f = std::fopen(argv[1], "rb");
  if (!f) return 2;
  std::fseek(f, 0, SEEK_END);
  long insize = std::ftell(f);
  std::fclose(f);
  long before = maxrsskb();
  auto t0 = std::chrono::steady_clock::now();
  repinit();
  std::string text = PREPfile2txt(argv[1]);
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  long after = maxrsskb();
  std::printf("input %ld bytes output %zu bytes time %.3f s peak-rss %ld KiB (+%ld KiB)\n",
              insize, text.size(), s, after, after - before);
  return 0;
}
