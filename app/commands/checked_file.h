// A file the commands examined before erasing anything for it. It stays open while the
// command runs, so that the file the library later opens by its name can be compared with the
// one that was examined.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace omrix::commands {

// A name's bytes as a path and back, as the system's file calls read them: on Windows in the
// ANSI code page both ways (the C++ library would read bytes one way and write UTF-8 back,
// which turns a name with an accent into another name).
std::filesystem::path PathOf(const std::string& name);
std::string NameOf(const std::filesystem::path& path);

// The system's reason for the last failed call, e.g. "No such file or directory".
std::string SystemReason(int error);

// Why a file cannot be written in `directory` now (its rights, a full disk, a quota, a
// read-only file system): the first cause found, or "".
std::string DirectoryWriteReason(const std::string& directory);

// An open file descriptor, closed when it goes.
class FileDescriptor {
 public:
  explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
  FileDescriptor(FileDescriptor&& other) noexcept
      : descriptor_(std::exchange(other.descriptor_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      Close();
      descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Close(); }

  int get() const { return descriptor_; }

 private:
  void Close();

  int descriptor_;
};

class CheckedFile {
 public:
  // The regular file `path` names, open for reading; nothing, with the system's reason, when
  // it cannot be opened or is no regular file.
  static std::optional<CheckedFile> Open(const std::string& path, std::string& reason);

  const std::string& path() const { return path_; }
  std::uint64_t size() const { return static_cast<std::uint64_t>(examined_.st_size); }
  // The whole content as it was examined; false, with the reason, when it cannot be read.
  bool Read(std::vector<std::uint8_t>& bytes, std::string& reason) const;
  // Whether the path still names this file, unchanged since it was examined: the same file
  // system object, size and modification time.
  bool Unchanged() const;
  // A name that opens this very file as long as this object lives, even once its own name
  // is gone or stands for another file.
  std::string HeldName() const;

 private:
  CheckedFile(std::string path, int descriptor, const struct stat& examined);

  std::string path_;
  FileDescriptor descriptor_;
  struct stat examined_ {};
};

}  // namespace omrix::commands
