// Throughput of the toolkit's scans over 10 MB texts, next to
// std::string_view::find on the same text as the reference.
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "text/markers.h"
#include "text/text.h"

namespace {

constexpr std::size_t kSize = 10 << 20;

// Mostly ASCII HTML, as share pages are, with the sought marker only at the end.
const std::string& AsciiPage() {
  static const std::string page = [] {
    std::string s;
    const std::string row =
        "<div class=\"file-item\" data-id=\"1234567\"><a href=\"/s/1abcDEF?x=1\">file.txt</a></div>\r\n";
    while (s.size() < kSize) s += row;
    s += "share_sign=\"0123456789abcdef\" ";
    return s;
  }();
  return page;
}

// Dense GBK: two-byte characters with a little ASCII between them.
const std::string& GbkPage() {
  static const std::string page = [] {
    std::string s;
    const std::string row = "\xB0\xD9\xB6\xC8\xCD\xF8\xC5\xCC\xB7\xD6\xCF\xED\xCE\xC4\xBC\xFE=\"\xD6\xD0\xCE\xC4\"\r\n";
    while (s.size() < kSize) s += row;
    s += "share_sign=\"0123456789abcdef\" ";
    return s;
  }();
  return page;
}

const std::string& Page(int which) { return which == 0 ? AsciiPage() : GbkPage(); }

void Label(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(Page(static_cast<int>(state.range(0))).size()));
  state.SetLabel(state.range(0) == 0 ? "ascii-html" : "gbk-dense");
}

void BM_StringViewFind(benchmark::State& state) {
  const std::string_view page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(page.find("share_sign=\""));
  Label(state);
}

void BM_FindText(benchmark::State& state) {
  const std::string& page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(FindText(page, "share_sign=\""));
  Label(state);
}

void BM_FindTextIgnoreCase(benchmark::State& state) {
  const std::string& page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(FindText(page, "SHARE_SIGN=\"", std::nullopt, true));
  Label(state);
}

void BM_TextBetween(benchmark::State& state) {
  const std::string& page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(TextBetween(page, "share_sign=\"", "\""));
  Label(state);
}

void BM_ReplaceText(benchmark::State& state) {
  const std::string& page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReplaceText(page, "\"", "'", true));
  Label(state);
}

void BM_SplitText(benchmark::State& state) {
  const std::string& page = Page(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SplitText(page, "\r\n"));
  Label(state);
}

// Linearity: the same operation over 1x, 2x and 4x the text should scale 1:2:4.
void BM_ReplaceTextScaling(benchmark::State& state) {
  const std::string text = AsciiPage().substr(0, static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReplaceText(text, "\"", "&quot;", true));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

BENCHMARK(BM_StringViewFind)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindTextIgnoreCase)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TextBetween)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SplitText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceTextScaling)->Arg(2 << 20)->Arg(4 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
