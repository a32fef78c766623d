// Node pool, unique table, computed table, roots, marks and collection.
#include "tbd/tbdmm.h"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <unordered_map>
#include <unordered_set>

#include "tree/check.h"
#include "tree/tree.h"

TBDchunk *TBDchunks[TBDMAXCHUNKS];
TBDtable TBDttb;
TBDcache TBDctb;
TBDstats TBDst;
uint64_t TBDclcktotal;
intptr_t TBDstackbase;

static uint32_t poolchunks;         // chunks allocated
static uint32_t pooltop;            // first never-used cell
static uint32_t freelist;           // freed cells chained through rest (cell indices)
static uint64_t freecount;          // cells on the free list
static int storebits = -1;          // n of the first initialisation; -1 = no store
// Roots with their keep counts, open-addressed: a run can keep hundreds of
// thousands of nodes (the states of a long trace) and drops them in any order.
namespace {
struct TBDrootset {
  std::vector<uint32_t> key;        // handle, 0 free, 1 dropped
  std::vector<uint32_t> count;      // keeps of key[i]
  size_t used = 0;                  // slots not free
  size_t live = 0;                  // slots holding a handle

  size_t slotof(uint32_t f) const {
    size_t mask = key.size() - 1, hole = SIZE_MAX;
    size_t i = (size_t)((f * 0x9E3779B97F4A7C15ull) >> 32) & mask;
    for (;; i = (i + 1) & mask) {
      if (key[i] == f) return i;
      if (key[i] == 1 && hole == SIZE_MAX) hole = i;
      if (key[i] == 0) return hole == SIZE_MAX ? i : hole;
    }
  }
  void grow() {
    std::vector<uint32_t> k = std::move(key), c = std::move(count);
    size_t size = k.empty() ? 1024 : live * 4 > k.size() ? k.size() * 2 : k.size();
    key.assign(size, 0);
    count.assign(size, 0);
    used = live = 0;
    for (size_t i = 0; i < k.size(); i++)
      if (k[i] > 1) add(k[i], c[i]);
  }
  void add(uint32_t f, uint32_t n) {
    if ((used + 1) * 2 > key.size()) grow();
    size_t i = slotof(f);
    if (key[i] != f) {
      used += key[i] == 0;
      live++;
      key[i] = f;
      count[i] = 0;
    }
    count[i] += n;
  }
  bool drop(uint32_t f) {
    if (key.empty()) return false;
    size_t i = slotof(f);
    if (key[i] != f) return false;
    if (--count[i] == 0) {
      key[i] = 1;
      live--;
    }
    return true;
  }
  uint32_t kept(uint32_t f) const {
    if (key.empty()) return 0;
    size_t i = slotof(f);
    return key[i] == f ? count[i] : 0;
  }
};
}  // namespace
static TBDrootset roots;
static std::vector<tbd> walk;       // scratch stack of the mark walks
// A chunk held back for the moment the system refuses one: the operation in
// flight finishes on it, and the next safe point collects before the run
// would have to end as out of memory.
static TBDchunk *reserve;
static bool lowmemory;              // reserve taken or a table could not grow

constexpr int32_t INITSIZE = 4096;
constexpr int32_t MAXSIZE = 1 << 30;
constexpr uint32_t CACHEMIN = 4096;
constexpr int COUNTSTEP = 8;        // mark step of node counting and collection
constexpr uint64_t CLCKLIMIT = 1u << 20;

void TBDerror(const char *tag) { utilerror(tag); }

TBDlimits TBDlim;

void TBDlimitout(int kind) {
  if (TBDlim.out) TBDlim.out(kind);
  TBDerror("low memory, exit");
}

void TBDlimitpoll() {
  if (TBDlim.deadline && std::time(nullptr) >= TBDlim.deadline) TBDlimitout(TBDLIM_TIME);
}

// Would `more` bytes of pool or tables pass the memory limit?
static bool overlimit(uint64_t more) { return TBDlim.maxbytes && TBDmmbytes() + more > TBDlim.maxbytes; }

