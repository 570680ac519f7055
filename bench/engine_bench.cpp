// Throughput of the replacement engine alone, on buffers in memory: no files
// and no system calls, so what it shows is the search, the slicing and, for
// settings that cascade, the automaton and the kept output.
//
//   cmake -S . -B build-bench -DTEXTMORPH_BENCH=ON && cmake --build build-bench
//   build-bench/bench/engine_bench [--benchmark_filter=Cascade]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <type_traits>
#include <utility>

#include "replace.h"
#include "search.h"

namespace {

constexpr size_t kMiB = size_t{1} << 20;

// CR LF lines of words, with near misses of "mobile" and "mobile" itself
// about once per KiB, like the text bench/run generates. mt19937 gives the
// same numbers everywhere; the distributions of <random> do not, so they are
// not used.
std::string makeText(size_t size) {
  static const char* const kWords[] = {
      "the",   "of",     "and",    "to",     "in",     "is",    "was",
      "for",   "on",     "that",   "with",   "as",     "by",    "at",
      "from",  "they",   "this",   "which",  "be",     "or",    "had",
      "not",   "are",    "but",    "have",   "one",    "all",   "were",
      "when",  "there",  "can",    "your",   "more",   "about", "into",
      "than",  "other",  "time",   "new",    "some",   "could", "first",
      "mob",   "mobil",  "moble",  "mobility", "module", "mobbed", "smile",
      "mole",  "noble",  "bile",   "file",
      "mile",  "hometown", "phone", "signal", "network", "cable", "data"};
  constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];
  std::mt19937 random(1);
  std::string text;
  text.reserve(size + 256);
  while (text.size() < size) {
    const size_t target = text.size() + 20 + random() % 100;
    bool first = true;
    while (text.size() < target) {
      if (!first)
        text += ' ';
      first = false;
      text += random() % 206 == 0 ? "mobile" : kWords[random() % kWordCount];
    }
    text += "\r\n";
  }
  text.resize(size);
  return text;
}

std::string repeated(char c, size_t count) { return std::string(count, c); }

// Random bytes over "ab": occurrences of periodic search texts overlap and
// keep forming anew as replacements are made.
std::string makeSmallAlphabet(size_t size) {
  std::mt19937 random(2);
  std::string text(size, 'a');
  for (char& c : text)
    c = (random() & 1) != 0 ? 'b' : 'a';
  return text;
}

// Inputs are made once per kind and size, outside the timed loops.
const std::string& input(const std::string& kind, size_t size) {
  static std::map<std::pair<std::string, size_t>, std::string> made;
  auto [it, inserted] = made.try_emplace({kind, size});
  if (inserted) {
    if (kind == "P")
      it->second = makeText(size);
    else if (kind == "C")
      it->second = repeated('a', size / 2) + repeated('b', size / 2);
    else if (kind == "G")
      it->second = repeated('a', size);
    else
      it->second = makeSmallAlphabet(size);
  }
  return it->second;
}

// Takes the output without looking at it: the engine's own cost.
struct CountingSink : ByteSink {
  uint64_t bytes = 0;
  bool write(const platform::Slice* slices, size_t count) override {
    for (size_t i = 0; i < count; ++i)
      bytes += slices[i].size;
    return true;
  }
};

// Copies every output byte once, into memory kept from one run to the next:
// about what handing the output to the page cache costs.
using CopySink = StringSink;

ReplaceSettings settingsOf(const char* search, const char* replacement) {
  ReplaceSettings settings;
  settings.searchText = search;
  settings.replacementText = replacement;
  return settings;
}

