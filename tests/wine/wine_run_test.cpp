// textmorph.exe under Wine, run as Explorer runs it: copied into a program
// folder of its own inside the Wine prefix, started by the test driver with
// a dropped file's command line, and judged by the windows it shows, its exit
// status and what it leaves on disk. The prefix and display come from the
// wine_setup test (wine-env).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../run_cases.h"

namespace fs = std::filesystem;
using namespace run_cases;
using namespace std::string_literals;

namespace {

// What wine-env setup left for the tests: KEY='value' lines.
struct WineEnv {
  bool available = false;
  std::string why;  // when not available
  std::string wine, prefix, display;
};

const WineEnv& wineEnv() {
  static const WineEnv env = [] {
    WineEnv e;
    const fs::path state = TEXTMORPH_WINE_STATE;
    if (fs::exists(state / "unavailable")) {
      e.why = "the Wine tests need " + readFile(state / "unavailable");
      return e;
    }
    std::istringstream lines(readFile(state / "env"));
    for (std::string line; std::getline(lines, line);) {
      const size_t equals = line.find('=');
      if (equals == std::string::npos)
        continue;
      std::string value = line.substr(equals + 1);
      if (value.size() >= 2 && value.front() == '\'')
        value = value.substr(1, value.size() - 2);
      const std::string key = line.substr(0, equals);
      if (key == "WINE")
        e.wine = value;
      if (key == "WINEPREFIX")
        e.prefix = value;
      if (key == "DISPLAY")
        e.display = value;
    }
    e.available = !e.wine.empty() && !e.prefix.empty() && !e.display.empty();
    if (!e.available)
      e.why = "no Wine prefix: run the wine_setup test first (ctest does)";
    return e;
  }();
  return env;
}

#define REQUIRE_WINE()               \
  do {                               \
    if (!wineEnv().available)        \
      GTEST_SKIP() << wineEnv().why; \
  } while (0)

}  // namespace


namespace {

// One window as the driver saw it.
struct Window {
  std::string caption, className;
  std::vector<std::string> texts;
  std::vector<std::string> buttons;  // "id label"
  bool icon = false;
  bool pressedOk = false;
};

struct Report {
  std::vector<Window> windows;
  std::optional<int> exitStatus;
  std::vector<std::string> errors;
  std::string raw;
};

std::string unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      out.push_back(
          static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

Report parseReport(const std::string& raw) {
  Report report;
  report.raw = raw;
  std::istringstream lines(raw);
  Window* window = nullptr;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::string value =
        space == std::string::npos ? "" : unescape(line.substr(space + 1));
    if (key == "window") {
      report.windows.emplace_back();
      window = &report.windows.back();
    } else if (key == "end") {
      window = nullptr;
    } else if (key == "exit") {
      report.exitStatus = std::stoi(value);
    } else if (key == "error") {
      report.errors.push_back(value);
    } else if (window && key == "caption") {
      window->caption = value;
    } else if (window && key == "class") {
      window->className = value;
    } else if (window && key == "text") {
      window->texts.push_back(value);
    } else if (window && key == "button") {
      window->buttons.push_back(value);
    } else if (window && key == "icon") {
      window->icon = value == "1";
    } else if (window && key == "pressed") {
      window->pressedOk = value == "1";
    }
  }
  return report;
}

// A shell command that runs a Windows program under Wine. Wine's own
// messages go to log: the system processes Wine starts keep the standard
// error they were given, and would hold a pipe open long after the test.
std::string wineCommand(const std::vector<std::string>& args,
                        const fs::path& log) {
  const WineEnv& env = wineEnv();
  std::string command =
      "env WINEPREFIX=" + shellQuote(env.prefix) +
      " DISPLAY=" + shellQuote(env.display) +
      " WINEDEBUG=-all"
      " WINEDLLOVERRIDES='mscoree,mshtml=;winemenubuilder.exe=d' " +
      shellQuote(env.wine);
  for (const std::string& arg : args)
    command += " " + shellQuote(arg);
  return command + " </dev/null 2>>" + shellQuote(log.string());
}

FILE* startDriver(const std::vector<std::string>& args, const fs::path& log) {
  std::vector<std::string> command = {TEXTMORPH_WINE_DRIVER};
  command.insert(command.end(), args.begin(), args.end());
  return popen(wineCommand(command, log).c_str(), "r");
}

// Reads the driver's report to its end.
Report finishDriver(FILE* driver, const fs::path& log) {
  std::string out;
  if (!driver) {
    ADD_FAILURE() << "cannot start the driver";
    return Report();
  }
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, driver)) > 0;)
    out.append(chunk, got);
  const int status = pclose(driver);
  EXPECT_EQ(status, 0) << "the driver failed:\n"
                       << out << "Wine said:\n"
                       << readFile(log);
  return parseReport(out);
}

