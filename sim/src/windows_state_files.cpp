#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "state_files.h"

namespace omrix::sim::files {

namespace {

// Text mode would end a read at 0x1A and turn line ends into CR LF.
constexpr int kBinary = _O_BINARY | _O_NOINHERIT;
// One _read or _write moves at most this much.
constexpr std::size_t kLargestTransfer = 1u << 30;

unsigned Chunk(std::size_t size) {
  return static_cast<unsigned>(size < kLargestTransfer ? size : kLargestTransfer);
}

// The lock covers one byte far beyond the file's text, so that a program refused the lock can
// still read who holds it: Windows does not say.
constexpr DWORD kLockOffsetHigh = 1;
constexpr DWORD kLongestPath = 32768;

// "omrixctl, pid 1234", as a busy port names its holder.
std::string ThisProcess() {
  std::vector<char> buffer(kLongestPath);
  const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), kLongestPath);
  std::string name(buffer.data(), length < kLongestPath ? length : 0);
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return (name.empty() ? "" : name + ", ") + "pid " + std::to_string(GetCurrentProcessId());
}

// errno for what the Win32 calls below report, as the messages name it.
void SetErrnoFromLastError() {
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: errno = ENOENT; break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION: errno = EACCES; break;
    case ERROR_DISK_FULL: errno = ENOSPC; break;
    default: errno = EIO; break;
  }
}

}  // namespace

int OpenForReading(const std::string& path) { return _open(path.c_str(), _O_RDONLY | kBinary); }

int OpenForReplacing(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | kBinary, _S_IREAD | _S_IWRITE);
}

int OpenLockFile(const std::string& path) {
  return _open(path.c_str(), _O_RDWR | _O_CREAT | kBinary, _S_IREAD | _S_IWRITE);
}

LockResult LockExclusive(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  OVERLAPPED lockedByte{};
  lockedByte.OffsetHigh = kLockOffsetHigh;
  constexpr DWORD kFlags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
  if (!LockFileEx(handle, kFlags, 0, 1, 0, &lockedByte)) {
    if (GetLastError() == ERROR_LOCK_VIOLATION) return LockResult::Busy;
    SetErrnoFromLastError();
    return LockResult::Failed;
  }
  // Who holds it, for the others; the lock stands whether or not this is written.
  const std::string holder = ThisProcess();
  if (_chsize(fd, 0) == 0 && _lseek(fd, 0, SEEK_SET) == 0)
    _write(fd, holder.data(), static_cast<unsigned>(holder.size()));
  return LockResult::Held;
}

long ReadSome(int fd, void* buffer, std::size_t size) { return _read(fd, buffer, Chunk(size)); }

long WriteSome(int fd, const void* buffer, std::size_t size) {
  return _write(fd, buffer, Chunk(size));
}

bool FlushToDisk(int fd) { return _commit(fd) == 0; }
bool CloseDescriptor(int fd) { return _close(fd) == 0; }

bool MoveOver(const std::string& from, const std::string& to) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  SetErrnoFromLastError();
  return false;
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

}  // namespace omrix::sim::files
