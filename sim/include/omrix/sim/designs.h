#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace omrix::sim {

// What the board's FPGA runs. None is an unconfigured FPGA; Foreign a well-formed
// configuration of a design the board does not know (it implements no registers).
enum class Design {
  None,
  Setup,
  Demo,
  NoRegisters,
  Basic52,
  IoTestA,
  IoTestB,
  PraxIoTestA,
  PraxIoTestB,
  EmuAt89Isp,
  EmuAvrIsp,
  EmuDlc5,
  IntDlc5,
  Foreign
};

// The board's TEST LED. The I/O-test designs flash it while the test wiring joins their pin
// pairs (the simulated board always has it), fast for the first design, slow for the second.
enum class TestLed { Dark, FlashingFast, FlashingSlow };

// A programming cable an emulation design turns the board into: its four signals, in the
// order they appear on the omrix connector X2 at 4b, 4a, 5b, 5a and on the pRAXnode
// connector X1 at P5, P6, P7, P8.
struct CableEmulation {
  const char* cable;
  std::array<const char*, 4> signals;
};

// A design the board knows, the data file that carries it and what it implements.
struct DesignInfo {
  Design design;
  const char* fileName;     // the data file beside the library, e.g. "setup.bit"
  const char* designName;   // field a up to ';', e.g. "omrix_setup.ncd"
  bool modeAndConfig;       // ModeRegister (0) and ConfigRegister (1), and with them the bus
  bool flashWindow;         // FlashControl (2), FlashData (3), FlashAddress (4-6); 2 echoes 3
  bool ramWindow;           // the CPU RAM window: address low 4, high 5, data read at 2
  uint8_t configAfterLoad;  // ConfigRegister when the design starts
  TestLed testLed;
  const CableEmulation* cable;  // nullptr: the connector pins stay the design's own
  const char* behaviour;        // one line for the README
};

// Every known design, Setup first.
inline constexpr std::size_t kKnownDesignCount = 12;
const std::array<DesignInfo, kKnownDesignCount>& KnownDesigns();

// The design a field a names; nullptr for a name the board does not know.
const DesignInfo* FindDesign(const std::string& fieldA);
const DesignInfo* FindDesign(Design design);

// The data file of a design as the build lays it beside the library: a real .bit image whose
// field a is "<designName>;UserID=0xFFFFFFFF", for the 2s100pq208, with a 16384-byte
// bitstream (dummy word, sync word, bytes that differ from design to design, desync command).
// The same design always gives the same bytes.
std::vector<uint8_t> MakeDesignFile(const DesignInfo& info);

}  // namespace omrix::sim
