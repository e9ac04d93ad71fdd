#include <dlfcn.h>
#include <sys/auxv.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <ctime>

#include "system_impl.h"

namespace omrix::platform {

namespace {

// Linux has no service control manager: the real system answers "no manager", so a driver
// bring-up that needs one fails cleanly.
class LinuxSystem final : public System {
 public:
  bool queryVersion(VersionInfo& info) override {
    struct utsname name {};
    if (uname(&name) != 0) return false;
    info.platformId = kPlatformNT;  // port access needs a grant, as on the NT family
    info.release = name.release;
    unsigned major = 0, minor = 0, build = 0;
    if (std::sscanf(name.release, "%u.%u.%u", &major, &minor, &build) >= 1) {
      info.major = major;
      info.minor = minor;
      info.build = build;
    }
    return true;
  }

  bool ownModulePath(std::string& path) override {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&makeSystem), &info) == 0 || info.dli_fname == nullptr)
      return false;
    char resolved[PATH_MAX];
    if (realpath(info.dli_fname, resolved) == nullptr) return false;
    path = resolved;
    return true;
  }

  bool programPath(std::string& path) override {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return false;
    path.assign(buffer, static_cast<std::size_t>(length));
    return true;
  }

  bool shortPathName(const std::string& path, std::string& shortPath) override {
    shortPath = path;  // Linux names have no short form
    return true;
  }

  void beep(std::uint32_t) override {
    if (isatty(STDERR_FILENO) == 1) {
      const ssize_t written = write(STDERR_FILENO, "\a", 1);
      (void)written;
    }
  }

  std::int64_t calendarTime() override { return static_cast<std::int64_t>(std::time(nullptr)); }

  Handle openServiceManager(std::uint32_t) override { return kInvalidHandle; }
  Handle createService(Handle, const ServiceConfig&) override { return kInvalidHandle; }
  Handle openService(Handle, const std::string&, std::uint32_t) override { return kInvalidHandle; }
  bool startService(Handle) override { return false; }
  bool deleteService(Handle) override { return false; }
  bool closeServiceHandle(Handle) override { return false; }
};

}  // namespace

bool System::secureExecution() { return getauxval(AT_SECURE) != 0; }

bool LocalCalendarTime(std::int64_t seconds, std::tm& result) {
  const auto time = static_cast<std::time_t>(seconds);
  return static_cast<std::int64_t>(time) == seconds && localtime_r(&time, &result) != nullptr;
}

std::string WithSystemLineEnds(std::string text) { return text; }

std::unique_ptr<System> makeSystem() { return std::make_unique<LinuxSystem>(); }

}  // namespace omrix::platform
