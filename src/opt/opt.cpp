// The options record and the shared switches with their defaults.
#include "opt/opt.h"

lumopt op0 = {PARENG_TBD, PARSEL_ALL, 0, 0, 0, -1, "", nullptr, nullptr, nullptr, 0, 1000, nullptr, nullptr};
int PAR_tm = 0;
int PAR_mem = 0;
std::string PARwd;
std::string PARjson;
std::string PARlimitend;
int PAR_debug = 0;
int opDFTT = 0;
int Xce = 0;
int PAR_intw = 0;
time_t t0 = 0;
std::vector<std::string> PARdefs;

void PARdefaults() {
  op0 = lumopt{};
  op0.engine = PARENG_TBD;
  op0.prop = PARSEL_ALL;
  op0.alg = -1;
  op0.bound = 1000;
  PAR_tm = 0;
  PAR_mem = 0;
  PARwd.clear();
  PARjson.clear();
  PARlimitend.clear();
  PAR_debug = 0;
  opDFTT = 0;
  Xce = 0;
  PAR_intw = 0;
  PARdefs.clear();
}
