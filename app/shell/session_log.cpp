#include "session_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace omrix::shell {

namespace {

// More copies than anyone runs at once; past them the log is refused, not shared.
constexpr int kMostCopies = 99;
constexpr mode_t kLogMode = 0644;

// One open file, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }
  int release() { return std::exchange(descriptor_, -1); }

 private:
  int descriptor_;
};

bool WriteAll(int descriptor, const std::string& text) {
  const char* next = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(descriptor, next, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

bool Held(int descriptor) {
  int result = 0;
  do result = ::flock(descriptor, LOCK_EX | LOCK_NB);
  while (result < 0 && errno == EINTR);
  return result < 0;
}

}  // namespace

std::string LogName(int copy) {
  return copy <= 1 ? "omrix.log" : "omrix-" + std::to_string(copy) + ".log";
}

CSessionLog::~CSessionLog() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

bool CSessionLog::Fail(const std::string& path) {
  error_ = "Could not write file \xB4" + path + "\xB4: " + std::strerror(errno);
  return false;
}

bool CSessionLog::Open(const std::string& directory) {
  for (int copy = 1; copy <= kMostCopies; ++copy) {
    const std::string path = directory + LogName(copy);
    // Not truncated before it is ours: it may be another copy's log.
    Descriptor log(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kLogMode));
    if (log.get() < 0) return Fail(path);
    if (Held(log.get())) continue;
    if (::ftruncate(log.get(), 0) != 0) return Fail(path);
    descriptor_ = log.release();
    copy_ = copy;
    path_ = path;
    return true;
  }
  errno = EBUSY;
  return Fail(directory + LogName(kMostCopies));
}

bool CSessionLog::Append(const std::string& text) {
  if (descriptor_ < 0) return false;
  return WriteAll(descriptor_, text) || Fail(path_);
}

bool CSessionLog::Replace(const std::string& text) {
  if (descriptor_ < 0) return false;
  std::string name = path_ + ".XXXXXX";
  std::vector<char> pattern(name.begin(), name.end());
  pattern.push_back('\0');
  Descriptor temporary(::mkostemp(pattern.data(), O_CLOEXEC));
  if (temporary.get() < 0) return Fail(path_);
  const std::string temporaryPath(pattern.data());
  // Held before it is renamed, so no copy starting meanwhile takes it for a free log.
  if (Held(temporary.get()) || ::fchmod(temporary.get(), kLogMode) != 0 ||
      !WriteAll(temporary.get(), text) || ::fsync(temporary.get()) != 0 ||
      ::rename(temporaryPath.c_str(), path_.c_str()) != 0) {
    const int reason = errno;
    ::unlink(temporaryPath.c_str());
    errno = reason;
    return Fail(path_);
  }
  ::close(descriptor_);
  descriptor_ = temporary.release();
  return true;
}

}  // namespace omrix::shell
