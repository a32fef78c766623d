// Command line: the option decoder and the help text (the record it fills
// is the options library's).
#pragma once

#include "opt/opt.h"

// Parses the arguments; returns the model file (always the last argument),
// or null without arguments.  Help ends the process with status 0.
const char *mainparameters(int argc, char **argv);

// The -wd directory of a command line, decoded exactly as mainparameters
// decodes it but silently and without ending at a help request: the work
// files are opened before the command line is parsed.  Leaves the defaults.
std::string PARworkdir(int argc, char **argv);

// The three decoder stages: argv[i] is the option; returns 1 when argv[i+1]
// was consumed.  A stage passes what it does not know to the next one.
int param0(char **argv, int i);
int param1(char **argv, int i);
int param2(char **argv, int i);
int param3(char **argv, int i);

// Prints the help text on standard output.
void PARhelp();

// Decimal conversion as the options read it: leading digits after an
// optional sign, 0 when none; saturates instead of overflowing.
int PARatoi(const char *s);
