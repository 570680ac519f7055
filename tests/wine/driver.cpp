// The test driver: a Windows program that runs textmorph.exe as Explorer
// would, and reports every window it shows, as a user would see it.
//
//   driver.exe JOBFILE    runs the job, prints the report to standard output
//   driver.exe --show-box shows a box with an icon and two buttons; the
//                         tests run this to show the report can see them
//   driver.exe --describe EXE
//                         prints "icons N" and "version V" from the
//                         resources of EXE, as Explorer shows them
//
// The job file is UTF-8, one "key value" line each:
//   program C:\tools\textmorph.exe       the program to start
//   command "C:\tools\textmorph.exe" x   its whole command line, as written
//   directory C:\data                    its current folder
//   lock C:\tools\x.txt                  held open with no sharing meanwhile
// or, for a program started some other way:
//   watch C:\tools\textmorph.exe         answers the windows of every process
//                                        of that program...
//   until C:\t\stop                      ...until this file exists
//
// Each visible top-level window of the process is reported, then closed by
// pressing its OK button:
//   window
//   caption TEXTMORPH
//   class #32770
//   text Error. ...            one line for each static control with text
//   icon 0                     1 when an icon static shows an icon
//   button 1 OK                one line for each visible button: id, label
//   pressed 1
//   end
// and last "exit N", the program's exit status. Bytes below 0x20, 0x7F and
// '%' are written as %HH. Problems of the driver itself are "error ..." lines
// and exit status 2.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// How long a run may take before the driver gives up on it. Only a hung
// program ever reaches it.
constexpr ULONGLONG kGiveUpMs = 60000;

std::string utf8(const std::wstring& text) {
  if (text.empty())
    return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                       static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      out.data(), size, nullptr, nullptr);
  return out;
}

std::wstring wide(const std::string& text) {
  if (text.empty())
    return std::wstring();
  const int size = MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                      out.data(), size);
  return out;
}

std::string escaped(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f || c == '%') {
      char code[4];
      std::snprintf(code, sizeof code, "%%%02X", c);
      out += code;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

// Written straight to the handle: no text-mode translation, no buffering
// that a crash could swallow.
void say(const std::string& line) {
  const std::string bytes = line + "\n";
  DWORD wrote;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(),
            static_cast<DWORD>(bytes.size()), &wrote, nullptr);
}

int fail(const std::string& what) {
  say("error " + escaped(what) + " (Windows error " +
      std::to_string(GetLastError()) + ")");
  return 2;
}

std::wstring windowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1,
                    L'\0');
  text.resize(static_cast<size_t>(
      GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::wstring className(HWND window) {
  wchar_t name[256];
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<size_t>(length > 0 ? length : 0));
}

struct Job {
  std::wstring program, command, directory;
  std::vector<std::wstring> locks;
  std::wstring watch, until;
};

bool readJob(const wchar_t* path, Job* job) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  std::string bytes;
  char chunk[4096];
  DWORD got;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
    bytes.append(chunk, got);
  CloseHandle(file);
  size_t at = 0;
  while (at < bytes.size()) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos)
      end = bytes.size();
    const std::string line = bytes.substr(at, end - at);
    at = end + 1;
    const size_t space = line.find(' ');
    const std::string key = line.substr(0, space);
    const std::wstring value = space == std::string::npos
                                   ? std::wstring()
                                   : wide(line.substr(space + 1));
    if (key == "program")
      job->program = value;
    else if (key == "command")
      job->command = value;
    else if (key == "directory")
      job->directory = value;
    else if (key == "lock")
      job->locks.push_back(value);
    else if (key == "watch")
      job->watch = value;
    else if (key == "until")
      job->until = value;
    else if (!key.empty())
      return false;
  }
  return !job->program.empty() || (!job->watch.empty() && !job->until.empty());
}

// The program a process runs, without the long-path prefix.
std::wstring imageOf(DWORD process) {
  const HANDLE handle =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  if (!handle)
    return std::wstring();
  std::wstring image(32768, L'\0');
  DWORD size = static_cast<DWORD>(image.size());
  if (!QueryFullProcessImageNameW(handle, 0, image.data(), &size))
    size = 0;
  CloseHandle(handle);
  image.resize(size);
  if (image.rfind(L"\\\\?\\", 0) == 0)
    image.erase(0, 4);
  return image;
}

// Windows of one process, or of every process running one program.
struct Search {
  DWORD process;
  std::wstring image;
  std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM data) {
  Search* search = reinterpret_cast<Search*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  // Hidden ones, such as the input method's, are nothing a user sees.
  if (!IsWindowVisible(window))
    return TRUE;
  if (search->image.empty()
          ? owner == search->process
          : lstrcmpiW(imageOf(owner).c_str(), search->image.c_str()) == 0)
    search->found.push_back(window);
  return TRUE;
}

BOOL CALLBACK collectChild(HWND window, LPARAM data) {
  reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
  return TRUE;
}

