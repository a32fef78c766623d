// Preprocessor: rewrites a model file into the compact one-line text the
// module parser reads (definitions, enumerations, transition families,
// records, tuple assignments, keyword and operator codes, blanks removed).
#pragma once

#include <string>
#include <vector>

#include "tree/tree.h"

// Definition table.  Slot order is match priority: the lowest matching slot
// wins.  Filled with the command-line definitions, the built-ins, the DEFINE
// section and the enumeration constants; then reused for the family table.
extern std::vector<std::string> cleft;    // names [0,cc)
extern std::vector<int> clen;             // name lengths [0,cc)
extern std::vector<std::string> cright;   // replacements [0,cc)
extern int cc;                            // slots in use

// Empties the table and adopts the command-line definitions defs (the list
// is kept: entries added later are adopted when preprocessing starts).
void repinit(const std::vector<std::string> *defs = nullptr);
// Adds one command-line definition "name=value" at slot cc.
void repadddef(const std::string &text);
// Reads one definition "name = value" starting at text[pos] into the slot.
// Returns the characters consumed up to the line end that closed the value;
// stored tells whether a definition was written (no name or no '=' is
// reported and ignored).
size_t repgetdef(const std::string &text, size_t pos, int slot, bool &stored);
// Constant value of a parsed definition value over slots [0,count), or -1.
int eval(const tree *t, const std::vector<std::string> &names,
         const std::vector<std::string> &repls, int count);
// One substitution pass of slots [0,count) over text, appended to out.
void stringkstring(const std::string &text, const std::vector<std::string> &names,
                   const std::vector<std::string> &repls, const std::vector<int> &lens,
                   int count, std::string &out);

// Helpers shared by the preprocessor's files.
void REPadoptpending();                   // adopts definitions added since repinit
// Writes a slot (the table grows as needed) and indexes its name for eval.
void REPsetslot(int slot, const std::string &name, const std::string &repl);
void REPclearnames();                     // drops that index
void REPexpandreplacements();             // each replacement with the slots before it

// Built-ins, DEFINE section, enumerations, substitution, transition families.
std::string PREPreplaceENUM(std::string text);
// Collects the transition families of the first module's TRANS section.
void REPforp(const std::string &text);
// Expands one TRANS statement into out when it is a family; returns the
// number of slots it fills from cc on (statement and index entries), or 0.
int REPforp1(const tree *stmt, std::string &out);
// "STEP" -> "s_p=" before a letter or digit, else "s_p".
void PREPreplaceSTEP(std::string &text);
// The whole pipeline over one model file; also logs the result.
std::string PREPfile2txt(const std::string &path);

// Records and tuple assignments (preprec.cpp).
// True when "record" at pos starts a record declaration: a whole word after
// the ':' of a declaration and followed by '{' (blanks skipped both ways).
bool PREPisrecord(const std::string &text, size_t pos);
std::string PREPreplaceRECORD(std::string text);
void PREPreplaceRECORD1(std::string &text, size_t from, const std::string &name);
// Reports a tuple whose sides differ in length unless quiet.
void PREPreplaceASSEQ(std::string &text, bool quiet = false);
std::vector<std::string> PREPcreatevlist(const std::string &text, size_t first, size_t last);
void PREPwritevlist(const std::vector<std::string> &names,
                    const std::vector<std::string> &comps, std::string &out);

// Character classes of the preprocessor (ASCII only, any byte value is safe).
inline bool PREPletter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool PREPdigit(char c) { return c >= '0' && c <= '9'; }
inline bool PREPidchar(char c) { return PREPletter(c) || PREPdigit(c) || c == '_'; }
inline bool PREPblank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
