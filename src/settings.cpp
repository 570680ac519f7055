#include "settings.h"

#include "paths.h"
#include "platform/platform.h"

const char kDefaultSettings[] =
    "New_StringName= hometown\r\nOld_StringName= mobile\r\n";

std::string applyTextMode(const std::string& raw) {
  std::string text;
  text.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '\x1a')
      break;
    if (c == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
      continue;  // the LF that follows stands for the pair
    text.push_back(c);
  }
  return text;
}

namespace {

// One delimited read of a stream over text: takes bytes up to the delimiter,
// which is consumed and not kept. Once a read meets the end, every later one
// is skipped and leaves its target as it was.
struct TextStream {
  const std::string& text;
  size_t at = 0;
  bool ended = false;

  void readUntil(char delimiter, std::string* target) {
    if (ended || at >= text.size()) {
      ended = true;
      return;
    }
    const size_t found = text.find(delimiter, at);
    const size_t end = found == std::string::npos ? text.size() : found;
    target->assign(text, at, end - at);
    if (found == std::string::npos)
      ended = true;
    else
      at = found + 1;
  }
};

}  // namespace

ReplaceSettings parseSettings(const std::string& raw) {
  const std::string text = applyTextMode(raw);
  TextStream stream{text};
  ReplaceSettings settings;
  std::string label;
  stream.readUntil(' ', &label);
  stream.readUntil('\n', &settings.replacementText);
  stream.readUntil(' ', &label);
  stream.readUntil('\n', &settings.searchText);
  return settings;
}

LoadResult loadSettings(const std::string& path, ReplaceSettings* settings) {
  platform::InputFile file;
  switch (platform::openInput(path, &file)) {
    case platform::OpenResult::Missing:
      return LoadResult::Missing;
    case platform::OpenResult::Failed:
      return LoadResult::Unreadable;
    case platform::OpenResult::Opened:
      break;
  }
  std::string raw;
  char chunk[1 << 16];
  int64_t got;
  while ((got = platform::readInput(&file, chunk, sizeof chunk)) > 0)
    raw.append(chunk, static_cast<size_t>(got));
  platform::closeInput(&file);
  if (got < 0)
    return LoadResult::Unreadable;
  *settings = parseSettings(raw);
  return LoadResult::Loaded;
}

bool recreateDefaultSettings(const std::string& path) {
  platform::PendingFile file;
  if (!platform::createPendingFile(directoryOf(path, nativePathStyle()), &file))
    return false;
  const platform::Slice content{kDefaultSettings, sizeof kDefaultSettings - 1};
  if (!platform::writePending(&file, &content, 1)) {
    platform::discardPending(&file);
    return false;
  }
  return platform::commitPending(&file, path);
}
