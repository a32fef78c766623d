// Command-line decoding into op0 and the global switches.
#include "main/param.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tree/tree.h"

int PARatoi(const char *s) {
  if (!s) return 0;
  while (*s == ' ' || (*s >= '\t' && *s <= '\r')) s++;
  bool neg = false;
  if (*s == '+' || *s == '-') neg = (*s++ == '-');
  long long v = 0;
  for (; *s >= '0' && *s <= '9'; s++) {
    v = v * 10 + (*s - '0');
    if (v > (long long)INT_MAX + 1) v = (long long)INT_MAX + 1;  // saturate, keep scanning
  }
  if (neg) return v > (long long)INT_MAX ? INT_MIN : (int)-v;
  return v > INT_MAX ? INT_MAX : (int)v;
}

// The help lines for "-ck tt" .. "-QBF" come from these two parallel tables.
static const char PARhelpfmt[5][24] = {
    "-ck tt            : %s\n", "-ck df            : %s\n", "-v varfile        : %s\n",
    "-bs               : %s\n", "-QBF              : %s\n"};
static const char PARhelptxt[5][56] = {
    "Checks whether it is a total transition relation",
    "Checks whether it is a deadlock freee transition system",
    "Uses the variable ordering from the file varfile",
    "Uses qbf-based/sat-based bounded correctness checking",
    "Uses qbf-based bounded correctness checking"};

void PARhelp() {
  std::printf("-help (-h) (-?)   : %s\n", "Prints the command line help");
  std::printf("-p                : %s\n", "Prints the list of the properties in the model");
  std::printf("-ck i             : %s\n", "Checks the i-th property (default: -ck 1)");
  for (int i = 0; i < 5; i++) std::printf(PARhelpfmt[i], PARhelptxt[i]);
  std::printf("-SAT              : %s\n", "Uses sat-based bounded correctness checking (ACTL formulas)");
  std::printf("-qbfsolver solver : %s\n", "Sets the qbfsolver variable");
  std::printf("-satsolver solver : %s\n", "Sets the satsolver variable");
  std::printf("-bound k          : %s\n", "Sets the bound variable");
  std::printf("-verify           : %s\n", "Applies verification only");
  std::printf("-O                : %s\n", "Enables optimization");
  std::printf("-ignore fairness  : %s\n", "Ignores Fairness Specifications");
}

// Set while PARworkdir scans: nothing is printed and help does not end the run.
static bool PARquiet = false;

static void PARwarn(const char *opt) {
  if (PARquiet) return;
  std::printf("warning: invalid option, ignored: %s\n", opt);
}

static bool PARisdigit(char c) { return c >= '0' && c <= '9'; }
static bool PARisletter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

static bool PARishelp(const char *a) {
  return !std::strcmp(a, "-?") || !std::strcmp(a, "-h") || !std::strcmp(a, "-help");
}

// Copies s into the name field; a name that does not fit is refused.
static bool PARsetname(const char *s) {
  size_t n = std::strlen(s);
  if (n >= PARNAMELEN) return false;
  std::memcpy(op0.name, s, n + 1);
  return true;
}

// -ck x: property selection by the form of x.
static void PARck(const char *x) {
  if (PARisdigit(x[0])) {
    op0.prop = PARatoi(x);  // any size: a number past the list selects nothing
  } else if (!std::strcmp(x, "df")) {
    opDFTT = 1;
  } else if (!std::strcmp(x, "tt")) {
    opDFTT = 2;
  } else if (!std::strcmp(x, "sx")) {
    op0.prop = PARSEL_SX;
  } else if (!std::strcmp(x, "all")) {
    op0.prop = PARSEL_ALL;
  } else if (x[0] == 'i' && PARisdigit(x[1])) {
    op0.prop = PARSEL_INTW;
    PAR_intw = PARatoi(x + 1);
    PARdefs.push_back(std::string("int=") + x);  // "int" stands for an x-bit type
  } else if (PARisletter(x[0]) && PARsetname(x)) {
    op0.prop = PARSEL_MODULE;
  } else {
    PARwarn("-ck");
  }
}

// Help, switches and definitions.
int param0(char **argv, int i) {
  const char *a = argv[i];
  const char *next = argv[i + 1];
  if (PARishelp(a)) {
    if (PARquiet) return 0;
    PARhelp();
    utilexit(0);
  }
  if (!std::strcmp(a, "-ag")) {
    op0.ag = -1;
  } else if (!std::strcmp(a, "-Oalg")) {
    if (next && PARisdigit(next[0])) {
      op0.alg = PARatoi(next);
      return 1;
    }
    op0.alg = 0;
  } else if (!std::strcmp(a, "-b")) {
    op0.alg = -1;
  } else if (!std::strcmp(a, "-f")) {
    op0.alg = 11;
  } else if (!std::strcmp(a, "-Xce")) {
    Xce = 1;
  } else if (!std::strncmp(a, "-D", 2)) {
    PARdefs.push_back(a + 2);
  } else {
    return param1(argv, i);
  }
  return 0;
}

