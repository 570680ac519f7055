// newString.ini: two lines, each a label, one space and a value. Line 1's
// value is the replacement, line 2's the search text; the labels are never
// looked at.
#ifndef TEXTMORPH_SETTINGS_H_
#define TEXTMORPH_SETTINGS_H_

#include <string>

#include "replace.h"

// The file the program writes when there is none: exactly these 50 bytes.
extern const char kDefaultSettings[];

// The file's bytes as the Windows C runtime's text mode would deliver them:
// a 0x1A byte ends the data, CR LF becomes LF, a lone CR stays.
std::string applyTextMode(const std::string& raw);

// The two values from the file's bytes, as read on Windows in text mode.
// Malformed content never fails; it gives shorter or empty values.
ReplaceSettings parseSettings(const std::string& raw);

enum class LoadResult { Loaded, Missing, Unreadable };

// Reads and parses the file at path. A file that exists always loads, even
// when empty or malformed.
LoadResult loadSettings(const std::string& path, ReplaceSettings* settings);

// Writes the default file at path, safely. False if it could not be written.
bool recreateDefaultSettings(const std::string& path);

#endif  // TEXTMORPH_SETTINGS_H_
