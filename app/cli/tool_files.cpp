#include "tool_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "command_line.h"
#include "commands/checked_file.h"

namespace omrix::cli {

namespace {

constexpr const char* kStateHeader = "omrixctl state 1";
constexpr const char* kSlotKey = "cpu-slot ";
constexpr const char* kPathKey = "cpu-path ";

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

}  // namespace

std::string AbsolutePath(const std::string& name) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(commands::PathOf(name), error);
  if (error) return name;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
  return commands::NameOf(error ? absolute : resolved);
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
    // Windows says only "Permission denied" of a directory in the way.
    std::error_code unknown;
    const bool directory = std::filesystem::is_directory(temporary, unknown);
    std::ofstream out;
    if (!directory) out.open(temporary, std::ios::trunc);
    if (!out.is_open()) {
      // Not ours to remove: it may be anything that holds the name.
      error = "cannot write '" + temporary + "': " + std::strerror(directory ? EISDIR : errno);
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
  // std::rename keeps an existing file on Windows; this one replaces it on both systems.
  std::error_code renamed;
  std::filesystem::rename(commands::PathOf(temporary), commands::PathOf(stateFile), renamed);
  if (renamed) {
    error = "cannot replace '" + stateFile + "': " + renamed.message();
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace omrix::cli
