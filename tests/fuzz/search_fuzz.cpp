// findFirst, with its vector filter and its switch to the automaton on
// hostile text, against findFirstLinear and against std::string_view::find.
// The haystack lives in an allocation of exactly its size, so that a read
// one byte past its end is caught.
//
// Input layout, byte by byte: shape (bits 0-1 alphabet, bit 2 the haystack
// is a piece repeated to a length, which makes the filter pass at many places
// and brings on the switch); the needle's length (1-300, two bytes, high
// first) and bytes; the repeat length (two bytes); and the rest is the
// haystack, or the piece.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "search.h"

namespace {

constexpr size_t kMaxHaystack = 1 << 14;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InputReader in{data, size};
  const unsigned shape = in.byte();
  const unsigned alphabet = shape & 3;
  const std::string needle = mapped(in.bytes(in.number(1, 300)), alphabet);
  if (needle.empty())
    return 0;  // the input ran out; findFirst takes no empty needle
  const size_t repeatTo = in.number(0, kMaxHaystack);
  std::string text = mapped(in.rest(), alphabet);
  if ((shape & 4) && !text.empty()) {
    const std::string piece = text;
    while (text.size() < repeatTo)
      text += piece;
    text.resize(repeatTo);
  }

  const size_t length = text.size();
  const std::unique_ptr<char[]> haystack(new char[length]);
  text.copy(haystack.get(), length);
  const Searcher searcher = makeSearcher(needle);
  const size_t got = findFirst(searcher, haystack.get(), length);
  const size_t linear = findFirstLinear(searcher, haystack.get(), length);
  const size_t found = std::string_view(text).find(needle);
  const size_t want = found == std::string_view::npos ? kNotFound : found;
  check(got == want && linear == want, "findFirst", [&] {
    return "needle " + escaped(needle) + "\nhaystack " +
           escaped(text.substr(0, 200)) + (length > 200 ? " ..." : "") +
           "\nlength " + std::to_string(length) + " findFirst " +
           std::to_string(got) + " findFirstLinear " +
           std::to_string(linear) + " want " + std::to_string(want);
  });
  return 0;
}