// The tables are probed at random: on huge pages, where the system grants
// them, a probe saves most of its page walk. Fresh mappings come zeroed.
static void *tablealloc(size_t bytes) {
  void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
  if (bytes >= (size_t)2 << 20) madvise(p, bytes, MADV_HUGEPAGE);
#endif
  return p;
}

static void tablefree(void *p, size_t bytes) {
  if (p) munmap(p, bytes);
}

static TBDchunk *newchunk() {
  TBDchunk *c = new (std::nothrow) TBDchunk;
  if (!c) TBDerror("low memory, exit");
  return c;
}

static TBDchunk *spare() {
  TBDchunk *c = reserve;
  if (!c) c = new (std::nothrow) TBDchunk;
  if (!c) TBDerror("low memory, exit");
  reserve = nullptr;
  lowmemory = true;
  return c;
}

static uint32_t allocnode() {
  if (freelist) {
    uint32_t f = freelist;
    LUM_CHECK(TBDcell(f).label == 0);   // a cell on the free list is not in use
    freelist = TBDcell(f).rest;
    freecount--;
    return f;
  }
  if (pooltop == poolchunks * TBDCHUNK) {
    if (poolchunks == TBDMAXCHUNKS) TBDerror("low memory, exit");
    if (overlimit(sizeof(TBDchunk))) TBDlimitout(TBDLIM_MEMORY);
    TBDchunk *c = new (std::nothrow) TBDchunk;
    TBDchunks[poolchunks++] = c ? c : spare();
  }
  return pooltop++;
}

static inline uint32_t hashu(int32_t label, tbd lo, tbd hi, tbd rest) {
  uint64_t h = ((uint64_t)(uint32_t)label << 32 | lo) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 29;
  h = (h ^ ((uint64_t)hi << 32 | rest)) * 0xBF58476D1CE4E5B9ull;
  h ^= h >> 32;
  h *= 0x94D049BB133111EBull;
  return (uint32_t)(h >> 32);
}

static inline uint32_t hashc(uint32_t op, uint32_t x, uint32_t y) {
  uint64_t h = ((uint64_t)x << 32 | y) * 0x9E3779B97F4A7C15ull;
  h ^= (uint64_t)op * 0xC2B2AE3D27D4EB4Full;
  h ^= h >> 29;
  return (uint32_t)(h ^ (h >> 32));
}

// The cache follows the unique table: one entry per four slots (about one per
// two nodes) costs 8 bytes a node; a smaller cache loses results the image
// fixpoints ask for again and again, several times over in lookups.
static void cacheresize(uint32_t size) {
  if (size < CACHEMIN) size = CACHEMIN;
  if (size == TBDctb.size) return;
  if (TBDctb.e && size > TBDctb.size && overlimit((uint64_t)size * sizeof(TBDcentry))) return;
  TBDcentry *e = (TBDcentry *)tablealloc((size_t)size * sizeof(TBDcentry));
  if (!e) return;                   // keep the old cache; it is only a speed-up
  TBDcentry *old = TBDctb.e;
  uint32_t oldsize = TBDctb.size;
  TBDctb.e = e;
  TBDctb.size = size;
  for (uint32_t i = 0; i < oldsize; i++)
    if (old[i].op) e[hashc(old[i].op, old[i].x, old[i].y) & (size - 1)] = old[i];
  tablefree(old, (size_t)oldsize * sizeof(TBDcentry));
}

static inline uint64_t slotof(uint32_t h, uint32_t cell) { return (uint64_t)h << 32 | cell; }

static void slotinsert(uint64_t *slots, int32_t size, uint32_t cell) {
  const TBDnode &n = TBDcell(cell);
  uint32_t mask = (uint32_t)size - 1;
  uint32_t h = hashu(n.label, n.lo, n.hi, n.rest);
  uint32_t i = h & mask;
  while (slots[i]) i = (i + 1) & mask;
  slots[i] = slotof(h, cell);
}

