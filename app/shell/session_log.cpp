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

// A new, empty log held in place of the one at `path`, which stays as the previous log
// ("omrix.log.1"), so a session whose log cannot be written never costs the one before it.
// The caller holds the log at `path`. -1 when the previous log cannot be set aside.
int KeepPrevious(const std::string& path) {
  std::string name = path + ".XXXXXX";
  std::vector<char> pattern(name.begin(), name.end());
  pattern.push_back('\0');
  Descriptor fresh(::mkostemp(pattern.data(), O_CLOEXEC | O_APPEND));
  if (fresh.get() < 0) return -1;
  const std::string freshPath(pattern.data());
  const std::string previous = PreviousLogName(path);
  // A link leaves the log in its place meanwhile, so no copy starting now finds it missing.
  bool kept = !Held(fresh.get()) && ::fchmod(fresh.get(), kLogMode) == 0 &&
              (::unlink(previous.c_str()) == 0 || errno == ENOENT);
  if (kept)
    kept = ::link(path.c_str(), previous.c_str()) == 0 ||
           ::rename(path.c_str(), previous.c_str()) == 0;  // a system without links
  if (!kept || ::rename(freshPath.c_str(), path.c_str()) != 0) {
    ::unlink(freshPath.c_str());
    return -1;
  }
  return fresh.release();
}

}  // namespace

std::string PreviousLogName(const std::string& log) { return log + ".1"; }

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
    // Never truncated: it may be another copy's log, or the previous session's.
    Descriptor log(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, kLogMode));
    if (log.get() < 0) return Fail(path);
    if (Held(log.get())) continue;
    struct stat status {};
    if (::fstat(log.get(), &status) != 0) return Fail(path);
    // Where the previous log cannot be set aside (a directory nobody may write), the new
    // session follows it in the same file: a log either way, and nothing lost.
    Descriptor fresh(status.st_size > 0 ? KeepPrevious(path) : -1);
    descriptor_ = fresh.get() >= 0 ? fresh.release() : log.release();
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
