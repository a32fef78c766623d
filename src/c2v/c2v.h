// C translator: a restricted C program with assertions becomes a model file.
// `main` becomes the main module, every other function a PROCEDURE; one
// program counter "pc" per function sequences the statements, and every
// assertion becomes a property AG(!(pc=N)|(cond)) of the main module.
#pragma once

#include <map>
#include <string>
#include <vector>

// What one translation produced, in memory (the files are written from it).
struct c2vout {
  std::string lum;    // the model text (".lum")
  std::string luc;    // the annotated listing (".luc")
  std::string log;    // the translation log ("c2v.log")
  std::string error;  // non-empty: the message that ends the run, no model
};

// Where the main module's locations come from and which model names stand
// for which C names; kept for the counterexample of a translated program.
struct c2vmap {
  std::vector<int> line;                            // C line of main's location [0,N]
  std::vector<std::string> source;                  // C source lines [1,count] (index 0 unused)
  std::vector<std::pair<std::string, std::string>> names;  // (model name, C name) of renamed variables
};

extern c2vmap C2Vmap;  // filled by c2v (and C2Vtranslate) for the driver

// Translates source text; sp maps a line number (from 1) to the assertion
// conditions inserted before that line; fsp is the function-specification text.
c2vout C2Vtranslate(const std::string &source, const std::map<int, std::vector<std::string>> &sp,
                    const std::string &fsp);

// Reads an assertion file's text into the line table of C2Vtranslate.
std::map<int, std::vector<std::string>> C2Vreadsp(const std::string &text);

// The whole translation of one C file: writes "<base>.lum", "<base>.luc" and
// "c2v.log"; a program outside the subset ends the process (status 0) with
// its message and no model.  spfile and fspfile may be null.
void c2v(const char *cfile, const char *spfile, const char *fspfile);

// "<C file without its last extension>.lum", the model the driver then reads.
std::string C2Vmodelname(const std::string &cfile);

// Adds the C view (line and C names) to every state of a counterexample file
// written for a translated program.
void C2Vcexannotate(const std::string &cexpath);
