// The process's environment and limits as the code under test meets them, for tests that set them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace omrix::testing {

// Sets `name` to `value`, or removes it for a null value.
void SetEnvironment(const char* name, const char* value);

// The system's null device, a name that opens no regular file.
const char* NullDevice();

// The process's environment as "NAME=value" entries.
std::vector<std::string> EnvironmentEntries();

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
