#include "helpers.h"

#include <array>
#include <cstring>
#include <memory>

#include "library_state.h"
#include "platform/platform.h"

namespace omrix {

const char* FileNamePart(const char* path) {
  const char* part = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') part = p + 1;
  }
  return part;
}

namespace {

// Copies at most 259 characters, as into a 260-byte buffer.
FileNameField CopyName(const char* text) {
  FileNameField buffer{};
  std::strncpy(buffer.data(), text, buffer.size() - 1);
  return buffer;
}

}  // namespace

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && StartsWithIgnoringCase(a, b);
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& head) {
  if (text.size() < head.size()) return false;
  for (std::size_t i = 0; i < head.size(); ++i)
    if (AsciiLower(text[i]) != AsciiLower(head[i])) return false;
  return true;
}

int SameFileName(const char* a, const char* b) {
  const FileNameField first = CopyName(FileNamePart(a));
  const FileNameField second = CopyName(FileNamePart(b));
  for (std::size_t i = 0; i < first.size(); ++i) {
    if (AsciiLower(first[i]) != AsciiLower(second[i])) return 1;
    if (first[i] == '\0') return 0;
  }
  return 0;
}

std::uint8_t ReverseBits(std::uint8_t b) {
  std::uint8_t result = 0;
  for (int i = 0; i < 8; ++i) {
    if ((b >> i) & 1) result = static_cast<std::uint8_t>(result | (0x80 >> i));
  }
  return result;
}

bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& text) {
  std::unique_ptr<platform::File> file = platform::files().open(path, platform::FileMode::Read);
  if (!file) return false;
  text.clear();
  char buffer[8192];
  for (;;) {
    std::size_t got = 0;
    if (!file->read(buffer, sizeof buffer, got)) return false;
    if (got == 0) return true;
    text.append(buffer, got);
    if (text.size() > limit) return false;
  }
}

FileReplacement::FileReplacement(const std::string& path) {
  platform::FileSystem& files = platform::files();
  target_ = files.resolveLinks(path);
  replacing_ = files.status(target_, old_);
  // root passes every permission check; a file its owner protected is still not replaced.
  if (replacing_ && (!old_.isRegular || !old_.writable)) return;
  file_ = files.createTemporary(target_ + kReplacementSuffix, temporary_);
}

FileReplacement::~FileReplacement() {
  if (temporary_.empty()) return;
  file_.reset();
  platform::files().remove(temporary_);
}

bool FileReplacement::commit() {
  if (!file_) return false;
  platform::FileSystem& files = platform::files();
  const bool closed = file_->close();
  file_.reset();
  if (closed && replacing_) files.setPermissions(temporary_, old_.permissions);
  if (!closed || !files.rename(temporary_, target_)) return false;
  temporary_.clear();
  return true;
}

}  // namespace omrix
