#include "command_line.h"

#include "help_text.h"
#include "port_backend_listing.h"

using namespace omrix::commands;

#include <cerrno>
#include <cstdlib>

namespace omrix::cli {

namespace {

struct SubcommandEntry {
  const char* name;
  Subcommand subcommand;
  bool needsDevice;
};

constexpr SubcommandEntry kSubcommands[] = {
    {"start", Subcommand::Start, false},
    {"setup", Subcommand::Setup, false},
    {"program", Subcommand::Program, true},
    {"erase", Subcommand::Erase, true},
    {"save", Subcommand::Save, true},
    {"fpga", Subcommand::Fpga, true},
    {"cpu", Subcommand::Cpu, true},
    {"basic", Subcommand::Basic, true},
    {"rate", Subcommand::Rate, true},
    {"update-cpu", Subcommand::UpdateCpu, true},
    {"update-fpga", Subcommand::UpdateFpga, true},
    {"out", Subcommand::Out, true},
    {"in", Subcommand::In, true},
    {"init", Subcommand::Init, true},
    {"ack", Subcommand::Ack, true},
    {"script", Subcommand::Script, false},
    {"shell", Subcommand::Shell, true},
    {"io-test", Subcommand::IoTest, true},
    {"emulate", Subcommand::Emulate, true},
};

struct SlotEntry {
  const char* name;
  CommandId program;
  CommandId erase;
};

constexpr SlotEntry kSlots[] = {
    {"fpga0", ID_PROGRAM_FPGA0, ID_ERASE_FPGA0}, {"fpga1", ID_PROGRAM_FPGA1, ID_ERASE_FPGA1},
    {"cpu0", ID_PROGRAM_CPU0, ID_ERASE_CPU0},    {"cpu1", ID_PROGRAM_CPU1, ID_ERASE_CPU1},
    {"cpu2", ID_PROGRAM_CPU2, ID_ERASE_CPU2},    {"cpu3", ID_PROGRAM_CPU3, ID_ERASE_CPU3},
    {"all", ID_PROGRAM_ALL, ID_ERASE_ALL},
};

// A word of the command line and the menu item it chooses.
struct NamedItem {
  const char* name;
  CommandId id;
};

// The five items of the File > Setup menu.
constexpr NamedItem kPorts[] = {
    {"auto", ID_SETUP_AUTO}, {"3bc", ID_SETUP_3BC}, {"378", ID_SETUP_378},
    {"278", ID_SETUP_278},   {"aux", ID_SETUP_AUX},
};

constexpr CommandId kCpuRuns[] = {ID_CPU_RUN0, ID_CPU_RUN1, ID_CPU_RUN2, ID_CPU_RUN3};

// The Command menu's I/O tests and emulations by the board or cable they are for.
constexpr NamedItem kIoTests[] = {{"omrix", ID_TEST_FPGA_IO}, {"praxnode", ID_TEST_PRAXNODE_IO}};
constexpr NamedItem kEmulations[] = {
    {"at89", ID_EMULATE_AT89}, {"avr", ID_EMULATE_AVR}, {"dlc5", ID_EMULATE_DLC5}};

const SubcommandEntry* FindSubcommand(const std::string& word) {
  for (const SubcommandEntry& entry : kSubcommands) {
    if (word == entry.name) return &entry;
  }
  return nullptr;
}

bool EqualsIgnoringCase(const std::string& text, const char* word) {
  std::size_t i = 0;
  for (; i < text.size() && word[i] != '\0'; ++i) {
    const char a =
        text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
    if (a != word[i]) return false;
  }
  return i == text.size() && word[i] == '\0';
}

// Reads the words after the subcommand into command; returns an error text or "".
class ArgumentReader {
 public:
  ArgumentReader(const std::string& subcommand, const std::vector<std::string>& words)
      : subcommand_(subcommand), words_(words) {}

  bool next(const char* what, std::string& word) {
    if (index_ >= words_.size()) {
      error_ = "'" + subcommand_ + "' needs " + what;
      return false;
    }
    word = words_[index_++];
    return true;
  }

  bool number(const char* what, std::uint32_t largest, std::int32_t& value) {
    std::string word;
    if (!next(what, word)) return false;
    std::uint32_t parsed = 0;
    if (!ParseNumber(word, largest, parsed)) {
      error_ = "bad " + std::string(what) + " '" + word + "' for '" + subcommand_ + "' (0 to " +
               std::to_string(largest) + ", decimal or 0x hexadecimal)";
      return false;
    }
    value = static_cast<std::int32_t>(parsed);
    return true;
  }

  bool hex(const char* what, std::int32_t& value) {
    std::string word;
    if (!next(what, word)) return false;
    std::uint32_t parsed = 0;
    if (!ParseHex(word, 0xFF, parsed)) {
      error_ = "bad " + std::string(what) + " '" + word + "' for '" + subcommand_ +
               "' (00 to FF, hexadecimal)";
      return false;
    }
    value = static_cast<std::int32_t>(parsed);
    return true;
  }

