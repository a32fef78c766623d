// The options record and the run's shared switches: what the command line
// sets and every engine reads.  Kept below the engines so that they need
// nothing of the driver.
#pragma once

#include <ctime>
#include <string>
#include <vector>

// Property selector values (op0.prop); n >= 1 checks the n-th property.
constexpr int PARSEL_ASK = 0;       // list the properties and ask
constexpr int PARSEL_SX = -1;       // array bound check mode
constexpr int PARSEL_MODULE = -2;   // assume/guarantee check of the module in op0.name
constexpr int PARSEL_INTW = -3;     // integer-width probe run (-ck iN)
constexpr int PARSEL_ALL = -32;     // all properties folded into one

// Engine values (op0.engine); anything but PARENG_TBD is bounded checking.
constexpr int PARENG_TBD = 0;
constexpr int PARENG_QBF = 1;
constexpr int PARENG_SAT = 2;
constexpr int PARENG_QSAT = 3;
constexpr int PARENG_BCC = 8;

// First byte of op0.name once the assume/guarantee set-up has run.
constexpr char PARAG_NOPROC = 7;    // no PROCEDURE of that name exists
constexpr char PARAG_HARNESS = 8;   // the harness for that procedure has been built

constexpr int PARNAMELEN = 16;      // name field capacity including the terminator

struct lumopt {
  unsigned char engine;        // PARENG_*; default PARENG_TBD
  int prop;                    // property selector (PARSEL_* or n >= 1); default PARSEL_ALL
  int ag;                      // assume/guarantee switch: -1 after -ag, else 0
  unsigned char om;            // 1 after -Om: dependency ordering for the selected property
  unsigned char ovord;         // 1 after -Ovord: reorder variables before encoding
  int alg;                     // fixpoint algorithm variant; default -1
  char name[PARNAMELEN];       // -v order file or -ck module name; byte 0 doubles as A/G state
  const char *cfile;           // -c: C program to translate, or null
  const char *spfile;          // -sp: assertion file, or null
  const char *fspfile;         // -fsp: function-specification file, or null
  int lbound;                  // -lbound: first bound of bounded checking; default 0
  int bound;                   // -bound: largest bound; default 1000
  const char *qbfsolver;       // -qbfsolver: external QBF solver command, or null
  const char *satsolver;       // -satsolver: external SAT solver command, or null
};

extern lumopt op0;
extern int PAR_tm;       // time limit in seconds, 0 = none
extern int PAR_mem;      // -M: memory limit of the node store and the solvers in MB, 0 = none
extern std::string PARwd;     // -wd: directory of the work files, empty = working directory
extern std::string PARjson;   // -json: the result file, empty = none
extern std::string PARlimitend;   // "time" or "memory" once that limit has ended the run
extern int PAR_debug;    // debug level: number of -d options
extern int opDFTT;       // built-in property: 0 none, 1 deadlock-freeness, 2 totalness
extern int Xce;          // 1: write no counterexample files
extern int PAR_intw;     // N of the last -ck iN (integer width of an overflow check), else 0
extern time_t t0;        // wall-clock start of the run, for verdict, progress and time limit

// Definitions from -D and -ck iN, in command-line order ("name=value" or
// whatever followed -D); the driver hands them to the preprocessor (repinit).
extern std::vector<std::string> PARdefs;

// Resets op0, the switches and PARdefs to their defaults.
void PARdefaults();

