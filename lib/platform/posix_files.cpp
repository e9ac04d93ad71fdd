#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "system_impl.h"

namespace omrix::platform {

namespace {

std::uint64_t flushes = 0;

class PosixFile final : public File {
 public:
  PosixFile(int fd, bool written) : fd_(fd), written_(written) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  bool read(void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (fd_ < 0) return false;
    for (;;) {
      const ssize_t n = ::read(fd_, buffer, size);
      if (n >= 0) {
        got = static_cast<std::size_t>(n);
        return true;
      }
      if (errno != EINTR) return false;
    }
  }

  bool write(const void* buffer, std::size_t size) override {
    if (fd_ < 0) return false;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
      const ssize_t n = ::write(fd_, bytes, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  bool close() override {
    if (fd_ < 0) return false;
    // A file about to replace another must be on the disk before the rename.
    bool ok = !written_ || ::fsync(fd_) == 0;
    if (written_ && ok) ++flushes;
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
  bool written_;
};

int OpenRetrying(const std::string& path, int flags) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& path, FileMode mode) override {
    // Non-blocking, so that a FIFO or a device named by mistake cannot hang the caller.
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (mode) {
      case FileMode::Read: flags |= O_RDONLY; break;
      case FileMode::WriteTruncate: flags |= O_WRONLY | O_CREAT | O_TRUNC; break;
      case FileMode::CreateNew: flags |= O_WRONLY | O_CREAT | O_EXCL; break;
    }
    const int fd = OpenRetrying(path, flags);
    if (fd < 0) return nullptr;
    auto file = std::make_unique<PosixFile>(fd, mode != FileMode::Read);
    struct stat info {};
    if (mode == FileMode::WriteTruncate && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)))
      return nullptr;
    const int current = fcntl(fd, F_GETFL);
    if (current >= 0) fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
    return file;
  }

  std::unique_ptr<File> createTemporary(const std::string& prefix, std::string& path) override {
    constexpr int kAttempts = 100;
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
      path = prefix + suffix;
      const int fd = OpenRetrying(path, O_CLOEXEC | O_WRONLY | O_CREAT | O_EXCL);
      if (fd >= 0) return std::make_unique<PosixFile>(fd, true);
      if (errno != EEXIST) return nullptr;
    }
    return nullptr;
  }

  bool rename(const std::string& from, const std::string& to) override {
    return std::rename(from.c_str(), to.c_str()) == 0;
  }

  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

  bool status(const std::string& path, FileStatus& status) override {
    status = FileStatus{};
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    status.exists = true;
    status.isRegular = S_ISREG(info.st_mode);
    status.isDirectory = S_ISDIR(info.st_mode);
    status.size = static_cast<std::uint64_t>(info.st_size);
    status.permissions = info.st_mode & 07777;
    status.writable = (info.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
    const std::time_t now = std::time(nullptr);
    status.ageSeconds = now > info.st_mtime ? static_cast<std::uint64_t>(now - info.st_mtime) : 0;
    return true;
  }

  bool setPermissions(const std::string& path, std::uint32_t permissions) override {
    return ::chmod(path.c_str(), static_cast<mode_t>(permissions)) == 0;
  }

  std::string resolveLinks(const std::string& path) override {
    char resolved[PATH_MAX];
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    if (realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
  }
};

}  // namespace

std::unique_ptr<FileSystem> makeFileSystem() { return std::make_unique<PosixFileSystem>(); }

std::uint64_t fileFlushCount() { return flushes; }

}  // namespace omrix::platform
