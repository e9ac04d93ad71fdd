#include "port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace omrix::platform {

namespace {

// Readable by every user, so that a file another user made can still be opened and locked
// (flock needs no more than a read descriptor).
constexpr mode_t kLockFileMode = 0644;

// Never follows a link another user planted in the shared directory, and never waits on a
// FIFO put there in the lock file's place.
constexpr int kOpenFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;

int OpenLockFile(const std::string& path, std::string& detail) {
  for (;;) {
    int fd = ::open(path.c_str(), kOpenFlags);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno == ENOENT) {
      // Created exclusively, so only a file this process made gets its mode set.
      fd = ::open(path.c_str(), kOpenFlags | O_CREAT | O_EXCL, kLockFileMode);
      if (fd >= 0) {
        ::fchmod(fd, kLockFileMode);  // the umask may have taken the others' read permission
        return fd;
      }
      if (errno == EEXIST || errno == EINTR) continue;  // another program made it meanwhile
    }
    detail = path + ": " + std::strerror(errno);
    return -1;
  }
}

// "omrix, pid 1234" for the process the kernel lists as holding a lock on the file, or empty.
std::string lockHolderOf(const struct stat& file) {
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", ::major(file.st_dev), ::minor(file.st_dev),
                static_cast<unsigned long>(file.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    // "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10954326 0 EOF"; a waiter's line has "->" after
    // the number. The holder's pid stands just before the file's device and inode.
    std::istringstream fields(line);
    std::string previous, field;
    while (fields >> field && field != wanted) previous = field;
    if (field != wanted || line.find("->") != std::string::npos) continue;
    const long pid = std::strtol(previous.c_str(), nullptr, 10);
    if (pid <= 0) continue;  // in another pid namespace
    return processDescription(pid);
  }
  return {};
}

std::string lockHolder(int fd) {
  struct stat file {};
  return ::fstat(fd, &file) == 0 ? lockHolderOf(file) : std::string();
}

}  // namespace

std::string lockHolder(const std::string& path) {
  struct stat file {};
  return ::stat(path.c_str(), &file) == 0 ? lockHolderOf(file) : std::string();
}

std::string processDescription(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return (name.empty() ? "" : name + ", ") + "pid " + std::to_string(pid);
}

PortLock::Result PortLock::acquire(const std::string& directory, unsigned base,
                                   std::string& detail) {
  release();
  detail.clear();
  const std::string path = directory + fileName(base);
  const int fd = OpenLockFile(path, detail);
  if (fd < 0) return Result::Failed;
  struct stat file {};
  if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
    detail = path + ": not a regular file";
    ::close(fd);
    return Result::Failed;
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const bool busy = errno == EWOULDBLOCK;
    detail = busy ? lockHolder(fd) : path + ": " + std::strerror(errno);
    ::close(fd);
    return busy ? Result::Busy : Result::Failed;
  }
  fd_ = fd;
  return Result::Held;
}

void PortLock::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace omrix::platform