static void slotmove(uint64_t *slots, int32_t size, uint64_t s) {
  uint32_t mask = (uint32_t)size - 1;
  uint32_t i = (uint32_t)(s >> 32) & mask;
  while (slots[i]) i = (i + 1) & mask;
  slots[i] = s;
}

const int32_t *TBDlvtab;
uint32_t TBDlvsize;
static std::vector<int32_t> levels, labelsat;

bool TBDmmsetorder(const std::vector<int> &pos) {
  if (storebits >= 0) return false;
  size_t n = pos.size();
  std::vector<char> used(n, 0);
  for (int p : pos) {
    if (p < 0 || (size_t)p >= n || used[(size_t)p]) return false;
    used[(size_t)p] = 1;
  }
  bool identity = true;
  for (size_t k = 0; k < n; k++) identity = identity && pos[k] == (int)k;
  levels.clear();
  labelsat.clear();
  TBDlvtab = nullptr;
  TBDlvsize = 0;
  if (identity) return true;
  levels.assign(2 * n + 1, 0);
  labelsat.assign(2 * n + 1, 0);
  for (size_t k = 1; k <= n; k++) {
    int32_t l = 2 * pos[k - 1] + 1;
    levels[2 * k - 1] = l;
    levels[2 * k] = l + 1;
    labelsat[(size_t)l] = (int32_t)(2 * k - 1);
    labelsat[(size_t)l + 1] = (int32_t)(2 * k);
  }
  TBDlvtab = levels.data();
  TBDlvsize = (uint32_t)levels.size();
  return true;
}

bool TBDmmordered() { return TBDlvsize != 0; }

int32_t TBDlabelat(int32_t level) {
  return (uint32_t)level < labelsat.size() ? labelsat[(size_t)level] : level;
}

void TBDmminitialize(int n) {
  if (storebits >= 0) return;
  storebits = n;
  char here;
  TBDstackbase = (intptr_t)&here;
  TBDchunks[0] = newchunk();
  reserve = newchunk();
  poolchunks = 1;
  pooltop = 2;                      // cell 0 empty, cell 1 the terminals
  TBDcell(0) = {0, TBDnull, TBDnull, TBDnull};
  TBDcell(1) = {n + 1, TBDnull, TBDnull, TBDnull};
  TBDmk(TBDtau) = TBDmk(TBDomg) = 0;
  TBDttb.slots = (uint64_t *)tablealloc(sizeof(uint64_t) * INITSIZE);
  if (!TBDttb.slots) TBDerror("low memory, exit");
  TBDttb.size = INITSIZE;
  TBDttb.limit = INITSIZE / 2;
  TBDttb.count = TBDttb.used = 0;
  cacheresize(CACHEMIN);
  if (!TBDctb.e) TBDerror("low memory, exit");
}

bool TBDmmexists() { return storebits >= 0; }
int TBDmmbits() { return storebits; }

void TBDmmresize() {
  if (TBDttb.size >= MAXSIZE) {
    TBDttb.count = 0;
    return;
  }
  int32_t size = TBDttb.size * 2;
  // within a memory limit the table fills up to its last slot instead
  uint64_t *slots = overlimit((uint64_t)size * (sizeof(uint64_t) + sizeof(TBDcentry) / 4))
                        ? nullptr
                        : (uint64_t *)tablealloc(sizeof(uint64_t) * (size_t)size);
  if (!slots) {                     // retried after another `limit` insertions
    lowmemory = !TBDlim.maxbytes;
    TBDttb.count = 0;
    return;
  }
  for (int32_t i = 0; i < TBDttb.size; i++)
    if (TBDttb.slots[i]) slotmove(slots, size, TBDttb.slots[i]);
  tablefree(TBDttb.slots, sizeof(uint64_t) * (size_t)TBDttb.size);
  TBDttb.slots = slots;
  TBDttb.limit = TBDttb.size;
  TBDttb.size = size;
  TBDttb.count = TBDttb.used;       // the moved entries count as re-inserted
  cacheresize((uint32_t)size / 4);
}

