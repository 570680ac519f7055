// Shared by the fuzz targets. On a wrong answer they print the inputs and
// results, so that the failure reads without a debugger, then abort so
// that libFuzzer saves the input.
#ifndef TEXTMORPH_FUZZ_SUPPORT_H_
#define TEXTMORPH_FUZZ_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Bytes as a C string literal, so that NUL, CR and 0x1A show.
inline std::string escaped(const std::string& bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b == '"' || b == '\\') {
      out += '\\';
      out += c;
    } else if (b >= 0x20 && b < 0x7f) {
      out += c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", b);
      out += hex;
    }
  }
  return out + "\" (" + std::to_string(bytes.size()) + " bytes)";
}

// A property that must hold. When it does not, prints what and the details,
// which are only put together then, and aborts.
template <typename Details>
void check(bool holds, const char* what, const Details& details) {
  if (holds)
    return;
  const std::string text = details();
  std::fprintf(stderr, "\nFUZZ CHECK FAILED: %s\n%s\n", what, text.c_str());
  std::abort();
}

// Takes a fuzz input apart from the front, so that seed files can be
// written by hand. Past the end every byte reads as 0.
struct InputReader {
  const uint8_t* data;
  size_t size;

  unsigned byte() {
    if (size == 0)
      return 0;
    --size;
    return *data++;
  }
  // A number in [low, low + span) from one or two bytes.
  size_t number(size_t low, size_t span) {
    size_t n = byte();
    if (span > 256)
      n = n << 8 | byte();
    return low + n % span;
  }
  std::string bytes(size_t count) {
    const size_t n = count < size ? count : size;
    std::string out(reinterpret_cast<const char*>(data), n);
    data += n;
    size -= n;
    return out;
  }
  std::string rest() { return bytes(size); }
};

// Bytes mapped onto a few letters, which makes occurrences common. Alphabet
// 0 keeps the bytes as they are.
inline std::string mapped(std::string bytes, unsigned alphabet) {
  static const std::string kAlphabets[] = {"", "ab", "abc",
                                           std::string("a\0\xff", 3)};
  const std::string& letters = kAlphabets[alphabet % 4];
  if (!letters.empty()) {
    for (char& c : bytes)
      c = letters[static_cast<unsigned char>(c) % letters.size()];
  }
  return bytes;
}

#endif  // TEXTMORPH_FUZZ_SUPPORT_H_
