// Flattened QBF and the search state of the internal solver.
#pragma once

#include <cstdlib>
#include <vector>

#include "qbf/qbf.h"

// Values of a literal's status entry and of a node's value.
constexpr unsigned char QS_FREE = 0;
constexpr unsigned char QS_TRUE = 1;
constexpr unsigned char QS_FALSE = 3;
constexpr unsigned char QS_QTRUE = 4;    // queued, will become true
constexpr unsigned char QS_QFALSE = 8;   // queued, will become false

// Search results.
constexpr int QR_TRUE = -1;
constexpr int QR_FALSE = -2;
constexpr int QR_OPEN = -4;

struct qlevel {
  int trail;    // start of the level's segment in the trail
  int ctrail;   // start of its counter changes
  int lit;      // decision literal
};

struct qsearch {
  int V = 0, N = 0;
  // Flattened node table, nodes [0,N) in pre-order (a block's scope right after it).
  std::vector<int> parent;        // [0,N) parent node, -1 for the root
  std::vector<int> kind;          // [0,N) QMD_*
  std::vector<int> start, len;    // [0,N) entries ent[start, start+len): variables or
                                  // literals, then children as V + node number
  std::vector<int> ent;
  std::vector<int> nlits;         // [0,N) entries before the first child
  std::vector<int> bind;          // [0,V] binding block of each variable, -1 none
  std::vector<char> exist;        // [0,V] 1 for existential variables
  std::vector<int> ostart, ocnt;  // [0,2V] by literal + V: occurrences in connectives
  std::vector<int> occ;
  // Search state.
  std::vector<unsigned char> st;  // [0,2V] by literal + V
  std::vector<unsigned char> nval;// [0,N) QS_FREE, QS_TRUE, QS_FALSE
  std::vector<int> cnt;           // [0,N) open entries; 0 once decided
  std::vector<int> trail;         // assigned and queued literals in order
  int qhead = 0;                  // next trail entry to propagate
  int cur = 0;                    // literal being propagated
  std::vector<std::pair<int, int>> ctrail;  // (node, old counter); ~node when it was decided
  std::vector<qlevel> levels;
  int stop = 0;                   // propagation ends when this node is decided
  long long lucount = 0;          // counter decrements (lookahead measure)
  long long ticks = 0;            // work done, for the deadline checks
  long long nextcheck = 0;        // ticks at the next look at the clock
  time_t deadline = 0;
  uint64_t maxbytes = 0;
  bool timedout = false;
  int chain = 0;                  // nodes [0,chain) form the root's existential chain
  std::vector<double> score;      // scratch of the heuristic
  std::vector<int> cand;
};

inline unsigned char &QSlit(qsearch &s, int l) { return s.st[l + s.V]; }

// Builds the flattened table, the marks, the occurrences and the counters.
void md2qi(const qmd *t, qsearch &s);