static bool livenode(tbd f) { return (f >> 1) >= 2 && (f >> 1) < pooltop && TBDcell(f >> 1).label != 0; }

// A negative label is the complement of the cell with the positive label.
tbd TBDmmaddt(int32_t label, tbd lo, tbd hi, tbd rest) {
  tbd neg = label < 0;
  if (neg) label = -label;
  uint32_t mask = (uint32_t)TBDttb.size - 1;
  uint32_t h = hashu(label, lo, hi, rest);
  uint32_t i = h & mask;
  for (uint64_t s; (s = TBDttb.slots[i]); i = (i + 1) & mask) {
    TBDst.probes++;
    if ((uint32_t)(s >> 32) != h) continue;
    uint32_t c = (uint32_t)s;
    const TBDnode &n = TBDcell(c);
    if (n.label == label && n.lo == lo && n.hi == hi && n.rest == rest) {
      TBDst.found++;
      return c << 1 | neg;
    }
  }
  // The operations rely on children below their parent's level and inside the pool.
  LUM_CHECK(label > 0 && lo != TBDnull && hi != TBDnull && rest != TBDnull);
  LUM_CHECK(TBDterminal(lo) || (livenode(lo) && TBDlev(TBDvar(lo)) > TBDlev(label)));
  LUM_CHECK(TBDterminal(hi) || (livenode(hi) && TBDlev(TBDvar(hi)) > TBDlev(label)));
  LUM_CHECK(TBDterminal(rest) || (livenode(rest) && TBDlev(TBDvar(rest)) > TBDlev(label)));
  // A full table that can no longer grow has no slot left to probe into.
  if (TBDttb.used >= TBDttb.size - 1) {
    if (TBDlim.maxbytes) TBDlimitout(TBDLIM_MEMORY);
    TBDerror("low memory, exit");
  }
  uint32_t c = allocnode();
  TBDcell(c) = {label, lo, hi, rest};
  TBDmk(c << 1) = TBDmk(c << 1 | 1) = 0;
  TBDttb.slots[i] = slotof(h, c);
  TBDttb.used++;
  if (!(++TBDst.made & (TBDPOLL - 1)) && TBDlim.deadline) TBDlimitpoll();
  uint64_t live = TBDmmlive();
  if (live > TBDst.peak) TBDst.peak = live;
  if (++TBDttb.count > TBDttb.limit) TBDmmresize();
  return c << 1 | neg;
}

tbd TBDmmgetc(uint32_t op, uint32_t x, uint32_t y) {
  TBDctb.lookups++;
  const TBDcentry &e = TBDctb.e[hashc(op, x, y) & (TBDctb.size - 1)];
  if (e.op == op && e.x == x && e.y == y) {
    TBDctb.hits++;
    return e.res;
  }
  return TBDnull;
}

void TBDmmputc(uint32_t op, uint32_t x, uint32_t y, tbd res) {
  TBDctb.e[hashc(op, x, y) & (TBDctb.size - 1)] = {op, x, y, res};
}

void TBDmmclearc() { std::memset((void *)TBDctb.e, 0, sizeof(TBDcentry) * TBDctb.size); }

void TBDkp(tbd f) {
  if (f == TBDnull || TBDterminal(f)) return;
  roots.add(f, 1);
}

void TBDdr(tbd f) {
  if (f == TBDnull || TBDterminal(f)) return;
  bool kept = roots.drop(f);
  LUM_CHECK(kept);                  // a second drop would free a node still in use
  (void)kept;
}

int TBDkept(tbd f) { return (int)roots.kept(f); }