// Reports one window and presses its OK button (or closes it when it has
// none, so that the run can go on).
void answer(HWND window) {
  say("window");
  say("caption " + escaped(utf8(windowText(window))));
  say("class " + escaped(utf8(className(window))));
  std::vector<HWND> children;
  EnumChildWindows(window, collectChild, reinterpret_cast<LPARAM>(&children));
  bool icon = false;
  HWND ok = nullptr;
  for (HWND child : children) {
    if (!IsWindowVisible(child))
      continue;
    const std::wstring kind = className(child);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    if (lstrcmpiW(kind.c_str(), L"Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        if (SendMessageW(child, STM_GETICON, 0, 0) != 0)
          icon = true;
      } else if (!windowText(child).empty()) {
        say("text " + escaped(utf8(windowText(child))));
      }
    } else if (lstrcmpiW(kind.c_str(), L"Button") == 0) {
      const int id = GetDlgCtrlID(child);
      say("button " + std::to_string(id) + " " +
          escaped(utf8(windowText(child))));
      if (id == IDOK)
        ok = child;
    }
  }
  say(std::string("icon ") + (icon ? "1" : "0"));
  if (ok) {
    say("pressed " + std::to_string(IDOK));
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(ok));
  } else {
    say("closed");
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  say("end");
}

// Answers every window found, one at a time.
void answerAll(Search search, ULONGLONG giveUp) {
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
  for (HWND window : search.found) {
    answer(window);
    // Gone before the next look, so that a later window that gets the same
    // handle counts as a new one.
    while (IsWindow(window) && GetTickCount64() < giveUp)
      Sleep(10);
  }
}

int runJob(const Job& job) {
  std::vector<HANDLE> locks;
  for (const std::wstring& path : job.locks) {
    const HANDLE lock = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (lock == INVALID_HANDLE_VALUE)
      return fail("cannot lock " + utf8(path));
    say("locked " + escaped(utf8(path)));
    locks.push_back(lock);
  }

  std::wstring command = job.command;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(job.program.c_str(), command.data(), nullptr, nullptr, FALSE,
                      0, nullptr,
                      job.directory.empty() ? nullptr : job.directory.c_str(),
                      &startup, &process))
    return fail("cannot start " + utf8(job.program));
  CloseHandle(process.hThread);
  say("started");

  const ULONGLONG giveUp = GetTickCount64() + kGiveUpMs;
  bool exited = false;
  while (!exited && GetTickCount64() < giveUp) {
    exited = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
    answerAll(Search{process.dwProcessId, {}, {}}, giveUp);
  }
  if (!exited) {
    TerminateProcess(process.hProcess, 3);
    CloseHandle(process.hProcess);
    say("error the program did not end");
    return 2;
  }
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  for (HANDLE lock : locks)
    CloseHandle(lock);
  say("exit " + std::to_string(status));
  return 0;
}

}  // namespace

int watchJob(const Job& job) {
  say("watching");
  const ULONGLONG giveUp = GetTickCount64() + kGiveUpMs;
  while (GetTickCount64() < giveUp) {
    if (GetFileAttributesW(job.until.c_str()) != INVALID_FILE_ATTRIBUTES) {
      say("stopped");
      return 0;
    }
    answerAll(Search{0, job.watch, {}}, giveUp);
    Sleep(20);
  }
  say("error nothing told the driver to stop");
  return 2;
}

int describe(const wchar_t* path) {
  const HMODULE module = LoadLibraryExW(
      path, nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module)
    return fail("cannot load " + utf8(path));
  int icons = 0;
  EnumResourceNamesW(
      module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */,
      [](HMODULE, LPCWSTR, LPWSTR, LONG_PTR count) -> BOOL {
        ++*reinterpret_cast<int*>(count);
        return TRUE;
      },
      reinterpret_cast<LONG_PTR>(&icons));
  FreeLibrary(module);
  say("icons " + std::to_string(icons));

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  std::vector<char> info(size);
  wchar_t* version = nullptr;
  UINT length = 0;
  if (size > 0 && GetFileVersionInfoW(path, 0, size, info.data()) &&
      VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\FileVersion",
                     reinterpret_cast<void**>(&version), &length) &&
      length > 0)
    say("version " + escaped(utf8(std::wstring(version, length - 1))));
  else
    say("version none");
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && lstrcmpW(argv[1], L"--describe") == 0)
    return describe(argv[2]);
  if (argc == 2 && lstrcmpW(argv[1], L"--show-box") == 0) {
    const int pressed = MessageBoxW(nullptr, L"A box for the driver to read.",
                                    L"DRIVER", MB_OKCANCEL | MB_ICONERROR);
    return pressed == IDOK ? 3 : 4;
  }
  if (argc != 2) {
    say("error usage: driver.exe JOBFILE | --show-box");
    return 2;
  }
  Job job;
  if (!readJob(argv[1], &job))
    return fail("cannot read the job file");
  return job.watch.empty() ? runJob(job) : watchJob(job);
}