Report runDriver(const std::vector<std::string>& args, const fs::path& log) {
  return finishDriver(startDriver(args, log), log);
}

// The box every message of the program is: caption TEXTMORPH, the text, one
// OK button, no icon.
void expectMessageBox(const Window& window, const std::string& text) {
  EXPECT_EQ(window.caption, "TEXTMORPH");
  EXPECT_EQ(window.className, "#32770") << "not a message box";
  EXPECT_EQ(window.texts, std::vector<std::string>{text});
  EXPECT_EQ(window.buttons, std::vector<std::string>{"1 OK"});
  EXPECT_FALSE(window.icon);
  EXPECT_TRUE(window.pressedOk);
}

// A run as a Windows user starts it, and what it left.
struct WindowsCase {
  RunCase run;
  // After the program's own quoted path; nullptr: run.args, each quoted as
  // Explorer quotes a dropped file.
  const char* commandLine = nullptr;
  const char* directory = "";              // current folder; "" is the case's
  std::vector<std::string> locks = {};     // held open with no sharing
  std::vector<std::string> readOnly = {};  // given the read-only attribute
  const char* programFolder = "prog";      // where {prog}/ is
  // Started as Wine's first process, with the driver watching its windows:
  // Wine's CreateProcess refuses programs past 260 characters.
  bool startedByWine = false;
};

// A case's folder inside the prefix, C:\t\NAME, seen from both sides.
class CaseFolder {
 public:
  CaseFolder(const std::string& name, const std::string& programFolder)
      : name_(name), programFolder_(programFolder) {
    root_ = fs::path(wineEnv().prefix) / "drive_c" / "t" / name;
    fs::remove_all(root_);
    fs::create_directories(root_ / programFolder);
    fs::create_directories(root_ / "data");
    fs::copy_file(TEXTMORPH_WINDOWS_EXE,
                  root_ / programFolder / "textmorph.exe");
  }

  const fs::path& root() const { return root_; }
  fs::path prog() const { return root_ / programFolder_; }
  std::string windowsRoot() const { return "C:\\t\\" + name_; }
  std::string windowsProgram() const {
    return windowsRoot() + "\\" + replaceAll(programFolder_, "/", "\\") +
           "\\textmorph.exe";
  }

  // Placeholders to this system's paths, where the files are laid out.
  fs::path unixPath(const std::string& text) const {
    return replaceAll(replaceAll(text, "{prog}/", prog().string() + "/"),
                      "{data}/", (root_ / "data").string() + "/");
  }

  // Placeholders to the paths the program sees. {data-slashes}/ is the data
  // folder written with forward slashes.
  std::string windowsText(const std::string& text) const {
    const std::string prog =
        windowsRoot() + "\\" + replaceAll(programFolder_, "/", "\\") + "\\";
    std::string out = replaceAll(text, "{prog}/", prog);
    out = replaceAll(out, "{data}/", windowsRoot() + "\\data\\");
    return replaceAll(out, "{data-slashes}/",
                      replaceAll(windowsRoot(), "\\", "/") + "/data/");
  }

 private:
  std::string name_, programFolder_;
  fs::path root_;
};

// An argument as Explorer passes a dropped file: in double quotes.
std::string quoted(const std::string& arg) {
  return "\"" + arg + "\"";
}

Report runStartedByWine(const CaseFolder& folder, const WindowsCase& c) {
  const fs::path log = folder.root() / "wine.log";
  writeFile(folder.root() / "job.txt", "watch " + folder.windowsProgram() +
                                           "\nuntil " + folder.windowsRoot() +
                                           "\\stop\n");
  FILE* driver = startDriver({folder.windowsRoot() + "\\job.txt"}, log);
  std::vector<std::string> command = {
      (folder.prog() / "textmorph.exe").string()};
  for (const std::string& arg : c.run.args)
    command.push_back(folder.windowsText(arg));
  const int status =
      std::system(("cd " + shellQuote(folder.root().string()) + " && " +
                   wineCommand(command, log) + " >/dev/null")
                      .c_str());
  writeFile(folder.root() / "stop", "");
  Report report = finishDriver(driver, log);
  if (WIFEXITED(status))
    report.exitStatus = WEXITSTATUS(status);
  return report;
}

