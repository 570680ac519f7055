#include "paths.h"

#include <algorithm>

#include "platform/platform.h"

PathStyle nativePathStyle() {
  return platform::kWindowsPaths ? PathStyle::Windows : PathStyle::Posix;
}

namespace {

// Length of the part up to and including the last separator.
size_t directoryLength(const std::string& path, PathStyle style) {
  if (style == PathStyle::Posix) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
  }
  const size_t slash = path.find_last_of("\\/");
  if (slash != std::string::npos)
    return slash + 1;
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') ||
                      (path[0] >= 'a' && path[0] <= 'z'));
  return drive ? 2 : 0;
}

}  // namespace

std::string directoryOf(const std::string& path, PathStyle style) {
  return path.substr(0, directoryLength(path, style));
}

RunPaths derivePaths(const std::string& inputPath,
                     const std::string& executablePath, PathStyle style) {
  RunPaths paths;
  paths.inputPath = inputPath;
  paths.baseName = inputPath.substr(directoryLength(inputPath, style));
  paths.programDirectory = directoryOf(executablePath, style);
  paths.outputPath = paths.programDirectory + paths.baseName;
  paths.settingsPath = paths.programDirectory + "newString.ini";
  return paths;
}

bool outputIsProgram(const RunPaths& paths, const std::string& executablePath,
                     PathStyle style) {
  const std::string program =
      executablePath.substr(directoryLength(executablePath, style));
  if (style == PathStyle::Posix)
    return paths.baseName == program;
  auto lower = [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return paths.baseName.size() == program.size() &&
         std::equal(program.begin(), program.end(), paths.baseName.begin(),
                    [&](char a, char b) { return lower(a) == lower(b); });
}
