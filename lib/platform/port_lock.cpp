#include "port_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "platform.h"

namespace omrix::platform {

PortLock::PortLock(PortLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

PortLock& PortLock::operator=(PortLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

PortLock::Result PortLock::acquire(const std::string& directory, unsigned base) {
  release();
  char name[32];
  std::snprintf(name, sizeof name, "omrix-port-%X.lock", base);
  const std::string path = directory + name;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Result::Failed;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const Result result = errno == EWOULDBLOCK ? Result::Busy : Result::Failed;
    ::close(fd);
    return result;
  }
  fd_ = fd;
  return Result::Held;
}

void PortLock::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string portLockDirectory() {
  if (::access("/run/lock", W_OK) == 0) return "/run/lock/";
  const std::string runtime = environment("XDG_RUNTIME_DIR");
  if (!runtime.empty() && ::access(runtime.c_str(), W_OK) == 0) return runtime + "/";
  return "/tmp/";
}

}  // namespace omrix::platform