  bool slot(bool erase, CommandId& id) {
    std::string word;
    if (!next("a slot (fpga0, fpga1, cpu0 to cpu3 or all)", word)) return false;
    for (const SlotEntry& entry : kSlots) {
      if (word == entry.name) {
        id = erase ? entry.erase : entry.program;
        return true;
      }
    }
    error_ = "bad slot '" + word + "' (fpga0, fpga1, cpu0 to cpu3 or all)";
    return false;
  }

  bool done() {
    if (index_ < words_.size()) {
      error_ = "unexpected argument '" + words_[index_] + "' for '" + subcommand_ + "'";
      return false;
    }
    return true;
  }

  // One of `items` by its name, the last word; the error lists them all.
  template <std::size_t N>
  bool choice(const char* what, const NamedItem (&items)[N], CommandId& id) {
    std::string word;
    if (!next(what, word)) return false;
    std::string names;
    for (std::size_t i = 0; i < N; ++i) {
      if (word == items[i].name) {
        id = items[i].id;
        return done();
      }
      names += (i == 0 ? "" : i + 1 == N ? " or " : ", ") + std::string(items[i].name);
    }
    error_ =
        "bad " + std::string(what) + " '" + word + "' for '" + subcommand_ + "' (" + names + ")";
    return false;
  }

  void fail(std::string error) { error_ = std::move(error); }
  bool atEnd() const { return index_ >= words_.size(); }
  const std::string& error() const { return error_; }

 private:
  std::string subcommand_;
  const std::vector<std::string>& words_;
  std::size_t index_ = 0;
  std::string error_;
};

bool ReadArguments(Command& command, ArgumentReader& in) {
  switch (command.subcommand) {
    case Subcommand::Start:
    case Subcommand::Ack: return in.done();
    case Subcommand::Rate: command.id = ID_CHECK_TRANSFER_RATE; return in.done();
    case Subcommand::UpdateCpu: command.id = ID_UPDATE_CPU; return in.done();
    case Subcommand::UpdateFpga: command.id = ID_UPDATE_FPGA; return in.done();
    case Subcommand::Setup: {
      command.id = ID_SETUP_AUTO;  // as the menu's first item
      return in.atEnd() || in.choice("port", kPorts, command.id);
    }
    case Subcommand::Program:
      return in.slot(false, command.id) && in.next("a file", command.file) && in.done();
    case Subcommand::Erase: return in.slot(true, command.id) && in.done();
    case Subcommand::Save:
      command.id = ID_SAVE_FLASH;
      return in.next("a file", command.file) && in.done();
    case Subcommand::Fpga: {
      if (!in.next("a file, 'flash' or 'clear'", command.file)) return false;
      command.id = ID_FPGA_CONFIG_PC;
      if (EqualsIgnoringCase(command.file, "flash")) command.id = ID_FPGA_CONFIG_FLASH;
      if (EqualsIgnoringCase(command.file, "clear")) command.id = ID_FPGA_CLEAR;
      return in.done();
    }
    case Subcommand::Cpu: {
      std::string word;
      if (!in.next("'run N' or 'disable'", word)) return false;
      if (word == "disable") {
        command.id = ID_CPU_DISABLE;
        return in.done();
      }
      if (word != "run") {
        in.fail("bad action '" + word + "' for 'cpu' (run N or disable)");
        return false;
      }
      std::int32_t file = 0;
      if (!in.number("CPU file number", 3, file)) return false;
      command.id = kCpuRuns[file];
      return in.done();
    }
    case Subcommand::Basic: {
      std::string word;
      if (!in.next("'save FILE'", word)) return false;
      if (word != "save") {
        in.fail("bad action '" + word + "' for 'basic' (save FILE)");
        return false;
      }
      command.id = ID_SAVE_BASIC_RAM;
      return in.next("a file", command.file) && in.done();
    }
    case Subcommand::Out:
      return in.hex("address", command.address) && in.hex("data", command.data) && in.done();
    case Subcommand::In: return in.hex("address", command.address) && in.done();
    case Subcommand::Init: return in.number("level", 1, command.level) && in.done();
    case Subcommand::Script: return in.next("a file or '-'", command.file) && in.done();
    case Subcommand::Shell: return in.done();
    case Subcommand::IoTest: return in.choice("board", kIoTests, command.id);
    case Subcommand::Emulate: return in.choice("cable", kEmulations, command.id);
  }
  return false;
}

ParseOutcome Failure(std::string error) {
  ParseOutcome outcome;
  outcome.error = std::move(error);
  return outcome;
}

}  // namespace

bool ParseHex(const std::string& text, std::uint32_t largest, std::uint32_t& value) {
  const bool prefixed = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  return ParseNumber(prefixed ? text : "0x" + text, largest, value);
}

bool ParseNumber(const std::string& text, std::uint32_t largest, std::uint32_t& value) {
  int base = 10;
  std::string digits = text;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    base = 16;
    digits = digits.substr(2);
  }
  if (digits.empty()) return false;
  for (const char c : digits) {
    const bool decimal = c >= '0' && c <= '9';
    const bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!decimal && !(base == 16 && hex)) return false;
  }
  errno = 0;
  const unsigned long long parsed = std::strtoull(digits.c_str(), nullptr, base);
  if (errno == ERANGE || parsed > largest) return false;
  value = static_cast<std::uint32_t>(parsed);
  return true;
}

ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments) {
  Invocation invocation;
  std::string subcommand;
  std::vector<std::string> words;
  bool optionsEnded = false;
  bool helpAsked = false;

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool isOption = !optionsEnded && argument.size() > 1 && argument[0] == '-';
    if (!isOption) {
      if (subcommand.empty()) {
        subcommand = argument;
      } else {
        words.push_back(argument);
      }
      continue;
    }
    if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "--help" || argument == "-h") {
      helpAsked = true;
    } else if (argument == "--version") {
      invocation.action = Invocation::Action::Version;
    } else if (argument == "--stop") {
      invocation.stop = true;
    } else if (argument == "--port-io" || argument.rfind("--port-io=", 0) == 0) {
      if (argument == "--port-io") {
        if (i + 1 >= arguments.size()) return Failure("'--port-io' needs a backend name");
        invocation.portIo = arguments[++i];
      } else {
        invocation.portIo = argument.substr(std::string("--port-io=").size());
      }
      if (invocation.portIo.empty()) return Failure("'--port-io' needs a backend name");
      if (!isPortBackendName(invocation.portIo))
        return Failure("unknown port backend '" + invocation.portIo + "' for '--port-io' (" +
                       portBackendNames() + ")");
      invocation.portIoGiven = true;
    } else if (argument == "-q" || argument == "--quiet") {
      invocation.quiet = true;
    } else {
      return Failure("unknown option '" + argument + "'");
    }
  }

  if (subcommand == "help") {
    if (words.size() > 1) return Failure("'help' takes one subcommand name");
    // The session host's words (serve, status) have help too, though the parser never sees them.
    if (!words.empty() && SubcommandHelp(words[0]).empty())
      return Failure("no help for unknown subcommand '" + words[0] + "'");
    invocation.action = Invocation::Action::Help;
    invocation.helpTopic = words.empty() ? "" : words[0];
    ParseOutcome outcome;
    outcome.ok = true;
    outcome.invocation = invocation;
    return outcome;
  }
  if (helpAsked || (invocation.action == Invocation::Action::Version)) {
    if (!subcommand.empty() && !IsSubcommandName(subcommand))
      return Failure("unknown subcommand '" + subcommand + "'");
    if (helpAsked) {
      invocation.action = Invocation::Action::Help;
      invocation.helpTopic = subcommand;
    }
    ParseOutcome outcome;
    outcome.ok = true;
    outcome.invocation = invocation;
    return outcome;
  }
  if (subcommand.empty()) return Failure("no subcommand given");

  words.insert(words.begin(), subcommand);
  const std::string error = ParseSubcommand(words, invocation.command);
  if (!error.empty()) return Failure(error);

  ParseOutcome outcome;
  outcome.ok = true;
  outcome.invocation = invocation;
  return outcome;
}

