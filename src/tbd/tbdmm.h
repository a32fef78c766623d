// TBD node store: the node pool, the unique table, the computed table, the
// root list, the mark protocols, garbage collection and diagnostic dumps.
//
// A TBD node with label l (v = |l|) denotes (x_v ? hi : lo) AND rest, negated
// when l < 0. Nodes live in one pool of fixed-size chunks and are addressed by
// 32-bit handles: the cell index shifted left by one, the low bit a complement
// flag. A node with a negative label is the complemented handle of the stored
// node with the positive label and the same children, so negation makes no
// node. Handle 0 is the empty reference; the terminals share cell 1: TBDtau
// (true) and its complement TBDomg (false).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <initializer_list>
#include <vector>

using tbd = uint32_t;               // node handle: cell index << 1 | complement; 0 = empty

constexpr tbd TBDnull = 0;          // empty reference
constexpr tbd TBDtau = 2;           // terminal true
constexpr tbd TBDomg = 3;           // terminal false

struct TBDnode {
  int32_t label;                    // +-variable number; sign = complement flag; 0 = free cell
  tbd lo;                           // cofactor for x_v false
  tbd hi;                           // cofactor for x_v true
  tbd rest;                         // conjunct not mentioning x_v (free cell: next free)
};

constexpr int TBDCHUNKBITS = 16;
constexpr uint32_t TBDCHUNK = 1u << TBDCHUNKBITS;   // cells per pool chunk
constexpr uint32_t TBDMAXCHUNKS = 1u << (31 - TBDCHUNKBITS);

// Marks live beside the cells so that a cell stays 16 bytes; each handle (each
// polarity of a cell) has its own mark. The protocols only ever store small
// values: the seen-key -1, counting steps 8 and 22.
struct TBDchunk {
  TBDnode node[TBDCHUNK];           // cells [0,TBDCHUNK), labels stored positive
  int8_t mark[2 * TBDCHUNK];        // scratch mark per handle, 0 when idle
};

extern TBDchunk *TBDchunks[TBDMAXCHUNKS];   // pool chunks [0,TBDpoolchunks)

inline TBDnode &TBDcell(uint32_t i) { return TBDchunks[i >> TBDCHUNKBITS]->node[i & (TBDCHUNK - 1)]; }
// The node a handle denotes, with the label negated for a complemented handle.
inline TBDnode TBDnd(tbd f) {
  TBDnode n = TBDcell(f >> 1);
  if (f & 1) n.label = -n.label;
  return n;
}
inline int8_t &TBDmk(tbd f) {
  return TBDchunks[f >> (TBDCHUNKBITS + 1)]->mark[f & (2 * TBDCHUNK - 1)];
}
inline bool TBDterminal(tbd f) { return (f >> 1) == 1; }
inline int32_t TBDlabel(tbd f) { int32_t l = TBDcell(f >> 1).label; return f & 1 ? -l : l; }
inline int32_t TBDvar(tbd f) { return TBDcell(f >> 1).label; }

// Variable order: a label's level is its variable's place in the diagrams,
// top first. The two labels of a state bit (2k-1, 2k) stay adjacent, so the
// renamings between them keep every node above its children. Identity unless
// TBDmmsetorder chose an order before the store was made.
extern const int32_t *TBDlvtab;     // level per label [0,TBDlvsize)
extern uint32_t TBDlvsize;          // 0 for the identity order
inline int32_t TBDlev(int32_t v) { return (uint32_t)v < TBDlvsize ? TBDlvtab[v] : v; }
// pos[k-1] is the 0-based place of state bit k among the n = pos.size() bits;
// false (and the identity kept) once the store exists or when pos is not a
// permutation.
bool TBDmmsetorder(const std::vector<int> &pos);
bool TBDmmordered();                // an order other than the identity is in use
int32_t TBDlabelat(int32_t level);  // the label at a level
inline tbd TBDlo(tbd f) { return TBDcell(f >> 1).lo; }
inline tbd TBDhi(tbd f) { return TBDcell(f >> 1).hi; }
inline tbd TBDrest(tbd f) { return TBDcell(f >> 1).rest; }

// Unique table: open addressing with linear probing. A slot holds the cell
// index beside 32 bits of its hash, so a probe that does not match is decided
// without touching the cell. `size`, `count` and `limit` keep their
// chained-table meaning: the table doubles when count exceeds limit (load
// factor 1/2) and stops growing at 2^30 slots.
struct TBDtable {
  int32_t size;                     // number of slots, a power of two
  int32_t count;                    // insertions since creation or the last reset
  int32_t limit;                    // resize threshold for count
  int32_t used;                     // occupied slots (count may have been reset)
  uint64_t *slots;                  // hash << 32 | cell index per slot [0,size), 0 = free
};

// Computed table: a direct-mapped lossy cache of (op, x, y) -> result. A miss
// only costs a recomputation, so an entry may be overwritten at any time.
struct TBDcentry {
  uint32_t op;                      // operation code, 0 = empty entry
  uint32_t x;                       // first operand (node, literal or map id)
  uint32_t y;                       // second operand
  tbd res;                          // result
};

struct TBDcache {
  uint32_t size;                    // entries, a power of two
  TBDcentry *e;                     // entry array [0,size)
  uint64_t lookups;                 // TBDmmgetc calls
  uint64_t hits;                    // TBDmmgetc calls answered
};

extern TBDtable TBDttb;             // unique table
extern TBDcache TBDctb;             // computed table

