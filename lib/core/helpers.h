// Small helpers shared across the library.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

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

// The text that makes a temporary file's name from the name of the file it will replace.
inline constexpr const char* kReplacementSuffix = ".tmp";

// A file written beside the one it replaces and renamed over it only when whole: a write that
// fails, or is never committed, leaves the old file as it was. A link keeps naming the file it
// named, which keeps its permission bits.
class FileReplacement {
 public:
  explicit FileReplacement(const std::string& path);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Null when refused: a name that is no regular file (a device could swallow the data, a FIFO
  // block), a file its owner made read-only, or no temporary could be made.
  platform::File* file() const { return file_.get(); }
  // Closes the temporary and renames it over the target; false, nothing replaced, on failure.
  bool commit();

 private:
  std::string target_;
  std::string temporary_;
  platform::FileStatus old_;
  bool replacing_ = false;
  std::unique_ptr<platform::File> file_;
};

// Bit 7-i of the result is bit i of `b`.
std::uint8_t ReverseBits(std::uint8_t b);

}  // namespace omrix
