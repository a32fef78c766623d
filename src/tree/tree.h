// Expression trees, lists, short texts, and the compact-text parser/printers.
// One two-child node record serves every expression, statement, declaration,
// formula and list of the checker.
#pragma once

#include <cstdio>
#include <string>

constexpr int TREE_TEXTLEN = 64;   // node text capacity including the terminator

struct tree {
  char text[TREE_TEXTLEN];  // operator code, constant ("^" TRUE, "_" FALSE) or leaf text
  tree *left;               // first operand; empty for prefix operators and leaves
  tree *right;              // second/only operand; rest of the list for ";" cells
};

// Fatal error: prints "%s error\n" with the tag on standard error, ends with status 0.
[[noreturn]] void utilerror(const char *tag);
// Every early end of the process goes through utilexit.  When utilexithook
// is set it is called first; the process ends when it returns.  A harness
// that runs many inputs in one process (the fuzz targets) throws from there
// to get back to its entry.
[[noreturn]] void utilexit(int status);
extern void (*utilexithook)(int status);
// Why the run ends in an error ("<tag> error" from utilerror, or a message of
// the stage that ends it); empty otherwise.  Read by the driver's result file.
extern std::string utilwhy;
// Empties the library's scratch state (walk stacks, parse depth, list
// cursors), which a run that unwound from utilexithook may leave behind.
void treereset();

// Called every TREEPOLL new nodes when set: the driver's time and memory
// limits reach the long rewriting steps of the front end this way.
constexpr unsigned TREEPOLL = 1u << 16;
extern void (*treepollhook)();

// Process-wide trace log "loglmt.tmp"; may be null (writers then skip).
extern FILE *lmtlog;
// 1: the process writes no log files (a child of the integer-width probe
// writes only its output file).
extern int Xlog;
// Directory of the run's work files (-wd), empty for the working directory;
// every library names its logs, solver files and dumps through utilworkfile,
// so runs with different work directories do not share a file.
extern std::string utilworkdir;
// name inside the work directory: "DIR/name", or name itself without one.
std::string utilworkfile(const char *name);
// Opens a log file of the work directory; null when Xlog is set or the
// file cannot be opened.
FILE *utillogopen(const char *name, const char *mode);

// ---- construction (nodes come from these builders and go back with treefree;
// a text over 63 characters ends with "<operation> error")
tree *treecompose(const char *text, tree *left, tree *right);  // takes left, right
tree *treenum(int n);
tree *treeconst(int v);                                  // 0 -> "_", 1 -> "^"
tree *treevarconstr(const char *name, int lo, int hi);
tree *treeconstab(int flag, int k);
tree *eqstate(int a, int b, int c, int e, int f);

// ---- copy, free, replace
tree *treecopy(const tree *t);
void treefree(tree *t);
// Checked build: true for a node of a shared-formula store, which treefree
// must never reach (set by the store; null elsewhere).
extern bool (*treesharedhook)(const tree *t);
void treereplace(tree *dst, tree *src);                  // src's record is released
int nodereplace(tree *node, const char *name, const tree *repl);

// ---- comparison, size, search
int treediff(const tree *a, const tree *b);              // 0 equal, 1 different
int treesize(const tree *t);
int treesizeof(char op, const tree *t);
tree *treesearch(const char *s, int n, tree *t);
tree *treesearchvarall(const char *s, int n, const tree *t);
tree *treesearchvarlist(const char *s, int n, tree *list);
int treesearchvarlistnum(const char *s, int n, tree *list);

// ---- rewriting
void treereplacestring(tree *t, const char *s, const char *r);
void treeaddnumber(tree *t, int k);
void treeaddnumberconditional(tree *t, int k, int bound);
tree *treetr(const tree *t, int a, int b, int c);
void eqstateconstruct(tree *t, int w);

// ---- traversal
tree *treedopost(tree *t, tree *(*f)(tree *));
void treedopostvoid(tree *t, void (*f)(tree *));
void treedoprevoid(tree *t, int (*f)(tree *));

// ---- lists (right-leaning ";" chains; two process-wide cursors)
int listlength(const tree *list);
tree *listgetone(tree *list, int more);
tree *listgetone2(tree *list, int more);
tree *listget1n(tree *list, int i);
void listtraverse(tree *list, void (*f)(tree *));
tree *listmerge(tree *a, tree *b);
tree *listcombone(tree *(*f)(tree *, tree *, tree *), tree *a, tree *b);
tree *listcombine(tree *(*f)(tree *, tree *, tree *), const tree *a, const tree *b);
tree *listcombinedist(tree *(*f)(tree *, tree *, tree *), const tree *a, const tree *b);

// ---- texts
void stringcomments(std::string &s);
void stringcompress(std::string &s, char a, char b);
void stringreplacechar(char *s, char a, char b);
void stringreplacechar(std::string &s, char a, char b);
void stringed(std::string &s, const std::string &p, const std::string &r);
void stringreplacesubstring(char *s, const char *p, const char *r);   // within a node text
int stringreplacestringfixlength(char *s, const char *p, const char *r);
int arrayindex(const char *s);
int marrayindex(const char *s);
int chanindex(const char *s);
long long ran(const char *s, int which);
std::string gfilename(const std::string &path);
std::string file2string(const std::string &path);
int fileok(const std::string &path);
double utiltime(int mode);
// Resident memory of the process in bytes; 0 when the system does not say.
unsigned long long utilrss();

// ---- parser and printers
// Unbalanced brackets, a missing left operand of a two-operand operator and
// nesting deeper than 2000 end with "Syntax error"; "x=*" gives "=" over x
// and a leaf with an empty text (free choice).
tree *string2tree(char *text);                           // text is overwritten
tree *string2tree(const std::string &text);              // parses a scratch copy
tree *string2tree_local(char *text, const char *ops);
void treewrite(const tree *t, FILE *out);
std::string treewritetext(const tree *t);                // what treewrite prints
int treewrites(const tree *t, std::string &buf, int pos);
int treewritep(const tree *t, std::string &buf, int len, int mode);  // reads back as the same tree
void treew(const tree *t);

// Operator tables, weakest (OP9) to strongest (OP1), and the duality pairs.
extern const char *const OP1, *const OP2, *const OP3, *const OP4, *const OP5,
    *const OP6, *const OP7, *const OP8, *const OP9;
extern const char *const DUALOPRS;
