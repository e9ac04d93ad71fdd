#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>

#include "backends.h"
#include "port_lock.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define OMRIX_HAVE_PORT_IO 1
#endif

namespace omrix::platform {

namespace {

// Asking for a port no parallel port uses tells whether the kernel lets this process do port
// I/O at all, without disturbing a range that is already granted.
constexpr unsigned long kProbePort = 0x80;

// The bases a PC's own parallel ports sit at; others only from the administrator's list.
constexpr std::uint16_t kStandardBases[] = {0x3BC, 0x378, 0x278};
// What an address without a port reads.
constexpr std::uint8_t kOpenBus = 0xFF;
// Data, status and control: read to tell whether a port is there.
constexpr std::uint32_t kReadableRegisters = 3;
// Only root may decide which ports a program with the capability reaches.
constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;
constexpr std::size_t kLargestAllowList = 64 * 1024;

int realIoperm(unsigned long first, unsigned long count, int turnOn) {
#ifdef OMRIX_HAVE_PORT_IO
  return ::ioperm(first, count, turnOn) == 0 ? 0 : errno;
#else
  (void)first;
  (void)count;
  (void)turnOn;
  return ENOSYS;
#endif
}

std::uint8_t realInb(std::uint16_t port) {
#ifdef OMRIX_HAVE_PORT_IO
  return ::inb(port);
#else
  (void)port;
  return 0xFF;
#endif
}

void realOutb(std::uint8_t value, std::uint16_t port) {
#ifdef OMRIX_HAVE_PORT_IO
  ::outb(value, port);
#else
  (void)value;
  (void)port;
#endif
}

std::string Quoted(const std::string& path) { return "\xB4" + path + "\xB4"; }

// Why a file or directory is not root's alone, or empty when it is.
std::string NotRootsAlone(const struct stat& status, const std::string& path) {
  if (status.st_uid != 0) return Quoted(path) + " is not owned by root";
  if (!S_ISLNK(status.st_mode) && (status.st_mode & kWritableByOthers) != 0)
    return Quoted(path) + " is writable by others than root";
  return {};
}

// One hex base a line ("D010", "0xD010", or "D010h" as the library's lines show bases); blank
// lines and '#' comments are allowed.
bool ParseBase(std::string text, std::uint16_t& base) {
  if (!text.empty() && (text.back() == 'h' || text.back() == 'H')) text.pop_back();
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long value = std::strtoul(text.c_str(), &end, 16);
  if (errno != 0 || *end != '\0' || text[0] == '-' || text[0] == '+') return false;
  const PortRange range = parallelPortRange(static_cast<std::uint16_t>(value));
  if (value == 0 || value > 0xFFFF || range.first + range.count > 0x10000) return false;
  base = static_cast<std::uint16_t>(value);
  return true;
}

// The bases the list adds; a list that is not root's alone adds none. Problems become warnings.
std::vector<std::uint16_t> ReadAllowList(const std::string& path, std::string& warnings) {
  std::vector<std::uint16_t> bases;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno != ENOENT)
      warnings += "-> WARNING: " + Quoted(path) + " ignored: " + std::strerror(errno) + "\n";
    return bases;
  }
  struct stat status {};
  std::string problem;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    problem = Quoted(path) + " is no regular file";
  } else if (status.st_size > static_cast<off_t>(kLargestAllowList)) {
    problem = Quoted(path) + " is too large";
  } else {
    problem = NotRootsAlone(status, path);
  }
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while (problem.empty() && (got = ::read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) problem = Quoted(path) + ": " + std::strerror(errno);
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (!problem.empty()) {
    warnings += "-> WARNING: " + problem + ", its port bases are ignored\n";
    return bases;
  }
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    line = line.substr(0, line.find('#'));
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos) continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
    std::uint16_t base = 0;
    if (ParseBase(line, base)) {
      bases.push_back(base);
    } else {
      warnings += "-> WARNING: " + Quoted(path) + " line " + std::to_string(number) +
                  " is no port base, ignored\n";
    }
  }
  return bases;
}

class DirectBackend final : public PortBackend {
 public:
  explicit DirectBackend(const DirectConfig& config)
      : ops_(config.ops),
        lockDirectory_(config.lockDirectory),
        allowListPath_(config.allowListPath) {
    listed_ = ReadAllowList(allowListPath_, warnings_);
  }

