#include "tool_runner.h"

#include <cstdlib>
#include <filesystem>
#include <iterator>

#include "support/environment.h"

namespace omrix::cli::testing {

namespace {

const char* const kStagedFiles[] = {"setup.bit", "demo.bit", "demo.bin", "basic52.dat",
                                    "hello.b52"};

std::string DefaultSim(const std::string& directory) {
  // Quick erases keep a whole session short; the board persists in the directory.
  return "state=" + directory + "omrix-sim/;sector_erase_ms=5;chip_erase_ms=20";
}

bool IsReplaced(const std::string& entry,
                const std::vector<std::pair<std::string, std::string>>& variables) {
  for (const auto& variable : variables) {
    if (entry.compare(0, variable.first.size() + 1, variable.first + "=") == 0) return true;
  }
  return false;
}

// Nothing of the caller's own omrix settings may leak into the child.
bool IsOmrixVariable(const std::string& entry) { return entry.compare(0, 6, "OMRIX_") == 0; }

}  // namespace

ToolCommand::ToolCommand(const std::vector<std::string>& arguments,
                         std::vector<std::string> environment)
    : environment_(std::move(environment)) {
  arguments_.push_back(OMRIXCTL_PATH);
  arguments_.insert(arguments_.end(), arguments.begin(), arguments.end());
  for (std::string& text : arguments_) argv_.push_back(text.data());
  argv_.push_back(nullptr);
  for (std::string& text : environment_) envp_.push_back(text.data());
  envp_.push_back(nullptr);
}

LibraryDirectory::LibraryDirectory(const std::vector<std::string>& extraFiles)
    // In the system's own spelling, as the tool names the files it was given.
    : path_(std::filesystem::path(root_.file("lib/")).make_preferred().string()) {
  std::filesystem::create_directories(path_);
  std::filesystem::create_directories(root_.file("capture"));
  std::vector<std::string> names(std::begin(kStagedFiles), std::end(kStagedFiles));
  names.insert(names.end(), extraFiles.begin(), extraFiles.end());
  for (const std::string& name : names) {
    std::filesystem::copy_file(std::string(OMRIX_DATA_DIR) + "/" + name, path_ + name);
  }
}

std::vector<std::string> LibraryDirectory::environmentFor(
    const std::vector<std::pair<std::string, std::string>>& environment) const {
  std::vector<std::pair<std::string, std::string>> variables = {{"OMRIX_LIBRARY_DIR", path_},
                                                                {"OMRIX_SIM", DefaultSim(path_)}};
  for (const auto& variable : environment) {
    bool replaced = false;
    for (auto& existing : variables) {
      if (existing.first == variable.first) {
        existing.second = variable.second;
        replaced = true;
      }
    }
    if (!replaced) variables.push_back(variable);
  }
  std::vector<std::string> entries;
  for (const std::string& entry : omrix::testing::EnvironmentEntries()) {
    if (!IsOmrixVariable(entry) && !IsReplaced(entry, variables)) entries.push_back(entry);
  }
  for (const auto& variable : variables) entries.push_back(variable.first + "=" + variable.second);
  return entries;
}

std::string NameOfArguments(const std::vector<std::string>& arguments) {
  std::string name;
  for (const std::string& argument : arguments) {
    for (const char c : argument + " ") {
      const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      if (kept) {
        name += c;
      } else if (!name.empty() && name.back() != '_') {
        name += '_';
      }
    }
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  return name.empty() ? "none" : name;
}

std::string InDirectory(const std::string& text, const std::string& directory) {
  std::string result;
  for (const char c : text) {
    if (c == '@') {
      result += directory;
    } else {
      result += c;
    }
  }
  return result;
}

bool ContainsInOrder(const std::string& haystack, const std::vector<std::string>& needles,
                     std::string& missing) {
  std::size_t from = 0;
  for (const std::string& needle : needles) {
    const std::size_t at = haystack.find(needle, from);
    if (at == std::string::npos) {
      missing = needle;
      return false;
    }
    from = at + needle.size();
  }
  return true;
}

}  // namespace omrix::cli::testing
