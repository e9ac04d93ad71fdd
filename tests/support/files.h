// Files for tests of every layer: a directory of their own and whole files, bytes as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace omrix::testing {

// A fresh directory, removed with everything in it when the object goes. Its path is
// canonical, as the programs make file names, so expected paths compare equal.
class TemporaryDirectory {
 public:
  TemporaryDirectory();
  ~TemporaryDirectory();
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

  const std::string& path() const { return path_; }  // ends in '/'
  std::string file(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// "" when the file cannot be read.
std::string ReadWholeFile(const std::string& path);
// The whole file, or nothing when it cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path);
// Replaces the file or makes it.
void WriteWholeFile(const std::string& path, const std::string& content);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// While it lives, no file of this process or its children grows past `bytes`, as on a full
// disk; a write past it fails instead of ending the writer.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::uint64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  std::uint64_t saved_ = 0;
};

}  // namespace omrix::testing