// Marks every unvisited node below f with +step; returns the number marked.
static uint64_t markwalk(tbd f, int step) {
  uint64_t k = 0;
  walk.clear();
  walk.push_back(f);
  while (!walk.empty()) {
    tbd g = walk.back();
    walk.pop_back();
    if (g == TBDnull || TBDterminal(g) || TBDmk(g) > 0) continue;
    LUM_CHECK(TBDcell(g >> 1).label != 0);   // no root or child reaches a freed cell
    TBDmk(g) = (int8_t)(TBDmk(g) + step);
    k++;
    const TBDnode &n = TBDcell(g >> 1);
    walk.push_back(n.rest);
    walk.push_back(n.hi);
    walk.push_back(n.lo);
  }
  return k;
}

// Undoes markwalk: subtracts step from every positive mark reachable from f.
static void clearwalk(tbd f, int step) {
  walk.clear();
  walk.push_back(f);
  while (!walk.empty()) {
    tbd g = walk.back();
    walk.pop_back();
    if (g == TBDnull || TBDterminal(g) || TBDmk(g) <= 0) continue;
    TBDmk(g) = (int8_t)(TBDmk(g) - step);
    const TBDnode &n = TBDcell(g >> 1);
    walk.push_back(n.rest);
    walk.push_back(n.hi);
    walk.push_back(n.lo);
  }
}

int TBDmmnodecnt(tbd f) {
  if (f == TBDnull) return 0;
  uint64_t k = markwalk(f, COUNTSTEP);
  clearwalk(f, COUNTSTEP);
  return k > INT32_MAX ? INT32_MAX : (int)k;
}

static int64_t treesz(tbd f, std::unordered_map<tbd, int64_t> &memo) {
  if (f == TBDnull || TBDterminal(f) || TBDmk(f) < 0) return 0;
  TBDstackcheck();
  auto it = memo.find(f);
  if (it != memo.end()) return it->second;
  const TBDnode n = TBDnd(f);
  int64_t s = 1;
  for (tbd c : {n.lo, n.hi, n.rest}) {
    s += treesz(c, memo);
    if (s > INT32_MAX) s = 1 << 24;
  }
  memo.emplace(f, s);
  return s;
}

int TBDmmnodecnt1(tbd f) {
  std::unordered_map<tbd, int64_t> memo;
  return (int)treesz(f, memo);
}

// Handles given a seen-key, so that a clear visits them and not the whole
// pool: fixpoint loops clear once per loop, and small loops are many.
static std::vector<tbd> seenmarked;

void TBDmmmarkclear(int key) {
  if (seenmarked.size() > (size_t)pooltop) {   // cheaper to sweep the pool
    for (uint32_t c = 0; c < poolchunks; c++) {
      int8_t *m = TBDchunks[c]->mark;
      for (uint32_t i = 0; i < 2 * TBDCHUNK; i++)
        if (m[i] == key) m[i] = 0;
    }
    seenmarked.clear();
    for (uint32_t c = 0; c < pooltop; c++)
      for (tbd h : {c << 1, c << 1 | 1})
        if (TBDmk(h) < 0) seenmarked.push_back(h);
    return;
  }
  size_t k = 0;
  for (tbd h : seenmarked) {
    int8_t &m = TBDmk(h);
    if (m == key) m = 0;
    else if (m < 0) seenmarked[k++] = h;
  }
  seenmarked.resize(k);
}

int TBDmmmarkset(tbd f, int key) {
  if (key < -7 || key > -1) TBDerror("TBDmmmarkset");   // counting must lift a key above 0
  if (f == TBDnull) {
    TBDmmmarkclear(key);
    return 1;
  }
  if (!TBDterminal(f) && !livenode(f)) return 0;
  if (TBDmk(f) != key) {
    if (TBDmk(f) >= 0) seenmarked.push_back(f);
    TBDmk(f) = (int8_t)key;
    return 0;
  }
  TBDmmmarkclear(key);
  return 1;
}