// Input files, property selection and ordering.
int param1(char **argv, int i) {
  const char *a = argv[i];
  const char *next = argv[i + 1];
  bool takes = !std::strcmp(a, "-c") || !std::strcmp(a, "-sp") || !std::strcmp(a, "-fsp") ||
               !std::strcmp(a, "-ck") || !std::strcmp(a, "-v");
  if (takes && !next) {  // nothing follows: nothing to consume
    PARwarn(a);
    return 0;
  }
  if (!std::strcmp(a, "-c")) {
    op0.alg = 11;
    op0.cfile = next;
    return 1;
  }
  if (!std::strcmp(a, "-sp")) {
    op0.spfile = next;
    return 1;
  }
  if (!std::strcmp(a, "-fsp")) {
    op0.fspfile = next;
    return 1;
  }
  if (!std::strcmp(a, "-ck")) {
    PARck(next);
    return 1;
  }
  if (!std::strcmp(a, "-v")) {
    // A refused name is not consumed: the scan then skips it as a non-option.
    if (PARisletter(next[0]) && PARsetname(next)) return 1;
    PARwarn(a);
    return 0;
  }
  if (!std::strcmp(a, "-Om")) {
    op0.om = 1;
  } else if (!std::strcmp(a, "-Ovord")) {
    op0.ovord = 1;
  } else {
    return param2(argv, i);
  }
  return 0;
}

// Bounded checking.
int param2(char **argv, int i) {
  const char *a = argv[i];
  const char *next = argv[i + 1];
  if (!std::strcmp(a, "-bcc")) {
    op0.engine = PARENG_BCC;
  } else if (!std::strcmp(a, "-QBF")) {
    op0.engine = PARENG_QBF;
  } else if (!std::strcmp(a, "-SAT")) {
    op0.engine = PARENG_SAT;
  } else if (!std::strcmp(a, "-QSAT")) {
    op0.engine = PARENG_QSAT;
  } else {
    bool takes = !std::strcmp(a, "-lbound") || !std::strcmp(a, "-bound") ||
                 !std::strcmp(a, "-qbfsolver") || !std::strcmp(a, "-satsolver");
    if (!takes) return param3(argv, i);
    if (!next) {
      PARwarn(a);
      return 0;
    }
    if (!std::strcmp(a, "-lbound")) op0.lbound = PARatoi(next);
    else if (!std::strcmp(a, "-bound")) op0.bound = PARatoi(next);
    else if (!std::strcmp(a, "-qbfsolver")) op0.qbfsolver = next;
    else op0.satsolver = next;
    return 1;
  }
  return 0;
}

// Limits, the work directory and the result file.
int param3(char **argv, int i) {
  const char *a = argv[i];
  const char *next = argv[i + 1];
  bool takes = !std::strcmp(a, "-M") || !std::strcmp(a, "-wd") || !std::strcmp(a, "-json");
  // the result file never takes the model's name: it would be written over the model
  if (!std::strcmp(a, "-json") && next && !argv[i + 2]) takes = false;
  if (!takes || !next) {
    PARwarn(a);
    return 0;
  }
  if (!std::strcmp(a, "-M")) PAR_mem = PARatoi(next) < 0 ? 0 : PARatoi(next);
  else if (!std::strcmp(a, "-wd")) PARwd = next;
  else PARjson = next;
  return 1;
}

static void PARscan(int argc, char **argv) {
  for (int i = 1; i < argc - 1; i++) {
    const char *a = argv[i];
    if (a[0] != '-') continue;
    if (a[1] == 'T') {
      // minutes written directly after -T; seconds with an "s" after the digits
      const char *d = a + 2 + (a[2] == '-' || a[2] == '+');
      while (PARisdigit(*d)) d++;
      long long s = (d > a + 2 && !std::strcmp(d, "s") ? 1LL : 60LL) * PARatoi(a + 2);
      PAR_tm = s > INT_MAX ? INT_MAX : s < 0 ? 0 : (int)s;
      continue;
    }
    if (!std::strcmp(a, "-d")) {
      PAR_debug++;
      continue;
    }
    if (param0(argv, i)) i++;  // consumed its argument (possibly the model file, still returned)
  }
}

const char *mainparameters(int argc, char **argv) {
  if (argc < 2) return nullptr;
  // A model file is never named like a help request: "lumet -h" asks for help.
  if (PARishelp(argv[argc - 1])) {
    PARhelp();
    utilexit(0);
  }
  PARscan(argc, argv);
  return argv[argc - 1];
}

std::string PARworkdir(int argc, char **argv) {
  PARdefaults();
  PARquiet = true;
  if (argc >= 2) PARscan(argc, argv);
  PARquiet = false;
  std::string wd = PARwd;
  PARdefaults();
  return wd;
}