template <typename Sink>
void runStream(benchmark::State& state, const std::string& kind,
               const char* search, const char* replacement,
               size_t chunkSize = ReplaceOptions{}.chunkSize) {
  const std::string& text = input(kind, static_cast<size_t>(state.range(0)) * kMiB);
  const ReplaceSettings settings = settingsOf(search, replacement);
  ReplaceOptions options;
  options.chunkSize = chunkSize;
  Sink sink;
  if constexpr (std::is_same_v<Sink, CopySink>)
    sink.text.reserve(2 * text.size());
  uint64_t outputSize = 0;
  for (auto _ : state) {
    StringSource source(text);
    if constexpr (std::is_same_v<Sink, CopySink>)
      sink.text.clear();  // keeps its memory
    else
      sink.bytes = 0;
    const ReplaceStatus status =
        replaceStream(source, sink, settings, text.size(), options);
    if (status != ReplaceStatus::Done) {
      state.SkipWithError("the engine refused the workload");
      return;
    }
    if constexpr (std::is_same_v<Sink, CopySink>)
      outputSize = sink.text.size();
    else
      outputSize = sink.bytes;
    benchmark::DoNotOptimize(outputSize);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetLabel(std::string(canCascade(settings) ? "cascades" : "one pass") +
                 ", output " + std::to_string(outputSize / kMiB) + " MiB");
}

// Workload P: "mobile" -> "hometown", streamed in one pass.
void BM_P_Stream(benchmark::State& state) {
  runStream<CountingSink>(state, "P", "mobile", "hometown");
}
void BM_P_StreamCopy(benchmark::State& state) {
  runStream<CopySink>(state, "P", "mobile", "hometown");
}
void BM_P_Chunk(benchmark::State& state) {
  const size_t chunk = static_cast<size_t>(state.range(1)) * 1024;
  runStream<CountingSink>(state, "P", "mobile", "hometown", chunk);
}

// Workload P through replaceEvery, the whole buffer in and out of memory.
void BM_P_ReplaceEvery(benchmark::State& state) {
  const std::string& text = input("P", static_cast<size_t>(state.range(0)) * kMiB);
  const ReplaceSettings settings = settingsOf("mobile", "hometown");
  std::string buffer;
  for (auto _ : state) {
    state.PauseTiming();
    buffer = text;
    state.ResumeTiming();
    if (replaceEvery(buffer, settings) != ReplaceStatus::Done) {
      state.SkipWithError("the engine refused the workload");
      return;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

// The search alone: every occurrence of "mobile" in a P buffer.
void BM_P_SearchOnly(benchmark::State& state) {
  const std::string& text = input("P", static_cast<size_t>(state.range(0)) * kMiB);
  const Searcher searcher = makeSearcher("mobile");
  size_t found = 0;
  for (auto _ : state) {
    found = 0;
    for (size_t pos = 0, at;
         (at = findFirst(searcher, text.data() + pos, text.size() - pos)) !=
         kNotFound;
         pos += at + 6)
      ++found;
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.SetLabel(std::to_string(found) + " found");
}

// Workload G: "a" -> "bb" on nothing but "a", one replacement per byte.
void BM_G_Stream(benchmark::State& state) {
  runStream<CountingSink>(state, "G", "a", "bb");
}

// Cascades. Their output is kept in memory until the end. From about 32 MiB
// the allocator hands each run fresh pages, as every run of the program gets,
// so those sizes include the page faults; smaller ones reuse the last run's.
//
// Workload C: "ab" -> "" on a...ab...b, where every deletion makes the next
// occurrence, and the whole input has to be kept.
void BM_Cascade_C(benchmark::State& state) {
  runStream<CountingSink>(state, "C", "ab", "");
}
// P text with settings that could cascade ("mob" + "ile" would form "mobile"
// anew) but rarely do: the cascading engine on ordinary text.
void BM_Cascade_P(benchmark::State& state) {
  runStream<CountingSink>(state, "P", "mobile", "mob");
}
// Random "ab" text with a periodic search text: overlapping candidates
// everywhere, and many replacements that form new occurrences.
void BM_Cascade_SmallAlphabet(benchmark::State& state) {
  runStream<CountingSink>(state, "ab", "abab", "ba");
}

}  // namespace

BENCHMARK(BM_P_Stream)->Arg(1)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_P_StreamCopy)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_P_Chunk)
    ->ArgsProduct({{64}, {16, 64, 256, 1024, 4096}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_P_ReplaceEvery)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_P_SearchOnly)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_G_Stream)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Cascade_C)->Arg(2)->Arg(8)->Arg(32)->Arg(128)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Cascade_P)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Cascade_SmallAlphabet)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
