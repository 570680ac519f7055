#include "run.h"

#include <new>
#include <string>

#include "paths.h"
#include "platform/platform.h"
#include "replace.h"
#include "settings.h"

namespace {

const char kNoFileMessage[] =
    "Error. Please drop file onto application window (drag n' drop)";
const char kSettingsRecreatedMessage[] =
    "Error. newString.ini file could not be found. (File recreated in current "
    "directory)";

struct InputSource : ByteSource {
  platform::InputFile* file;
  explicit InputSource(platform::InputFile* f) : file(f) {}
  int64_t read(char* buffer, size_t capacity) override {
    return platform::readInput(file, buffer, capacity);
  }
};

struct PendingSink : ByteSink {
  platform::PendingFile* file;
  explicit PendingSink(platform::PendingFile* f) : file(f) {}
  bool write(const platform::Slice* slices, size_t count) override {
    return platform::writePending(file, slices, count);
  }
};

std::string cannotRead(const RunPaths& paths) {
  return "Error. The dropped file could not be read: " + paths.inputPath;
}

// Shows text and gives the exit status of a run that failed.
int fail(const std::string& text) {
  platform::showMessage(text);
  return 1;
}

std::string refusalMessage(ReplaceStatus status, uint64_t inputSize) {
  switch (status) {
    case ReplaceStatus::EmptySearch:
      return "Error. The search text on line 2 of newString.ini is empty.";
    case ReplaceStatus::ReplacementHoldsSearch:
      return "Error. The replacement text contains the search text, so the "
             "replacements would never end.";
    case ReplaceStatus::TooLarge:
      return "Error. The replacements keep making the file larger; the result "
             "would pass " + std::to_string(resultCeiling(inputSize)) +
             " bytes.";
    case ReplaceStatus::Endless:
      return "Error. The replacements keep making new occurrences; they would "
             "not end within " + std::to_string(resultCeiling(inputSize)) +
             " replacements.";
    default:
      return "";
  }
}

// Everything after the dropped file is open; the caller closes it.
int processOpenFile(const RunPaths& paths, const std::string& executablePath,
                    platform::InputFile* input) {
  ReplaceSettings settings;
  switch (loadSettings(paths.settingsPath, &settings)) {
    case LoadResult::Missing:
      platform::closeInput(input);
      if (!recreateDefaultSettings(paths.settingsPath))
        return fail("Error. newString.ini file could not be found, and could "
                    "not be recreated: " + paths.settingsPath);
      platform::showMessage(kSettingsRecreatedMessage);
      return 0;
    case LoadResult::Unreadable:
      return fail("Error. newString.ini file could not be read: " +
                  paths.settingsPath);
    case LoadResult::Loaded:
      break;
  }
  if (ReplaceStatus refused = checkSettings(settings);
      refused != ReplaceStatus::Done)
    return fail(refusalMessage(refused, input->size));

  const std::string cannotWrite =
      "Error. The processed file could not be written: " + paths.outputPath;
  if (outputIsProgram(paths, executablePath, nativePathStyle()))
    return fail(cannotWrite);
  platform::PendingFile output;
  if (!platform::createPendingFile(paths.programDirectory, &output))
    return fail(cannotWrite);
  InputSource source(input);
  PendingSink sink(&output);
  ReplaceStatus status;
  try {
    status = replaceStream(source, sink, settings, input->size);
  } catch (const std::bad_alloc&) {
    platform::discardPending(&output);
    return fail("Error. There is not enough memory to process the dropped "
                "file: " + paths.inputPath);
  }
  // Closed before the output moves over it: it may be the same file.
  platform::closeInput(input);
  switch (status) {
    case ReplaceStatus::Done:
      return platform::commitPending(&output, paths.outputPath)
                 ? 0
                 : fail(cannotWrite);
    case ReplaceStatus::ReadFailed:
      platform::discardPending(&output);
      return fail(cannotRead(paths));
    case ReplaceStatus::WriteFailed:
      platform::discardPending(&output);
      return fail(cannotWrite);
    default:
      platform::discardPending(&output);
      return fail(refusalMessage(status, input->size));
  }
}

}  // namespace

int runTextmorph(int argc, char** argv) {
  const std::string executablePath = platform::executablePath();
  if (argc < 2 || argv[1] == nullptr) {
    platform::showMessage(kNoFileMessage);
    return 0;
  }
  const RunPaths paths =
      derivePaths(argv[1], executablePath, nativePathStyle());
  platform::InputFile input;
  if (platform::openInput(paths.inputPath, &input) !=
      platform::OpenResult::Opened)
    return fail(cannotRead(paths));
  const int status = processOpenFile(paths, executablePath, &input);
  platform::closeInput(&input);
  return status;
}
