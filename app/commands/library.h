// The library's exports as the commands call them: a table of entry points, filled from the
// linked libomrix_dll.so, or by a test with a recording table where the simulated board
// cannot produce a case.
#pragma once

#include <cstdint>
#include <functional>

#include "omrix/omrix_dll.h"

namespace omrix::commands {

struct Library {
  std::function<std::int32_t(MessageFunction)> HwaccInit_EnableDllMessages;
  std::function<std::int32_t()> HwaccDeInit;
  std::function<std::int32_t()> InterpreteOmrixDat;
  std::function<std::int32_t(std::int32_t)> SetupOmrix;
  std::function<std::int32_t(std::int32_t)> DeInitOmrix;
  std::function<std::int32_t()> IsDeviceInitialized;
  std::function<void(std::int32_t, std::int32_t)> outbyte;
  std::function<std::int32_t(std::int32_t)> inbyte;
  std::function<void(std::int32_t)> PPinitSet;
  std::function<std::int32_t()> PPackGet;
  std::function<std::uint32_t(std::int32_t, std::int32_t, std::int32_t, std::int32_t)>
      GetTransferRate;
  std::function<std::int32_t(const char*, std::int32_t, std::int32_t)> FpgaConfig;
  std::function<std::int32_t(std::int32_t, std::int32_t)> FpgaCfgForSetup;
  std::function<void(std::int32_t)> CpuReset;
  std::function<void(std::int32_t)> CpuRunFile;
  std::function<std::int32_t(std::uint32_t)> FlashSectorErase;
  std::function<std::int32_t(const char*, std::uint32_t, std::uint32_t, std::uint32_t, std::int32_t,
                             std::int32_t)>
      FlashProgram;
  std::function<std::int32_t(const char*, std::uint32_t, std::uint32_t, std::uint32_t,
                             std::int32_t)>
      FlashVerify;
  std::function<std::int32_t(const char*, std::uint32_t, std::uint32_t)> FlashRead2File;
  std::function<std::int32_t(const char*, std::uint32_t)> Basic2File;
  std::function<std::int32_t(const char*, std::uint32_t)> BasicFlash;
};

// The exports of the linked shared library.
Library LinkedLibrary();

}  // namespace omrix::commands
