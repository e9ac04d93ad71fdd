// One port, one program: an advisory lock per port base, held while a program holds the port's
// range. The kernel drops it with the descriptor, so a crashed holder never leaves a port locked.
#pragma once

#include <cstdio>
#include <string>
#include <utility>

namespace omrix::platform {

// The machine's lock directory: users of one machine exclude each other.
inline constexpr const char* kPortLockDirectory = "/run/lock/";

class PortLock {
 public:
  enum class Result { Held, Busy, Failed };

  PortLock() = default;
  ~PortLock() { release(); }
  PortLock(PortLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  PortLock& operator=(PortLock&& other) noexcept {
    if (this != &other) {
      release();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Locks "omrix-port-<base>.lock" in `directory` (ending in '/'). Busy: another holds it, and
  // `detail` names the holder ("omrix, pid 1234") when the kernel tells; Failed: the lock could
  // not be had at all, and `detail` says why.
  Result acquire(const std::string& directory, unsigned base, std::string& detail);
  void release();

  // "omrix-port-378.lock": the one name every program of every user locks for the port.
  static std::string fileName(unsigned base) {
    char name[32];
    std::snprintf(name, sizeof name, "omrix-port-%X.lock", base);
    return name;
  }

 private:
  int fd_ = -1;
};

// "omrix, pid 1234": a process as the busy line names it.
std::string processDescription(long pid);

// The process the kernel lists as holding an flock on the file at `path`, as the busy line
// names it; empty when none is listed or the file is not there.
std::string lockHolder(const std::string& path);

}  // namespace omrix::platform
