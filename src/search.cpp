#include "search.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
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

// Candidates are positions whose first, second and last bytes match the
// needle's; each is then compared in full. On data made to defeat the filter, such as
// "aaaa..." against "aaab", the comparisons would add up to size times the
// needle's length, so once they cost more than a few times the bytes passed
// the rest is left to the automaton.
constexpr size_t kComparisonAllowance = 4;

struct Scan {
  const std::string& needle;
  const char* haystack;
  size_t candidates;  // positions an occurrence can start at
  size_t at = 0;      // first position not yet looked at
  size_t compared = 0;
  bool costly = false;

  // Looks at the candidates in a mask of positions from at; true if one is
  // an occurrence, which is then at at.
  bool check(unsigned mask) {
    const size_t m = needle.size();
    for (; mask != 0; mask &= mask - 1) {
      const size_t pos = at + static_cast<size_t>(__builtin_ctz(mask));
      compared += m;
      // Most false candidates differ in the next four bytes: compare them
      // in one load before calling memcmp.
      if (m >= 6) {
        uint32_t have, want;
        std::memcpy(&have, haystack + pos + 1, 4);
        std::memcpy(&want, needle.data() + 1, 4);
        if (have != want)
          continue;
      }
      if (std::memcmp(haystack + pos + 1, needle.data() + 1, m - 2) == 0) {
        at = pos;
        return true;
      }
    }
    costly = compared > kComparisonAllowance * at + 64 * m + 4096;
    return false;
  }
};

#if defined(__SSE2__)
bool scanSse2(Scan* scan) {
  const size_t m = scan->needle.size();
  const __m128i first = _mm_set1_epi8(scan->needle[0]);
  const __m128i last = _mm_set1_epi8(scan->needle[m - 1]);
  for (; scan->at + 16 <= scan->candidates; scan->at += 16) {
    const char* p = scan->haystack + scan->at;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + m - 1));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
    if (mask != 0 && (scan->check(mask) || scan->costly))
      return scan->costly ? false : true;
  }
  return false;
}

// Twice the width where the processor has it, chosen when the program runs.
__attribute__((target("avx2"))) bool scanAvx2(Scan* scan) {
  const size_t m = scan->needle.size();
  const __m256i first = _mm256_set1_epi8(scan->needle[0]);
  const __m256i second = _mm256_set1_epi8(scan->needle[1]);
  const __m256i last = _mm256_set1_epi8(scan->needle[m - 1]);
  for (; scan->at + 32 <= scan->candidates; scan->at += 32) {
    const char* p = scan->haystack + scan->at;
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    // With two bytes the second is the last; p + 1 is then read as well.
    const __m256i b =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
    const __m256i c =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + m - 1));
    const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(a, first),
                                          _mm256_cmpeq_epi8(b, second)),
                         _mm256_cmpeq_epi8(c, last))));
    if (mask != 0 && (scan->check(mask) || scan->costly))
      return scan->costly ? false : true;
  }
  return false;
}

bool hasAvx2() {
  static const bool has =
      (__builtin_cpu_init(), __builtin_cpu_supports("avx2") != 0);
  return has;
}
#endif

size_t findFirstFiltered(const Searcher& searcher, const char* haystack,
                         size_t size) {
  const std::string& needle = searcher.needle;
  const size_t m = needle.size();
  Scan scan{needle, haystack, size - m + 1};
#if defined(__SSE2__)
  if ((hasAvx2() && scanAvx2(&scan)) || (!scan.costly && scanSse2(&scan)))
    return scan.at;
#endif
  const char first = needle[0];
  const char last = needle[m - 1];
  while (!scan.costly && scan.at < scan.candidates) {
    const void* hit =
        std::memchr(haystack + scan.at, first, scan.candidates - scan.at);
    if (hit == nullptr)
      return kNotFound;
    scan.at = static_cast<size_t>(static_cast<const char*>(hit) - haystack);
    if (haystack[scan.at + m - 1] == last && scan.check(1))
      return scan.at;
    ++scan.at;
  }
  if (scan.at >= scan.candidates)
    return kNotFound;
  const size_t found =
      findFirstLinear(searcher, haystack + scan.at, size - scan.at);
  return found == kNotFound ? kNotFound : found + scan.at;
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