Report runCase(const CaseFolder& folder, const WindowsCase& c) {
  if (c.startedByWine)
    return runStartedByWine(folder, c);
  std::string command = quoted(folder.windowsProgram());
  if (c.commandLine) {
    if (*c.commandLine)
      command += " " + folder.windowsText(c.commandLine);
  } else {
    for (const std::string& arg : c.run.args)
      command += " " + quoted(folder.windowsText(arg));
  }
  std::string job =
      "program " + folder.windowsProgram() + "\n" + "command " + command +
      "\n" + "directory " +
      (*c.directory ? folder.windowsText(c.directory) : folder.windowsRoot()) +
      "\n";
  for (const std::string& lock : c.locks)
    job += "lock " + folder.windowsText(lock) + "\n";
  writeFile(folder.root() / "job.txt", job);
  return runDriver({folder.windowsRoot() + "\\job.txt"},
                   folder.root() / "wine.log");
}

PathOnDisk onDisk(const CaseFolder& folder) {
  return [&folder](const std::string& path) { return folder.unixPath(path); };
}

void layOut(const CaseFolder& folder, const WindowsCase& c) {
  run_cases::layOut(c.run, onDisk(folder));
  // Wine shows a file without write permission as read-only.
  for (const std::string& path : c.readOnly)
    fs::permissions(folder.unixPath(path),
                    fs::perms::owner_write | fs::perms::group_write |
                        fs::perms::others_write,
                    fs::perm_options::remove);
}

void checkAfter(const CaseFolder& folder, const WindowsCase& c,
                const Report& report) {
  const RunCase& run = c.run;
  EXPECT_TRUE(report.errors.empty()) << report.raw;
  ASSERT_TRUE(report.exitStatus.has_value()) << report.raw;
  EXPECT_EQ(*report.exitStatus, run.exitStatus) << report.raw;
  if (run.message.empty()) {
    EXPECT_TRUE(report.windows.empty()) << "no window expected:\n"
                                        << report.raw;
  } else {
    ASSERT_EQ(report.windows.size(), 1u) << report.raw;
    expectMessageBox(report.windows[0], folder.windowsText(run.message));
  }
  expectFilesAfter(run, onDisk(folder), folder.prog() / "textmorph.exe");
}

void runAndCheck(const std::string& name, const WindowsCase& c) {
  REQUIRE_WINE();
  const CaseFolder folder(name, c.programFolder);
  layOut(folder, c);
  checkAfter(folder, c, runCase(folder, c));
}

