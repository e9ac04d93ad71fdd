#include "checked_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace omrix::commands {

namespace {

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

std::filesystem::path PathOf(const std::string& name) { return name; }

std::string NameOf(const std::filesystem::path& path) { return path.string(); }

std::string SystemReason(int error) { return std::strerror(error); }

std::string DirectoryWriteReason(const std::string& directory) {
  if (::access(directory.c_str(), W_OK | X_OK) != 0) return SystemReason(errno);
  // A nameless file shows a full disk, a quota or a read-only file system, and leaves nothing.
  const int probe = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (probe < 0) return errno == EOPNOTSUPP || errno == EISDIR ? "" : SystemReason(errno);
  const char byte = 0;
  const bool written = ::write(probe, &byte, 1) == 1 && ::fsync(probe) == 0;
  const int error = errno;
  ::close(probe);
  return written ? "" : SystemReason(error);
}

std::optional<CheckedFile> CheckedFile::Open(const std::string& path, std::string& reason) {
  // Non-blocking, so that a FIFO named by mistake cannot hang the command.
  int descriptor;
  do {
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor < 0) {
    reason = SystemReason(errno);
    return std::nullopt;
  }
  struct stat examined {};
  const bool examinedOk = ::fstat(descriptor, &examined) == 0;
  if (!examinedOk || !S_ISREG(examined.st_mode)) {
    if (!examinedOk)
      reason = SystemReason(errno);
    else if (S_ISDIR(examined.st_mode))
      reason = SystemReason(EISDIR);
    else
      reason = "not a regular file";
    ::close(descriptor);
    return std::nullopt;
  }
  return CheckedFile(path, descriptor, examined);
}

CheckedFile::CheckedFile(std::string path, int descriptor, const struct stat& examined)
    : path_(std::move(path)), descriptor_(descriptor), examined_(examined) {}

void FileDescriptor::Close() {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
}

bool CheckedFile::Read(std::vector<std::uint8_t>& bytes, std::string& reason) const {
  bytes.assign(static_cast<std::size_t>(size()), 0);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n =
        ::pread(descriptor_.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reason = n < 0 ? SystemReason(errno) : "the file shrank while it was read";
      return false;
    }
    got += static_cast<std::size_t>(n);
  }
  return true;
}

std::string CheckedFile::HeldName() const {
  return "/proc/self/fd/" + std::to_string(descriptor_.get());
}

bool CheckedFile::Unchanged() const {
  struct stat now {};
  return ::stat(path_.c_str(), &now) == 0 && now.st_dev == examined_.st_dev &&
         now.st_ino == examined_.st_ino && now.st_size == examined_.st_size &&
         SameTime(now.st_mtim, examined_.st_mtim);
}

}  // namespace omrix::commands