std::string ParseSubcommand(const std::vector<std::string>& words, Command& command) {
  if (words.empty()) return "no subcommand given";
  const SubcommandEntry* entry = FindSubcommand(words[0]);
  if (!entry) return "unknown subcommand '" + words[0] + "'";
  command = Command{};
  command.subcommand = entry->subcommand;
  const std::vector<std::string> arguments(words.begin() + 1, words.end());
  ArgumentReader reader(words[0], arguments);
  return ReadArguments(command, reader) ? "" : reader.error();
}

const char* SubcommandName(Subcommand subcommand) {
  for (const SubcommandEntry& entry : kSubcommands) {
    if (entry.subcommand == subcommand) return entry.name;
  }
  return "?";
}

bool IsSubcommandName(const std::string& word) { return FindSubcommand(word) != nullptr; }

bool NeedsDevice(Subcommand subcommand) {
  for (const SubcommandEntry& entry : kSubcommands) {
    if (entry.subcommand == subcommand) return entry.needsDevice;
  }
  return true;
}

std::vector<std::string> SubcommandNames() {
  std::vector<std::string> names;
  for (const SubcommandEntry& entry : kSubcommands) names.emplace_back(entry.name);
  return names;
}

std::vector<std::string> ChoiceWords(Subcommand subcommand) {
  std::vector<std::string> words;
  const auto add = [&words](const auto& table) {
    for (const auto& entry : table) words.emplace_back(entry.name);
  };
  switch (subcommand) {
    case Subcommand::Setup: add(kPorts); break;
    case Subcommand::Program:
    case Subcommand::Erase: add(kSlots); break;
    case Subcommand::IoTest: add(kIoTests); break;
    case Subcommand::Emulate: add(kEmulations); break;
    default: break;
  }
  return words;
}

}  // namespace omrix::cli
