#include "files.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace omrix::testing {

// A new directory of a random name: create_directory is false for one that exists.
TemporaryDirectory::TemporaryDirectory() {
  constexpr int kAttempts = 100;
  std::random_device seed;
  std::mt19937 random(seed());
  const std::filesystem::path parent = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    const std::filesystem::path candidate = parent / ("omrix-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      path_ = std::filesystem::canonical(candidate).string() + "/";
      return;
    }
    if (error) break;
  }
  throw std::runtime_error("cannot make a temporary directory");
}

TemporaryDirectory::~TemporaryDirectory() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string ReadLines(const std::string& path) {
  std::string text = ReadWholeFile(path);
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
  return lines;
}

std::optional<std::vector<std::uint8_t>> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in),
                                   std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
}

}  // namespace omrix::testing
