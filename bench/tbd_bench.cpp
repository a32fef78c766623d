// Micro-benchmarks of the TBD store: node creation rate and memory per node on
// three workloads, and the cost of the emptiness test on their results.
#include <benchmark/benchmark.h>

#include <random>

#include "tbd/tbdbw.h"

namespace {

void emptystore() {
  TBDmminitialize(64);
  TBDcl();                          // nothing is kept: every node is freed
}

tbd xnor(tbd a, tbd b) { return TBDds(TBDcn(a, b), TBDcn(TBDng(a), TBDng(b))); }

// x_i = label 2i-1, y_i = label 2i: the interleaved order keeps it linear.
tbd equality(int bits) {
  tbd f = TBDtau;
  for (int i = bits; i >= 1; i--) f = TBDcn(xnor(TBDap(2 * i - 1), TBDap(2 * i)), f);
  return f;
}

tbd clauses(int count, int vars, unsigned seed) {
  std::mt19937 rng(seed);
  tbd f = TBDtau;
  for (int c = 0; c < count; c++) {
    int v[3];
    for (int k = 0; k < 3; k++) {
      bool again;
      do {
        v[k] = 1 + (int)(rng() % (unsigned)vars);
        again = false;
        for (int j = 0; j < k; j++) again = again || v[j] == v[k];
      } while (again);
    }
    tbd cl = TBDomg;
    for (int k = 0; k < 3; k++) cl = TBDds(cl, TBDap(rng() & 1 ? v[k] : -v[k]));
    f = TBDcn(f, cl);
  }
  return f;
}

// Backward relation of s' = s + 1 (next bit k on 2k-1, current bit k on 2k,
// least significant bit first).
tbd counter(int bits) {
  tbd rel = TBDtau, carry = TBDtau;
  for (int k = 1; k <= bits; k++) {
    tbd cur = TBDap(2 * k), nxt = TBDap(2 * k - 1);
    tbd sum = TBDng(xnor(cur, carry));
    rel = TBDcn(rel, xnor(nxt, sum));
    carry = TBDcn(cur, carry);
  }
  return rel;
}

tbd state0(int bits) {
  tbd s = TBDtau;
  for (int k = bits; k >= 1; k--) s = TBDcn(TBDap(-(2 * k - 1)), s);
  return s;
}

void figures(benchmark::State &state, uint64_t made, tbd result) {
  state.counters["nodes_per_s"] = benchmark::Counter((double)made, benchmark::Counter::kIsRate);
  state.counters["made_per_run"] = (double)made / (double)state.iterations();
  state.counters["found_total"] = (double)TBDst.found;   // unique-table hits, whole process
  state.counters["probes_per_lookup"] = (double)TBDst.probes / (double)(TBDst.found + TBDst.made);
  state.counters["live"] = (double)TBDmmlive();
  state.counters["bytes_per_live"] = (double)TBDmmbytes() / (double)TBDmmlive();
  // without the fixed floor of one pool chunk: node and mark, slots, cache entries
  double exact = (double)TBDmmlive() * (sizeof(TBDnode) + 2) + (double)TBDttb.size * sizeof(*TBDttb.slots) +
                 (double)TBDctb.size * sizeof(TBDcentry);
  state.counters["bytes_per_live_exact"] = exact / (double)TBDmmlive();
  state.counters["result_nodes"] = TBDmmnodecnt(result);
  state.counters["cache_hit_pct"] = 100.0 * (double)TBDctb.hits / (double)(TBDctb.lookups ? TBDctb.lookups : 1);
}

void BM_equality32(benchmark::State &state) {
  uint64_t made = 0;
  tbd f = TBDnull;
  for (auto _ : state) {
    state.PauseTiming();
    emptystore();
    uint64_t m0 = TBDst.made;
    state.ResumeTiming();
    f = equality(32);
    benchmark::DoNotOptimize(f);
    made += TBDst.made - m0;
  }
  figures(state, made, f);
}

void BM_clauses(benchmark::State &state) {
  uint64_t made = 0;
  tbd f = TBDnull;
  for (auto _ : state) {
    state.PauseTiming();
    emptystore();
    uint64_t m0 = TBDst.made;
    state.ResumeTiming();
    f = clauses((int)state.range(0), (int)state.range(1), 7);
    benchmark::DoNotOptimize(f);
    made += TBDst.made - m0;
  }
  figures(state, made, f);
}

void BM_counter24bw1000(benchmark::State &state) {
  uint64_t made = 0;
  tbd s = TBDnull;
  tsys sys;
  sys.n = 24;
  sys.pcount = 1;
  sys.parts.resize(1);
  sys.fwmode = 0;
  ggt = &sys;
  for (auto _ : state) {
    state.PauseTiming();
    emptystore();
    tsyspart &p = sys.parts[0];
    p.guard = p.bguard = TBDtau;
    p.bwrel = counter(24);
    TBDkp(p.bwrel);
    s = state0(24);
    uint64_t m0 = TBDst.made;
    state.ResumeTiming();
    for (int i = 0; i < 1000; i++) s = TBDbw(s);
    benchmark::DoNotOptimize(s);
    made += TBDst.made - m0;
    state.PauseTiming();
    TBDdr(p.bwrel);
    state.ResumeTiming();
  }
  figures(state, made, s);
  ggt = nullptr;
}

// Unique-table lookups that find the node: rebuilding a kept function node by
// node with the raw find-or-insert.
void BM_uniquehit(benchmark::State &state) {
  emptystore();
  tbd f = clauses(90, 30, 7);
  TBDkp(f);
  std::vector<TBDnode> cells;
  std::vector<tbd> stack{f};
  std::vector<bool> seen;
  while (!stack.empty()) {          // every node once, as (label, lo, hi, rest)
    tbd g = stack.back();
    stack.pop_back();
    if (TBDterminal(g)) continue;
    if (seen.size() <= g) seen.resize(g + 1);
    if (seen[g]) continue;
    seen[g] = true;
    cells.push_back(TBDnd(g));
    for (tbd c : {TBDlo(g), TBDhi(g), TBDrest(g)}) stack.push_back(c);
  }
  uint64_t k = 0;
  for (auto _ : state) {
    for (const TBDnode &n : cells) benchmark::DoNotOptimize(TBDmmaddt(n.label, n.lo, n.hi, n.rest));
    k += cells.size();
  }
  state.counters["lookups_per_s"] = benchmark::Counter((double)k, benchmark::Counter::kIsRate);
  TBDdr(f);
}

// Relational product of a state set with the counter relation, cold cache.
void BM_rp_counter24(benchmark::State &state) {
  emptystore();
  tbd rel = counter(24), s = TBDng(TBDiterativeabseven(TBDng(clauses(40, 48, 3)), 1));
  TBDkp(rel);
  TBDkp(s);
  for (auto _ : state) {
    state.PauseTiming();
    TBDmmclearc();
    state.ResumeTiming();
    benchmark::DoNotOptimize(TBDrp(s, rel, 1, 1));
  }
  TBDdr(rel);
  TBDdr(s);
}

// Conjunction of two kept functions over shared variables, cold cache.
void BM_and_clauses(benchmark::State &state) {
  emptystore();
  tbd f = clauses(60, 30, 3), g = clauses(60, 30, 5);
  TBDkp(f);
  TBDkp(g);
  tbd r = TBDnull;
  for (auto _ : state) {
    state.PauseTiming();
    TBDmmclearc();
    state.ResumeTiming();
    r = TBDcn(f, g);
    benchmark::DoNotOptimize(r);
  }
  state.counters["result_nodes"] = TBDmmnodecnt(r);
  TBDdr(f);
  TBDdr(g);
}

// A ring of `bits` cells holding tokens; transition i moves the token of cell
// i to cell i+1 when that one is free (relational forward image: odd =
// current, even = next). From every other cell full, breadth-first search
// needs about bits steps, chaining a few sweeps.
void tokenring(tsys &sys, int bits) {
  sys.n = bits;
  sys.fwmode = 0;
  sys.parts.clear();
  sys.parts.resize((size_t)bits);
  for (int i = 1; i <= bits; i++) {
    int j = i % bits + 1;
    tsyspart &p = sys.parts[(size_t)i - 1];
    p.guard = TBDcn(TBDap(2 * i - 1), TBDap(-(2 * j - 1)));
    tbd rel = TBDtau;
    for (int k = bits; k >= 1; k--) {
      tbd nk = TBDap(2 * k);
      tbd c = k == i ? TBDng(nk) : k == j ? nk : xnor(nk, TBDap(2 * k - 1));
      rel = TBDcn(c, rel);
    }
    p.fwrel = TBDcn(p.guard, rel);
    TBDkp(p.guard);
    TBDkp(p.fwrel);
  }
  tbd s = TBDtau;
  for (int k = bits; k >= 1; k--) s = TBDcn(TBDap(k % 2 ? 2 * k - 1 : -(2 * k - 1)), s);
  sys.init = s;
  TBDkp(s);
}

void droptokenring(tsys &sys) {
  for (tsyspart &p : sys.parts) {
    TBDdr(p.guard);
    TBDdr(p.fwrel);
  }
  TBDdr(sys.init);
  ggt = nullptr;
}

// One forward image of the reachable set of the ring, cold cache.
void BM_fwimage_ring(benchmark::State &state) {
  emptystore();
  tsys sys;
  tokenring(sys, (int)state.range(0));
  ggt = &sys;
  tbd r = TBDfwchain(sys.init);
  TBDkp(r);
  for (auto _ : state) {
    state.PauseTiming();
    TBDmmclearc();
    state.ResumeTiming();
    benchmark::DoNotOptimize(TBDfw(r));
  }
  state.counters["set_nodes"] = TBDmmnodecnt(r);
  TBDdr(r);
  droptokenring(sys);
}

// Reachable set of the ring: breadth-first (the loop of TBDrset without
// procedures) against chained images, in one run.
void BM_reach_ring(benchmark::State &state) {
  bool chain = state.range(1) != 0;
  tsys sys;
  uint64_t made = 0;
  for (auto _ : state) {
    state.PauseTiming();
    emptystore();
    tokenring(sys, (int)state.range(0));
    ggt = &sys;
    uint64_t m0 = TBDst.made;
    state.ResumeTiming();
    tbd r;
    if (chain) {
      r = TBDfwchain(sys.init);
    } else {
      r = TBDomg;
      tbd nw = sys.init;
      while (!TBDmp(nw)) {
        tbd f = TBDfw(nw);
        r = TBDds(r, nw);
        nw = TBDcn(f, TBDng(r));
        TBDsafepoint({sys.init, r, nw});
      }
    }
    benchmark::DoNotOptimize(r);
    made += TBDst.made - m0;
    state.PauseTiming();
    droptokenring(sys);
    state.ResumeTiming();
  }
  state.counters["made_per_run"] = (double)made / (double)state.iterations();
}

// Emptiness test with a cold computed table on a kept result; range(0) is
// TBDvalidfactor (0: variable elimination only).
template <class B>
void mpcost(benchmark::State &state, B build) {
  TBDvalidfactor = (int)state.range(0);
  emptystore();
  tbd f = build();
  TBDkp(f);
  int r = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TBDmmclearc();
    state.ResumeTiming();
    r = TBDmp(f);
    benchmark::DoNotOptimize(r);
  }
  state.counters["empty"] = r;
  state.counters["nodes"] = TBDmmnodecnt(f);
  TBDdr(f);
  TBDvalidfactor = 4;
}

