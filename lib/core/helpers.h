// Small helpers shared across the library.
#pragma once

#include <cstdint>
#include <string>

namespace omrix {

// The part of `path` after its last '/' or '\'; names recorded on either system compare alike.
const char* FileNamePart(const char* path);
// 0 when the file-name parts of `a` and `b` are equal without regard to ASCII case, else 1.
int SameFileName(const char* a, const char* b);
// Letter case as the file formats and names compare it: ASCII A-Z only, whatever the locale.
char AsciiLower(char c);
// Whole texts equal without regard to ASCII letter case.
bool SameTextIgnoringCase(const std::string& a, const std::string& b);
// `text` begins with `head`, without regard to ASCII letter case.
bool StartsWithIgnoringCase(const std::string& text, const std::string& head);

// The whole file in `text`; false when it cannot be opened or read, or grows past `limit`
// bytes (a file still being written, or no file of the kind asked for).
bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& text);

// Bit 7-i of the result is bit i of `b`.
std::uint8_t ReverseBits(std::uint8_t b);

}  // namespace omrix
