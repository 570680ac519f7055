#include "search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

size_t find(const std::string& haystack, const std::string& needle) {
  return findFirst(makeSearcher(needle), haystack.data(), haystack.size());
}

TEST(FindFirst, AgreesWithStdFindOnRandomText) {
  std::mt19937 random(3);
  for (int round = 0; round < 20000; ++round) {
    const char* alphabet = round % 2 ? "ab" : "abcd\0";
    const size_t letters = round % 2 ? 2 : 5;
    std::string needle(1 + random() % 6, ' '), haystack(random() % 100, ' ');
    for (char& c : needle)
      c = alphabet[random() % letters];
    for (char& c : haystack)
      c = alphabet[random() % letters];
    const size_t expected = haystack.find(needle);
    const size_t want = expected == std::string::npos ? kNotFound : expected;
    const Searcher searcher = makeSearcher(needle);
    ASSERT_EQ(findFirst(searcher, haystack.data(), haystack.size()), want)
        << needle << " in " << haystack;
    ASSERT_EQ(findFirstLinear(searcher, haystack.data(), haystack.size()), want)
        << needle << " in " << haystack;
  }
}

// Text that passes the first-and-last byte filter at every position sends
// the search to the automaton part-way; the answer must not change.
TEST(FindFirst, HostileTextFallsBackWithoutLosingTheAnswer) {
  const std::string needle = std::string(50, 'a') + "b" + std::string(49, 'a');
  for (size_t at : {size_t{0}, size_t{17}, size_t{5000}, size_t{99999}}) {
    std::string haystack(200000, 'a');
    haystack.replace(at, needle.size(), needle);
    EXPECT_EQ(find(haystack, needle), at);
  }
  EXPECT_EQ(find(std::string(200000, 'a'), needle), kNotFound);
}

TEST(FindFirst, EdgesOfTheHaystack) {
  EXPECT_EQ(find("", "a"), kNotFound);
  EXPECT_EQ(find("ab", "abc"), kNotFound);
  EXPECT_EQ(find("abc", "abc"), 0u);
  EXPECT_EQ(find(std::string(40, 'x') + "ab", "ab"), 40u);  // past the last vector
  EXPECT_EQ(find(std::string(31, 'x') + "yz", "yz"), 31u);
  EXPECT_EQ(find(std::string("x\0y", 3), std::string("\0y", 2)), 1u);
  EXPECT_EQ(find("\xff\x80", "\x80"), 1u);
}

}  // namespace
