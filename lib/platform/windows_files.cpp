#include <cstdio>
#include <random>

#include "system_impl.h"
#include "windows_api.h"

namespace omrix::platform {

namespace {

std::uint64_t flushes = 0;

// Others may read, write, rename and delete a file this process has open, as on Linux: an open
// omrix.dat never stops a replacement.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// What the POSIX layer reports for a file its owner may write or may only read.
constexpr std::uint32_t kWritablePermissions = 0666;
constexpr std::uint32_t kReadOnlyPermissions = 0444;
constexpr std::uint32_t kWriteBits = 0222;
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10'000'000;
// One ReadFile or WriteFile moves at most this much.
constexpr std::size_t kLargestTransfer = 1u << 30;

class WindowsFile final : public File {
 public:
  WindowsFile(HANDLE handle, bool written) : handle_(handle), written_(written) {}
  ~WindowsFile() override {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  WindowsFile(const WindowsFile&) = delete;
  WindowsFile& operator=(const WindowsFile&) = delete;

  bool read(void* buffer, std::size_t size, std::size_t& got) override {
    got = 0;
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    const auto wanted = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
    if (!ReadFile(handle_, buffer, wanted, &n, nullptr)) return false;
    got = n;
    return true;
  }

  bool write(const void* buffer, std::size_t size) override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    while (size > 0) {
      const auto chunk = static_cast<DWORD>(size < kLargestTransfer ? size : kLargestTransfer);
      DWORD n = 0;
      if (!WriteFile(handle_, bytes, chunk, &n, nullptr) || n == 0) return false;
      bytes += n;
      size -= n;
    }
    return true;
  }

  bool close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return false;
    // A file about to replace another must be on the disk before the rename.
    bool ok = !written_ || FlushFileBuffers(handle_) != 0;
    if (written_ && ok) ++flushes;
    ok = CloseHandle(handle_) != 0 && ok;
    handle_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE handle_;
  bool written_;
};

HANDLE Open(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileA(path.c_str(), access, kShareAll, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
}

// A file on a disk that may be written: never NUL, a console, a printer port or a pipe, nor a
// file marked read-only (which an administrator's process could otherwise still truncate).
bool IsWritableDiskFile(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information{};
  constexpr DWORD kNotWritable = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY;
  return GetFileType(handle) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(handle, &information) != 0 &&
         (information.dwFileAttributes & kNotWritable) == 0;
}

std::uint64_t FileTimeValue(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class WindowsFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> open(const std::string& path, FileMode mode) override {
    switch (mode) {
      case FileMode::Read: {
        const HANDLE handle = Open(path, GENERIC_READ, OPEN_EXISTING);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<WindowsFile>(handle, false);
      }
      case FileMode::WriteTruncate: {
        // Opened first and truncated only once it is known to be a disk file.
        const HANDLE handle = Open(path, GENERIC_WRITE, OPEN_ALWAYS);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        auto file = std::make_unique<WindowsFile>(handle, true);
        if (!IsWritableDiskFile(handle) || !SetEndOfFile(handle)) return nullptr;
        return file;
      }
      case FileMode::CreateNew: {
        const HANDLE handle = Open(path, GENERIC_WRITE, CREATE_NEW);
        if (handle == INVALID_HANDLE_VALUE) return nullptr;
        auto file = std::make_unique<WindowsFile>(handle, true);
        if (!IsWritableDiskFile(handle)) return nullptr;
        return file;
      }
    }
    return nullptr;
  }

  std::unique_ptr<File> createTemporary(const std::string& prefix, std::string& path) override {
    constexpr int kAttempts = 100;
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      char suffix[16];
      std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
      path = prefix + suffix;
      const HANDLE handle = Open(path, GENERIC_WRITE, CREATE_NEW);
      if (handle != INVALID_HANDLE_VALUE) return std::make_unique<WindowsFile>(handle, true);
      if (GetLastError() != ERROR_FILE_EXISTS) return nullptr;
    }
    return nullptr;
  }

  // Written through, so that after a crash the name holds the old file or the new one.
  bool rename(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }

  bool remove(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }

  bool status(const std::string& path, FileStatus& status) override {
    status = FileStatus{};
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
    const bool readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    status.exists = true;
    status.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.isRegular = !status.isDirectory && (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) == 0;
    status.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    status.permissions = readOnly ? kReadOnlyPermissions : kWritablePermissions;
    status.writable = !readOnly;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t current = FileTimeValue(now);
    const std::uint64_t written = FileTimeValue(data.ftLastWriteTime);
    status.ageSeconds = current > written ? (current - written) / kFileTimeUnitsPerSecond : 0;
    return true;
  }

  // Windows keeps one bit of them: whether the file is read-only.
  bool setPermissions(const std::string& path, std::uint32_t permissions) override {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    const DWORD wanted = (permissions & kWriteBits) != 0 ? attributes & ~FILE_ATTRIBUTE_READONLY
                                                         : attributes | FILE_ATTRIBUTE_READONLY;
    return SetFileAttributesA(path.c_str(), wanted) != 0;
  }

  // Links are rare on Windows and need rights to make; a name is taken as the file itself.
  std::string resolveLinks(const std::string& path) override { return path; }
};

}  // namespace

std::unique_ptr<FileSystem> makeFileSystem() { return std::make_unique<WindowsFileSystem>(); }

std::uint64_t fileFlushCount() { return flushes; }

}  // namespace omrix::platform
