// Merging a response's cookies into jars of 10, 100 and 10,000 pairs.
#include <benchmark/benchmark.h>

#include <string>

#include "http/cookies.h"

namespace {

CookieText Jar(int pairs, const char* prefix) {
  CookieText jar;
  for (int i = 0; i < pairs; ++i) jar += (i ? "; " : "") + std::string(prefix) + std::to_string(i) + "=v" + std::to_string(i);
  return jar;
}

void BM_MergeCookies(benchmark::State& state) {
  const CookieText jar = Jar(static_cast<int>(state.range(0)), "old");
  // A response that replaces half of a small set and adds a few.
  const CookieText fresh = "old1=x; old3=y; new1=1; new2=2; gone=deleted";
  for (auto _ : state) {
    CookieText j = jar;
    CookieText f = fresh;
    benchmark::DoNotOptimize(MergeCookies(j, f));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_MergeCookies)->Arg(10)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