std::string caseName(const testing::TestParamInfo<RunCase>& info) {
  return info.param.name;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with any extension, name devices
// on Windows: no user has such a file to drop.
bool namesADevice(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  name = name.substr(0, name.find('.'));
  for (char& c : name)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (name == "CON" || name == "PRN" || name == "AUX" || name == "NUL")
    return true;
  return name.size() == 4 &&
         (name.rfind("COM", 0) == 0 || name.rfind("LPT", 0) == 0) &&
         name[3] >= '1' && name[3] <= '9';
}

class SharedRunsOnWindows : public testing::TestWithParam<RunCase> {};

TEST_P(SharedRunsOnWindows, BehaveAsTheUserExpects) {
  WindowsCase c;
  c.run = GetParam();
  for (const auto& [path, content] : c.run.before)
    if (namesADevice(path))
      GTEST_SKIP() << path << " names a device on Windows, not a file";
  runAndCheck("shared-"s + c.run.name, c);
}

INSTANTIATE_TEST_SUITE_P(Table, SharedRunsOnWindows,
                         testing::ValuesIn(sharedCases()), caseName);

// What only Windows users meet: Explorer's quoting, the C runtime's wildcard
// expansion, names outside the ANSI code page, both kinds of slash, drive
// letters, and files other programs hold open.
// Folders deep enough that the program's own path passes 260 bytes, and a
// cut one would lose folder names, not just the file name.
const char kLongFolder[] =
    "folder-of-a-long-name-012345678901234567890123456789012345678901234567"
    "890123456789012345678901234567890123456789/and-another-one-0123456789"
    "01234567890123456789012345678901234567890123456789012345678901234567890"
    "/and-a-third";

std::vector<WindowsCase> windowsCases() {
  const auto settings = std::make_pair(
      "{prog}/newString.ini"s, std::optional<std::string>(kDefaultSettings));
  const auto letter = std::make_pair("{data}/letter.txt"s,
                                     std::optional<std::string>("a mobile"));
  const std::optional<std::string> absent;
  const std::optional<std::string> processed = "a hometown"s;
  const std::vector<std::string> dropLetter = {"{data}/letter.txt"};
  return {
      {.run = {"SpacesInThePath",
               {settings, {"{data}/my letters/letter one.txt", "a mobile"}},
               {},
               0,
               "",
               {{"{prog}/letter one.txt", processed},
                {"{data}/my letters/letter one.txt", "a mobile"}}},
       .commandLine = "\"{data}/my letters\\letter one.txt\""},
      {.run = {"WildcardIsExpandedToTheMatchingFile",
               {settings, letter, {"{data}/other.txt", "a mobile"}},
               {},
               0,
               "",
               {{"{prog}/letter.txt", processed},
                {"{prog}/other.txt", absent},
                letter}},
       .commandLine = "{data}/l?tt*.txt"},
      {.run = {"WildcardMatchingNothingStaysAsWritten",
               {settings, letter},
               {},
               1,
               kCannotRead + "{data}/none*.txt",
               {letter}},
       .commandLine = "{data}/none*.txt"},
      {.run = {"JapaneseFileName",
               {settings, {"{data}/日本語のメモ.txt", "a mobile"}},
               {"{data}/日本語のメモ.txt"},
               0,
               "",
               {{"{prog}/日本語のメモ.txt", processed},
                {"{data}/日本語のメモ.txt", "a mobile"}}}},
      {.run = {"JapaneseProgramFolder",
               {settings, letter},
               dropLetter,
               0,
               "",
               {{"{prog}/letter.txt", processed}, letter}},
       .programFolder = "道具"},
      {.run = {"ForwardSlashesSeparateFolders",
               {settings, letter},
               {},
               0,
               "",
               {{"{prog}/letter.txt", processed}, letter}},
       .commandLine = "{data-slashes}/letter.txt"},
      {.run = {"ParentFolderStaysOutOfTheName",
               {settings, {"{data}/up.txt", "a mobile"}},
               {},
               0,
               "",
               {{"{prog}/up.txt", processed}}},
       .commandLine = "\"{prog}/..\\data\\up.txt\""},
      {.run = {"RelativeNameIsReadFromTheCurrentFolder",
               {settings, letter},
               {},
               0,
               "",
               {{"{prog}/letter.txt", processed}, letter}},
       .commandLine = "letter.txt",
       .directory = "{data}/"},
      // C:letter.txt is letter.txt in drive C's current folder.
      {.run = {"DriveRelativeNameKeepsOnlyTheFileName",
               {settings, letter},
               {},
               0,
               "",
               {{"{prog}/letter.txt", processed}, letter}},
       .commandLine = "C:letter.txt",
       .directory = "{data}/"},
      {.run = {"DeviceNameIsNoFile",
               {settings},
               {},
               1,
               kCannotRead + "NUL",
               {{"{prog}/NUL", absent}}},
       .commandLine = "NUL"},
      {.run = {"OutputHeldOpenByAnotherProgram",
               {settings, letter, {"{prog}/letter.txt", "an older result"}},
               dropLetter,
               1,
               kCannotWrite + "{prog}/letter.txt",
               {{"{prog}/letter.txt", "an older result"}, letter}},
       .locks = {"{prog}/letter.txt"}},
      {.run = {"InputHeldOpenByAnotherProgram",
               {settings, letter},
               dropLetter,
               1,
               kCannotRead + "{data}/letter.txt",
               {{"{prog}/letter.txt", absent}, letter}},
       .locks = {"{data}/letter.txt"}},
      {.run = {"SettingsHeldOpenAreNotRecreated",
               {{"{prog}/newString.ini", "New= x\r\nOld= a\r\n"}, letter},
               dropLetter,
               1,
               kSettingsUnreadable + "{prog}/newString.ini",
               {{"{prog}/newString.ini", "New= x\r\nOld= a\r\n"},
                {"{prog}/letter.txt", absent}}},
       .locks = {"{prog}/newString.ini"}},
      {.run = {"ReadOnlyOutputIsLeftAlone",
               {settings, letter, {"{prog}/letter.txt", "an older result"}},
               dropLetter,
               1,
               kCannotWrite + "{prog}/letter.txt",
               {{"{prog}/letter.txt", "an older result"}, letter}},
       .readOnly = {"{prog}/letter.txt"}},
      {.run = {"ProgramPathLongerThan260Bytes",
               {settings, letter},
               dropLetter,
               0,
               "",
               {{"{prog}/letter.txt", processed}, letter}},
       .programFolder = kLongFolder,
       .startedByWine = true},
      {.run = {"SettingsRecreatedBesideALongProgramPath",
               {letter},
               dropLetter,
               0,
               kRecreated,
               {settings, {"{prog}/letter.txt", absent}, letter}},
       .programFolder = kLongFolder,
       .startedByWine = true},
  };
}

void PrintTo(const WindowsCase& c, std::ostream* out) {
  *out << c.run.name;
}

class WindowsRuns : public testing::TestWithParam<WindowsCase> {};

TEST_P(WindowsRuns, BehaveAsTheUserExpects) {
  runAndCheck("win-"s + GetParam().run.name, GetParam());
}

INSTANTIATE_TEST_SUITE_P(Windows, WindowsRuns,
                         testing::ValuesIn(windowsCases()),
                         [](const testing::TestParamInfo<WindowsCase>& info) {
                           return info.param.run.name;
                         });

// The driver tells a box with an icon and two buttons from the program's:
// without this, "no icon, one button" could hold for a driver that sees
// neither.
TEST(Driver, SeesIconsAndEveryButton) {
  REQUIRE_WINE();
  const CaseFolder folder("driver", "prog");
  fs::copy_file(TEXTMORPH_WINE_DRIVER, folder.root() / "driver.exe");
  writeFile(folder.root() / "job.txt", "program " + folder.windowsRoot() +
                                           "\\driver.exe\n" +
                                           "command driver.exe --show-box\n");
  const Report report = runDriver({folder.windowsRoot() + "\\job.txt"},
                                  folder.root() / "wine.log");
  ASSERT_EQ(report.windows.size(), 1u) << report.raw;
  const Window& box = report.windows[0];
  EXPECT_EQ(box.caption, "DRIVER");
  EXPECT_EQ(box.texts,
            std::vector<std::string>{"A box for the driver to read."});
  EXPECT_EQ(box.buttons, (std::vector<std::string>{"1 OK", "2 Cancel"}));
  EXPECT_TRUE(box.icon);
  // 3 is what the box's program returns when OK was the button pressed.
  EXPECT_EQ(report.exitStatus, std::optional<int>(3)) << report.raw;
}

// Copied alone into a folder, it runs: it needs no DLL but the system's.
TEST(Executable, NeedsOnlySystemLibraries) {
  FILE* pipe = popen((shellQuote(TEXTMORPH_OBJDUMP) + " -p " +
                      shellQuote(TEXTMORPH_WINDOWS_EXE))
                         .c_str(),
                     "r");
  ASSERT_TRUE(pipe);
  std::string out;
  char chunk[4096];
  for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;)
    out.append(chunk, got);
  ASSERT_EQ(pclose(pipe), 0);
  std::set<std::string> dlls;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t at = line.find("DLL Name: ");
    if (at != std::string::npos)
      dlls.insert(line.substr(at + 10));
  }
  EXPECT_EQ(dlls, (std::set<std::string>{"KERNEL32.dll", "USER32.dll",
                                         "msvcrt.dll"}));
}

// What Explorer shows of the file: its icon and version.
TEST(Executable, CarriesAnIconAndItsVersion) {
  REQUIRE_WINE();
  const Report report = runDriver(
      {"--describe", "Z:" + replaceAll(TEXTMORPH_WINDOWS_EXE, "/", "\\")},
      fs::path(TEXTMORPH_WINE_STATE) / "describe.log");
  EXPECT_NE(report.raw.find("icons 1\n"), std::string::npos) << report.raw;
  EXPECT_NE(report.raw.find("version " TEXTMORPH_VERSION "\n"),
            std::string::npos)
      << report.raw;
}

}  // namespace
