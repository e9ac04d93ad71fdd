#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>
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

// The lock covers one byte far beyond the holder's name, so that a program refused the lock can
// still read who holds it.
constexpr DWORD kLockOffsetHigh = 1;
constexpr int kLockFileFlags = _O_BINARY | _O_NOINHERIT;

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

// Windows drops a LockFileEx lock with the handle, so a crashed holder never leaves a port
// locked. Another user's lock file may be only readable; reading is enough to lock it.
PortLock::Result PortLock::acquire(const std::string& directory, unsigned base,
                                   std::string& detail) {
  release();
  detail.clear();
  const std::string path = directory + fileName(base);
  bool writable = true;
  int fd = _open(path.c_str(), _O_RDWR | _O_CREAT | kLockFileFlags, _S_IREAD | _S_IWRITE);
  if (fd < 0 && errno == EACCES) {
    writable = false;
    fd = _open(path.c_str(), _O_RDONLY | kLockFileFlags);
  }
  if (fd < 0) {
    detail = path + ": " + std::strerror(errno);
    return Result::Failed;
  }
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  OVERLAPPED lockedByte{};
  lockedByte.OffsetHigh = kLockOffsetHigh;
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    detail = path + ": not a regular file";
    _close(fd);
    return Result::Failed;
  }
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                  &lockedByte)) {
    const DWORD error = GetLastError();
    _close(fd);
    if (error == ERROR_LOCK_VIOLATION) {
      detail = lockHolder(path);
      return Result::Busy;
    }
    detail = path + ": " + WindowsErrorText(error);
    return Result::Failed;
  }
  // Who holds it, for the others; the lock stands whether or not this is written.
  if (writable) {
    const std::string holder = processDescription(static_cast<long>(GetCurrentProcessId()));
    if (_chsize(fd, 0) == 0 && _lseek(fd, 0, SEEK_SET) == 0)
      _write(fd, holder.data(), static_cast<unsigned>(holder.size()));
  }
  fd_ = fd;
  return Result::Held;
}

void PortLock::release() {
  if (fd_ >= 0) _close(fd_);
  fd_ = -1;
}

}  // namespace omrix::platform
