#include <ctime>
#include <vector>

#include "system_impl.h"
#include "windows_api.h"

namespace omrix::platform {

namespace {

// Long enough for any path Windows hands out, including the \\?\ form.
constexpr DWORD kLongestPath = 32768;

bool ModuleFileName(HMODULE module, std::string& path) {
  std::vector<char> buffer(kLongestPath);
  const DWORD length = GetModuleFileNameA(module, buffer.data(), kLongestPath);
  if (length == 0 || length >= kLongestPath) return false;
  path.assign(buffer.data(), length);
  return true;
}

SC_HANDLE AsService(Handle handle) { return reinterpret_cast<SC_HANDLE>(handle); }
Handle FromService(SC_HANDLE handle) {
  return handle == nullptr ? kInvalidHandle : reinterpret_cast<Handle>(handle);
}

class WindowsSystem final : public System {
 public:
  bool queryVersion(VersionInfo& info) override {
    // GetVersionEx answers with the version a program's manifest names; the kernel's own
    // answer is the true one.
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return false;
    const auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (rtlGetVersion == nullptr || rtlGetVersion(&version) != 0) return false;
    info.platformId = version.dwPlatformId;
    info.major = version.dwMajorVersion;
    info.minor = version.dwMinorVersion;
    info.build = version.dwBuildNumber;
    info.release = std::to_string(info.major) + "." + std::to_string(info.minor) + "." +
                   std::to_string(info.build);
    return true;
  }

  bool ownModulePath(std::string& path) override {
    HMODULE module = nullptr;
    const DWORD flags =
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    if (!GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&makeSystem), &module)) return false;
    return ModuleFileName(module, path);
  }

  bool programPath(std::string& path) override { return ModuleFileName(nullptr, path); }

  bool shortPathName(const std::string& path, std::string& shortPath) override {
    std::vector<char> buffer(kLongestPath);
    const DWORD length = GetShortPathNameA(path.c_str(), buffer.data(), kLongestPath);
    if (length == 0 || length >= kLongestPath) return false;
    shortPath.assign(buffer.data(), length);
    return true;
  }

  void beep(std::uint32_t type) override { MessageBeep(type); }

  // 64 bits on both targets, so that dates from 2038 on are right on 32-bit Windows too.
  std::int64_t calendarTime() override { return static_cast<std::int64_t>(_time64(nullptr)); }

  Handle openServiceManager(std::uint32_t access) override {
    return FromService(OpenSCManagerA(nullptr, nullptr, access));
  }
  Handle createService(Handle manager, const ServiceConfig& config) override {
    return FromService(
        CreateServiceA(AsService(manager), config.name.c_str(), config.displayName.c_str(),
                       config.access, config.type, config.startType, config.errorControl,
                       config.imagePath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  Handle openService(Handle manager, const std::string& name, std::uint32_t access) override {
    return FromService(OpenServiceA(AsService(manager), name.c_str(), access));
  }
  bool startService(Handle service) override {
    return StartServiceA(AsService(service), 0, nullptr) != 0;
  }
  bool deleteService(Handle service) override { return DeleteService(AsService(service)) != 0; }
  bool closeServiceHandle(Handle handle) override {
    return handle != kInvalidHandle && CloseServiceHandle(AsService(handle)) != 0;
  }
};

}  // namespace

// Windows raises no program's rights at its start as a set-user-id file does.
bool System::secureExecution() { return false; }

bool LocalCalendarTime(std::int64_t seconds, std::tm& result) {
  const auto time = static_cast<__time64_t>(seconds);
  return _localtime64_s(&result, &time) == 0;
}

// CR LF, as Notepad and the programs that read such files on Windows expect.
std::string WithSystemLineEnds(std::string text) {
  std::string converted;
  converted.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

std::unique_ptr<System> makeSystem() { return std::make_unique<WindowsSystem>(); }

std::string WindowsErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string result =
      length != 0 && text != nullptr ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' ||
                             result.back() == ' ' || result.back() == '.'))
    result.pop_back();
  return result;
}

}  // namespace omrix::platform
