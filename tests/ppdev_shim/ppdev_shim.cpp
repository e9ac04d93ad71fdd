// Preloaded (LD_PRELOAD) under a program that uses libieee1284, this stands in for the
// kernel's parallel-port drivers with the board simulator behind them: /dev/parportN for each
// simulated port, the /proc/sys/dev/parport tree libieee1284 finds the ports in, and the
// ppdev requests and transfers on those devices. The tree lists each port's active device as
// the kernel does, so a program can see another one holding the port. Everything
// libieee1284 could otherwise reach the machine's real ports with (ioperm, iopl, /dev/port,
// other /dev/parport and /dev/lp nodes) is refused, so nothing run under it touches real
// hardware.
//
// The simulator is configured by OMRIX_SIM as the sim backend's is; its state directory is
// OMRIX_SIM's state=, else omrix-sim/ in OMRIX_LIBRARY_DIR.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "kernel_parport.h"
#include "omrix/sim/sim_config.h"

namespace omrix::ppdev_shim {
namespace {

constexpr const char* kProcTree = "/proc/sys/dev/parport";
constexpr const char* kOldProcTree = "/proc/parport";  // Linux 2.2's; this kernel has none
constexpr const char* kDevicePrefix = "/dev/parport";
constexpr const char* kPrinterPrefix = "/dev/lp";
constexpr const char* kRawPorts = "/dev/port";
constexpr const char* kNullDevice = "/dev/null";
constexpr unsigned kParportMajor = 99;  // the kernel's device number for /dev/parportN
constexpr mode_t kDeviceMode = S_IFCHR | 0660;
// The registers after the base that parport_pc's ECR block sits at, as /proc shows it.
constexpr unsigned kHighBaseOffset = 0x400;

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFunction = int (*)(const char*, int, ...);
using CloseFunction = int (*)(int);
using IoctlFunction = int (*)(int, unsigned long, ...);
using ReadFunction = ssize_t (*)(int, void*, size_t);
using WriteFunction = ssize_t (*)(int, const void*, size_t);
using OpendirFunction = DIR* (*)(const char*);
using FopenFunction = FILE* (*)(const char*, const char*);
using XstatFunction = int (*)(int, const char*, struct stat*);
using StatFunction = int (*)(const char*, struct stat*);
using AccessFunction = int (*)(const char*, int);
using FstatatFunction = int (*)(int, const char*, struct stat*, int);

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The path itself or anything below it.
bool Under(const std::string& path, const std::string& directory) {
  return StartsWith(path, directory) &&
         (path.size() == directory.size() || path[directory.size()] == '/');
}

// Whether the shim answers for the path: everything that could reach a parallel port.
bool Answered(const char* path) {
  if (path == nullptr) return false;
  const std::string text = path;
  return Under(text, kProcTree) || Under(text, kOldProcTree) || StartsWith(text, kDevicePrefix) ||
         StartsWith(text, kPrinterPrefix) || text == kRawPorts;
}

void WriteFileAtomically(const std::filesystem::path& path, const std::string& text) {
  const std::filesystem::path temporary =
      path.string() + ".tmp" + std::to_string(static_cast<long>(::getpid()));
  { std::ofstream(temporary) << text; }
  std::error_code ignored;
  std::filesystem::rename(temporary, path, ignored);
}

class Shim;
// Set once the shim is made: until then no descriptor can be one of its devices.
std::atomic<Shim*> g_shim{nullptr};

class Shim {
 public:
  Shim() {
    std::vector<std::string> problems;
    sim::SimConfig config = sim::ParseSimConfig(Environment("OMRIX_SIM"), problems);
    for (const auto& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    if (config.stateDir.empty() && !Environment("OMRIX_LIBRARY_DIR").empty())
      config.stateDir = Environment("OMRIX_LIBRARY_DIR") + "omrix-sim/";
    if (config.stateDir.empty()) {
      std::fprintf(stderr,
                   "ppdev shim: OMRIX_SIM names no state directory and "
                   "OMRIX_LIBRARY_DIR is not set: no /dev/parport is served\n");
      return;
    }
    std::error_code error;
    std::filesystem::create_directories(config.stateDir, error);
    machine_ = std::make_unique<Machine>(std::move(config));
    procRoot_ = machine_->stateDirectory() + "kernel";
    writeProcTree();
  }

  // At exit the kernel closes what is still open; the calls that makes pass straight through.
  ~Shim() { g_shim.store(nullptr); }
  Shim(const Shim&) = delete;
  Shim& operator=(const Shim&) = delete;

  // A port's devices/active is made afresh each time it is opened.
  void refreshActiveDevice(const std::string& path) const {
    if (!machine_) return;
    for (std::size_t i = 0; i < machine_->ports().size(); ++i) {
      if (path != PortDirectory(i) + "/devices/active") continue;
      WriteFileAtomically(procRoot_ + path, machine_->activeDevice(i) + "\n");
    }
  }

  // The device number of /dev/parportN, or -1.
  int deviceNumber(const std::string& path) const {
    if (!machine_ || !StartsWith(path, kDevicePrefix)) return -1;
    const std::string digits = path.substr(std::string(kDevicePrefix).size());
    if (digits.empty() || digits.size() > 2 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
      return -1;
    const int number = std::stoi(digits);
    return static_cast<std::size_t>(number) < machine_->ports().size() ? number : -1;
  }

  // What the path stands for under the shim: the same path, one in the simulated /proc
  // tree, or nothing (errno set).
  bool redirect(const char* path, std::string& redirected) const {
    const std::string text = path != nullptr ? path : "";
    redirected = text;
    if (Under(text, kProcTree)) {
      if (!machine_) return Refuse(ENOENT);
      redirected = procRoot_ + text;
      return true;
    }
    if (StartsWith(text, kDevicePrefix) || StartsWith(text, kPrinterPrefix) ||
        Under(text, kOldProcTree))
      return deviceNumber(text) >= 0 || Refuse(ENOENT);
    if (text == kRawPorts) return Refuse(EACCES);
    return true;
  }

  int openDevice(int number, int flags) {
    static const auto realOpen = Real<OpenFunction>("open");
    const int fd = realOpen(kNullDevice, O_RDWR | (flags & O_CLOEXEC));
    if (fd < 0) return fd;
    std::lock_guard<std::mutex> lock(tableMutex_);
    files_[fd] = std::make_shared<PpdevFile>(*machine_, static_cast<std::size_t>(number));
    return fd;
  }

  std::shared_ptr<PpdevFile> file(int fd) {
    std::lock_guard<std::mutex> lock(tableMutex_);
    const auto found = files_.find(fd);
    return found == files_.end() ? nullptr : found->second;
  }

  // The kernel's close of the device runs here, before the descriptor goes.
  void forget(int fd) {
    std::shared_ptr<PpdevFile> closing;
    {
      std::lock_guard<std::mutex> lock(tableMutex_);
      const auto found = files_.find(fd);
      if (found == files_.end()) return;
      closing = std::move(found->second);
      files_.erase(found);
    }
    std::lock_guard<std::recursive_mutex> lock(machineMutex_);
    closing.reset();
  }

  // The simulator is one machine: its files are served one request at a time.
  std::recursive_mutex& machineMutex() { return machineMutex_; }

 private:
  static std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
  }

  static bool Refuse(int error) {
    errno = error;
    return false;
  }

  static std::string PortDirectory(std::size_t port) {
    return std::string(kProcTree) + "/parport" + std::to_string(port);
  }

  void writeProcTree() const {
    const std::filesystem::path root = procRoot_ + kProcTree;
    std::error_code error;
    std::filesystem::create_directories(root / "default", error);
    WriteFileAtomically(root / "default" / "timeslice", "200\n");
    WriteFileAtomically(root / "default" / "spintime", "500\n");
    for (std::size_t i = 0; i < machine_->ports().size(); ++i) {
      const PortDescription& port = machine_->ports()[i];
      const std::filesystem::path directory = procRoot_ + PortDirectory(i);
      std::filesystem::create_directories(directory / "devices", error);
      WriteFileAtomically(
          directory / "base-addr",
          std::to_string(port.base) + "\t" + std::to_string(port.base + kHighBaseOffset) + "\n");
      WriteFileAtomically(directory / "irq", "-1\n");
      WriteFileAtomically(directory / "dma", "-1\n");
      std::string modes = "PCSPP";
      if (port.bidirectional) modes += ",TRISTATE";
      if (port.epp) modes += ",EPP";
      WriteFileAtomically(directory / "modes", modes + "\n");
    }
  }

  std::unique_ptr<Machine> machine_;
  std::string procRoot_;
  std::mutex tableMutex_;
  std::map<int, std::shared_ptr<PpdevFile>> files_;
  std::recursive_mutex machineMutex_;
};

Shim& TheShim() {
  static Shim shim;
  g_shim.store(&shim);
  return shim;
}

int OpenThrough(OpenFunction real, const char* path, int flags, mode_t mode) {
  if (!Answered(path)) return real(path, flags, mode);
  std::string redirected;
  if (!TheShim().redirect(path, redirected)) return -1;
  const int number = TheShim().deviceNumber(redirected);
  if (number >= 0) return TheShim().openDevice(number, flags);
  TheShim().refreshActiveDevice(path);
  return real(redirected.c_str(), flags, mode);
}

// Streams, as C++ file streams open them: only the /proc tree is read this way.
FILE* FopenThrough(FopenFunction real, const char* path, const char* mode) {
  if (!Answered(path)) return real(path, mode);
  std::string redirected;
  if (!TheShim().redirect(path, redirected)) return nullptr;
  if (TheShim().deviceNumber(redirected) >= 0) {
    errno = EACCES;  // a port's device is no stream
    return nullptr;
  }
  TheShim().refreshActiveDevice(path);
  return real(redirected.c_str(), mode);
}

// stat and its kin: a served device looks like the kernel's node, the rest is redirected.
template <typename Stat>
int StatThrough(Stat real, const char* path, struct stat* buffer) {
  if (!Answered(path)) return real(path, buffer);
  std::string redirected;
  if (!TheShim().redirect(path, redirected)) return -1;
  const int number = TheShim().deviceNumber(redirected);
  if (number < 0) return real(redirected.c_str(), buffer);
  if (real(kNullDevice, buffer) != 0) return -1;
  buffer->st_mode = kDeviceMode;
  buffer->st_rdev = makedev(kParportMajor, static_cast<unsigned>(number));
  return 0;
}

mode_t ModeArgument(int flags, va_list arguments) {
  const bool hasMode = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
  return hasMode ? static_cast<mode_t>(va_arg(arguments, unsigned int)) : 0;
}

// A result of the kernel model as a system call returns it.
template <typename Result>
Result Returned(Result result) {
  if (result >= 0) return result;
  errno = static_cast<int>(-result);
  return -1;
}

}  // namespace
}  // namespace omrix::ppdev_shim

using omrix::ppdev_shim::Answered;
using omrix::ppdev_shim::g_shim;
using omrix::ppdev_shim::Real;
using omrix::ppdev_shim::Returned;
using omrix::ppdev_shim::TheShim;

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
  static const auto real = Real<omrix::ppdev_shim::OpenFunction>("open");
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = omrix::ppdev_shim::ModeArgument(flags, arguments);
  va_end(arguments);
  return omrix::ppdev_shim::OpenThrough(real, path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
  static const auto real = Real<omrix::ppdev_shim::OpenFunction>("open64");
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = omrix::ppdev_shim::ModeArgument(flags, arguments);
  va_end(arguments);
  return omrix::ppdev_shim::OpenThrough(real, path, flags, mode);
}

__attribute__((visibility("default"))) int close(int fd) {
  static const auto real = Real<omrix::ppdev_shim::CloseFunction>("close");
  if (auto* shim = g_shim.load()) shim->forget(fd);
  return real(fd);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
  static const auto real = Real<omrix::ppdev_shim::IoctlFunction>("ioctl");
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  auto* shim = g_shim.load();
  const auto file = shim != nullptr ? shim->file(fd) : nullptr;
  if (!file) return real(fd, request, argument);
  std::lock_guard<std::recursive_mutex> lock(shim->machineMutex());
  return Returned(file->ioctl(request, argument));
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* buffer, size_t length) {
  static const auto real = Real<omrix::ppdev_shim::ReadFunction>("read");
  auto* shim = g_shim.load();
  const auto file = shim != nullptr ? shim->file(fd) : nullptr;
  if (!file) return real(fd, buffer, length);
  const bool nonblocking = (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
  std::lock_guard<std::recursive_mutex> lock(shim->machineMutex());
  return Returned(file->read(buffer, length, nonblocking));
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void* buffer, size_t length) {
  static const auto real = Real<omrix::ppdev_shim::WriteFunction>("write");
  auto* shim = g_shim.load();
  const auto file = shim != nullptr ? shim->file(fd) : nullptr;
  if (!file) return real(fd, buffer, length);
  std::lock_guard<std::recursive_mutex> lock(shim->machineMutex());
  return Returned(file->write(buffer, length));
}

__attribute__((visibility("default"))) FILE* fopen(const char* path, const char* mode) {
  static const auto real = Real<omrix::ppdev_shim::FopenFunction>("fopen");
  return omrix::ppdev_shim::FopenThrough(real, path, mode);
}

__attribute__((visibility("default"))) FILE* fopen64(const char* path, const char* mode) {
  static const auto real = Real<omrix::ppdev_shim::FopenFunction>("fopen64");
  return omrix::ppdev_shim::FopenThrough(real, path, mode);
}

__attribute__((visibility("default"))) DIR* opendir(const char* path) {
  static const auto real = Real<omrix::ppdev_shim::OpendirFunction>("opendir");
  if (!Answered(path)) return real(path);
  std::string redirected;
  if (!TheShim().redirect(path, redirected)) return nullptr;
  return real(redirected.c_str());
}

// libieee1284 was built against the older glibc interface to stat.
__attribute__((visibility("default"))) int __xstat(int version, const char* path,
                                                   struct stat* buffer) {
  static const auto real = reinterpret_cast<omrix::ppdev_shim::XstatFunction>(
      dlvsym(RTLD_NEXT, "__xstat", "GLIBC_2.2.5"));
  return omrix::ppdev_shim::StatThrough(
      [version](const char* name, struct stat* into) { return real(version, name, into); }, path,
      buffer);
}

__attribute__((visibility("default"))) int stat(const char* path, struct stat* buffer) noexcept {
  static const auto real = Real<omrix::ppdev_shim::StatFunction>("stat");
  return omrix::ppdev_shim::StatThrough(real, path, buffer);
}

__attribute__((visibility("default"))) int lstat(const char* path, struct stat* buffer) noexcept {
  static const auto real = Real<omrix::ppdev_shim::StatFunction>("lstat");
  return omrix::ppdev_shim::StatThrough(real, path, buffer);
}

__attribute__((visibility("default"))) int fstatat(int directory, const char* path,
                                                   struct stat* buffer, int flags) noexcept {
  static const auto real = Real<omrix::ppdev_shim::FstatatFunction>("fstatat");
  return omrix::ppdev_shim::StatThrough(
      [directory, flags](const char* name, struct stat* into) {
        return real(directory, name, into, flags);
      },
      path, buffer);
}

__attribute__((visibility("default"))) int access(const char* path, int mode) noexcept {
  static const auto real = Real<omrix::ppdev_shim::AccessFunction>("access");
  if (!Answered(path)) return real(path, mode);
  std::string redirected;
  if (!TheShim().redirect(path, redirected)) return -1;
  return real(
      TheShim().deviceNumber(redirected) >= 0 ? omrix::ppdev_shim::kNullDevice : redirected.c_str(),
      mode);
}

// Raw port access would reach the machine's real ports.
__attribute__((visibility("default"))) int ioperm(unsigned long, unsigned long, int) {
  errno = EPERM;
  return -1;
}

__attribute__((visibility("default"))) int iopl(int) {
  errno = EPERM;
  return -1;
}

}  // extern "C"