// After a collection a computed result stays when every node it names
// survived: an iteration that comes back to a set it has seen (the outer
// rounds of a fairness fixpoint) finds its images again. Which fields are
// nodes follows the operation; a survivor bitmap keeps the test in cache.
static std::vector<uint64_t> survivors;

static inline bool survived(uint32_t f) {
  uint32_t c = f >> 1;
  return c <= 1 || (survivors[c >> 6] >> (c & 63) & 1);
}

static void cachesweep() {
  for (uint32_t i = 0; i < TBDctb.size; i++) {
    TBDcentry &e = TBDctb.e[i];
    if (!e.op) continue;
    bool xnode = e.x != 0 && e.op != TBDOP_RN && e.op != TBDOP_ASRN;
    bool ynode = e.op != TBDOP_RESTRICT && e.op != TBDOP_REPLACE;
    if ((xnode && !survived(e.x)) || (ynode && !survived(e.y)) || !survived(e.res)) e = {};
  }
}

// Collection. Nodes carrying a seen-key survive, and so does everything
// below them: a survivor must never point at a freed cell.
void TBDcl() {
  TBDmk(TBDtau) = TBDmk(TBDomg) = 0;
  survivors.assign(((size_t)pooltop + 63) / 64, 0);
  uint64_t sum = 0;
  for (uint32_t r : roots.key)
    if (r > 1) sum += markwalk(r, COUNTSTEP);
  for (uint32_t c = 2; c < pooltop; c++)
    if (TBDcell(c).label != 0 && (TBDmk(c << 1) < 0 || TBDmk(c << 1 | 1) < 0)) {
      const TBDnode &n = TBDcell(c);
      for (tbd ch : {n.lo, n.hi, n.rest}) sum += markwalk(ch, COUNTSTEP);
    }
  std::memset(TBDttb.slots, 0, sizeof(uint64_t) * (size_t)TBDttb.size);
  TBDttb.used = 0;
  freelist = 0;
  freecount = 0;
  for (uint32_t c = pooltop; c-- > 2;) {
    TBDnode &n = TBDcell(c);
    int8_t &m0 = TBDmk(c << 1), &m1 = TBDmk(c << 1 | 1);
    if (n.label != 0 && (m0 != 0 || m1 != 0)) {
      if (m0 > 0) m0 = (int8_t)(m0 - COUNTSTEP);
      if (m1 > 0) m1 = (int8_t)(m1 - COUNTSTEP);
      slotinsert(TBDttb.slots, TBDttb.size, c);
      TBDttb.used++;
      survivors[c >> 6] |= 1ull << (c & 63);
      continue;
    }
    if (n.label != 0) TBDst.freed++;
    LUM_CHECK(n.label != 0 || (m0 == 0 && m1 == 0));   // a free cell carries no mark
    n = {0, TBDnull, TBDnull, freelist};
    m0 = m1 = 0;
    freelist = c;
    freecount++;
  }
  cachesweep();
  TBDttb.count = (int32_t)(sum > INT32_MAX ? INT32_MAX : sum);
  TBDst.collections++;
#ifdef LUMET_CHECKED
  LUM_CHECK(TBDmmcheck() == 0);        // one pass over the pool, as the sweep itself
#endif
}

int TBDclck(tbd f) {
  int k = TBDmmnodecnt(f);
  TBDclcktotal += (uint64_t)k;
  if (TBDclcktotal > CLCKLIMIT) {
    TBDclcktotal = 0;
    TBDkp(f);
    TBDcl();
    TBDdr(f);
  }
  return k;
}

// A small trigger keeps the unique table and the cache within the processor
// caches while an iteration's live set is small (a counter's frontier): an
// 8M-cell trigger let the tables grow to hundreds of MB of missed lines.
uint64_t TBDgcmin = 1u << 18;
double TBDgcgrowth = 2;
double TBDgctable = 0.25;
static uint64_t gcnext;              // TBDgcgrowth times the cells live after the last collection

static uint64_t gclast;              // cells live after the last collection

