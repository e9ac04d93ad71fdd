// Arbitrary bytes as the shell's input: piped, every line comes back whole, byte for byte,
// and a line holding a NUL byte is the only one refused; typed on a UTF-8 terminal, the bytes
// decode to characters that encode back to exactly those bytes, or are reported as unreadable.
#include <unistd.h>

#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "terminal_input.h"

namespace {

// The whole input fits the pipe, so it is written before it is read.
constexpr std::size_t kLargestInput = 60000;

void Check(bool condition) {
  if (!condition) std::abort();
}

void ReadPiped(const std::string& input) {
  int ends[2];
  Check(pipe(ends) == 0);
  Check(write(ends[1], input.data(), input.size()) == static_cast<ssize_t>(input.size()));
  close(ends[1]);
  std::string rebuilt;
  while (const std::optional<std::string> line = omrix::cli::ReadInputLine(ends[0])) {
    Check(line->find('\n') == std::string::npos);
    Check(omrix::cli::LineProblem(*line).empty() == (line->find('\0') == std::string::npos));
    rebuilt += *line + '\n';
  }
  close(ends[0]);
  const bool endsInLineEnd = !input.empty() && input.back() == '\n';
  Check(rebuilt == (input.empty() || endsInLineEnd ? input : input + '\n'));
}

void Decode(const std::string& input) {
  omrix::cli::TypedDecoder decoder;
  std::vector<wchar_t> characters;
  std::size_t decoded = 0;  // bytes up to the last whole character
  bool unreadable = false;
  for (std::size_t i = 0; i < input.size(); ++i) {
    wchar_t character = 0;
    switch (decoder.Feed(input[i], character)) {
      case omrix::cli::TypedDecoder::Step::Character:
        characters.push_back(character);
        decoded = i + 1;
        break;
      case omrix::cli::TypedDecoder::Step::More: break;
      case omrix::cli::TypedDecoder::Step::Invalid: unreadable = true; break;
    }
  }
  std::string bytes;
  const bool encoded = omrix::cli::EncodeTyped(characters.data(), characters.size(), bytes);
  if (!unreadable) Check(encoded && bytes == input.substr(0, decoded));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  Check(utf8);
  if (size > kLargestInput) return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  ReadPiped(input);
  Decode(input);
  return 0;
}
