// File layers for tests and fuzzing: one in memory, and one that makes chosen operations fail
// in front of another (tests run as root, where permissions stop nothing).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace omrix::testing {

class MemoryFileSystem final : public platform::FileSystem {
 public:
  std::map<std::string, std::string> contents;

  std::unique_ptr<platform::File> open(const std::string& path, platform::FileMode mode) override;
  std::unique_ptr<platform::File> createTemporary(const std::string& prefix,
                                                  std::string& path) override;
  bool listDirectory(const std::string& directory, std::vector<std::string>& names) override;
  bool rename(const std::string& from, const std::string& to) override;
  bool remove(const std::string& path) override;
  bool status(const std::string& path, platform::FileStatus& status) override;
  bool setPermissions(const std::string& path, std::uint32_t permissions) override;
  std::string resolveLinks(const std::string& path) override { return path; }

 private:
  std::map<std::string, std::uint32_t> permissions_;
  unsigned temporaries_ = 0;
};

// Which operations fail. Paths are matched by their file-name part ending, e.g. "omrix.dat"
// or ".tmp0"; an empty pattern matches every path.
struct FileFaults {
  bool failOpenForReading = false;
  bool failOpenForWriting = false;
  std::string openPattern;
  long failWriteAfterBytes = -1;  // the write that would pass this many bytes fails
  bool failRead = false;          // every read fails
  bool failClose = false;
  bool failRename = false;
  bool failRemove = false;
};

class FaultyFileSystem final : public platform::FileSystem {
 public:
  FaultyFileSystem(std::unique_ptr<platform::FileSystem> inner, std::shared_ptr<FileFaults> faults)
      : inner_(std::move(inner)), faults_(std::move(faults)) {}

  std::unique_ptr<platform::File> open(const std::string& path, platform::FileMode mode) override;
  std::unique_ptr<platform::File> createTemporary(const std::string& prefix,
                                                  std::string& path) override;
  bool listDirectory(const std::string& directory, std::vector<std::string>& names) override {
    return inner_->listDirectory(directory, names);
  }
  bool rename(const std::string& from, const std::string& to) override;
  bool remove(const std::string& path) override;
  bool status(const std::string& path, platform::FileStatus& status) override {
    return inner_->status(path, status);
  }
  bool setPermissions(const std::string& path, std::uint32_t permissions) override {
    return inner_->setPermissions(path, permissions);
  }
  std::string resolveLinks(const std::string& path) override { return inner_->resolveLinks(path); }

 private:
  std::unique_ptr<platform::FileSystem> inner_;
  std::shared_ptr<FileFaults> faults_;
};

// Puts the real file layer behind the faults and makes it the platform's. Returns the faults.
std::shared_ptr<FileFaults> InstallFaultyFiles();

}  // namespace omrix::testing
