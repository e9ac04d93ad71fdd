#include "tool_files.h"

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command_line.h"

namespace omrix::cli {

namespace {

constexpr const char* kStateHeader = "omrixctl state 1";
constexpr const char* kSlotKey = "cpu-slot ";
constexpr const char* kPathKey = "cpu-path ";

std::string WithTrailingSlash(std::string directory) {
  if (!directory.empty() && directory.back() != '/') directory += '/';
  return directory;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

std::string LibraryDirectory() {
  const char* configured = std::getenv("OMRIX_LIBRARY_DIR");
  if (configured && *configured) return WithTrailingSlash(configured);
  // The symbol's definition, not a stub in this program, names the library file.
  void* symbol = dlsym(RTLD_DEFAULT, "HwaccInit_EnableDllMessages");
  Dl_info info{};
  if (!symbol || dladdr(symbol, &info) == 0 || !info.dli_fname) return "";
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
  if (error) return "";
  return WithTrailingSlash(file.parent_path().string());
}

std::string AbsolutePath(const std::string& name) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(name, error);
  if (error) return name;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.string() : resolved.string();
}

std::optional<commands::LastCpuFile> ReadLastCpuFile(const std::string& stateFile) {
  std::ifstream in(stateFile);
  std::string line;
  if (!std::getline(in, line) || line != kStateHeader) return std::nullopt;
  std::optional<std::int32_t> slot;
  std::optional<std::string> path;
  while (std::getline(in, line)) {
    if (StartsWith(line, kSlotKey)) {
      std::uint32_t value = 0;
      if (ParseNumber(line.substr(std::strlen(kSlotKey)), 3, value))
        slot = static_cast<std::int32_t>(value);
    } else if (StartsWith(line, kPathKey)) {
      path = line.substr(std::strlen(kPathKey));
    }
  }
  if (!slot || !path || path->empty()) return std::nullopt;
  return commands::LastCpuFile{*slot, *path};
}

bool WriteLastCpuFile(const std::string& stateFile, const commands::LastCpuFile& last,
                      std::string& error) {
  if (last.path.find('\n') != std::string::npos) {
    error = "a file name with a line break cannot be remembered";
    return false;
  }
  const std::string temporary = stateFile + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    if (!out) {
      // Not ours to remove: it may be anything that holds the name.
      error = "cannot write '" + temporary + "': " + std::strerror(errno);
      return false;
    }
    out << kStateHeader << '\n' << kSlotKey << last.slot << '\n' << kPathKey << last.path << '\n';
    out.flush();
    if (!out) {
      error = "cannot write '" + temporary + "': " + std::strerror(errno);
      std::remove(temporary.c_str());
      return false;
    }
  }
  if (std::rename(temporary.c_str(), stateFile.c_str()) != 0) {
    error = "cannot replace '" + stateFile + "': " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace omrix::cli
