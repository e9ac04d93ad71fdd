// The library's one process-wide record.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "omrix/omrix_dll.h"
#include "platform/platform.h"

namespace omrix {

inline constexpr std::size_t kFileNameSize = 260;  // the file format depends on this limit
using FileNameField = std::array<char, kFileNameSize>;

inline constexpr std::uint16_t kNoDevice = 0xFFFF;

struct LibraryState {
  MessageFunction messageCallback = nullptr;
  std::uint16_t portBase = 0;
  std::uint32_t auxPortBase = 0;
  std::uint8_t PPcontrol = 0;
  std::uint8_t PPwait = 0;
  std::uint16_t PPirq = 0;
  // What is installed and only read (the designs, basic52.dat), and what the library writes
  // (omrix.dat, basic52.$$$, the simulated board): apart in an install, one in a build tree.
  FileNameField libraryDirectory{};
  FileNameField stateDirectory{};
  bool makeStateDirectory = false;  // the user's own: made at the first bring-up that needs it
  FileNameField fpgaConfigFile{};
  FileNameField setupFpgaFile{};
  FileNameField loadedFpgaFile{};
  FileNameField flashFpgaFile0{};
  FileNameField flashFpgaFile1{};
  FileNameField flashCpuFile0{};
  FileNameField flashCpuFile1{};
  FileNameField flashCpuFile2{};
  FileNameField flashCpuFile3{};
  std::int32_t isWindowsNT = 0;
  // Not open from load on, so a close never reaches a handle the library does not own.
  platform::Handle driverHandle = platform::kInvalidHandle;
  // The port range the driver granted, kept so that exactly it is given back.
  bool portRangeHeld = false;
  // The last grant was refused because another program holds the port.
  bool portFoundBusy = false;
  // Memory holds the run configuration, port settings and slot names that the start-up reads
  // from "omrix.dat"; until then a rewrite would replace them by nothing.
  bool recordedValuesRead = false;
  platform::PortRange heldPortRange{};
};

extern LibraryState state;

}  // namespace omrix
