// Finding the first occurrence of a byte string, at memory speed on ordinary
// data and never worse than linear on hostile data.
#ifndef TEXTMORPH_SEARCH_H_
#define TEXTMORPH_SEARCH_H_

#include <cstddef>
#include <string>
#include <vector>

// A needle prepared once and searched for many times.
struct Searcher {
  std::string needle;
  // failure[j]: length of the longest proper border of needle[0..j].
  std::vector<size_t> failure;
};

constexpr size_t kNotFound = static_cast<size_t>(-1);

// needle must not be empty.
Searcher makeSearcher(const std::string& needle);

// Offset of the first occurrence of the needle in haystack[0..size), or
// kNotFound.
size_t findFirst(const Searcher& searcher, const char* haystack, size_t size);

// The same with a plain automaton scan, linear whatever the data: the
// fallback of findFirst, and a reference for its tests.
size_t findFirstLinear(const Searcher& searcher, const char* haystack,
                       size_t size);

#endif  // TEXTMORPH_SEARCH_H_
