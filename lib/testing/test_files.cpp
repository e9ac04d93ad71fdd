#include "test_files.h"

#include <algorithm>
#include <cstring>

#include "platform/system_impl.h"

namespace omrix::testing {

namespace {

class MemoryFile final : public platform::File {
 public:
  MemoryFile(std::string* content, bool writable) : content_(content), writable_(writable) {}
  bool read(void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (content_ == nullptr || writable_) return false;
    got = std::min(size, content_->size() - offset_);
    std::memcpy(buffer, content_->data() + offset_, got);
    offset_ += got;
    return true;
  }
  bool write(const void* buffer, std::size_t size) override {
    if (content_ == nullptr || !writable_) return false;
    content_->append(static_cast<const char*>(buffer), size);
    return true;
  }
  bool close() override {
    const bool wasOpen = content_ != nullptr;
    content_ = nullptr;
    return wasOpen;
  }

 private:
  std::string* content_;
  bool writable_;
  std::size_t offset_ = 0;
};

bool Matches(const std::string& path, const std::string& pattern) {
  return pattern.empty() ||
         (path.size() >= pattern.size() &&
          path.compare(path.size() - pattern.size(), pattern.size(), pattern) == 0);
}

class FaultyFile final : public platform::File {
 public:
  FaultyFile(std::unique_ptr<platform::File> inner, std::shared_ptr<FileFaults> faults)
      : inner_(std::move(inner)), faults_(std::move(faults)) {}
  bool read(void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (faults_->failRead) return false;
    return inner_->read(buffer, size, got);
  }
  bool write(const void* buffer, std::size_t size) override {
    if (faults_->failWriteAfterBytes >= 0 &&
        written_ + size > static_cast<std::size_t>(faults_->failWriteAfterBytes)) {
      // A disk that fills up takes what fits, then fails.
      const std::size_t fits = static_cast<std::size_t>(faults_->failWriteAfterBytes) - written_;
      inner_->write(buffer, fits);
      written_ += fits;
      return false;
    }
    written_ += size;
    return inner_->write(buffer, size);
  }
  bool close() override {
    const bool closed = inner_->close();
    return closed && !faults_->failClose;
  }

 private:
  std::unique_ptr<platform::File> inner_;
  std::shared_ptr<FileFaults> faults_;
  std::size_t written_ = 0;
};

}  // namespace

std::unique_ptr<platform::File> MemoryFileSystem::open(const std::string& path,
                                                       platform::FileMode mode) {
  const auto found = contents.find(path);
  switch (mode) {
    case platform::FileMode::Read:
      if (found == contents.end()) return nullptr;
      return std::make_unique<MemoryFile>(&found->second, false);
    case platform::FileMode::CreateNew:
      if (found != contents.end()) return nullptr;
      return std::make_unique<MemoryFile>(&contents[path], true);
    case platform::FileMode::WriteTruncate:
      contents[path].clear();
      return std::make_unique<MemoryFile>(&contents[path], true);
  }
  return nullptr;
}

std::unique_ptr<platform::File> MemoryFileSystem::createTemporary(const std::string& prefix,
                                                                  std::string& path) {
  do {
    path = prefix + std::to_string(temporaries_++);
  } while (contents.count(path) != 0);
  return open(path, platform::FileMode::CreateNew);
}

bool MemoryFileSystem::listDirectory(const std::string& directory,
                                     std::vector<std::string>& names) {
  names.clear();
  for (const auto& entry : contents) {
    const std::string& path = entry.first;
    if (path.compare(0, directory.size(), directory) == 0 &&
        path.find('/', directory.size()) == std::string::npos)
      names.push_back(path.substr(directory.size()));
  }
  return true;
}

bool MemoryFileSystem::rename(const std::string& from, const std::string& to) {
  const auto found = contents.find(from);
  if (found == contents.end()) return false;
  std::string moved = std::move(found->second);
  contents.erase(found);
  contents[to] = std::move(moved);
  return true;
}

bool MemoryFileSystem::remove(const std::string& path) { return contents.erase(path) == 1; }

bool MemoryFileSystem::status(const std::string& path, platform::FileStatus& status) {
  status = platform::FileStatus{};
  const auto found = contents.find(path);
  if (found == contents.end()) return false;
  status.exists = status.isRegular = true;
  status.size = found->second.size();
  const auto permissions = permissions_.find(path);
  status.permissions = permissions != permissions_.end() ? permissions->second : 0644;
  status.writable = (status.permissions & 0222) != 0;
  return true;
}

bool MemoryFileSystem::setPermissions(const std::string& path, std::uint32_t permissions) {
  if (contents.count(path) == 0) return false;
  permissions_[path] = permissions;
  return true;
}

std::unique_ptr<platform::File> FaultyFileSystem::open(const std::string& path,
                                                       platform::FileMode mode) {
  const bool reading = mode == platform::FileMode::Read;
  if (Matches(path, faults_->openPattern) &&
      (reading ? faults_->failOpenForReading : faults_->failOpenForWriting))
    return nullptr;
  auto file = inner_->open(path, mode);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), faults_);
}

std::unique_ptr<platform::File> FaultyFileSystem::createTemporary(const std::string& prefix,
                                                                  std::string& path) {
  if (Matches(prefix, faults_->openPattern) && faults_->failOpenForWriting) return nullptr;
  auto file = inner_->createTemporary(prefix, path);
  if (!file) return nullptr;
  return std::make_unique<FaultyFile>(std::move(file), faults_);
}

bool FaultyFileSystem::rename(const std::string& from, const std::string& to) {
  return !faults_->failRename && inner_->rename(from, to);
}

bool FaultyFileSystem::remove(const std::string& path) {
  return !faults_->failRemove && inner_->remove(path);
}

std::shared_ptr<FileFaults> InstallFaultyFiles() {
  auto faults = std::make_shared<FileFaults>();
  platform::overrideFileSystem(
      std::make_unique<FaultyFileSystem>(platform::makeFileSystem(), faults));
  return faults;
}

}  // namespace omrix::testing
