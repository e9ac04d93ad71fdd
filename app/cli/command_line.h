// What one omrixctl invocation asks for, read from its arguments before the library is touched,
// so bad usage never starts a session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "commands/menu.h"

namespace omrix::cli {

enum class Subcommand {
  Start,
  Setup,
  Program,
  Erase,
  Save,
  Fpga,
  Cpu,
  Basic,
  Rate,
  UpdateCpu,
  UpdateFpga,
  Out,
  In,
  Init,
  Ack,
  Script,
  Shell,
  IoTest,
  Emulate,
};

struct Command {
  Subcommand subcommand = Subcommand::Start;
  commands::CommandId id = commands::ID_SEPARATOR;  // the menu command it runs, if any
  std::string file;                                 // as typed; made absolute when the session runs
  std::int32_t address = 0;
  std::int32_t data = 0;
  std::int32_t level = 0;
};

struct Invocation {
  enum class Action { Run, Help, Version };
  Action action = Action::Run;
  std::string helpTopic;  // a subcommand name; empty for the whole tool
  bool portIoGiven = false;
  std::string portIo;
  bool stop = false;
  bool quiet = false;  // only errors and results
  Command command;
};

struct ParseOutcome {
  bool ok = false;
  Invocation invocation;
  std::string error;  // one line without the tool's name, when !ok
};

ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments);

// One subcommand with its words, as a line of a script holds it; "" or an error text.
std::string ParseSubcommand(const std::vector<std::string>& words, Command& command);

// Decimal, or hexadecimal after 0x; nothing else, not even blanks or a sign.
bool ParseNumber(const std::string& text, std::uint32_t largest, std::uint32_t& value);
// Hexadecimal, with or without 0x, as the test interpreter reads addresses and data.
bool ParseHex(const std::string& text, std::uint32_t largest, std::uint32_t& value);

const char* SubcommandName(Subcommand subcommand);
bool IsSubcommandName(const std::string& word);
bool NeedsDevice(Subcommand subcommand);

// The subcommand names in the order of the parser's table.
std::vector<std::string> SubcommandNames();
// The words a subcommand takes from a fixed set (ports, slots, boards, cables), in the
// parser's order; none for the others.
std::vector<std::string> ChoiceWords(Subcommand subcommand);

}  // namespace omrix::cli
