#include "test_routines.h"

#include <cctype>
#include <cstdio>
#include <optional>
#include <thread>

#include "library_files.h"

namespace omrix::commands {

namespace {

const char* const kHelp[] = {
    "Cmdline help for test routines\n",
    "---------------------------------\n\n",
    "outbyte mm-bus                    o   <ADDRESSh><DATAh>, o 10 55\n",
    "inbyte  mm-bus                    i   <ADDRESSh>, i 11\n",
    "set/reset PPinit                  s   <0/1>, s 1\n",
    "read PPack                        g\n",
    "FPGA configuration                c   <FILENAME>, c demo.bit\n",
    "help                              ?\n\n",
};

constexpr std::chrono::milliseconds kWaitingStep{100};
constexpr unsigned kLinesPerBarStep = 10;

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

// Reads what the arguments hold, from the front; never past their end.
class Arguments {
 public:
  explicit Arguments(std::string text) : text_(std::move(text)) {}

  // A hexadecimal number after blanks, with or without 0x; nothing when there are no digits.
  std::optional<std::uint32_t> Hex() {
    SkipBlanks();
    if (text_.compare(at_, 2, "0X") == 0 && at_ + 2 < text_.size() &&
        std::isxdigit(static_cast<unsigned char>(text_[at_ + 2])))
      at_ += 2;
    std::uint64_t value = 0;
    const std::size_t start = at_;
    for (; at_ < text_.size() && std::isxdigit(static_cast<unsigned char>(text_[at_])); ++at_) {
      const char c = text_[at_];
      const unsigned digit =
          c <= '9' ? static_cast<unsigned>(c - '0') : static_cast<unsigned>(c - 'A' + 10);
      // Only the low byte reaches the bus; an absurdly long number just stays at the largest.
      value = value > 0xFFFFFFFFu ? value : value * 16 + digit;
    }
    if (at_ == start) return std::nullopt;
    return static_cast<std::uint32_t>(value > 0xFFFFFFFFu ? 0xFFFFFFFFu : value);
  }

  // The next word after blanks, as typed.
  std::string Word() {
    SkipBlanks();
    const std::size_t start = at_;
    while (at_ < text_.size() && !IsBlank(text_[at_])) ++at_;
    return text_.substr(start, at_ - start);
  }

 private:
  void SkipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) ++at_;
  }

  std::string text_;
  std::size_t at_ = 0;
};

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Line(const char* format, std::uint32_t first, std::uint32_t second) {
  char line[64];
  std::snprintf(line, sizeof line, format, static_cast<unsigned>(first),
                static_cast<unsigned>(second));
  return line;
}

}  // namespace

TestRoutines::TestRoutines(const Library& library, Output& output, Prompts& prompts, Sleep sleep)
    : library_(library), output_(output), prompts_(prompts), sleep_(std::move(sleep)) {
  if (!sleep_) sleep_ = [](std::chrono::milliseconds time) { std::this_thread::sleep_for(time); };
}

void TestRoutines::Append(const std::string& text) { output_.AppendOutput(text); }

void TestRoutines::PrintHelp() {
  Append("\n");
  for (const char* line : kHelp) Append(line);
}

std::string TestRoutines::WriteByte(std::uint32_t address, std::uint32_t data) {
  library_.outbyte(static_cast<std::int32_t>(address), static_cast<std::int32_t>(data));
  return Line("%.2Xh written to address %.2Xh\n", data, address);
}

std::string TestRoutines::ReadByte(std::uint32_t address) {
  const std::uint32_t value =
      static_cast<std::uint32_t>(library_.inbyte(static_cast<std::int32_t>(address))) & 0xFF;
  return Line("%.2Xh read from address %.2Xh\n", value, address);
}

std::string TestRoutines::SetInit(std::uint32_t level) {
  library_.PPinitSet(static_cast<std::int32_t>(level));
  return level != 0 ? "Signal PPinit set, now at high level, default setting\n"
                    : "Signal PPinit reset, now at low level\n";
}

bool TestRoutines::AckHigh() { return library_.PPackGet() != 0; }

void TestRoutines::Execute(const std::string& text) {
  // The letter and the numbers in either case; a file name as typed, for Linux tells them apart.
  const char letter = UpperCase(text.substr(0, 1)).c_str()[0];
  const std::string rest = text.size() > 2 ? text.substr(2) : "";
  Arguments numbers(UpperCase(rest));
  Arguments words(rest);
  switch (letter) {
    case '?': PrintHelp(); break;
    case '@': WaitUntilCancelled(); break;
    case 'F': break;
    case 'G':
      Append(AckHigh() ? "Signal PPack is at high level, enabled\n"
                       : "Signal PPack is at low level, disabled\n");
      break;
    case 'I':
      if (const auto address = numbers.Hex()) {
        Append(ReadByte(*address));
        break;
      }
      NotImplemented();
      break;
    case 'O': {
      const auto address = numbers.Hex();
      const auto data = address ? numbers.Hex() : std::nullopt;
      if (data) {
        Append(WriteByte(*address, *data));
        break;
      }
      NotImplemented();
      break;
    }
    case 'S':
      if (const auto level = numbers.Hex()) {
        Append(SetInit(*level));
        break;
      }
      NotImplemented();
      break;
    case 'C': {
      const std::string name = words.Word();
      if (name.empty()) {
        NotImplemented();
        break;
      }
      ConfigureFpga(name);  // the library reports for itself
      break;
    }
    default: NotImplemented(); break;
  }
  Append("\n");
}

CommandResult TestRoutines::ConfigureFpga(const std::string& name) {
  CommandResult result;
  std::string source;
  std::string refusal;
  if (!ConfigurationSource(name, source, refusal)) {
    Append(refusal);
    result.Refuse("no FPGA configuration '" + name + "' to load, nothing done");
    return result;
  }
  const std::string step = "FpgaConfig('" + source + "', 1, 1)";
  const std::int32_t code = library_.FpgaConfig(source.c_str(), 1, 1);
  if (source == "CLEAR")
    result.Check(step, code, {OMRIX_FPGA_CLEARED});
  else
    result.Check(step, code, {OMRIX_FPGA_LOADED, OMRIX_FPGA_NO_CONFIG_REGISTER});
  return result;
}

void TestRoutines::NotImplemented() {
  prompts_.Beep();
  Append("Sorry, this command is not implemented\n");
}

void TestRoutines::WaitUntilCancelled() {
  const std::unique_ptr<Progress> progress = prompts_.ShowProgress();
  for (unsigned i = 1; progress != nullptr; ++i) {
    Append("nothing happens, just waiting\n");
    if (progress->CheckCancel()) break;
    sleep_(kWaitingStep);
    if (i % kLinesPerBarStep == 0) progress->StepIt();
  }
  Append("aborted\n");
}

}  // namespace omrix::commands
