// Entry point of the checker; the pipeline is assembled stage by stage.
#include <cstdio>

int main() {
  std::printf("VERSION:    lumet 1.43 - JAN 2013\n");
  return 0;
}
