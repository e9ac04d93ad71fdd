// One port, one program: an advisory lock per port base, held while a program holds the port's
// range. The kernel drops it with the descriptor, so a crashed holder never leaves a port locked.
#pragma once

#include <string>

namespace omrix::platform {

class PortLock {
 public:
  enum class Result { Held, Busy, Failed };

  PortLock() = default;
  ~PortLock() { release(); }
  PortLock(PortLock&& other) noexcept;
  PortLock& operator=(PortLock&& other) noexcept;
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Locks "omrix-port-<base>.lock" in `directory` (ending in '/'). Busy: another holds it.
  Result acquire(const std::string& directory, unsigned base);
  void release();

 private:
  int fd_ = -1;
};

// The system's lock directory when this process may write it, else the user's runtime
// directory, else /tmp/; always ending in '/'.
std::string portLockDirectory();

}  // namespace omrix::platform
