// The built program, run as a user would run it: copied into a program
// folder of its own, given a dropped file, and judged by its exit status,
// what it tells the user and what it leaves on disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <string>

#include "run_cases.h"

namespace fs = std::filesystem;
using namespace run_cases;

namespace {

// A scratch folder with a program folder holding a copy of the program, and
// a data folder for the files a user drops.
class Sandbox {
 public:
  Sandbox() {
    std::random_device random;
    root_ = fs::temp_directory_path() /
            ("textmorph-run-" + std::to_string(random()) + "-" +
             std::to_string(random()));
    fs::create_directories(root_ / "prog");
    fs::create_directories(root_ / "data");
    fs::copy_file(TEXTMORPH_BINARY, root_ / "prog" / "textmorph");
  }
  ~Sandbox() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  const fs::path& root() const { return root_; }
  fs::path prog() const { return root_ / "prog"; }

  // Placeholders of the shared cases to paths of this system.
  std::string expand(const std::string& text) const {
    return replaceAll(replaceAll(text, "{prog}", (root_ / "prog").string()),
                      "{data}", (root_ / "data").string());
  }

  PathOnDisk onDisk() const {
    return [this](const std::string& path) { return fs::path(expand(path)); };
  }

  struct Result {
    int status;
    std::string stderrText;
  };

  // Runs the program from the sandbox's root; shellSetup goes before it in
  // the same shell (limits, umask).
  Result run(const std::vector<std::string>& args,
             const std::string& shellSetup = "") const {
    // The program's messages go through a pipe and the status is written
    // by the outer shell, so that a file-size limit in shellSetup touches
    // only the program's own files.
    std::string program = shellSetup + " exec \"$0\" \"$@\"";
    std::string command = "(cd ";
    command.append(shellQuote(root_.string()));
    command.append(" && { sh -c ").append(shellQuote(program)).append(" ");
    command.append(shellQuote((root_ / "prog" / "textmorph").string()));
    for (const std::string& arg : args)
      command.append(" ").append(shellQuote(expand(arg)));
    command.append(" 2>&1 >/dev/null; echo $? >");
    command.append(shellQuote((root_ / "status").string()));
    command.append("; } | cat >").append(shellQuote((root_ / "stderr").string()));
    command.append(")");
    EXPECT_EQ(std::system(command.c_str()), 0);
    return {std::stoi(readFile(root_ / "status")), readFile(root_ / "stderr")};
  }

