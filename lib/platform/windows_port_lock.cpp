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

// Windows does not say which process holds a lock on a file.
std::string LockHolder(const std::string&) { return {}; }

std::string ProcessDescription(long pid) {
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
