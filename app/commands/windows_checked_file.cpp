// A checked file on Windows: opened so that nobody may write, rename or delete it while the
// command holds it, so its own name keeps naming the very file that was examined.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>

#include "checked_file.h"

namespace omrix::commands {

namespace {

// struct stat's size is 32 bits here; nothing a board takes comes near it.
constexpr std::uint64_t kLargestFile = INT32_MAX;
constexpr std::uint64_t kFileTimeUnitsPerSecond = 10'000'000;
// One ReadFile moves at most this much.
constexpr std::size_t kLargestTransfer = 1u << 30;

// The errno a POSIX system gives for the same failure, so both systems say it alike.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    default: return EIO;
  }
}

std::uint64_t Whole(DWORD high, DWORD low) { return std::uint64_t{high} << 32 | low; }

// In struct stat's own type, whatever its width, so a time is compared with what it became.
decltype(stat::st_mtime) Seconds(const FILETIME& time) {
  return static_cast<decltype(stat::st_mtime)>(Whole(time.dwHighDateTime, time.dwLowDateTime) /
                                               kFileTimeUnitsPerSecond);
}

HANDLE HandleOf(int descriptor) { return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor)); }

}  // namespace

std::filesystem::path PathOf(const std::string& name) {
  const int length =
      MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), wide.data(), length);
  return wide;
}

std::string NameOf(const std::filesystem::path& path) {
  const std::wstring& wide = path.native();
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string name(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), name.data(), length,
                      nullptr, nullptr);
  return name;
}

std::string SystemReason(int error) { return std::strerror(error); }

std::string DirectoryWriteReason(const std::string& directory) {
  // A file that is gone when it is closed shows a full disk or a read-only medium, and leaves
  // nothing behind.
  char name[MAX_PATH];
  if (GetTempFileNameA(directory.c_str(), "omx", 0, name) == 0)
    return SystemReason(ErrnoOf(GetLastError()));
  const HANDLE probe = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    DeleteFileA(name);
    return SystemReason(ErrnoOf(error));
  }
  const char byte = 0;
  DWORD written = 0;
  const bool ok =
      WriteFile(probe, &byte, 1, &written, nullptr) && written == 1 && FlushFileBuffers(probe);
  const DWORD error = GetLastError();
  CloseHandle(probe);
  return ok ? "" : SystemReason(error == ERROR_DISK_FULL ? ENOSPC : ErrnoOf(error));
}

std::optional<CheckedFile> CheckedFile::Open(const std::string& path, std::string& reason) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    reason = SystemReason(EISDIR);
    return std::nullopt;
  }
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    reason = SystemReason(ErrnoOf(GetLastError()));
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool disk = GetFileType(handle) == FILE_TYPE_DISK;  // not NUL, CON, LPT1 or a pipe
  if (!disk || !GetFileInformationByHandle(handle, &information)) {
    reason = disk ? SystemReason(ErrnoOf(GetLastError())) : "not a regular file";
    CloseHandle(handle);
    return std::nullopt;
  }
  const std::uint64_t size = Whole(information.nFileSizeHigh, information.nFileSizeLow);
  const int descriptor = size > kLargestFile ? -1
                                             : _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                                               _O_RDONLY | _O_BINARY);
  if (descriptor < 0) {
    reason = SystemReason(size > kLargestFile ? EFBIG : EMFILE);
    CloseHandle(handle);
    return std::nullopt;
  }
  struct stat examined {};
  examined.st_mode = S_IFREG;
  examined.st_size = static_cast<decltype(examined.st_size)>(size);
  examined.st_mtime = Seconds(information.ftLastWriteTime);
  return CheckedFile(path, descriptor, examined);
}

CheckedFile::CheckedFile(std::string path, int descriptor, const struct stat& examined)
    : path_(std::move(path)), descriptor_(descriptor), examined_(examined) {}

void FileDescriptor::Close() {
  if (descriptor_ >= 0) _close(descriptor_);
  descriptor_ = -1;
}

bool CheckedFile::Read(std::vector<std::uint8_t>& bytes, std::string& reason) const {
  bytes.assign(static_cast<std::size_t>(size()), 0);
  std::size_t got = 0;
  while (got < bytes.size()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(got);
    const std::size_t left = bytes.size() - got;
    DWORD n = 0;
    if (!ReadFile(HandleOf(descriptor_.get()), bytes.data() + got,
                  static_cast<DWORD>(left < kLargestTransfer ? left : kLargestTransfer), &n, &at) ||
        n == 0) {
      reason = n == 0 && GetLastError() == ERROR_HANDLE_EOF ? "the file shrank while it was read"
                                                            : SystemReason(ErrnoOf(GetLastError()));
      return false;
    }
    got += n;
  }
  return true;
}

// Nobody can change, rename or delete the file while it is held open.
std::string CheckedFile::HeldName() const { return path_; }

bool CheckedFile::Unchanged() const {
  WIN32_FILE_ATTRIBUTE_DATA now{};
  return GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &now) &&
         Whole(now.nFileSizeHigh, now.nFileSizeLow) == size() &&
         Seconds(now.ftLastWriteTime) == examined_.st_mtime;
}

}  // namespace omrix::commands