// Operation codes of the computed table.
enum : uint32_t {
  TBDOP_DS = 16,                    // disjunction (alternative form)
  TBDOP_CN = 256,                   // conjunction
  TBDOP_RPE1 = 257,                 // relational product, exists, parity 1
  TBDOP_RN = 1024,                  // renamings TBDrn (x = 0) and TBDsprn (x = flags id)
  TBDOP_ASRN = 1025,                // renaming TBDasrn (x = flags id)
  TBDOP_RESTRICT = 2048,            // restriction (x = node, y = literal)
  TBDOP_POS = 4096,                 // positive form
  TBDOP_BDD = 16384,                // plain BDD form
  TBDOP_VALID = 32768,              // validity by cofactors (result TBDtau / TBDomg)
  TBDOP_RPE0 = 65793,               // relational product, exists, parity 0
  TBDOP_RPA1 = 65794,               // relational product, forall, parity 1
  TBDOP_RPA0 = 65795,               // relational product, forall, parity 0
  TBDOP_REPLACE = 131072,           // substitution (y = map id)
};

// Store counters for statistics and the benchmarks.
struct TBDstats {
  uint64_t made;                    // nodes inserted into the unique table
  uint64_t found;                   // unique-table lookups answered by an existing node
  uint64_t probes;                  // occupied slots compared during lookups
  uint64_t validfallbacks;          // validity tests left to variable elimination
  uint64_t collections;             // garbage collections run
  uint64_t freed;                   // nodes freed by collections
  uint64_t peak;                    // most cells live at one time
};
extern TBDstats TBDst;

// Lifecycle. The store is created once; later calls keep the first store.
void TBDmminitialize(int n);
bool TBDmmexists();
int TBDmmbits();                    // n given to the first TBDmminitialize

// Find-or-insert of the node (label, lo, hi, rest) without normalisation.
tbd TBDmmaddt(int32_t label, tbd lo, tbd hi, tbd rest);
void TBDmmresize();                 // double the unique table now

// Computed table: TBDmmgetc returns the stored result or TBDnull on a miss;
// TBDmmputc stores a result.
tbd TBDmmgetc(uint32_t op, uint32_t x, uint32_t y);
void TBDmmputc(uint32_t op, uint32_t x, uint32_t y, tbd res);
void TBDmmclearc();

// Roots protected from garbage collection; a node may be kept several times.
void TBDkp(tbd f);
void TBDdr(tbd f);
int TBDkept(tbd f);                 // number of root cells holding f
void TBDcl();
int TBDclck(tbd f);
// Safe point of a fixpoint loop: when the store has filled past its trigger,
// collect with `live` (the loop's iterates) kept for the collection. The
// terminals keep their seen marks. The trigger follows the live count: twice
// what survived the last collection, at least TBDgcmin cells and a quarter
// of the unique table's slots. A store that
// the system refused memory since the last safe point collects at once.
void TBDsafepoint(std::initializer_list<tbd> live);
extern uint64_t TBDgcmin;           // smallest trigger, in cells
extern double TBDgcgrowth;          // trigger / cells that survived (2)
extern double TBDgctable;           // trigger / unique-table slots (1/4)
extern uint64_t TBDclcktotal;       // nodes counted by TBDclck since the last collection

// Marks. Seen-keys are in [-7,-1] (the counting steps must make them positive).
int TBDmmnodecnt(tbd f);
int TBDmmnodecnt1(tbd f);
int TBDmmmarkset(tbd f, int key);
void TBDmmmarkclear(int key);

// Store counters as aligned "label : value" lines (debug output, TBD log).
void TBDstatswrite(FILE *out);

// Pool figures.
uint64_t TBDmmlive();               // nodes currently allocated (terminals excluded)
uint64_t TBDmmbytes();              // bytes held by the pool and both tables

// Store self-check: every live node is found in its unique-table slot and
// its children carry larger variable numbers. Returns the number of faults.
int TBDmmcheck();

// Diagnostics.
void TBDcheck(tbd f, int lo, int hi);
void TBDcheckodd(tbd f, int parity);
void TBDwrite(tbd f, int depth, FILE *out);
void TBDwriteclause(tbd f, int n, FILE *out);
void p2intwrite(const int *values, int first, int last, FILE *out);
int p2intlen(const int *values);

// Limits of the run, set by the driver; 0 means none. The store polls the
// clock every TBDPOLL new nodes and at every safe point, and refuses to grow
// past maxbytes (collecting earlier when a limit is set). When a limit runs
// out, `out` ends the run (it must not return); without it the run ends as
// out of memory.
constexpr int TBDLIM_TIME = 1;
constexpr int TBDLIM_MEMORY = 2;
constexpr uint64_t TBDPOLL = 1u << 14;
struct TBDlimits {
  time_t deadline = 0;              // time() at which the run gives up
  uint64_t maxbytes = 0;            // bytes of pool and tables
  void (*out)(int kind) = nullptr;  // TBDLIM_TIME or TBDLIM_MEMORY
};
extern TBDlimits TBDlim;
[[noreturn]] void TBDlimitout(int kind);
// Ends the run when the deadline has passed (one clock read).
void TBDlimitpoll();

// Fatal end through utilerror ("%s error").
[[noreturn]] void TBDerror(const char *tag);

// The recursive operations descend one level per variable. A TBD over tens
// of thousands of variables would exhaust the stack: such a run ends as out
// of memory instead of crashing.
extern intptr_t TBDstackbase;       // stack address at initialisation
constexpr intptr_t TBDSTACKLIMIT = 6 << 20;
inline void TBDstackcheck() {
  char here;                        // callers may sit above the base: signed distance
  if (TBDstackbase - (intptr_t)&here > TBDSTACKLIMIT) TBDerror("low memory, exit");
}
