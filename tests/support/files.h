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
// A text file the library wrote with the system's line ends, each line ending in '\n'.
std::string ReadLines(const std::string& path);
// The whole file, or nothing when it cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path);
// Replaces the file or makes it.
void WriteWholeFile(const std::string& path, const std::string& content);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace omrix::testing
