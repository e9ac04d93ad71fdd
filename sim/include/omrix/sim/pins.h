#pragma once

#include <cstdint>
#include <optional>

namespace omrix::sim {

// Levels of the PC's control outputs at the connector; true = high.
// STROBE, AUTOFEED and SELECT IN are active low, INIT is used as a level.
struct ControlPins {
  bool nStrobe = true;
  bool nAutoFeed = true;
  bool nInit = true;
  bool nSelectIn = true;
};

// Everything the PC puts on the cable.
struct HostPins {
  ControlPins control;
  std::optional<uint8_t> data;  // nullopt while the PC has turned its data lines to input
};

// Levels of the status inputs at the connector; true = high. The defaults are the
// lines of a connector nobody drives, which the status register shows as 0xFF.
struct StatusPins {
  bool busy = false;
  bool nAck = true;
  bool paperEnd = true;
  bool select = true;
  bool nError = true;
};

// Data lines nobody drives float high.
constexpr uint8_t kFloatingLines = 0xFF;

}  // namespace omrix::sim
