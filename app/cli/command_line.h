// What one omrixctl invocation asks for, read from its arguments before the library is touched,
// so bad usage never starts a session.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
};

// The flash slots of the File menu's Program and Erase items.
enum class Slot { Fpga0, Fpga1, Cpu0, Cpu1, Cpu2, Cpu3, All };

enum class FpgaSource { File, Flash, Clear };

struct Command {
  Subcommand subcommand = Subcommand::Start;
  std::int32_t setupPort = 0;  // SetupOmrix argument: 0 search, 1 auxiliary, else a base
  Slot slot = Slot::All;
  std::string file;  // as typed; made absolute when the session runs
  FpgaSource fpgaSource = FpgaSource::File;
  bool cpuDisable = false;
  std::int32_t cpuFile = 0;
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
  Command command;
};

struct ParseOutcome {
  bool ok = false;
  Invocation invocation;
  std::string error;  // one line without the tool's name, when !ok
};

ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments);

// Decimal, or hexadecimal after 0x; nothing else, not even blanks or a sign.
bool ParseNumber(const std::string& text, std::uint32_t largest, std::uint32_t& value);

const char* SubcommandName(Subcommand subcommand);
bool IsSubcommandName(const std::string& word);
bool NeedsDevice(Subcommand subcommand);
const char* SlotName(Slot slot);

// The subcommand names in the order the help lists them.
std::vector<std::string> SubcommandNames();

}  // namespace omrix::cli
