// Windows services. Paths arrive as narrow strings in the active code page,
// which the program's manifest sets to UTF-8, so file names in any script
// work. File calls take them in UTF-16 with the long-path prefix where
// needed: the narrow calls stop at 260 characters, deep folders do not.
#include "platform/platform.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>
#include <vector>

namespace platform {

const bool kWindowsPaths = true;

std::string executablePath() {
  // A long path fills the buffer and comes back cut; ask again with more
  // room. 32767 UTF-16 units take at most three bytes each in UTF-8.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), size);
    if (length == 0)
      return std::string();
    if (length < size) {
      path.resize(length);
      return path;
    }
    if (size >= 3 * 32768)
      return std::string();
    path.resize(2 * path.size());
  }
}

void showMessage(const std::string& text) {
  MessageBoxA(nullptr, text.c_str(), "TEXTMORPH", MB_OK);
}

namespace {

// path as the wide file calls take it. Past the classic limit it is made
// absolute and given the \\?\ prefix, which lifts the limit but also
// switches off the system's own tidying of "..", "/" and relative names.
std::wstring systemPath(const std::string& path) {
  std::wstring wide;
  if (!path.empty()) {
    const int size = MultiByteToWideChar(
        CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    wide.resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()),
                        wide.data(), size);
  }
  // 248 rather than 260: the limit for folders, and room for a file name.
  if (wide.size() < 248 || wide.rfind(L"\\\\?\\", 0) == 0 ||
      wide.rfind(L"\\\\.\\", 0) == 0)
    return wide;
  std::wstring full(GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr), L'\0');
  const DWORD length = GetFullPathNameW(
      wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size())
    return wide;
  full.resize(length);
  if (full.rfind(L"\\\\", 0) == 0)  // \\server\share
    return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

HANDLE toHandle(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

intptr_t fromHandle(HANDLE handle) {
  return reinterpret_cast<intptr_t>(handle);
}

}  // namespace

OpenResult openInput(const std::string& path, InputFile* file) {
  // Full sharing: a file the user has open in an editor still reads.
  const HANDLE handle =
      CreateFileW(systemPath(path).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND
               ? OpenResult::Missing
               : OpenResult::Failed;
  }
  // Folders fail to open without FILE_FLAG_BACKUP_SEMANTICS; devices such as
  // NUL or CON open, and are no files to read.
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileSizeEx(handle, &size)) {
    CloseHandle(handle);
    return OpenResult::Failed;
  }
  file->handle = fromHandle(handle);
  file->size = static_cast<uint64_t>(size.QuadPart);
  return OpenResult::Opened;
}

int64_t readInput(InputFile* file, char* buffer, size_t capacity) {
  const size_t most = size_t{1} << 30;
  const DWORD want = static_cast<DWORD>(capacity < most ? capacity : most);
  DWORD got = 0;
  if (!ReadFile(toHandle(file->handle), buffer, want, &got, nullptr))
    return -1;
  return got;
}

void closeInput(InputFile* file) {
  if (file->handle == -1)
    return;
  CloseHandle(toHandle(file->handle));
  file->handle = -1;
}

namespace {

// WriteFile costs a system call each time, and the engine hands over many
// small slices; they are gathered here and written in large blocks.
constexpr size_t kWriteBlock = size_t{1} << 20;

struct Output {
  HANDLE handle;
  std::vector<char> block;
  bool failed = false;
};

Output* toOutput(PendingFile* file) {
  return reinterpret_cast<Output*>(file->handle);
}

bool writeAll(HANDLE handle, const char* data, size_t size) {
  while (size > 0) {
    const size_t most = size_t{1} << 30;
    const DWORD want = static_cast<DWORD>(size < most ? size : most);
    DWORD wrote = 0;
    if (!WriteFile(handle, data, want, &wrote, nullptr) || wrote == 0)
      return false;
    data += wrote;
    size -= wrote;
  }
  return true;
}

bool flushBlock(Output* output) {
  if (!output->failed && !output->block.empty() &&
      !writeAll(output->handle, output->block.data(), output->block.size()))
    output->failed = true;
  output->block.clear();
  return !output->failed;
}

// Closes the handle and frees the state; true if everything was written.
bool finish(PendingFile* file) {
  Output* output = toOutput(file);
  bool written = flushBlock(output);
  // Flushed before the rename, so that a crash cannot leave a complete name
  // over incomplete data.
  if (written && !FlushFileBuffers(output->handle))
    written = false;
  if (!CloseHandle(output->handle))
    written = false;
  delete output;
  file->handle = -1;
  return written;
}

// A name no other run picks: this process's id and a count of its own.
std::string pendingName(const std::string& directory, const char* kind) {
  static unsigned counter = 0;
  return directory + ".textmorph-" + std::to_string(GetCurrentProcessId()) +
         "-" + std::to_string(++counter) + kind;
}

}  // namespace

