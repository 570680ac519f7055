// Where a run reads and writes: every path derives from the dropped file's
// path and the program's own.
#ifndef TEXTMORPH_PATHS_H_
#define TEXTMORPH_PATHS_H_

#include <string>

struct RunPaths {
  std::string inputPath;         // as the user gave it
  std::string baseName;          // its last component
  std::string programDirectory;  // empty, or ends in a separator
  std::string outputPath;        // programDirectory + baseName
  std::string settingsPath;      // programDirectory + "newString.ini"
};

// POSIX paths separate folders with '/' only. Windows ones also with '\\',
// and a leading drive such as "C:" counts as a folder.
enum class PathStyle { Posix, Windows };

// The style of the system the program runs on.
PathStyle nativePathStyle();

// The part of path up to and including its last separator; empty if none.
std::string directoryOf(const std::string& path, PathStyle style);

// True when outputPath is the program itself, which a run must never write
// over. Both lie in the program folder, so their names decide; Windows
// names match without regard to case.
bool outputIsProgram(const RunPaths& paths, const std::string& executablePath,
                     PathStyle style);

RunPaths derivePaths(const std::string& inputPath,
                     const std::string& executablePath, PathStyle style);

#endif  // TEXTMORPH_PATHS_H_
