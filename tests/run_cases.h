// Whole runs of the program, as a user meets them: files laid out in a
// program folder and a data folder, one command line, then what the user
// sees and what is on disk. The same table drives the program on every
// system it is tested on.
//
// Paths in args, messages and file names use two placeholders: "{prog}/" is
// the program folder and "{data}/" the data folder; each runner turns them
// into its own system's paths, "/" included.
#ifndef TEXTMORPH_TESTS_RUN_CASES_H_
#define TEXTMORPH_TESTS_RUN_CASES_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace run_cases {

using namespace std::string_literals;

const std::string kDefaultSettings =
    "New_StringName= hometown\r\nOld_StringName= mobile\r\n";
const std::string kNoFile =
    "Error. Please drop file onto application window (drag n' drop)";
const std::string kRecreated =
    "Error. newString.ini file could not be found. (File recreated in "
    "current directory)";
const std::string kCannotRead = "Error. The dropped file could not be read: ";
const std::string kCannotWrite =
    "Error. The processed file could not be written: ";
const std::string kSettingsUnreadable =
    "Error. newString.ini file could not be read: ";
const std::string kNotRecreated =
    "Error. newString.ini file could not be found, and could not be "
    "recreated: ";
const std::string kEmptySearch =
    "Error. The search text on line 2 of newString.ini is empty.";
const std::string kHoldsSearch =
    "Error. The replacement text contains the search text, so the "
    "replacements would never end.";