bool createPendingFile(const std::string& directory, PendingFile* file) {
  // CREATE_NEW never takes over a file someone else made; a leftover from a
  // crashed run of the same process id is stepped over.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string path = pendingName(directory, ".tmp");
    const HANDLE handle =
        CreateFileW(systemPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      Output* output = new Output{handle, {}};
      output->block.reserve(kWriteBlock);
      file->handle = reinterpret_cast<intptr_t>(output);
      file->path = path;
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
      return false;
  }
  return false;
}

bool writePending(PendingFile* file, const Slice* slices, size_t count) {
  Output* output = toOutput(file);
  for (size_t i = 0; i < count && !output->failed; ++i) {
    const Slice& slice = slices[i];
    if (output->block.size() + slice.size <= kWriteBlock) {
      output->block.insert(output->block.end(), slice.data,
                           slice.data + slice.size);
      continue;
    }
    if (!flushBlock(output))
      break;
    if (slice.size >= kWriteBlock) {
      if (!writeAll(output->handle, slice.data, slice.size))
        output->failed = true;
    } else {
      output->block.assign(slice.data, slice.data + slice.size);
    }
  }
  return !output->failed;
}

namespace {

// ReplaceFile keeps what Windows keeps when a program saves over a file: the
// old file's permissions, attributes and creation time. The old file is
// first renamed to a backup name, so that every way it can fail leaves it at
// hand.
bool replaceExisting(const std::wstring& pending, const std::wstring& target,
                     const std::wstring& backup) {
  if (ReplaceFileW(target.c_str(), pending.c_str(), backup.c_str(),
                   REPLACEFILE_WRITE_THROUGH, nullptr, nullptr)) {
    DeleteFileW(backup.c_str());
    return true;
  }
  // Both names are as they were, except in this case: the old file has
  // moved to the backup name and the new one could not take its place.
  if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2)
    MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH);
  return false;
}

}  // namespace

bool commitPending(PendingFile* file, const std::string& target) {
  const std::wstring pending = systemPath(file->path);
  const std::wstring wideTarget = systemPath(target);
  bool done = finish(file);
  if (done) {
    const DWORD attributes = GetFileAttributesW(wideTarget.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      done =
          MoveFileExW(pending.c_str(), wideTarget.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    } else if (attributes &
               (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
      // A read-only file is one the user said must not change: refused, as
      // Windows refuses to write it, rather than renamed away.
      done = false;
    } else {
      const std::string backup = pendingName(
          target.substr(0, target.find_last_of("\\/:") + 1), ".old");
      done = replaceExisting(pending, wideTarget, systemPath(backup));
    }
  }
  if (!done)
    DeleteFileW(pending.c_str());
  return done;
}

void discardPending(PendingFile* file) {
  if (file->handle == -1)
    return;
  const std::wstring pending = systemPath(file->path);
  finish(file);
  DeleteFileW(pending.c_str());
}

void* reserveMemory(size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
}

bool commitMemory(void* base, size_t size) {
  return size == 0 ||
         VirtualAlloc(base, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void releaseMemory(void* base, size_t) {
  VirtualFree(base, 0, MEM_RELEASE);
}

}  // namespace platform
