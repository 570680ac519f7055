#include "search.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

Searcher makeSearcher(const std::string& needle) {
  Searcher searcher;
  searcher.needle = needle;
  std::vector<size_t>& failure = searcher.failure;
  failure.assign(needle.size(), 0);
  size_t k = 0;
  for (size_t j = 1; j < needle.size(); ++j) {
    while (k > 0 && needle[j] != needle[k])
      k = failure[k - 1];
    if (needle[j] == needle[k])
      ++k;
    failure[j] = k;
  }
  return searcher;
}

size_t findFirstLinear(const Searcher& searcher, const char* haystack,
                       size_t size) {
  const std::string& needle = searcher.needle;
  const size_t m = needle.size();
  size_t k = 0;
  for (size_t i = 0; i < size; ++i) {
    while (k > 0 && haystack[i] != needle[k])
      k = searcher.failure[k - 1];
    if (haystack[i] == needle[k] && ++k == m)
      return i + 1 - m;
  }
  return kNotFound;
}

namespace {

// Candidates are positions whose first and last bytes match the needle's;
// each is then compared in full. On data made to defeat the filter, such as
// "aaaa..." against "aaab", the comparisons would add up to size times the
// needle's length, so once they cost more than a few times the bytes passed
// the rest is left to the automaton.
constexpr size_t kComparisonAllowance = 4;

size_t findFirstFiltered(const Searcher& searcher, const char* haystack,
                         size_t size) {
  const std::string& needle = searcher.needle;
  const size_t m = needle.size();
  const unsigned char first = static_cast<unsigned char>(needle[0]);
  const unsigned char last = static_cast<unsigned char>(needle[m - 1]);
  const size_t candidates = size - m + 1;  // positions an occurrence can start
  size_t compared = 0;
  size_t i = 0;
  auto matchesAt = [&](size_t pos) {
    compared += m;
    return std::memcmp(haystack + pos + 1, needle.data() + 1, m - 2) == 0;
  };
  auto tooCostly = [&](size_t pos) {
    return compared > kComparisonAllowance * pos + 64 * m + 4096;
  };
#if defined(__SSE2__)
  const __m128i vfirst = _mm_set1_epi8(static_cast<char>(first));
  const __m128i vlast = _mm_set1_epi8(static_cast<char>(last));
  for (; i + 16 <= candidates; i += 16) {
    const __m128i a = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(haystack + i));
    const __m128i b = _mm_loadu_si128(
        reinterpret_cast<const __m128i*>(haystack + i + m - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(a, vfirst), _mm_cmpeq_epi8(b, vlast))));
    while (mask != 0) {
      const size_t pos = i + static_cast<size_t>(__builtin_ctz(mask));
      if (matchesAt(pos))
        return pos;
      mask &= mask - 1;
    }
    if (tooCostly(i)) {
      const size_t found = findFirstLinear(searcher, haystack + i + 16,
                                           size - i - 16);
      return found == kNotFound ? kNotFound : found + i + 16;
    }
  }
#endif
  while (i < candidates) {
    const void* hit = std::memchr(haystack + i, first, candidates - i);
    if (hit == nullptr)
      return kNotFound;
    const size_t pos = static_cast<size_t>(static_cast<const char*>(hit) -
                                           haystack);
    if (static_cast<unsigned char>(haystack[pos + m - 1]) == last &&
        matchesAt(pos))
      return pos;
    i = pos + 1;
    if (tooCostly(i)) {
      const size_t found = findFirstLinear(searcher, haystack + i, size - i);
      return found == kNotFound ? kNotFound : found + i;
    }
  }
  return kNotFound;
}

}  // namespace

size_t findFirst(const Searcher& searcher, const char* haystack, size_t size) {
  const size_t m = searcher.needle.size();
  if (m > size)
    return kNotFound;
  if (m == 1) {
    const void* hit = std::memchr(haystack, searcher.needle[0], size);
    return hit == nullptr
               ? kNotFound
               : static_cast<size_t>(static_cast<const char*>(hit) - haystack);
  }
  return findFirstFiltered(searcher, haystack, size);
}
