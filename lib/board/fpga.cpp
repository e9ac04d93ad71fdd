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
#include "setup/setup_data_writer.h"

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

enum class ConfigurationFile { Read, NotFound, Unreadable, TooLarge, NoConfiguration, Truncated };

// The whole configuration file, judged before the FPGA is touched.
ConfigurationFile ReadConfigurationFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  platform::FileStatus status;
  if (!platform::files().status(path, status) || !status.isRegular)
    return ConfigurationFile::NotFound;
  if (status.size > kLargestConfigurationFile) return ConfigurationFile::TooLarge;
  std::unique_ptr<platform::File> file = platform::files().open(path, platform::FileMode::Read);
  if (!file) return ConfigurationFile::NotFound;
  bytes.clear();
  bytes.reserve(static_cast<std::size_t>(status.size));
  std::vector<std::uint8_t> chunk(65536);
  for (;;) {
    std::size_t got = 0;
    if (!file->read(chunk.data(), chunk.size(), got)) return ConfigurationFile::Unreadable;
    if (got == 0) break;
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (bytes.size() > kLargestConfigurationFile) return ConfigurationFile::TooLarge;
  }
  // A file that shrank while it was read is not a whole configuration.
  if (bytes.size() < status.size) return ConfigurationFile::Unreadable;
  switch (OmrixCheckConfiguration(bytes.data(), bytes.size())) {
    case OMRIX_CONFIGURATION_WHOLE: return ConfigurationFile::Read;
    case OMRIX_CONFIGURATION_TRUNCATED: return ConfigurationFile::Truncated;
    default: return ConfigurationFile::NoConfiguration;
  }
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
  return OMRIX_FPGA_FILE_ERROR;
}

std::int32_t NotFound(const std::string& path) {
  SendMessageF("ERROR: FPGA configuration file '%s' not found\n", path.c_str());
  return FileError();
}

void ProgramPulse() {
  const std::uint32_t data = DataPort();
  PortOut(data, kProgramHigh);
  PortOut(data, 0x00);
  SleepMs(1);
  PortOut(data, kProgramHigh);
}

std::int32_t CheckConfigRegister(const std::string& workingPath) {
  if (ToggleCheck() == 1) {
    SendMessage("-> done\n");
    return OMRIX_FPGA_LOADED;
  }
  if (SameFileName(FieldText(state.setupFpgaFile).c_str(), workingPath.c_str()) == 0) {
    SendMessage("-> ERROR: could not detect device --> enter FILE SETUP ...\n");
    DeInitOmrix(kDeInitForgetPort);
    return OMRIX_FPGA_DEVICE_NOT_DETECTED;
  }
  SendMessage("-> done, implementation of config register could not be detected\n");
  return OMRIX_FPGA_NO_CONFIG_REGISTER;
}

}  // namespace

std::int32_t FpgaConfig(const char* sourceText, std::int32_t sourceIsFullPath,
                        std::int32_t recordAsRunConfig) {
  const std::string source = sourceText != nullptr ? sourceText : "";
  std::string path;
  // Never recorded cut, nor in a form the setup data file cannot hold: such a source is a file
  // that cannot be found.
  const bool usable = WorkingPath(source, sourceIsFullPath != 0, path) &&
                      (recordAsRunConfig == 0 || IsStorableName(source));
  const bool clear = usable && SameFileName(path.c_str(), "CLEAR") == 0;
  const bool flash = usable && SameFileName(path.c_str(), "FLASH") == 0;

  // A file that is no configuration for this board is refused while the FPGA still runs its
  // design, so nothing changes and nothing is forgotten.
  std::vector<std::uint8_t> bytes;
  ConfigurationFile file = ConfigurationFile::NotFound;
  if (usable && !clear && !flash) {
    file = ReadConfigurationFile(path, bytes);
    if (file == ConfigurationFile::TooLarge) {
      SendMessageF(
          "ERROR: FPGA configuration file '%s' too large, no configuration of this board "
          "exceeds %u bytes\n",
          path.c_str(), static_cast<unsigned>(kLargestConfigurationFile));
      return OMRIX_FPGA_FILE_ERROR;
    }
    if (file == ConfigurationFile::NoConfiguration) {
      SendMessageF(
          "ERROR: FPGA configuration file '%s' holds no configuration, sync word "
          "AA 99 55 66 missing\n",
          path.c_str());
      return OMRIX_FPGA_FILE_ERROR;
    }
    if (file == ConfigurationFile::Truncated) {
      SendMessageF(
          "ERROR: FPGA configuration file '%s' truncated, its header declares more "
          "bytes than the file holds\n",
          path.c_str());
      return OMRIX_FPGA_FILE_ERROR;
    }
  }

  SetPortLines(PortLines::ConfigurationStart);
  std::int32_t result;
  if (clear) {
    outbyte(0, 1);
    SetPortLines(PortLines::FpgaHeldClear);
    SendMessage("FPGA configuration cleared, CPU disabled\n");
    result = OMRIX_FPGA_CLEARED;
  } else if (flash) {
    outbyte(0, 1);
    SetPortLines(PortLines::LoadFromFlash);
    SleepMs(kFlashReloadMs);
    SendTransferMode();
    SendMessage("FPGA configured via flash\n");
    result = CheckConfigRegister(path);
  } else {
    // The PROGRAM pulse comes first: a file that cannot be loaded leaves the FPGA cleared.
    ProgramPulse();
    if (file == ConfigurationFile::NotFound) return NotFound(path);
    if (file == ConfigurationFile::Unreadable) {
      SendMessageF("ERROR: FPGA configuration file '%s' could not be read\n", path.c_str());
      return FileError();
    }
    SendMessageF("Configure FPGA via PC with file: '%s' ...\n", path.c_str());
    ClockOut(bytes);
    bytes = {};
    SetPortLines(PortLines::ConfigurationLoaded);
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
  if (force == 0 && SameTextIgnoringCase(wanted, FieldText(state.loadedFpgaFile)))
    return OMRIX_FPGA_LOADED;
  return forSetup != 0 ? FpgaConfig(wanted.c_str(), 0, 0) : FpgaConfig(wanted.c_str(), 1, 1);
}

}  // namespace omrix