// Helpers the runners share.

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::filesystem::path& path,
                      const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string replaceAll(std::string text, const std::string& from,
                              const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos;
       at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

// word as one argument of a POSIX shell command line.
inline std::string shellQuote(const std::string& word) {
  std::string quoted = "'";
  for (char c : word) {
    if (c == '\'')
      quoted.append("'\\''");
    else
      quoted.push_back(c);
  }
  quoted.push_back('\'');
  return quoted;
}

struct RunCase {
  const char* name;
  // Laid out before the run; a value of nullopt makes a folder.
  std::vector<std::pair<std::string, std::optional<std::string>>> before;
  std::vector<std::string> args;
  int exitStatus;
  std::string message;  // empty: no message at all
  // Checked after the run; nullopt means the file must not exist. Files of
  // the program folder listed in neither list must not exist either, so a
  // leftover temporary file fails every case.
  std::vector<std::pair<std::string, std::optional<std::string>>> after;
};

// Where a runner keeps a case's files: a case's path as a path here.
using PathOnDisk = std::function<std::filesystem::path(const std::string&)>;

// Makes the files and folders of c.before.
inline void layOut(const RunCase& c, const PathOnDisk& onDisk) {
  namespace fs = std::filesystem;
  for (const auto& [path, content] : c.before) {
    const fs::path file = onDisk(path);
    fs::create_directories(file.parent_path());
    if (content)
      writeFile(file, *content);
    else
      fs::create_directory(file);
  }
}

// Checks the files of c.after, and that the program folder holds nothing
// but the program and the files the case knows of: no temporary file, no
// output under another name.
inline void expectFilesAfter(const RunCase& c, const PathOnDisk& onDisk,
                             const std::filesystem::path& program) {
  namespace fs = std::filesystem;
  std::set<fs::path> known = {program};
  for (const auto& [path, content] : c.before)
    known.insert(onDisk(path));
  for (const auto& [path, content] : c.after) {
    const fs::path file = onDisk(path);
    if (!content) {
      EXPECT_FALSE(fs::exists(file)) << file;
      continue;
    }
    known.insert(file);
    EXPECT_TRUE(fs::is_regular_file(file)) << file;
    EXPECT_EQ(readFile(file), *content) << file;
  }
  for (const fs::directory_entry& entry :
       fs::directory_iterator(program.parent_path())) {
    EXPECT_TRUE(known.count(entry.path()))
        << "unexpected file left behind: " << entry.path();
  }
}

// Test names already say which case failed; the default printer would dump
// the case's bytes.
inline void PrintTo(const RunCase& c, std::ostream* out) { *out << c.name; }

inline std::vector<RunCase> sharedCases() {
  const auto settings = std::make_pair("{prog}/newString.ini"s,
                                       std::optional<std::string>(kDefaultSettings));
  const std::optional<std::string> absent;
  const std::optional<std::string> folder;
  return {
      {"NoArgumentTouchesNothing",
       {{"{data}/letter.txt", "a mobile"}},
       {},
       0,
       kNoFile,
       {{"{prog}/newString.ini", absent}, {"{data}/letter.txt", "a mobile"}}},
      {"NoArgumentLeavesSettingsAlone",
       {settings},
       {},
       0,
       kNoFile,
       {settings}},
      {"TypicalDrop",
       {settings, {"{data}/letter.txt", "my mobile\r\nher mobile"}},
       {"{data}/letter.txt"},
       0,
       "",
       {{"{prog}/letter.txt", "my hometown\r\nher hometown"},
        {"{data}/letter.txt", "my mobile\r\nher mobile"}}},
      {"SettingsAbsentAreRecreated",
       {{"{data}/letter.txt", "a mobile"}},
       {"{data}/letter.txt"},
       0,
       kRecreated,
       {settings, {"{prog}/letter.txt", absent}}},
      {"OnlyTheFirstArgumentCounts",
       {settings, {"{data}/a.txt", "mobile"}, {"{data}/b.txt", "mobile"},
        {"{data}/c.txt", "mobile"}},
       {"{data}/a.txt", "{data}/b.txt", "{data}/c.txt"},
       0,
       "",
       {{"{prog}/a.txt", "hometown"}, {"{prog}/b.txt", absent},
        {"{prog}/c.txt", absent}}},
      {"DroppedFromTheProgramFolderIsRewrittenInPlace",
       {settings, {"{prog}/letter.txt", "mobile mobile"}},
       {"{prog}/letter.txt"},
       0,
       "",
       {{"{prog}/letter.txt", "hometown hometown"}}},
      {"DroppingTheSettingsFileRewritesIt",
       {settings},
       {"{prog}/newString.ini"},
       0,
       "",
       {{"{prog}/newString.ini",
         "New_StringName= hometown\r\nOld_StringName= hometown\r\n"}}},
      {"ExistingOutputIsReplaced",
       {settings, {"{data}/letter.txt", "mobile"},
        {"{prog}/letter.txt", "an older, longer result"}},
       {"{data}/letter.txt"},
       0,
       "",
       {{"{prog}/letter.txt", "hometown"}}},
      {"EmptyInputGivesEmptyOutput",
       {settings, {"{data}/empty.txt", ""}},
       {"{data}/empty.txt"},
       0,
       "",
       {{"{prog}/empty.txt", ""}}},
      {"EveryOtherByteReachesTheOutput",
       {settings, {"{data}/bytes.bin", "\0\r\n\r\x1a\xff mobile\0"s}},
       {"{data}/bytes.bin"},
       0,
       "",
       {{"{prog}/bytes.bin", "\0\r\n\r\x1a\xff hometown\0"s}}},
      {"ReplacementsCascade",
       {{"{prog}/newString.ini", "New= \r\nOld= ab\r\n"},
        {"{data}/c.txt", "xaabb"}},
       {"{data}/c.txt"},
       0,
       "",
       {{"{prog}/c.txt", "x"}}},
      {"MissingInputWritesNothing",
       {settings, {"{prog}/none.txt", "kept"}},
       {"{data}/none.txt"},
       1,
       kCannotRead + "{data}/none.txt",
       {{"{prog}/none.txt", "kept"}, settings}},
      {"MissingInputDoesNotRecreateSettings",
       {},
       {"{data}/none.txt"},
       1,
       kCannotRead + "{data}/none.txt",
       {{"{prog}/newString.ini", absent}}},
      {"InputIsAFolder",
       {settings, {"{data}/folder", folder}},
       {"{data}/folder"},
       1,
       kCannotRead + "{data}/folder",
       {{"{prog}/folder", absent}}},
      {"SettingsPathIsAFolder",
       {{"{prog}/newString.ini", folder}, {"{data}/letter.txt", "mobile"}},
       {"{data}/letter.txt"},
       1,
       kSettingsUnreadable + "{prog}/newString.ini",
       {{"{prog}/letter.txt", absent}}},
      {"OutputPathIsAFolder",
       {settings, {"{prog}/letter.txt", folder},
        {"{data}/letter.txt", "mobile"}},
       {"{data}/letter.txt"},
       1,
       kCannotWrite + "{prog}/letter.txt",
       {}},
      {"EmptySearchTextIsRefused",
       {{"{prog}/newString.ini", "New= x\r\nOld= \r\n"},
        {"{data}/letter.txt", "mobile"}},
       {"{data}/letter.txt"},
       1,
       kEmptySearch,
       {{"{prog}/letter.txt", absent}}},
      {"EmptySettingsFileIsRefusedNotRecreated",
       {{"{prog}/newString.ini", ""}, {"{data}/letter.txt", "mobile"}},
       {"{data}/letter.txt"},
       1,
       kEmptySearch,
       {{"{prog}/newString.ini", ""}, {"{prog}/letter.txt", absent}}},
      {"OneLineSettingsAreRefused",
       {{"{prog}/newString.ini", "New_StringName= hometown\r\n"},
        {"{data}/letter.txt", "mobile"}},
       {"{data}/letter.txt"},
       1,
       kEmptySearch,
       {{"{prog}/letter.txt", absent}}},
      {"ReplacementHoldingTheSearchIsRefused",
       {{"{prog}/newString.ini", "New= mobiles\r\nOld= mobile\r\n"},
        {"{data}/letter.txt", "mobile"}},
       {"{data}/letter.txt"},
       1,
       kHoldsSearch,
       {{"{prog}/letter.txt", absent}}},
      {"SettingsValuesMayHoldNulBytes",
       {{"{prog}/newString.ini", "New= \0x\r\nOld= a\0\r\n"s},
        {"{data}/with-nul.bin", "a\0a\0b"s}},
       {"{data}/with-nul.bin"},
       0,
       "",
       {{"{prog}/with-nul.bin", "\0x\0xb"s}}},
      {"ByteOrderMarkInSettingsHasNoEffect",
       {{"{prog}/newString.ini", "\xEF\xBB\xBFNew= b\r\nOld= a\r\n"},
        {"{data}/bom.txt", "\xEF\xBB\xBF" "aaa"}},
       {"{data}/bom.txt"},
       0,
       "",
       {{"{prog}/bom.txt", "\xEF\xBB\xBF" "bbb"}}},
  };
}

}  // namespace run_cases

#endif  // TEXTMORPH_TESTS_RUN_CASES_H_
