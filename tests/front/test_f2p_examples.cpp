// The bundled example models go through parsing and flattening (the debug
// level 3 path: f2p0 and f2p1), then through the summary step.
#include <fstream>

#include "f2ptest.h"

using namespace f2pt;

namespace {

std::string slurp(const std::string &p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const char *const EXAMPLES[] = {"gcd",  "lights2d",        "locks_bad", "locks_good", "pingpong",
                                "pingpong_unfair", "river", "robot",     "sensorlog",  "stopwatch",
                                "tas_lock", "thermostat", "vending"};

TEST(F2pExamples, AllFlatten) {
  for (const char *e : EXAMPLES) {
    SCOPED_TRACE(e);
    scratch s;
    std::string model = slurp(std::string(LUMET_SRC) + "/tests/acceptance/examples/models/" + e + ".lum");
    model.pop_back();  // writemodel adds the byte the preprocessor drops
    ggbrec *g = flat(model);
    f2p1INFO(g);
    std::string d = dump(g);
    if (getenv("F2P_DUMP")) std::ofstream(std::string(getenv("F2P_DUMP")) + "/" + e + ".dump") << d;
    EXPECT_NE(d.find("PR\n"), std::string::npos);
  }
}

}  // namespace
