// Records shared by the C translator's reader (c2vparse.cpp) and writer
// (c2vgen.cpp).  All records live in the pools of one C2Vprog.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

// A program outside the translated subset: the message ends the run.
struct C2Verror : std::runtime_error {
  using std::runtime_error::runtime_error;
};
[[noreturn]] void C2Vunsupported(int line, const std::string &what);
[[noreturn]] void C2Vunknown(int code, const std::string &what);  // declaration syntax

enum { TK_END, TK_ID, TK_NUM, TK_STR, TK_PUNCT };

struct C2Vtok {
  int kind;          // TK_*
  std::string text;  // identifier, punctuator, string contents
  long long val;     // value of a number or character constant
  int line;          // C line, from 1
};

struct C2Vfun;

struct C2Vvar {
  std::string cname;               // name in the C program
  std::string mname;               // name in the model
  std::string type;                // "int" or "char"
  int size = -1;                   // number of elements, -1 for a scalar
  std::vector<long long> init;     // initial values (missing ones are 0)
  bool global = false;             // declared at file level (or made by the translator for main)
  bool param = false;              // parameter of a procedure
  C2Vfun *fun = nullptr;           // owning function of a local
};

enum { EX_NUM, EX_VAR, EX_IDX, EX_UN, EX_BIN, EX_COND, EX_CALL, EX_GETC, EX_ASSIGN, EX_INC };

struct C2Vexpr {
  int kind;                        // EX_*
  std::string op;                  // operator, assignment operator, "++"/"--", callee name
  long long val = 0;               // EX_NUM
  C2Vvar *var = nullptr;           // EX_VAR, EX_IDX
  C2Vfun *fun = nullptr;           // EX_CALL, resolved after reading
  std::vector<C2Vexpr *> a;        // operands
  int line = 0;
};

enum { ST_EXPR, ST_BLOCK, ST_IF, ST_WHILE, ST_DO, ST_FOR, ST_SWITCH, ST_CASE, ST_BREAK,
       ST_CONT, ST_RETURN, ST_ASSERT, ST_SKIP };

struct C2Vstm {
  int kind;                        // ST_*
  int line = 0;
  C2Vexpr *e = nullptr;            // condition, expression, returned value, case label (null: default)
  std::vector<C2Vstm *> list;      // block: statements; for: init, step (as blocks in s1, s2)
  C2Vstm *s1 = nullptr;            // then-branch, loop body, switch body, for-init
  C2Vstm *s2 = nullptr;            // else-branch, for-step
  std::string text;                // assertion text as written
};

struct C2Vfun {
  std::string cname, mname;        // C and model names
  std::string rtype;               // "int", "char" or "void"
  std::vector<C2Vvar *> params;
  std::vector<C2Vvar *> locals;    // every local of every block, in order of declaration
  C2Vstm *body = nullptr;          // null for a prototype only
  int line = 0;
  int endline = 0;                 // line of the closing brace
};

struct C2Vprog {
  std::deque<C2Vvar> vars;         // pools: records stay where they are
  std::deque<C2Vexpr> exprs;
  std::deque<C2Vstm> stms;
  std::deque<C2Vfun> funs;
  std::vector<C2Vvar *> globals;   // file-level variables in order
  std::vector<C2Vfun *> order;     // functions in file order (first declaration)
  std::map<std::string, C2Vfun *> fbyname;
  std::set<std::string> idents;    // every identifier of the program (kept out of made names)
  std::vector<C2Vstm *> asserts;   // assertions in source order
  std::map<std::string, std::vector<C2Vtok>> macros;  // "#define" name -> its tokens
  std::vector<std::string> lines;  // source lines, [1,count]
  std::string log;                 // "c2v.log" text
};

// Reads the program (tokens, declarations, statements, expressions).
void C2Vread(C2Vprog &P, const std::string &source, const std::map<int, std::vector<std::string>> &sp);
// Reads a function-specification text: function name -> entries.
struct C2Vfsp {
  std::string result;              // result name
  std::vector<std::string> params; // parameter names
  std::vector<std::string> stms;   // "ASSUMPTION", "GUARANTEE" or an expression text (C)
  std::vector<int> lines;
};
std::map<std::string, C2Vfsp> C2Vreadfsp(const std::string &text);
// Parses one C expression text with the given names (for specifications).
C2Vexpr *C2Vparsetext(C2Vprog &P, const std::string &text, int line,
                      const std::map<std::string, C2Vvar *> &names);
// Tokenises a text (also used by the reader of function-specification files).
// macros: the "#define" table, read and extended (null: none).
std::vector<C2Vtok> C2Vlex(const std::string &text, int line0,
                           const std::map<int, std::vector<std::string>> *sp,
                           std::map<std::string, std::vector<C2Vtok>> *macros = nullptr);
