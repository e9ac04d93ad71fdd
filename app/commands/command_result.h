// What a command reports back to its front end: the first step that failed, and the commands
// to run behind it.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "menu.h"

namespace omrix::commands {

struct StepFailure {
  std::string step;  // e.g. "FlashSectorErase(0x10000)", or why the input was refused
  std::int32_t code = 0;
  bool libraryCall = true;  // false: refused before any library call, code means nothing
  bool cancelled = false;   // the person closed the chooser: nothing was done, nothing failed
};

// The failure as both front ends name it: the call and its result ("FpgaConfig(\"CLEAR\", 0, 1)
// -> result: 0x100"; small results in decimal, bit sets in hex), or why the input was refused.
std::string FailureText(const StepFailure& failure);

struct CommandResult {
  std::optional<StepFailure> failure;  // the first step that did not succeed
  std::vector<CommandId> posted;       // to run behind this command, in this order

  bool succeeded() const { return !failure; }
  // Records the first failure; true when `code` is one of `good`.
  bool Check(const std::string& step, std::int32_t code, std::initializer_list<std::int32_t> good);
  void Refuse(const std::string& step);
  void Cancel();
};

}  // namespace omrix::commands