void BM_mp_equality32(benchmark::State &state) { mpcost(state, [] { return equality(32); }); }
void BM_mp_clauses80x24(benchmark::State &state) { mpcost(state, [] { return clauses(80, 24, 7); }); }
void BM_mp_counterrel24(benchmark::State &state) { mpcost(state, [] { return counter(24); }); }
void BM_mp_counterstate(benchmark::State &state) {
  mpcost(state, [] {
    tsys sys;
    sys.n = 24;
    sys.parts.resize(1);
    sys.parts[0].guard = TBDtau;
    sys.parts[0].bwrel = counter(24);
    ggt = &sys;
    tbd s = state0(24);
    for (int i = 0; i < 1000; i++) s = TBDbw(s);
    ggt = nullptr;
    return s;
  });
}

}  // namespace

BENCHMARK(BM_equality32)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_clauses)->Args({80, 24})->Args({90, 30})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_counter24bw1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_uniquehit)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_rp_counter24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_and_clauses)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_fwimage_ring)->Arg(24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_reach_ring)->Args({24, 0})->Args({24, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mp_equality32)->Arg(4)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_mp_clauses80x24)->Arg(4)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_mp_counterrel24)->Arg(4)->Arg(0)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_mp_counterstate)->Arg(4)->Arg(0)->Unit(benchmark::kMicrosecond);
