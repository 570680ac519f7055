// The few services that differ between Windows and POSIX systems. Everything
// else in textmorph is plain C++ and builds the same everywhere.
#ifndef TEXTMORPH_PLATFORM_H_
#define TEXTMORPH_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// True where '\\' and a drive such as "C:" separate folders as well as '/'.
extern const bool kWindowsPaths;

// The full path of the running program, never cut short; empty if the
// system will not tell.
std::string executablePath();

// Shows text to the user and returns once they have seen it.
void showMessage(const std::string& text);

// A file opened for reading. The handle is the system's own, kept opaque.
struct InputFile {
  intptr_t handle = -1;
  uint64_t size = 0;  // at the time of opening
};

enum class OpenResult { Opened, Missing, Failed };

// Opens an existing regular file for reading; never creates one. A path that
// names nothing gives Missing, every other refusal (a folder, no permission,
// a lock) gives Failed.
OpenResult openInput(const std::string& path, InputFile* file);

// Reads up to capacity bytes. Returns the count, 0 at the end, -1 on error.
int64_t readInput(InputFile* file, char* buffer, size_t capacity);

void closeInput(InputFile* file);

// A piece of memory to be written, so that output can be gathered from the
// input's buffer and the replacement text without copying.
struct Slice {
  const char* data;
  size_t size;
};

// A new file, written beside the file it will replace and moved over it only
// when complete, so that a failure part-way leaves the old file as it was.
struct PendingFile {
  intptr_t handle = -1;
  std::string path;
};

// Creates a new file in directory under a name no other run can pick.
// directory is empty or ends in a separator.
bool createPendingFile(const std::string& directory, PendingFile* file);

// Writes every slice, in order. False on any failure.
bool writePending(PendingFile* file, const Slice* slices, size_t count);

// Closes the file and moves it over target. A target that exists keeps its
// permission bits; a new one gets the usual ones for a new file. On failure
// the pending file is removed and target is as it was.
bool commitPending(PendingFile* file, const std::string& target);

// Closes and removes the file, for a run that will not commit it.
void discardPending(PendingFile* file);

// Address space for a buffer that may grow to size bytes without moving,
// backed by memory only as it is used: a large text can then be built
// without copying it each time it grows. nullptr where the system will not
// reserve that much.
void* reserveMemory(size_t size);

// Makes the first size bytes of a reservation usable. False when memory has
// run out.
bool commitMemory(void* base, size_t size);

void releaseMemory(void* base, size_t size);

}  // namespace platform

#endif  // TEXTMORPH_PLATFORM_H_