 private:
  fs::path root_;
};

std::string messageLine(const std::string& text) {
  return text.empty() ? "" : "TEXTMORPH: " + text + "\n";
}

void checkAfter(const Sandbox& box, const RunCase& c,
                const Sandbox::Result& result) {
  EXPECT_EQ(result.status, c.exitStatus);
  EXPECT_EQ(result.stderrText, messageLine(box.expand(c.message)));
  expectFilesAfter(c, box.onDisk(), box.prog() / "textmorph");
}

// Nothing but the program and the given files in the program folder.
void expectOnlyInProgramFolder(const Sandbox& box,
                               const std::vector<std::string>& files) {
  RunCase c{};
  for (const std::string& file : files)
    c.before.emplace_back(file, std::string());
  expectFilesAfter(c, box.onDisk(), box.prog() / "textmorph");
}

class SharedRuns : public testing::TestWithParam<RunCase> {};

TEST_P(SharedRuns, BehaveAsTheUserExpects) {
  const RunCase& c = GetParam();
  Sandbox box;
  layOut(c, box.onDisk());
  checkAfter(box, c, box.run(c.args));
  // A folder the case made keeps standing.
  for (const auto& [path, content] : c.before) {
    if (!content) {
      EXPECT_TRUE(fs::is_directory(box.expand(path)));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SharedRuns, testing::ValuesIn(sharedCases()),
    [](const testing::TestParamInfo<RunCase>& info) { return info.param.name; });

const auto kSettings =
    std::make_pair(std::string("{prog}/newString.ini"),
                   std::optional<std::string>(kDefaultSettings));

// Here only '/' separates folders; other bytes are part of the name.
INSTANTIATE_TEST_SUITE_P(
    Posix, SharedRuns,
    testing::Values(
        RunCase{"RelativeArgumentIsReadFromTheCurrentFolder",
                {kSettings, {"{data}/rel.txt", "mobile"}},
                {"data/rel.txt"},
                0,
                "",
                {{"{prog}/rel.txt", "hometown"}}},
        RunCase{"BackslashIsPartOfTheName",
                {kSettings, {"{data}/a\\b.txt", "mobile"}},
                {"{data}/a\\b.txt"},
                0,
                "",
                {{"{prog}/a\\b.txt", "hometown"}}},
        RunCase{"ParentFolderStaysOutOfTheName",
                {kSettings, {"{data}/up.txt", "mobile"}},
                {"prog/../data/up.txt"},
                0,
                "",
                {{"{prog}/up.txt", "hometown"}}}),
    [](const testing::TestParamInfo<RunCase>& info) { return info.param.name; });

TEST(Runs, SettingsThatGrowWithoutEndAreStoppedAtTheCeiling) {
  Sandbox box;
  writeFile(box.prog() / "newString.ini", "New= bbaa\r\nOld= ab\r\n");
  writeFile(box.root() / "data" / "grow.txt", "aab");
  const Sandbox::Result result = box.run({"{data}/grow.txt"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.stderrText,
            messageLine("Error. The replacements keep making the file "
                        "larger; the result would pass 1073741824 bytes."));
  EXPECT_FALSE(fs::exists(box.prog() / "grow.txt"));
  EXPECT_EQ(std::distance(fs::directory_iterator(box.prog()),
                          fs::directory_iterator()),
            2);
}

}  // namespace

namespace {

// Failures of the disk, and runs that race each other.

fs::perms permsOf(const fs::path& path) {
  return fs::status(path).permissions() & fs::perms::mask;
}

TEST(Faults, ExistingOutputKeepsItsPermissionBits) {
  Sandbox box;
  writeFile(box.prog() / "newString.ini", kDefaultSettings);
  writeFile(box.root() / "data" / "letter.txt", "mobile");
  writeFile(box.prog() / "letter.txt", "old");
  fs::permissions(box.prog() / "letter.txt",
                  fs::perms::owner_read | fs::perms::owner_write |
                      fs::perms::group_read);
  ASSERT_EQ(box.run({"{data}/letter.txt"}, "umask 000;").status, 0);
  EXPECT_EQ(readFile(box.prog() / "letter.txt"), "hometown");
  EXPECT_EQ(permsOf(box.prog() / "letter.txt"),
            fs::perms::owner_read | fs::perms::owner_write |
                fs::perms::group_read);
}

TEST(Faults, NewFilesGetTheUsualBitsLessTheUmask) {
  const fs::perms rw_rw_r = fs::perms::owner_read | fs::perms::owner_write |
                            fs::perms::group_read | fs::perms::group_write |
                            fs::perms::others_read;
  const struct {
    const char* umask;
    fs::perms expected;
  } cases[] = {
      {"002", rw_rw_r},
      {"022", rw_rw_r & ~fs::perms::group_write},
      {"077", fs::perms::owner_read | fs::perms::owner_write},
  };
  for (const auto& c : cases) {
    Sandbox box;
    writeFile(box.root() / "data" / "letter.txt", "mobile");
    const std::string setup = std::string("umask ") + c.umask + ";";
    // The first run recreates the settings, the second writes the output.
    ASSERT_EQ(box.run({"{data}/letter.txt"}, setup).status, 0);
    ASSERT_EQ(box.run({"{data}/letter.txt"}, setup).status, 0);
    EXPECT_EQ(permsOf(box.prog() / "newString.ini"), c.expected) << c.umask;
    EXPECT_EQ(permsOf(box.prog() / "letter.txt"), c.expected) << c.umask;
  }
}

// A file-size limit on the run stands in for a full disk: writes past it
// fail, as they would with no space left.
std::string diskFullAfter(int kibibytes) {
  return "ulimit -f " + std::to_string(kibibytes * 2) + "; trap \"\" XFSZ;";
}

TEST(Faults, FullDiskLeavesTheEarlierOutputIntact) {
  Sandbox box;
  writeFile(box.prog() / "newString.ini", kDefaultSettings);
  const std::string big(4 << 20, 'm');
  writeFile(box.root() / "data" / "big.txt", big + "mobile");
  writeFile(box.prog() / "big.txt", "earlier result");
  const Sandbox::Result result = box.run({"{data}/big.txt"}, diskFullAfter(64));
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.stderrText,
            messageLine(kCannotWrite + box.expand("{prog}/big.txt")));
  EXPECT_EQ(readFile(box.prog() / "big.txt"), "earlier result");
  expectOnlyInProgramFolder(box, {"{prog}/newString.ini", "{prog}/big.txt"});
}

TEST(Faults, FullDiskLeavesAFileDroppedFromTheProgramFolderWhole) {
  for (const char* settings : {"New= hometown\r\nOld= mobile\r\n",  // streamed
                               "New= \r\nOld= ab\r\n"}) {           // kept whole
    Sandbox box;
    writeFile(box.prog() / "newString.ini", settings);
    std::string content;
    for (int i = 0; i < 100000; ++i)
      content += "a mobile ab line\r\n";
    writeFile(box.prog() / "own.txt", content);
    const Sandbox::Result result =
        box.run({"{prog}/own.txt"}, diskFullAfter(64));
    EXPECT_EQ(result.status, 1) << settings;
    EXPECT_EQ(result.stderrText,
              messageLine(kCannotWrite + box.expand("{prog}/own.txt")));
    EXPECT_EQ(readFile(box.prog() / "own.txt"), content) << settings;
    expectOnlyInProgramFolder(box, {"{prog}/newString.ini", "{prog}/own.txt"});
  }
}

TEST(Faults, SettingsThatCannotBeRecreatedAreReported) {
  Sandbox box;
  writeFile(box.root() / "data" / "letter.txt", "mobile");
  const Sandbox::Result result =
      box.run({"{data}/letter.txt"}, "ulimit -f 0; trap \"\" XFSZ;");
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.stderrText,
            messageLine(kNotRecreated + box.expand("{prog}/newString.ini")));
  EXPECT_FALSE(fs::exists(box.prog() / "newString.ini"));
  expectOnlyInProgramFolder(box, {});
}

TEST(Faults, RunsAtOnceOnTheSameNameEachLeaveAWholeResult) {
  Sandbox box;
  writeFile(box.prog() / "newString.ini", kDefaultSettings);
  const int kRuns = 8;
  std::set<std::string> results;
  std::string command = "cd " + shellQuote(box.root().string()) + " && (";
  for (int i = 0; i < kRuns; ++i) {
    // Same base name, different content, so the winner can be told apart.
    const fs::path folder = box.root() / "data" / std::to_string(i);
    fs::create_directory(folder);
    std::string content;
    for (int line = 0; line < 20000; ++line)
      content += std::to_string(i) + " mobile\n";
    writeFile(folder / "same.txt", content);
    results.insert(replaceAll(content, "mobile", "hometown"));
    command += " (prog/textmorph " + shellQuote((folder / "same.txt").string()) +
               "; echo $? > status" + std::to_string(i) + ") &";
  }
  command += " wait)";
  ASSERT_EQ(std::system(command.c_str()), 0);
  for (int i = 0; i < kRuns; ++i)
    EXPECT_EQ(readFile(box.root() / ("status" + std::to_string(i))), "0\n");
  EXPECT_EQ(results.count(readFile(box.prog() / "same.txt")), 1u);
  expectOnlyInProgramFolder(box, {"{prog}/newString.ini", "{prog}/same.txt"});
}

// Odd but lawful settings, end to end.
TEST(Faults, LargeAndOddSettings) {
  const std::string bigSearch = std::string(4 << 20, 's') + "!";
  const std::string bigReplacement(4 << 20, 'r');
  const struct {
    const char* name;
    std::string settings, input, expected;
  } cases[] = {
      {"FourMebibyteSearchText", "New= x\r\nOld= " + bigSearch + "\r\n",
       "<" + bigSearch + ">" + bigSearch, "<x>x"},
      {"FourMebibyteReplacement", "New= " + bigReplacement + "\r\nOld= m\r\n",
       "amb", "a" + bigReplacement + "b"},
      {"FileOfOnlyLineEnds", "New= \r\nOld= \r\r\n", "\r\n\r\n\n\r\r\n",
       "\n\n\n\n"},
  };
  for (const auto& c : cases) {
    Sandbox box;
    writeFile(box.prog() / "newString.ini", c.settings);
    writeFile(box.root() / "data" / "in.txt", c.input);
    const Sandbox::Result result = box.run({"{data}/in.txt"});
    EXPECT_EQ(result.status, 0) << c.name << ": " << result.stderrText;
    EXPECT_EQ(readFile(box.prog() / "in.txt"), c.expected) << c.name;
  }
}

}  // namespace

namespace {

TEST(Runs, ALongProgramPathIsUsedWhole) {
  Sandbox box;
  fs::path deep = box.root();
  for (int i = 0; i < 12; ++i)
    deep /= std::string(40, static_cast<char>('a' + i));
  fs::create_directories(deep);
  ASSERT_GT(deep.string().size(), 400u);
  fs::copy_file(box.prog() / "textmorph", deep / "textmorph");
  writeFile(deep / "newString.ini", kDefaultSettings);
  writeFile(box.root() / "data" / "letter.txt", "mobile");
  const std::string command = shellQuote((deep / "textmorph").string()) + " " +
                              shellQuote((box.root() / "data" / "letter.txt").string());
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(readFile(deep / "letter.txt"), "hometown");
}

}  // namespace

namespace {

// A file that would land on the program itself, dropped from its own folder
// or named like it, is refused: the program stays as it was.
TEST(Runs, TheProgramNeverWritesOverItself) {
  for (const char* dropped : {"{prog}/textmorph", "{data}/textmorph"}) {
    Sandbox box;
    writeFile(box.prog() / "newString.ini", "New= x\r\nOld= E\r\n");
    writeFile(box.root() / "data" / "textmorph", "a file named E");
    const std::string before = readFile(box.prog() / "textmorph");
    const Sandbox::Result result = box.run({dropped});
    EXPECT_EQ(result.status, 1) << dropped;
    EXPECT_EQ(result.stderrText,
              messageLine(kCannotWrite + box.expand("{prog}/textmorph")));
    EXPECT_TRUE(readFile(box.prog() / "textmorph") == before) << dropped;
    expectOnlyInProgramFolder(box, {"{prog}/newString.ini"});
  }
}

}  // namespace
