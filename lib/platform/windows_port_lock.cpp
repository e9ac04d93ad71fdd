#include <vector>

#include "port_lock.h"
#include "windows_api.h"

namespace omrix::platform {

namespace {

constexpr DWORD kLongestPath = 32768;

std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

struct ProcessHandle {
  HANDLE handle;
  ~ProcessHandle() {
    if (handle != nullptr) CloseHandle(handle);
  }
};

}  // namespace

// Windows does not say which process holds a lock on a file: its holder writes its name into
// the file, outside the locked byte.
std::string lockHolder(const std::string& path) {
  constexpr std::size_t kLongestHolder = 512;
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char text[kLongestHolder];
  DWORD got = 0;
  const bool read = ReadFile(file, text, sizeof text, &got, nullptr) != 0;
  CloseHandle(file);
  if (!read || got == 0 || got == sizeof text) return {};
  return std::string(text, got);
}

std::string processDescription(long pid) {
  const ProcessHandle process{
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid))};
  std::string name;
  if (process.handle != nullptr) {
    std::vector<char> buffer(kLongestPath);
    DWORD length = kLongestPath;
    if (QueryFullProcessImageNameA(process.handle, 0, buffer.data(), &length))
      name = FileName(std::string(buffer.data(), length));
  }
  return (name.empty() ? "" : name + ", ") + "pid " + std::to_string(pid);
}

}  // namespace omrix::platform