// Within a memory limit the store collects once it holds half of what the
// limit allows and a quarter more cells than the last collection kept.
static bool gcdue() {
  uint64_t live = TBDmmlive();
  if (TBDlim.maxbytes && 2 * TBDmmbytes() > TBDlim.maxbytes && 4 * live > 5 * gclast) return true;
  // a collection clears and refills tables that never shrink: it waits for
  // a share of the unique table's slots, so its cost stays a share of the
  // work done since the last one
  return live > gcnext && live > TBDgcmin && (double)live > TBDgctable * TBDttb.size;
}

void TBDsafepoint(std::initializer_list<tbd> live) {
  if (TBDlim.deadline) TBDlimitpoll();
  if (!lowmemory && !gcdue()) return;
  int8_t mt = TBDmk(TBDtau), mo = TBDmk(TBDomg);
  for (tbd f : live) TBDkp(f);
  TBDcl();
  for (tbd f : live) TBDdr(f);
  TBDmk(TBDtau) = mt;
  TBDmk(TBDomg) = mo;
  gclast = TBDmmlive();
  gcnext = (uint64_t)(TBDgcgrowth * (double)gclast);
  if (lowmemory) {                  // collect again at every safe point until a chunk is spare
    if (!reserve) reserve = new (std::nothrow) TBDchunk;
    lowmemory = !reserve;
  }
}

void TBDstatswrite(FILE *out) {
  double lookups = (double)(TBDst.found + TBDst.made);
  std::fprintf(out, "nodes made       : %llu\n", (unsigned long long)TBDst.made);
  std::fprintf(out, "nodes found      : %llu (%.2f probes/lookup)\n", (unsigned long long)TBDst.found,
               lookups > 0 ? (double)TBDst.probes / lookups : 0.0);
  std::fprintf(out, "nodes live       : %llu\n", (unsigned long long)TBDmmlive());
  std::fprintf(out, "nodes peak       : %llu\n", (unsigned long long)TBDst.peak);
  std::fprintf(out, "unique slots     : %i\n", TBDttb.size);
  std::fprintf(out, "cache entries    : %u\n", TBDctb.size);
  std::fprintf(out, "cache lookups    : %llu (%.1f %% hits)\n", (unsigned long long)TBDctb.lookups,
               TBDctb.lookups ? 100.0 * (double)TBDctb.hits / (double)TBDctb.lookups : 0.0);
  std::fprintf(out, "collections      : %llu (%llu freed)\n", (unsigned long long)TBDst.collections,
               (unsigned long long)TBDst.freed);
  std::fprintf(out, "validity by elim : %llu\n", (unsigned long long)TBDst.validfallbacks);
  std::fprintf(out, "store bytes      : %llu\n", (unsigned long long)TBDmmbytes());
}

uint64_t TBDmmlive() { return pooltop < 2 ? 0 : pooltop - 2 - freecount; }

uint64_t TBDmmbytes() {
  return (uint64_t)poolchunks * sizeof(TBDchunk) + (uint64_t)TBDttb.size * sizeof(uint64_t) +
         (uint64_t)TBDctb.size * sizeof(TBDcentry) + 2 * roots.key.capacity() * sizeof(uint32_t);
}

int TBDmmcheck() {
  int faults = 0;
  uint64_t live = 0;
  for (uint32_t f = 2; f < pooltop; f++) {
    const TBDnode &n = TBDcell(f);
    if (n.label == 0) continue;
    live++;
    int32_t v = n.label;
    if (v < 0) faults++;
    for (tbd c : {n.lo, n.hi, n.rest})
      if (c == TBDnull || (!TBDterminal(c) && (!livenode(c) || TBDlev(TBDvar(c)) <= TBDlev(v)))) faults++;
    uint32_t mask = (uint32_t)TBDttb.size - 1;
    uint32_t h = hashu(n.label, n.lo, n.hi, n.rest);
    uint32_t i = h & mask;
    while (TBDttb.slots[i] && TBDttb.slots[i] != slotof(h, f)) i = (i + 1) & mask;
    if (TBDttb.slots[i] != slotof(h, f)) faults++;
  }
  if (live != (uint64_t)TBDttb.used) faults++;
  return faults;
}

