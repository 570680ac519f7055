#include "replace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

// The replacement loop in its plainest form: find the first occurrence from
// the start, replace it, search again from the start. Returns false when the
// text would pass the ceiling, or more than ceiling replacements are made.
bool referenceReplace(std::string& text, const std::string& search,
                      const std::string& replacement, uint64_t ceiling,
                      ReplaceStatus* limit) {
  uint64_t replacements = 0;
  for (size_t at; (at = text.find(search)) != std::string::npos;) {
    if (++replacements > ceiling) {
      *limit = ReplaceStatus::Endless;
      return false;
    }
    text.replace(at, search.size(), replacement);
    if (text.size() > ceiling) {
      *limit = ReplaceStatus::TooLarge;
      return false;
    }
  }
  return true;
}

ReplaceSettings settingsOf(const std::string& search,
                           const std::string& replacement) {
  ReplaceSettings settings;
  settings.searchText = search;
  settings.replacementText = replacement;
  return settings;
}

struct Case {
  const char* name;
  std::string input, search, replacement, expected;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class ReplaceExamples : public testing::TestWithParam<Case> {};

TEST_P(ReplaceExamples, GivesTheLoopsResult) {
  const Case& c = GetParam();
  std::string buffer = c.input;
  ASSERT_EQ(replaceEvery(buffer, settingsOf(c.search, c.replacement)),
            ReplaceStatus::Done);
  EXPECT_EQ(buffer, c.expected);
}

using namespace std::string_literals;

INSTANTIATE_TEST_SUITE_P(
    Table, ReplaceExamples,
    testing::Values(
        Case{"DeletionsBringOccurrencesTogether", "xaabb", "ab", "", "x"},
        Case{"LowestOffsetWinsAmongOverlaps", "xaaa", "aa", "b", "xba"},
        Case{"DefaultSettings", "my mobile, your mobile\r\n", "mobile",
             "hometown", "my hometown, your hometown\r\n"},
        Case{"NoOccurrenceLeavesBytes", "a\0b\r\x1a\r\n"s, "mobile",
             "hometown", "a\0b\r\x1a\r\n"s},
        Case{"StartsWithSearch", "abcab", "ab", "Z", "ZcZ"},
        Case{"ExactlySearch", "mobile", "mobile", "hometown", "hometown"},
        Case{"SearchLongerThanBuffer", "mob", "mobile", "x", "mob"},
        Case{"EmptyBuffer", "", "a", "b", ""},
        Case{"ShorterReplacementShiftsRest", "1abc2abc3", "abc", "-",
             "1-2-3"},
        Case{"LongerReplacementShiftsRest", "1a2", "a", "<<>>", "1<<>>2"},
        Case{"NulBytesMatch", "x\0\0y"s, "\0y"s, "\0"s, "x\0\0"s},
        Case{"ReplacementJoinsFollowingBytes", "abb", "ab", "a", "a"},
        Case{"ReplacementJoinsPrecedingBytes", "aab", "ab", "b", "b"},
        Case{"ReplacementInsideLongerOccurrence", "xayb", "ayb", "y",
             "xy"},
        Case{"NestedCascade", "aaabbbc", "ab", "", "c"},
        Case{"CrossesLineEnds", "mob\r\nile", "\r\n", "", "mobile"}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(ReplaceRefuses, EmptySearchText) {
  std::string buffer = "abc";
  EXPECT_EQ(replaceEvery(buffer, settingsOf("", "x")),
            ReplaceStatus::EmptySearch);
  EXPECT_EQ(buffer, "abc");
}

TEST(ReplaceRefuses, ReplacementHoldingTheSearchText) {
  std::string buffer = "abc";
  EXPECT_EQ(replaceEvery(buffer, settingsOf("b", "abc")),
            ReplaceStatus::ReplacementHoldsSearch);
  EXPECT_EQ(replaceEvery(buffer, settingsOf("b", "b")),
            ReplaceStatus::ReplacementHoldsSearch);
  EXPECT_EQ(buffer, "abc");
}

TEST(ReplaceRefuses, GrowthWithoutEnd) {
  ReplaceOptions options;
  options.ceiling = 10000;
  std::string buffer = "aab";
  EXPECT_EQ(replaceEvery(buffer, settingsOf("ab", "bbaa"), options),
            ReplaceStatus::TooLarge);
  buffer = std::string(40, 'a') + "b";
  EXPECT_EQ(replaceEvery(buffer, settingsOf("ab", "bba"), options),
            ReplaceStatus::TooLarge);
}

TEST(ReplaceRefuses, GrowthOfOnePassPastTheCeiling) {
  ReplaceOptions options;
  options.ceiling = 1000;
  std::string buffer(500, 'a');
  EXPECT_EQ(replaceEvery(buffer, settingsOf("a", "xyz"), options),
            ReplaceStatus::TooLarge);
}

TEST(ReplaceRefuses, LengthKeepingSettingsThatTakeTooLong) {
  // "ab" -> "ba" sorts the text: n * n / 4 replacements for n / 2 of each.
  ReplaceOptions options;
  options.ceiling = 1000;
  std::string buffer = std::string(100, 'a') + std::string(100, 'b');
  EXPECT_EQ(replaceEvery(buffer, settingsOf("ab", "ba"), options),
            ReplaceStatus::Endless);
  buffer = std::string(20, 'a') + std::string(20, 'b');
  EXPECT_EQ(replaceEvery(buffer, settingsOf("ab", "ba"), options),
            ReplaceStatus::Done);
  EXPECT_EQ(buffer, std::string(20, 'b') + std::string(20, 'a'));
}

// Replacements made many at a time meet the limits where the loop, making
// them one by one, would.
TEST(ReplaceRefuses, LimitsAreMetWhereTheLoopMeetsThem) {
  const struct {
    const char *text, *search, *replacement;
    uint64_t ceiling;
    ReplaceStatus expected;
  } cases[] = {
      {"aaaa", "x", "y", 3, ReplaceStatus::Done},       // nothing replaced
      {"aaaa", "a", "b", 3, ReplaceStatus::TooLarge},   // too large at once
      {"aabb", "a", "", 2, ReplaceStatus::TooLarge},    // largest at the first
      {"aaaa", "a", "bc", 7, ReplaceStatus::TooLarge},  // passed at the last
      {"aaaa", "a", "bc", 8, ReplaceStatus::Done},
      {"xaaaabbbby", "ab", "", 3, ReplaceStatus::TooLarge},
  };
  for (const auto& c : cases) {
    std::string buffer = c.text;
    ReplaceOptions options;
    options.ceiling = c.ceiling;
    EXPECT_EQ(replaceEvery(buffer, settingsOf(c.search, c.replacement), options),
              c.expected)
        << c.search << " -> " << c.replacement << " on " << c.text;
  }
}

TEST(ReplaceCeiling, IsTheLargerOfOneGibAndEightTimesTheInput) {
  EXPECT_EQ(resultCeiling(0), uint64_t{1} << 30);
  EXPECT_EQ(resultCeiling(100u << 20), uint64_t{1} << 30);
  EXPECT_EQ(resultCeiling(uint64_t{1} << 30), uint64_t{8} << 30);
  EXPECT_EQ(resultCeiling(uint64_t{5} << 30), uint64_t{40} << 30);
}

struct CascadeCase {
  const char* search;
  const char* replacement;
  bool cascades;
};

void PrintTo(const CascadeCase& c, std::ostream* out) {
  *out << c.search << " -> " << c.replacement;
}

class CascadeDecision : public testing::TestWithParam<CascadeCase> {};

TEST_P(CascadeDecision, FollowsTheOverlapOfTheTwoTexts) {
  const CascadeCase& c = GetParam();
  EXPECT_EQ(canCascade(settingsOf(c.search, c.replacement)), c.cascades)
      << c.search << " -> " << c.replacement;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CascadeDecision,
    testing::Values(CascadeCase{"mobile", "hometown", false},
                    CascadeCase{"a", "bb", false},
                    CascadeCase{"a", "", false},
                    CascadeCase{"ab", "", true},
                    CascadeCase{"ab", "a", true},     // start ends one
                    CascadeCase{"ab", "b", true},     // end starts one
                    CascadeCase{"abc", "xa", true},   // end starts one
                    CascadeCase{"abc", "cx", true},   // start ends one
                    CascadeCase{"ayb", "y", true},    // inside one
                    CascadeCase{"ab", "ba", true},
                    CascadeCase{"abc", "b", true},
                    CascadeCase{"abc", "ab", true},   // a prefix: joins on the right
                    CascadeCase{"abc", "xyz", false}));

// Reads a text in small, uneven pieces, as a pipe or a slow disk might.
struct PieceSource : ByteSource {
  std::string text;
  size_t at = 0;
  std::mt19937* random;
  int64_t read(char* buffer, size_t capacity) override {
    size_t n = std::min<size_t>(capacity, text.size() - at);
    if (n > 1)
      n = 1 + (*random)() % n;
    std::memcpy(buffer, text.data() + at, n);
    at += n;
    return static_cast<int64_t>(n);
  }
};

std::string randomText(std::mt19937& random, size_t maxLength,
                       const char* alphabet) {
  const size_t letters = std::strlen(alphabet);
  std::string text(random() % (maxLength + 1), ' ');
  for (char& c : text)
    c = alphabet[random() % letters];
  return text;
}

// Random texts and settings over small alphabets, where overlaps and
// cascades are common, through both engines and many chunk sizes.
TEST(ReplaceDifferential, MatchesTheLoopOnRandomInput) {
  std::mt19937 random(20261211);
  const char* alphabets[] = {"ab", "abc", "a\0"};
  int cascading = 0, onePass = 0, refused = 0;
  for (int round = 0; round < 30000; ++round) {
    const char* alphabet = alphabets[round % 3];
    if (alphabet[0] == 'a' && alphabet[1] == '\0')
      alphabet = "a\n";
    const std::string search = randomText(random, 4, alphabet);
    const std::string replacement = randomText(random, 5, alphabet);
    const ReplaceSettings settings = settingsOf(search, replacement);
    if (checkSettings(settings) != ReplaceStatus::Done)
      continue;
    PieceSource source;
    source.text = randomText(random, 40, alphabet);
    source.random = &random;
    ReplaceOptions options;
    options.ceiling = 300;
    options.chunkSize = 1 + random() % 8;

    std::string expected = source.text;
    ReplaceStatus limit = ReplaceStatus::Done;
    const bool ends = referenceReplace(expected, search, replacement,
                                       options.ceiling, &limit);
    StringSink sink;
    const ReplaceStatus status = replaceStream(
        source, sink, settings, source.text.size(), options);
    (canCascade(settings) ? cascading : onePass)++;
    if (!ends) {
      ++refused;
      EXPECT_EQ(status, limit) << search << " -> " << replacement << " on "
                               << source.text;
      continue;
    }
    ASSERT_EQ(status, ReplaceStatus::Done)
        << search << " -> " << replacement << " on " << source.text;
    ASSERT_EQ(sink.text, expected)
        << search << " -> " << replacement << " on " << source.text
        << " chunk " << options.chunkSize;
  }
  // Both engines and the ceiling were really exercised.
  EXPECT_GT(cascading, 3000);
  EXPECT_GT(onePass, 3000);
  EXPECT_GT(refused, 10);
}

// Search texts that straddle every chunk boundary, for both engines.
TEST(ReplaceDifferential, OccurrencesAcrossChunkBoundaries) {
  std::mt19937 random(7);
  const std::string searches[] = {"mobile", "abcdefghij", "aab"};
  const std::string replacements[] = {"hometown", "", "XY", "ba"};
  for (const std::string& search : searches) {
    for (const std::string& replacement : replacements) {
      std::string text;
      for (int i = 0; i < 200; ++i)
        text += std::string(random() % 12, 'a') + search.substr(0, random() % (search.size() + 1)) + search;
      for (size_t chunk : {size_t{1}, search.size() - 1, search.size(),
                           search.size() + 1, size_t{64}, size_t{1000}}) {
        ReplaceOptions options;
        options.chunkSize = chunk;
        // A ceiling too large to reserve room for keeps the text on the heap.
        if (chunk == 64)
          options.ceiling = UINT64_MAX;
        std::string expected = text;
        ReplaceStatus limit;
        ASSERT_TRUE(referenceReplace(expected, search, replacement,
                                     uint64_t{1} << 30, &limit));
        std::string buffer = text;
        ASSERT_EQ(replaceEvery(buffer, settingsOf(search, replacement),
                               options),
                  ReplaceStatus::Done);
        EXPECT_EQ(buffer, expected)
            << search << " -> " << replacement << " chunk " << chunk;
      }
    }
  }
}

// A single byte is translated in blocks; dense and sparse occurrences across
// many blocks and chunks must come out as a plain pass gives them.
TEST(ReplaceDifferential, SingleByteTranslationOverManyBlocks) {
  std::mt19937 random(5);
  for (const char* replacement : {"", "x", "xyz", "0123456789ABCDEF"}) {
    for (unsigned density : {2u, 50u}) {
      std::string text(1 << 20, 'b');
      for (char& c : text)
        c = random() % density == 0 ? 'a' : 'b';
      std::string expected;
      for (char c : text)
        expected += c == 'a' ? std::string(replacement) : std::string(1, c);
      for (size_t chunk : {size_t{1000}, size_t{1} << 20}) {
        std::string buffer = text;
        ReplaceOptions options;
        options.chunkSize = chunk;
        ASSERT_EQ(replaceEvery(buffer, settingsOf("a", replacement), options),
                  ReplaceStatus::Done);
        EXPECT_TRUE(buffer == expected)
            << replacement << " density " << density << " chunk " << chunk;
      }
    }
  }
}

// Deletions nested thousands deep, as in a run of "a" followed by a run of
// "b" with "ab" taken out, are settled many at a time; the result must not
// change with where the chunks end.
TEST(ReplaceDifferential, DeepNestedDeletions) {
  const struct {
    std::string text, search;
  } cases[] = {
      {"x" + std::string(3000, 'a') + std::string(3000, 'b') + "y", "ab"},
      {std::string(3000, 'a') + std::string(2990, 'b') + "ab", "ab"},
      {std::string(2000, 'a') + std::string(3000, 'b'), "ab"},
      {std::string(1000, 'a') + "ab" + std::string(1000, 'b'), "aab"},
      {std::string(1500, 'a') + std::string(1000, 'b') + std::string(500, 'a') +
           std::string(1000, 'b'),
       "aabb"},
  };
  for (const auto& c : cases) {
    std::string expected = c.text;
    ReplaceStatus limit;
    ASSERT_TRUE(referenceReplace(expected, c.search, "", uint64_t{1} << 30,
                                 &limit));
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{1000}, size_t{1} << 20}) {
      std::string buffer = c.text;
      ReplaceOptions options;
      options.chunkSize = chunk;
      ASSERT_EQ(replaceEvery(buffer, settingsOf(c.search, ""), options),
                ReplaceStatus::Done);
      EXPECT_EQ(buffer, expected) << c.search << " chunk " << chunk;
    }
  }
}

// A long search text takes the cascading engine's other automaton.
TEST(ReplaceDifferential, LongSearchTextCascades) {
  std::mt19937 random(11);
  std::string search(300, 'a');
  search += 'b';
  const std::string replacement = "b";
  for (int round = 0; round < 20; ++round) {
    std::string text;
    for (int i = 0; i < 10; ++i)
      text += std::string(random() % 700, 'a') + std::string(random() % 3, 'b');
    std::string expected = text;
    ReplaceStatus limit;
    ASSERT_TRUE(referenceReplace(expected, search, replacement,
                                 uint64_t{1} << 30, &limit));
    std::string buffer = text;
    ReplaceOptions options;
    options.chunkSize = 1 + random() % 500;
    ASSERT_EQ(replaceEvery(buffer, settingsOf(search, replacement), options),
              ReplaceStatus::Done);
    EXPECT_EQ(buffer, expected);
  }
}

struct FailingSource : ByteSource {
  int calls = 0;
  int64_t read(char* buffer, size_t capacity) override {
    if (calls++ > 0)
      return -1;
    const size_t n = std::min<size_t>(capacity, 3);
    std::memcpy(buffer, "abc", n);
    return static_cast<int64_t>(n);
  }
};

struct FailingSink : ByteSink {
  bool write(const platform::Slice*, size_t) override { return false; }
};

// A file that grows while it is read holds more than the room set aside for
// it; the text moves to the heap and nothing is lost.
TEST(ReplaceStream, InputLongerThanExpected) {
  std::mt19937 random(9);
  for (uint64_t ceiling : {uint64_t{1000}, uint64_t{1} << 20}) {
    PieceSource source;
    source.text.resize(3 << 20);
    for (char& c : source.text)
      c = "ac"[random() % 2];  // "ab" never occurs
    source.random = &random;
    StringSink sink;
    ReplaceOptions options;
    options.ceiling = ceiling;
    options.chunkSize = 4096;
    ASSERT_TRUE(canCascade(settingsOf("ab", "")));
    EXPECT_EQ(replaceStream(source, sink, settingsOf("ab", ""), 0, options),
              ReplaceStatus::Done);
    EXPECT_TRUE(sink.text == source.text) << ceiling;
  }
}

TEST(ReplaceErrors, AReadErrorPartWayIsReported) {
  for (const char* search : {"b", "ab"}) {  // one pass, cascading
    FailingSource source;
    StringSink sink;
    EXPECT_EQ(replaceStream(source, sink, settingsOf(search, ""), 10),
              ReplaceStatus::ReadFailed);
  }
}

TEST(ReplaceErrors, AWriteErrorIsReported) {
  for (const char* search : {"b", "ab"}) {
    std::string text = "abc";
    PieceSource source;
    std::mt19937 random(1);
    source.text = text;
    source.random = &random;
    FailingSink sink;
    EXPECT_EQ(replaceStream(source, sink, settingsOf(search, ""), 3),
              ReplaceStatus::WriteFailed);
  }
}

}  // namespace
