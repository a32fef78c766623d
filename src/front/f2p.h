// Model front end: the module parser and the flattening of a model file into
// one program record (variables, initial condition, transitions per process,
// fairness constraints, properties).
#pragma once

#include <cstdio>
#include <string>

#include "prog/prg.h"
#include "tree/tree.h"

// One MAIN module, MODULE or PROCEDURE definition, linked in file order.
struct modrec {
  char kind = 0;              // 'V' main module, 'M' MODULE, 'P' PROCEDURE
  tree *header = nullptr;     // ":"(name, parameters joined by "|", or leaf 1); empty for main
  tree *body = nullptr;       // "#"(vars, "#"(init, "#"(trans, rest)))
  modrec *next = nullptr;     // next module in the file
};

// The model of one run (global ggb).
struct ggbrec {
  std::string file;           // model file name ("FILE=%s")
  std::string text;           // text printed as "STRING=%s" when set; left empty
  modrec *modules = nullptr;  // main module first
  prg *program = nullptr;     // the flattened integer program record
  prg *bprogram = nullptr;    // the Boolean program record (set by the driver)
};

extern ggbrec *ggb;

// Selector values understood by f2p0 (the options' property selector).
constexpr int F2P_SEL_ARRAYCHECK = -1;  // "sx": array bound check mode
constexpr int F2P_SEL_AGCHECK = -2;     // assume/guarantee check of the module in name
constexpr int F2P_SEL_INTPROBE = -3;    // integer-width probe run
// First byte of the name field after the assume/guarantee set-up.
constexpr char F2P_AG_NOPROC = 7;       // no PROCEDURE of that name
constexpr char F2P_AG_HARNESS = 8;      // the harness for that procedure is built

// ---- driver entry points
// Reads, preprocesses, parses and merges the model; returns (and stores in ggb)
// the model record.  name is the options' 16-byte name field.
ggbrec *f2p0(const char *file, int selector, char *name, char **argv, int argc);
// Remaining flattening steps after the property has been selected: arrays,
// complete assignments, name marks, constants, -1 and free choice, normal form.
void f2p1(prg *p);
// Deadlock transition and summary fields (BOOLN, range constraints, PURETRANS).
void f2p1INFO(ggbrec *g);
// Debug dump of the model record.
void ggbwrite(const ggbrec *g, FILE *out);

// ---- module parser
modrec *PROGtxt2modules(const std::string &text);
modrec *PROGgetmain(std::string text, int mode);
modrec *PROGgetmodule(const std::string &text, char kind);
modrec *PROGfindmodule(modrec *modules, const char *name);  // by header name, or null

// ---- flattening steps (program tree "#"(vars, "#"(init, "#"(trans, "#"(fair, props)))))
tree *PROGreplacefor(tree *t);                       // unrolls for-loops; returns the tree
void PROGreplacechan(tree *prog);                    // channels -> arrays with fill counter
void PROGreplacesemiand(tree *init);                 // ";" -> "&" along the list
void PROGreplacemarray(tree *prog);
void PROGaddeq(tree *prog);
void PROGcleanarray(tree *prog);
void PROGaddnext(tree *prog);
void PROGaddvc(tree *prog);
void PROGreplaceconstants(tree *prog);
void PROGreplacearray(tree *prog);
void PROGreplacem1(tree *prog);
void PROGreplacestarORcond(tree *prog);
void PROGboolvars(tree *prog);                       // bare variable as condition -> v != 0
void addvar2prog(tree *prog, const char *name);      // declares name : 0..1
int arraycheckmodule(modrec *modules);               // "sx" mode set-up

// ---- processes, procedures and fairness
tree *PROGmerge(modrec *modules, prg *p);
tree *treecopyreplace(const tree *inst, modrec *modules);
void treereplacenames(tree *body, const tree *formals, const tree *actuals,
                      const tree *locals, const char *inst);
void replacepid1(tree *t, int i);
tree *specmergeg1(tree *rest);
tree *specmerge(tree *merged, tree *part, int i);
void reprunning2(tree *&t, int i);
void PROGreplacecolon(tree *tr, modrec *modules);
void ggbtssplitt(prg *p, modrec *modules);
void fnessaddprog(prg *p);
void deadlocktradd(prg *p);
tree *INFOdeadlockfreecond(tree *translist);
int INFOpuret(const tree *translist, modrec *modules);
tree *procedurecreate(const tree *call, modrec *modules, const tree *callervars, int mode);
prg *prog2prg(tree *prog);
int AGcheckmodule(modrec *modules, const char *name);

// ---- helpers shared by the front-end files
tree *PROGpart(tree *prog, int k);                   // k-th "#" part, 0 = variables
tree **PROGpartref(tree *prog, int k);               // its slot (to replace it)
void PROGsyncprocs(prg *p);                          // re-point procs at the transition list
void PROGsettext(tree *t, const std::string &s, const char *tag);  // text or "tag error"
