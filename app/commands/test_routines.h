// The test routines a service technician types, one letter each: write or read one mm-bus
// register, set the INIT line, read the ACK line, configure the FPGA from a file, or wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "command_result.h"
#include "library.h"
#include "seams.h"

namespace omrix::commands {

class TestRoutines {
 public:
  using Sleep = std::function<void(std::chrono::milliseconds)>;

  // `sleep` paces the waiting loop; the thread's own sleep when none is given.
  TestRoutines(const Library& library, Output& output, Prompts& prompts, Sleep sleep = {});

  void PrintHelp();
  // Interprets one command text as typed, answers it, then an empty line.
  void Execute(const std::string& text);

  // The single commands, each giving its answer line.
  std::string WriteByte(std::uint32_t address, std::uint32_t data);
  std::string ReadByte(std::uint32_t address);
  std::string SetInit(std::uint32_t level);
  bool AckHigh();
  // Configures the FPGA from what a typed name stands for (see ConfigurationSource) and keeps
  // it as the run configuration; a name that stands for no loadable file reaches no library call.
  CommandResult ConfigureFpga(const std::string& name);

 private:
  void Append(const std::string& text);
  void NotImplemented();
  void WaitUntilCancelled();

  const Library& library_;
  Output& output_;
  Prompts& prompts_;
  Sleep sleep_;
};

}  // namespace omrix::commands
