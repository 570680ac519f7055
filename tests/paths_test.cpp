#include "paths.h"

#include <gtest/gtest.h>

namespace {

struct Case {
  const char* name;
  PathStyle style;
  const char* input;
  const char* executable;
  const char* baseName;
  const char* programDirectory;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class DerivePaths : public testing::TestWithParam<Case> {};

TEST_P(DerivePaths, PutsTheOutputBesideTheProgram) {
  const Case& c = GetParam();
  const RunPaths paths = derivePaths(c.input, c.executable, c.style);
  EXPECT_EQ(paths.inputPath, c.input);
  EXPECT_EQ(paths.baseName, c.baseName);
  EXPECT_EQ(paths.programDirectory, c.programDirectory);
  EXPECT_EQ(paths.outputPath, std::string(c.programDirectory) + c.baseName);
  EXPECT_EQ(paths.settingsPath,
            std::string(c.programDirectory) + "newString.ini");
}

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;

INSTANTIATE_TEST_SUITE_P(
    Table, DerivePaths,
    testing::Values(
        Case{"WindowsTypical", W, "C:\\data\\letter.txt",
             "C:\\tools\\textmorph.exe", "letter.txt", "C:\\tools\\"},
        Case{"WindowsForwardSlashes", W, "C:/data/letter.txt",
             "C:\\tools\\textmorph.exe", "letter.txt", "C:\\tools\\"},
        Case{"WindowsMixedSlashes", W, "C:\\data/sub\\a b.txt",
             "C:\\tools\\textmorph.exe", "a b.txt", "C:\\tools\\"},
        Case{"WindowsDriveRelative", W, "D:notes.txt",
             "C:\\tools\\textmorph.exe", "notes.txt", "C:\\tools\\"},
        Case{"WindowsParentFolder", W, "..\\x.txt", "C:\\t\\textmorph.exe",
             "x.txt", "C:\\t\\"},
        Case{"WindowsUncPath", W, "\\\\server\\share\\f.txt",
             "C:\\t\\textmorph.exe", "f.txt", "C:\\t\\"},
        Case{"WindowsBareName", W, "notes.txt", "C:\\t\\textmorph.exe",
             "notes.txt", "C:\\t\\"},
        Case{"PosixTypical", P, "/home/ann/letter.txt",
             "/opt/textmorph/textmorph", "letter.txt", "/opt/textmorph/"},
        Case{"PosixBackslashIsAByte", P, "/data/a\\b.txt", "/opt/t/textmorph",
             "a\\b.txt", "/opt/t/"},
        Case{"PosixBareName", P, "notes.txt", "/opt/t/textmorph", "notes.txt",
             "/opt/t/"},
        Case{"PosixParentFolder", P, "../x.txt", "/opt/t/textmorph", "x.txt",
             "/opt/t/"},
        Case{"PosixColonIsAByte", P, "C:notes", "/opt/t/textmorph", "C:notes",
             "/opt/t/"},
        Case{"ProgramPathWithoutFolder", P, "/d/x", "textmorph", "x", ""}),
    [](const testing::TestParamInfo<Case>& info) { return info.param.name; });

}  // namespace

namespace {

TEST(OutputIsProgram, WhenTheNamesMatch) {
  const struct {
    PathStyle style;
    const char* input;
    const char* executable;
    bool expected;
  } cases[] = {
      {PathStyle::Posix, "/opt/t/textmorph", "/opt/t/textmorph", true},
      {PathStyle::Posix, "/home/ann/textmorph", "/opt/t/textmorph", true},
      {PathStyle::Posix, "/opt/t/TextMorph", "/opt/t/textmorph", false},
      {PathStyle::Posix, "/opt/t/textmorph.txt", "/opt/t/textmorph", false},
      {PathStyle::Windows, "C:\\tools\\TEXTMORPH.EXE", "C:\\tools\\textmorph.exe",
       true},
      {PathStyle::Windows, "D:/data/textmorph.exe", "C:\\tools\\textmorph.exe",
       true},
      {PathStyle::Windows, "C:\\tools\\textmorph.ex", "C:\\tools\\textmorph.exe",
       false},
      {PathStyle::Windows, "C:\\tools\\newString.ini",
       "C:\\tools\\textmorph.exe", false},
  };
  for (const auto& c : cases) {
    const RunPaths paths = derivePaths(c.input, c.executable, c.style);
    EXPECT_EQ(outputIsProgram(paths, c.executable, c.style), c.expected)
        << c.input;
  }
}

}  // namespace
