#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "state_files.h"

namespace omrix::sim::files {

namespace {

constexpr mode_t kFileMode = 0644;

}  // namespace

int OpenForReading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

int OpenForReplacing(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, kFileMode);
}

int OpenLockFile(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kFileMode);
}

LockResult LockExclusive(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    return errno == EWOULDBLOCK ? LockResult::Busy : LockResult::Failed;
  }
  return LockResult::Held;
}

long ReadSome(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer, size);
    if (got >= 0 || errno != EINTR) return static_cast<long>(got);
  }
}

long WriteSome(int fd, const void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t written = ::write(fd, buffer, size);
    if (written >= 0 || errno != EINTR) return static_cast<long>(written);
  }
}

bool FlushToDisk(int fd) { return ::fsync(fd) == 0; }
bool CloseDescriptor(int fd) { return ::close(fd) == 0; }

bool MoveOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

void RemoveFile(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace omrix::sim::files
