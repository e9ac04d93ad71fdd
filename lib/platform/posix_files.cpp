#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "system_impl.h"

namespace omrix::platform {

namespace {

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
    ok = (::close(fd_) == 0) && ok;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
  bool written_;
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& path, FileMode mode) override {
    int flags = O_CLOEXEC;
    switch (mode) {
      case FileMode::Read:
        // Non-blocking so that opening a FIFO by mistake cannot hang the caller.
        flags |= O_RDONLY | O_NONBLOCK;
        break;
      case FileMode::WriteTruncate:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
      case FileMode::CreateNew:
        flags |= O_WRONLY | O_CREAT | O_EXCL;
        break;
    }
    int fd;
    do {
      fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    if (mode == FileMode::Read) {
      const int current = fcntl(fd, F_GETFL);
      if (current >= 0) fcntl(fd, F_SETFL, current & ~O_NONBLOCK);
    }
    return std::make_unique<PosixFile>(fd, mode != FileMode::Read);
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

std::unique_ptr<FileSystem> makePosixFileSystem() { return std::make_unique<PosixFileSystem>(); }

}  // namespace omrix::platform