  std::string notice() const override { return warnings_; }
  bool mayAccessPorts() override {
    if (ops_.ioperm(kProbePort, 1, 1) != 0) return false;
    ops_.ioperm(kProbePort, 1, 0);
    return true;
  }

 protected:
  std::uint8_t rawIn(std::uint16_t port) override { return ops_.inb(port); }
  void rawOut(std::uint16_t port, std::uint8_t value) override { ops_.outb(value, port); }
  // Only a parallel port's registers, never more. Two programs on one port would clobber each
  // other's cycles: the port is locked first, and a lock that cannot be had is a refusal.
  bool grant(const PortRange& range) override {
    if (!mayGrant(range)) {
      refuse(GrantRefusal::NotAllowed, allowListPath_);
      return false;
    }
    PortLock lock;
    std::string detail;
    switch (lock.acquire(lockDirectory_, range.first, detail)) {
      case PortLock::Result::Held: break;
      case PortLock::Result::Failed: refuse(GrantRefusal::LockFailed, detail); return false;
      case PortLock::Result::Busy:
        // A base without a port is nobody's: a setup searching it finds nothing, not "busy".
        if (!answers(range)) return ops_.ioperm(range.first, range.count, 1) == 0;
        refuse(GrantRefusal::Busy, detail);
        return false;
    }
    if (ops_.ioperm(range.first, range.count, 1) != 0) return false;
    locks_[range.first] = std::move(lock);
    return true;
  }
  bool revoke(const PortRange& range) override {
    const bool revoked = ops_.ioperm(range.first, range.count, 0) == 0;
    locks_.erase(range.first);
    return revoked;
  }

 private:
  bool mayGrant(const PortRange& range) const {
    if (range.first > 0xFFFF) return false;
    const auto base = static_cast<std::uint16_t>(range.first);
    const bool known = std::find(std::begin(kStandardBases), std::end(kStandardBases), base) !=
                           std::end(kStandardBases) ||
                       std::find(listed_.begin(), listed_.end(), base) != listed_.end();
    return known && range.count <= parallelPortRange(base).count;
  }

  // Whether a port is there: reads have no effect on a parallel port, so they do not disturb
  // the program that holds it.
  bool answers(const PortRange& range) {
    if (ops_.ioperm(range.first, kReadableRegisters, 1) != 0) return true;  // cannot tell
    bool any = false;
    for (std::uint32_t offset = 0; offset < kReadableRegisters; ++offset)
      any = ops_.inb(static_cast<std::uint16_t>(range.first + offset)) != kOpenBus || any;
    ops_.ioperm(range.first, kReadableRegisters, 0);
    return any;
  }

  DirectPortOps ops_;
  std::string lockDirectory_;
  std::string allowListPath_;
  std::vector<std::uint16_t> listed_;
  std::string warnings_;
  std::map<std::uint32_t, PortLock> locks_;  // by port base, while its range is held
};

}  // namespace

DirectPortOps realDirectPortOps() { return {realIoperm, realInb, realOutb}; }

std::unique_ptr<PortBackend> makeDirectBackend(const DirectConfig& config) {
  return std::make_unique<DirectBackend>(config);
}

bool directAllowedInThisProcess(std::string& problem) {
  if (!system().secureExecution()) return true;
  std::string path;
  if (!system().ownModulePath(path) || path.empty() || path[0] != '/') {
    problem = "direct port I/O refused with raised privileges: the library's own file is unknown";
    return false;
  }
  // Whoever may replace the library or a directory above it could run their own code with the
  // capability.
  for (;;) {
    struct stat status {};
    std::string why = ::lstat(path.c_str(), &status) != 0
                          ? Quoted(path) + ": " + std::strerror(errno)
                          : NotRootsAlone(status, path);
    if (!why.empty()) {
      problem = "direct port I/O refused with raised privileges: " + why +
                " (the library and every directory above it must be root's alone)";
      return false;
    }
    if (path == "/") return true;
    const std::size_t slash = path.find_last_of('/');
    path = slash == 0 ? "/" : path.substr(0, slash);
  }
}

}  // namespace omrix::platform
