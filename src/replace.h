// The replacement engine: every occurrence of the search text is replaced,
// and replaced again wherever a replacement forms a new occurrence with the
// bytes around it, until none is left. The result is exactly that of the
// simple loop "find the first occurrence from the start, replace it, search
// again from the start", at a cost that grows linearly with the input, the
// output and the replacements made.
#ifndef TEXTMORPH_REPLACE_H_
#define TEXTMORPH_REPLACE_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/platform.h"

// What to look for and what to put in its place: byte strings of any bytes.
struct ReplaceSettings {
  std::string replacementText;
  std::string searchText;
};

// Where the engine takes its input from, in order.
struct ByteSource {
  virtual ~ByteSource() = default;
  // Up to capacity bytes into buffer: the count, 0 at the end, -1 on error.
  virtual int64_t read(char* buffer, size_t capacity) = 0;
};

// Where the engine puts its output, in order. The slices are valid only for
// the call.
struct ByteSink {
  virtual ~ByteSink() = default;
  virtual bool write(const platform::Slice* slices, size_t count) = 0;
};

// A source over a string in memory, and a sink that appends to one.
struct StringSource : ByteSource {
  const std::string& text;
  size_t at = 0;
  explicit StringSource(const std::string& t) : text(t) {}
  int64_t read(char* buffer, size_t capacity) override;
};

struct StringSink : ByteSink {
  std::string text;
  bool write(const platform::Slice* slices, size_t count) override;
};

enum class ReplaceStatus {
  Done,
  EmptySearch,                // an empty search text occurs everywhere
  ReplacementHoldsSearch,     // every replacement leaves an occurrence
  TooLarge,                   // the result would pass the ceiling
  Endless,                    // more replacements than the ceiling allows
  ReadFailed,
  WriteFailed,
};

// Largest result the engine will make from an input of inputSize bytes:
// settings such as "ab" -> "bba" grow a small file without practical end.
// The same number bounds how many replacements it makes, since settings that
// keep the length (such as "ab" -> "ba") can take quadratically many.
uint64_t resultCeiling(uint64_t inputSize);
constexpr uint64_t kMinimumCeiling = uint64_t{1} << 30;

// Settings the engine refuses outright, before reading any input.
ReplaceStatus checkSettings(const ReplaceSettings& settings);

// True when a replacement can join with the bytes around it to form a new
// occurrence. Otherwise one left-to-right pass over the input gives the
// result, and it can be streamed in bounded memory.
bool canCascade(const ReplaceSettings& settings);

struct ReplaceOptions {
  uint64_t ceiling = 0;                // 0: resultCeiling(inputSize)
  size_t chunkSize = size_t{1} << 18;  // bytes read at a time
};

// Reads all of source, writes the result to sink. inputSize is what the
// source is expected to hold; it only sets the ceiling.
ReplaceStatus replaceStream(ByteSource& source, ByteSink& sink,
                            const ReplaceSettings& settings,
                            uint64_t inputSize, ReplaceOptions options = {});

// The same on a buffer in memory, edited in place.
ReplaceStatus replaceEvery(std::string& buffer, const ReplaceSettings& settings,
                           ReplaceOptions options = {});

#endif  // TEXTMORPH_REPLACE_H_