static void checkrec(tbd f, int lo, int hi, std::unordered_set<tbd> &seen) {
  if (TBDterminal(f)) return;
  int v = TBDvar(f);
  if (v > hi) TBDerror("TBDcheck >");
  if (v < lo) TBDerror("TBDcheck <");
  if (!seen.insert(f).second) return;
  TBDstackcheck();
  const TBDnode n = TBDnd(f);
  checkrec(n.lo, v + 1, hi, seen);
  checkrec(n.hi, v + 1, hi, seen);
  checkrec(n.rest, v + 1, hi, seen);
}

void TBDcheck(tbd f, int lo, int hi) {
  std::unordered_set<tbd> seen;
  checkrec(f, lo, hi, seen);
}

void TBDcheckodd(tbd f, int parity) {
  if (f == TBDnull || TBDterminal(f)) return;
  markwalk(f, COUNTSTEP);
  bool bad = false;
  walk.clear();
  walk.push_back(f);
  while (!walk.empty()) {           // clearing walk that also checks parity
    tbd g = walk.back();
    walk.pop_back();
    if (TBDterminal(g) || TBDmk(g) <= 0) continue;
    TBDmk(g) = (int8_t)(TBDmk(g) - COUNTSTEP);
    if (TBDvar(g) % 2 != parity) bad = true;
    const TBDnode &n = TBDnd(g);
    walk.push_back(n.rest);
    walk.push_back(n.hi);
    walk.push_back(n.lo);
  }
  if (bad) TBDerror("TBDcheckodd");
}

static bool literalnode(const TBDnode &n) {
  return n.rest == TBDtau && ((n.lo == TBDomg && n.hi == TBDtau) || (n.lo == TBDtau && n.hi == TBDomg));
}

static void writerec(tbd f, int d, int depth, FILE *out) {
  if (depth > 0 && d >= depth) return;
  TBDstackcheck();
  for (int i = 0; i < d; i++) std::fputc(' ', out);
  if (f == TBDtau) { std::fputs("T\n", out); return; }
  if (f == TBDomg) { std::fputs("F\n", out); return; }
  const TBDnode n = TBDnd(f);
  if (literalnode(n)) {
    int v = n.label < 0 ? -n.label : n.label;
    std::fprintf(out, "%i\n", n.lo == TBDomg ? v : -v);
    return;
  }
  std::fprintf(out, "%i\n", n.label);
  writerec(n.lo, d + 1, depth, out);
  writerec(n.hi, d + 1, depth, out);
  writerec(n.rest, d + 1, depth, out);
}

void TBDwrite(tbd f, int depth, FILE *out) { writerec(f, 0, depth, out); }

static void clauserec(tbd f, std::vector<int> &lits, FILE *out) {
  if (f == TBDtau) return;
  TBDstackcheck();
  if (f == TBDomg) {
    for (int l : lits) std::fprintf(out, "%i ", l);
    std::fputs("0\n", out);
    return;
  }
  const TBDnode n = TBDnd(f);
  lits.push_back(n.label);
  clauserec(n.lo, lits, out);
  lits.back() = -n.label;
  clauserec(n.hi, lits, out);
  lits.pop_back();
  clauserec(n.rest, lits, out);
}

void TBDwriteclause(tbd f, int n, FILE *out) {
  std::vector<int> lits;
  lits.reserve((size_t)(n > 0 ? n + 1 : 1));
  clauserec(f, lits, out);
}

void p2intwrite(const int *values, int first, int last, FILE *out) {
  for (int i = first; i <= last; i++) std::fprintf(out, "%i ", values[i]);
  std::fputs("0\n", out);
}

int p2intlen(const int *values) {
  int k = 0;
  while (values[k]) k++;
  return k;
}
