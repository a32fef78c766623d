// The result file of -json: one JSON object saying how the run ended, for
// programs that drive the checker.  Written once, at the end of the run.
#pragma once

#include <string>
#include <vector>

struct jsonrun {
  std::string version;               // the version text of the VERSION line
  std::vector<std::string> options;  // the arguments before the model file
  std::string model;                 // the model file checked; empty before it is known
  std::string written;               // the property as the model file writes it; empty: not found
  std::string checked;               // the property as the PROPERTY line shows it; empty: none
  bool done;                         // the file has been written
};
extern jsonrun JSONrun;

// Records the start of the run and its arguments.
void JSONbegin(int argc, char **argv);
// Writes the file named by -json, once; status is the process's exit status.
// A child of the int width probe writes none: the file is its parent's.
void JSONwrite(int status);

// s as a JSON string literal.
std::string JSONquote(const std::string &s);
// The trace of a counterexample file as a JSON object; "null" when it cannot be read.
std::string JSONtrace(const std::string &cexpath);
// Of the model text: the n-th property (from 1) of the main module's SPEC
// section with its blanks collapsed, all of them joined by "; " for n = 0;
// empty unless the section holds exactly count properties (the preprocessor
// may make others).
std::string JSONspectext(const std::string &text, int n, int count);
