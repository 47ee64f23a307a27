// The row pattern over one listing page of 100 rows (about 50 KB in GBK; also
// 120 rows, about 60 KB), as the worker runs it: a fresh Create on the kept
// object, then all nine groups of every match.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "collect/listing.h"
#include "regex/regex_object.h"
#include "regex/subject_units.h"
#include "text/charset.h"
#include "text/text.h"
#include "tools/listing/sample_listing.h"

namespace velmora {
namespace {

Text ListingPage(int rows = 100) {
  sample::SampleListing listing({.pages = 1, .rowsPerPage = rows, .gbk = true});
  return Text(std::string_view(listing.Page(1)));
}

void ReadAllGroups(const RegexObject& regex) {
  int count = regex.MatchCount();
  for (int m = 1; m <= count; ++m) {
    for (int g = 1; g <= 9; ++g) {
      Text group = regex.SubmatchText(m, g);
      benchmark::DoNotOptimize(group);
    }
  }
}

void Report(benchmark::State& state, const Text& page, const RegexObject& regex) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
  state.counters["page_bytes"] = page.size();
  state.counters["matches"] = regex.MatchCount();
}

// One page on the worker's kept object: the compiled pattern is reused.
void BM_RowPatternPage(benchmark::State& state) {
  const Text page = ListingPage(static_cast<int>(state.range(0)));
  RegexObject regex;
  for (auto _ : state) {
    regex.Create(RowPattern(), page);
    ReadAllGroups(regex);
  }
  Report(state, page, regex);
}
BENCHMARK(BM_RowPatternPage)->Arg(100)->Arg(120)->Unit(benchmark::kMicrosecond);

// The same with a new object each time, so the pattern is compiled and
// JIT-compiled for every page: what keeping the compiled pattern saves.
void BM_RowPatternPageFreshObject(benchmark::State& state) {
  const Text page = ListingPage();
  for (auto _ : state) {
    RegexObject regex;
    regex.Create(RowPattern(), page);
    ReadAllGroups(regex);
  }
  RegexObject regex;
  regex.Create(RowPattern(), page);
  Report(state, page, regex);
}
BENCHMARK(BM_RowPatternPageFreshObject)->Unit(benchmark::kMicrosecond);

// The subject's conversion to UTF-16 with unit offsets alone, as Create does it,
// and the converter over the whole page for comparison.
void BM_SubjectToUtf16(benchmark::State& state) {
  const Text page = ListingPage();
  std::u16string units;
  std::vector<std::int32_t> offsets;
  for (auto _ : state) {
    SubjectToUtf16(page.view(), units, offsets);
    benchmark::DoNotOptimize(units.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_SubjectToUtf16)->Unit(benchmark::kMicrosecond);

void BM_GbkToUtf16WholePage(benchmark::State& state) {
  const Text page = ListingPage();
  std::vector<std::int32_t> offsets;
  for (auto _ : state) {
    std::u16string units = GbkToUtf16(page.view(), &offsets);
    benchmark::DoNotOptimize(units.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * page.size());
}
BENCHMARK(BM_GbkToUtf16WholePage)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace velmora
