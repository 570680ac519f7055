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

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string replaceAll(std::string text, const std::string& from,
                       const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos;
       at += to.size())
    text.replace(at, from.size(), to);
  return text;
}

std::string shellQuote(const std::string& word) {
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

  struct Result {
    int status;
    std::string stderrText;
  };

  // Runs the program from the sandbox's root; shellSetup goes before it in
  // the same shell (limits, umask).
  Result run(const std::vector<std::string>& args,
             const std::string& shellSetup = "") const {
    std::string command = "(cd ";
    command.append(shellQuote(root_.string()));
    command.append(" && ").append(shellSetup).append(" ");
    command.append(shellQuote((root_ / "prog" / "textmorph").string()));
    for (const std::string& arg : args)
      command.append(" ").append(shellQuote(expand(arg)));
    command.append(" 2>").append(shellQuote((root_ / "stderr").string()));
    command.append("; echo $? >").append(shellQuote((root_ / "status").string()));
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

// Every file in the program folder is the program or one the case knows.
void expectNoStrayFiles(const Sandbox& box, const RunCase& c) {
  std::set<fs::path> known = {box.prog() / "textmorph"};
  for (const auto& [path, content] : c.before)
    known.insert(box.expand(path));
  for (const auto& [path, content] : c.after) {
    if (content)
      known.insert(box.expand(path));
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(box.prog()))
    EXPECT_TRUE(known.count(entry.path()))
        << "unexpected file left behind: " << entry.path();
}

void layOut(const Sandbox& box, const RunCase& c) {
  for (const auto& [path, content] : c.before) {
    if (content)
      writeFile(box.expand(path), *content);
    else
      fs::create_directory(box.expand(path));
  }
}

void checkAfter(const Sandbox& box, const RunCase& c,
                const Sandbox::Result& result) {
  EXPECT_EQ(result.status, c.exitStatus);
  EXPECT_EQ(result.stderrText, messageLine(box.expand(c.message)));
  for (const auto& [path, content] : c.after) {
    const fs::path file = box.expand(path);
    if (!content) {
      EXPECT_FALSE(fs::exists(file)) << file;
    } else {
      EXPECT_TRUE(fs::is_regular_file(file)) << file;
      EXPECT_EQ(readFile(file), *content) << file;
    }
  }
  expectNoStrayFiles(box, c);
}

class SharedRuns : public testing::TestWithParam<RunCase> {};

TEST_P(SharedRuns, BehaveAsTheUserExpects) {
  const RunCase& c = GetParam();
  Sandbox box;
  layOut(box, c);
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
