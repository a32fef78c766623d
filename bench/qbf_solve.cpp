// Decides one QBF text file (as dump mode writes it) with the internal
// solver; exit status 10 true, 20 false, 0 when the file is malformed or the
// time limit (second argument, seconds) passed. For timing against depqbf.
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "qbf/qbf.h"

int main(int argc, char **argv) {
  if (argc < 2) return 0;
  std::string text = file2string(argv[1]), err;
  int V;
  qmd *t = qmdread(text, V, err);
  if (!t) {
    fprintf(stderr, "%s: %s\n", argv[1], err.c_str());
    return 0;
  }
  qmdata d;
  d.V = V;
  if (argc > 2) d.deadline = time(nullptr) + atoi(argv[2]);
  int r = QBFapply(d, t);
  return r == 1 ? 10 : r == 0 ? 20 : 0;
}
