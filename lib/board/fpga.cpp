#include "fpga.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus.h"
#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/platform.h"
#include "setup/setup_data.h"

namespace omrix {

namespace {

constexpr std::uint8_t kProgramHigh = 0x02;
constexpr std::uint8_t kClockHigh = 0x04;
// The FPGA has its flash configuration loaded well within this.
constexpr std::uint32_t kFlashReloadMs = 35;

std::uint32_t DataPort() { return state.portBase; }

// The path the source names; false when it does not fit a 260-byte field. A bare name passed
// as a full path (the factory's init file recorded as the run configuration, a name typed by
// hand) lies in the library directory.
bool WorkingPath(const std::string& source, bool sourceIsFullPath, std::string& path) {
  const bool bareName = std::strlen(FileNamePart(source.c_str())) == source.size();
  if (sourceIsFullPath && !bareName) {
    path = source;
    return source.size() < kFileNameSize;
  }
  path = FieldText(state.libraryDirectory) + source;
  return LibraryPath(source, path);
}

// The whole configuration file; false when it is not a regular file or cannot be read whole.
bool ReadConfigurationFile(const std::string& path, std::vector<std::uint8_t>& bytes,
                           bool& notFound) {
  platform::FileStatus status;
  notFound = !platform::files().status(path, status) || !status.isRegular;
  if (notFound) return false;
  std::unique_ptr<platform::File> file = platform::files().open(path, platform::FileMode::Read);
  notFound = !file;
  if (notFound) return false;
  bytes.clear();
  try {
    bytes.reserve(static_cast<std::size_t>(status.size));
    std::vector<std::uint8_t> chunk(65536);
    for (;;) {
      std::size_t got = 0;
      if (!file->read(chunk.data(), chunk.size(), got)) return false;
      if (got == 0) break;
      bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    }
  } catch (const std::bad_alloc&) {
    return false;  // a file too large to hold is not a configuration
  }
  // A file that shrank while it was read is not a whole configuration.
  return bytes.size() >= status.size;
}

void ClockOut(const std::vector<std::uint8_t>& bytes) {
  const std::uint32_t data = DataPort();
  for (const std::uint8_t byte : bytes) {
    for (int bit = 7; bit >= 0; --bit) {
      const auto din = static_cast<std::uint8_t>((byte >> bit) & 0x01);
      PortOut(data, static_cast<std::uint8_t>(din | kProgramHigh));
      PortOut(data, static_cast<std::uint8_t>(din | kProgramHigh | kClockHigh));
    }
  }
}

// A load that ends here has already cleared the FPGA: nothing is loaded any more.
std::int32_t FileError() {
  SetField(state.loadedFpgaFile, "");
  return kFpgaFileError;
}

std::int32_t NotFound(const std::string& path) {
  SendMessageF("ERROR: FPGA configuration file '%s' not found\n", path.c_str());
  return FileError();
}

std::int32_t CheckConfigRegister(const std::string& workingPath) {
  if (ToggleCheck() == 1) {
    SendMessage("-> done\n");
    return 0;
  }
  if (SameFileName(FieldText(state.setupFpgaFile).c_str(), workingPath.c_str()) == 0) {
    SendMessage("-> ERROR: could not detect device --> enter FILE SETUP ...\n");
    DeInitOmrix(1);
    return kFpgaDeviceNotDetected;
  }
  SendMessage("-> done, implementation of config register could not be detected\n");
  return kFpgaNoConfigRegister;
}

}  // namespace

std::int32_t FpgaConfig(const char* sourceText, std::int32_t sourceIsFullPath,
                        std::int32_t recordAsRunConfig) {
  const std::string source = sourceText != nullptr ? sourceText : "";
  SetPortLines(3);
  std::string path;
  // Never recorded cut: a source that does not fit is a file that cannot be found.
  if (!WorkingPath(source, sourceIsFullPath != 0, path)) return NotFound(path);

  std::int32_t result;
  if (SameFileName(path.c_str(), "CLEAR") == 0) {
    outbyte(0, 1);
    SetPortLines(2);
    SendMessage("FPGA configuration cleared, CPU disabled\n");
    result = kFpgaCleared;
  } else if (SameFileName(path.c_str(), "FLASH") == 0) {
    outbyte(0, 1);
    SetPortLines(1);
    SleepMs(kFlashReloadMs);
    SendTransferMode();
    SendMessage("FPGA configured via flash\n");
    result = CheckConfigRegister(path);
  } else {
    // PROGRAM pulse before the file is opened: a missing file leaves the FPGA cleared.
    const std::uint32_t data = DataPort();
    PortOut(data, kProgramHigh);
    PortOut(data, 0x00);
    SleepMs(1);
    PortOut(data, kProgramHigh);
    std::vector<std::uint8_t> bytes;
    bool notFound = false;
    if (!ReadConfigurationFile(path, bytes, notFound)) {
      return notFound ? NotFound(path) : FileError();
    }
    SendMessageF("Configure FPGA via PC with file: '%s' ...\n", path.c_str());
    ClockOut(bytes);
    bytes = {};
    SetPortLines(0);
    SendTransferMode();
    result = CheckConfigRegister(path);
  }
  SetField(state.loadedFpgaFile, source);
  if (recordAsRunConfig != 0) SetField(state.fpgaConfigFile, source);
  return result;
}

std::int32_t FpgaCfgForSetup(std::int32_t forSetup, std::int32_t force) {
  const std::string wanted =
      forSetup != 0 ? FieldText(state.setupFpgaFile) : FieldText(state.fpgaConfigFile);
  if (force == 0 && SameTextIgnoringCase(wanted, FieldText(state.loadedFpgaFile))) return 0;
  return forSetup != 0 ? FpgaConfig(wanted.c_str(), 0, 0) : FpgaConfig(wanted.c_str(), 1, 1);
}

}  // namespace omrix
