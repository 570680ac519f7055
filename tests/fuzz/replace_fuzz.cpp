// The replacement engine against the loop it must agree with: find the
// lowest occurrence from the start, replace it, search again from the start.
// The ceiling is small and explicit, so the loop ends after at most that many
// replacements on a text of at most about that size.
//
// Input layout, byte by byte: shape; chunk size (0-40); ceiling (1-512, two
// bytes, high first); search length (0-6) and bytes; replacement length
// (0-8) and bytes; then, as the shape asks, the long search length (one
// byte) and the lengths of the replacement's start and end (one byte, two
// for a long search); a seed for the read sizes; the faults (low 4 bits: the
// read that fails, high 4: the write that fails, 0 for none); and the rest
// is the file. Shape bits: 0-1 alphabet, 2 long search text, 3 ceiling
// counted on top of the file's size, 4 and 5 the replacement starts with the
// end of the search text or ends with its start, 6 bytes 0xf8-0xff of the
// file stand for pieces of the two texts, 7 chunks of 600 bytes and more, so
// that long runs without an occurrence are passed on where they lie. Small
// alphabets and those pieces make occurrences, and occurrences formed anew,
// common.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "replace.h"

namespace {

constexpr size_t kMaxFile = 1024;
constexpr uint64_t kMaxCeiling = 512;

// The literal loop, with the two limits counted as the engine counts them:
// the k-th replacement is refused as Endless when k passes the ceiling, and
// a text that then stands larger than the ceiling is TooLarge.
ReplaceStatus referenceReplace(std::string& text, const std::string& search,
                               const std::string& replacement,
                               uint64_t ceiling) {
  if (search.empty())
    return ReplaceStatus::EmptySearch;
  if (replacement.find(search) != std::string::npos)
    return ReplaceStatus::ReplacementHoldsSearch;
  uint64_t replacements = 0;
  for (size_t at; (at = text.find(search)) != std::string::npos;) {
    if (++replacements > ceiling)
      return ReplaceStatus::Endless;
    text.replace(at, search.size(), replacement);
    if (text.size() > ceiling)
      return ReplaceStatus::TooLarge;
  }
  return ReplaceStatus::Done;
}

// Hands out the file in reads of varying size, some far shorter than asked,
// as pipes and network file systems do. Read number failAt (from 1) fails.
struct UnevenSource : ByteSource {
  const std::string& text;
  size_t at = 0;
  uint32_t state;
  unsigned failAt = 0;
  unsigned reads = 0;
  UnevenSource(const std::string& t, uint32_t seed) : text(t), state(seed) {}
  int64_t read(char* buffer, size_t capacity) override {
    if (++reads == failAt)
      return -1;
    state = state * 1103515245u + 12345u;
    const size_t want = 1 + (state >> 16) % capacity;
    const size_t n = std::min(want, text.size() - at);
    std::memcpy(buffer, text.data() + at, n);
    at += n;
    return static_cast<int64_t>(n);
  }
};

// Keeps what it is given. Write number failAt (from 1) fails.
struct CollectingSink : ByteSink {
  std::string text;
  unsigned failAt = 0;
  unsigned writes = 0;
  bool write(const platform::Slice* slices, size_t count) override {
    if (++writes == failAt)
      return false;
    for (size_t i = 0; i < count; ++i)
      text.append(slices[i].data, slices[i].size);
    return true;
  }
};

std::string describe(const ReplaceSettings& settings, const std::string& file,
                     const ReplaceOptions& options) {
  return "search " + escaped(settings.searchText) + "\nreplacement " +
         escaped(settings.replacementText) + "\nfile " + escaped(file) +
         "\nceiling " + std::to_string(options.ceiling) + " chunk " +
         std::to_string(options.chunkSize);
}

std::string outcome(const char* who, ReplaceStatus status,
                    const std::string& text) {
  return std::string("\n") + who + " status " +
         std::to_string(static_cast<int>(status)) + " text " + escaped(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader in{data, size};
  const unsigned shape = in.byte();
  const unsigned alphabet = shape & 3;
  ReplaceOptions options;
  options.chunkSize = in.number(0, 41);
  uint64_t ceiling = in.number(1, kMaxCeiling);

  ReplaceSettings settings;
  std::string& search = settings.searchText;
  std::string& replacement = settings.replacementText;
  search = mapped(in.bytes(in.number(0, 7)), alphabet);
  replacement = mapped(in.bytes(in.number(0, 9)), alphabet);
  // Past 255 bytes the engine steps by failure links instead of a table.
  if ((shape & 4) && !search.empty()) {
    const size_t length = in.number(256, 41);
    const std::string core = search;
    while (search.size() < length)
      search += core;
    search.resize(length);
  }
  // A replacement that starts with the end of the search text, or ends with
  // its start, joins with the bytes around it into new occurrences.
  if ((shape & 16) && search.size() > 1) {
    const size_t k = in.number(1, search.size() - 1);
    replacement.insert(0, search, search.size() - k, k);
  }
  if ((shape & 32) && search.size() > 1)
    replacement.append(search, 0, in.number(1, search.size() - 1));
  if (shape & 128)
    options.chunkSize += 600;
  const auto readSeed = static_cast<uint32_t>(in.byte());
  const unsigned faults = in.byte();

  std::string file;
  for (const char c : in.rest()) {
    if (file.size() >= kMaxFile)
      break;
    const auto b = static_cast<unsigned char>(c);
    if (!(shape & 64) || b < 0xf8 || search.empty())
      file += mapped(std::string(1, c), alphabet);
    else if (b < 0xfa)
      file += search;
    else if (b < 0xfc)
      file += replacement;
    else if (b < 0xfe)
      file += search.substr(0, search.size() - 1);
    else
      file += search.substr(1);
  }
  if (shape & 8)
    ceiling += file.size();
  options.ceiling = ceiling;

  std::string want = file;
  const ReplaceStatus wantStatus =
      referenceReplace(want, search, replacement, ceiling);

  std::string got = file;
  const ReplaceStatus gotStatus = replaceEvery(got, settings, options);
  // On any refusal the buffer is left as it was.
  const std::string& wantBuffer =
      wantStatus == ReplaceStatus::Done ? want : file;
  check(gotStatus == wantStatus && got == wantBuffer, "replaceEvery", [&] {
    return describe(settings, file, options) +
           outcome("got", gotStatus, got) +
           outcome("want", wantStatus, wantBuffer);
  });

  UnevenSource source(file, readSeed);
  CollectingSink sink;
  const ReplaceStatus streamStatus =
      replaceStream(source, sink, settings, file.size(), options);
  check(streamStatus == wantStatus &&
            (wantStatus != ReplaceStatus::Done || sink.text == want),
        "replaceStream with uneven reads", [&] {
          return describe(settings, file, options) + " seed " +
                 std::to_string(readSeed) +
                 outcome("got", streamStatus, sink.text) +
                 outcome("want", wantStatus, want);
        });

  // A failing read or write is reported as such, whenever it comes; with
  // settings the engine accepts and a result within the ceiling, nothing
  // else can stop it first.
  if (wantStatus == ReplaceStatus::Done && faults != 0) {
    UnevenSource failingSource(file, readSeed);
    failingSource.failAt = faults & 15;
    CollectingSink failingSink;
    failingSink.failAt = faults >> 4;
    const ReplaceStatus status = replaceStream(failingSource, failingSink,
                                               settings, file.size(), options);
    const bool readFailed = failingSource.failAt != 0 &&
                            failingSource.reads >= failingSource.failAt;
    const bool writeFailed =
        failingSink.failAt != 0 && failingSink.writes >= failingSink.failAt;
    const ReplaceStatus expected = readFailed    ? ReplaceStatus::ReadFailed
                                   : writeFailed ? ReplaceStatus::WriteFailed
                                                 : ReplaceStatus::Done;
    check(status == expected &&
              (expected != ReplaceStatus::Done || failingSink.text == want),
          "replaceStream with a failing read or write", [&] {
            return describe(settings, file, options) + " faults " +
                   std::to_string(faults) + " reads " +
                   std::to_string(failingSource.reads) + " writes " +
                   std::to_string(failingSink.writes) +
                   outcome("got", status, failingSink.text) +
                   outcome("want", expected, want);
          });
  }

  // A result within a small ceiling is the same within the default one.
  if (wantStatus == ReplaceStatus::Done) {
    ReplaceOptions defaults;
    defaults.chunkSize = options.chunkSize;
    std::string again = file;
    const ReplaceStatus againStatus = replaceEvery(again, settings, defaults);
    check(againStatus == ReplaceStatus::Done && again == want,
          "replaceEvery with the default ceiling", [&] {
            return describe(settings, file, defaults) +
                   outcome("got", againStatus, again) +
                   outcome("want", wantStatus, want);
          });
  }
  return 0;
}
