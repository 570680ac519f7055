// parseSettings against a reader built the plain way: the file's bytes as
// Windows text mode delivers them, then four std::getline calls on a string
// stream, which is how the program has always read newString.ini.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "settings.h"

namespace {

// Text mode in two plain steps: the data ends at the first 0x1A, then each
// CR LF pair, taken left to right, becomes LF. A CR before anything else
// stays.
std::string referenceTextMode(std::string raw) {
  const size_t end = raw.find('\x1a');
  if (end != std::string::npos)
    raw.resize(end);
  std::string text;
  size_t from = 0;
  for (size_t pair; (pair = raw.find("\r\n", from)) != std::string::npos;
       from = pair + 2)
    text.append(raw, from, pair - from).push_back('\n');
  return text.append(raw, from, std::string::npos);
}

ReplaceSettings referenceParse(const std::string& raw) {
  std::istringstream stream(referenceTextMode(raw));
  ReplaceSettings settings;
  std::string label;
  std::getline(stream, label, ' ');
  std::getline(stream, settings.replacementText, '\n');
  std::getline(stream, label, ' ');
  std::getline(stream, settings.searchText, '\n');
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string text = applyTextMode(raw);
  const std::string expectedText = referenceTextMode(raw);
  check(text == expectedText, "applyTextMode", [&] {
    return "raw " + escaped(raw) + "\ngot " + escaped(text) + "\nwant " +
           escaped(expectedText);
  });

  const ReplaceSettings got = parseSettings(raw);
  const ReplaceSettings want = referenceParse(raw);
  check(got.replacementText == want.replacementText &&
            got.searchText == want.searchText,
        "parseSettings", [&] {
          return "raw " + escaped(raw) + "\ngot replacement " +
                 escaped(got.replacementText) + " search " +
                 escaped(got.searchText) + "\nwant replacement " +
                 escaped(want.replacementText) + " search " +
                 escaped(want.searchText);
        });
  return 0;
}
