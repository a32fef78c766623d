// Support of the fuzz targets.  One process runs millions of inputs: an input
// goes through its stages until they finish or until a stage ends the run
// (utilexit, which every error takes); utilexithook then unwinds back here.
// Afterwards everything the run allocated is released (the fuzz build
// registers it, see tree/check.h) and the shared state is reset, so the next
// input starts as a fresh process would.
//
// A new target: write NAME_fuzz.cpp with LLVMFuzzerTestOneInput calling
// FUZZrun around the stage, reset the stage's own globals after it, add
// lumet_fuzz(NAME LIBS ...) to the top CMakeLists and a seed directory to
// bench/fuzz.sh.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "tree/check.h"
#include "tree/tree.h"

struct FUZZexit {
  int status;  // the status the run would have ended with
};

[[noreturn]] inline void FUZZunwind(int status) { throw FUZZexit{status}; }

// Runs f(); returns the status of an early end, or -1 when f returned.
template <class F>
int FUZZrun(F f) {
  utilexithook = FUZZunwind;
  int status = -1;
  try {
    f();
  } catch (const FUZZexit &e) {
    status = e.status;
  }
  std::fflush(stdout);
  utilreleaseall();
  treereset();
  return status;
}

// The file a stage reads its input from.  In memory (memfd) where the system
// has it, so an input costs no disk write and leaves nothing behind; else a
// file of the fuzz build directory (never the working directory).
class FUZZfile {
 public:
  explicit FUZZfile(const char *name) {
#ifdef __linux__
    fd_ = memfd_create(name, 0);
#endif
    path_ = fd_ >= 0 ? "/proc/self/fd/" + std::to_string(fd_) : std::string(LUMET_FUZZ_DIR "/") + name;
  }
  // Replaces the content; returns the path to open.
  const char *write(const uint8_t *data, size_t size) {
    if (fd_ >= 0) {
      if (ftruncate(fd_, 0) == 0 && size) (void)!pwrite(fd_, data, size, 0);
    } else if (FILE *f = std::fopen(path_.c_str(), "wb")) {
      if (size) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
    return path_.c_str();
  }

 private:
  int fd_ = -1;
  std::string path_;
};
