#include "setup_data_writer.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "core/helpers.h"
#include "core/library_state.h"
#include "core/text.h"
#include "platform/platform.h"
#include "setup/setup_data_reader.h"

namespace omrix {

namespace {

constexpr const char* kWriteError = "ERROR: Could not write file \xB4omrix.dat\xB4\n";
// A rewrite takes milliseconds; a temporary file this old was left by a process that died.
constexpr std::uint64_t kStaleTemporaryAgeSeconds = 600;

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(value));
  return text;
}

std::string Decimal(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(value));
  return text;
}

std::array<std::string, kFlashSlotCount> SlotNamesInMemory() {
  std::array<std::string, kFlashSlotCount> names;
  for (std::size_t i = 0; i < kFlashSlotCount; ++i) names[i] = FieldText(SlotName(kFlashSlots[i]));
  return names;
}

// The run data as memory holds it.
void TakeRunDataFromMemory(SetupDataRecord& record) {
  record.portBase = state.portBase;
  record.fpgaConfigFile = FieldText(state.fpgaConfigFile);
  record.PPirq = state.PPirq;
  record.PPcontrol = state.PPcontrol;
  record.PPwait = state.PPwait;
  record.flashSlotNames = SlotNamesInMemory();
}

int WriteFailed() {
  SendMessage(kWriteError);
  return 1;
}

// Temporary files beside `target` that no live writer can still own.
void RemoveStaleTemporaries(const std::string& target) {
  // The system's own separators: Windows takes '\\' as well as '/'.
  const std::size_t nameStart =
      target.size() - std::filesystem::path(target).filename().string().size();
  const std::string directory = target.substr(0, nameStart);
  const std::string prefix = target.substr(nameStart) + kReplacementSuffix;
  platform::FileSystem& files = platform::files();
  std::vector<std::string> names;
  if (!files.listDirectory(directory, names)) return;
  for (const std::string& name : names) {
    platform::FileStatus status;
    if (name.compare(0, prefix.size(), prefix) == 0 && files.status(directory + name, status) &&
        status.isRegular && status.ageSeconds >= kStaleTemporaryAgeSeconds)
      files.remove(directory + name);
  }
}

}  // namespace

bool IsStorableName(const std::string& name) {
  constexpr const char* kWhiteSpace = " \t\r\n\v\f";
  if (name.empty() || std::strchr(kWhiteSpace, name.front()) != nullptr ||
      std::strchr(kWhiteSpace, name.back()) != nullptr)
    return false;
  return name.find_first_of("\r\n") == std::string::npos && name.find(" //") == std::string::npos &&
         name.find("\t//") == std::string::npos;
}

std::string FormatSetupData(const SetupDataRecord& r) {
  const InitData& init = r.init;
  std::string text;
  text += "// ****************************************\n";
  text += "// omrix.dat, omrix setup data file\n";
  text += "// (c) Varnotek 2005\n";
  text += "// 45678901234567890123456789012\n";
  text += "// ****************************************\n\n";
  text += "#init_entrycode\n";
  text += init.initEntryCode + " //ASC init entrycode\n\n";
  text += "#init_data\n";
  text += Hex(init.initPortBase & 0xFFFF) + " //HEX parallel port base-address\n";
  text += init.initFpgaFile + " //ASC FPGA filename for init\n";
  text += init.manufacturer + " //ASC manufacturer\n";
  text += init.deviceName + " //ASC device name\n";
  text += init.signatureTester + " //ASC signature tester\n";
  text += Decimal(init.boardTypecode) + " //DEC board typecode\n";
  text += Decimal(init.boardRevision) + " //DEC board revision\n";
  text += init.fpgaType + " //ASC FPGA type\n";
  text += Decimal(init.serialNumber) + (r.serialNumberToBeProgrammed
                                            ? " //DEC serial-number to be programmed\n"
                                            : " //DEC serial-number\n");
  text += init.systemImageFile + " //ASC SYSTEMiMAGE filename for init\n\n";
  text += "#setup_data\n";
  text += r.setupFpgaFile + " //ASC FPGA filename for setup\n";
  text += Hex(r.auxPortBase & 0xFFFF) + " //HEX auxiliary parallel port base-address\n\n";
  text += "#run_data\n";
  text += Hex(r.portBase & 0xFFFF) + " //HEX parallel port base-address\n";
  text += r.fpgaConfigFile + " //ASC FPGA full-path-filename for config via PC, FLASH or CLEAR\n";
  text += Hex(r.PPirq & 0xFFFF) + " //HEX PPirq\n";
  text += Hex(r.PPcontrol & 0xFF) + " //HEX PPcontrol\n";
  text += Hex(r.PPwait & 0xFF) + " //HEX PPwait\n";
  text += Hex(r.identifier) + " //HEX identifier\n\n";
  text += "#flash_content\n";
  for (std::size_t i = 0; i < kFlashSlotCount; ++i)
    text += r.flashSlotNames[i] + " //ASC " + kFlashSlots[i].label +
            " full-path-filename, UNKNOWN or ERASED\n";
  return text;
}

int WriteSetupData(const SetupDataRecord& record) {
  std::string path;
  if (!StatePath(kSetupDataFileName, path)) return WriteFailed();
  RemoveStaleTemporaries(platform::files().resolveLinks(path));
  FileReplacement replacement(path);
  const std::string text = platform::WithSystemLineEnds(FormatSetupData(record));
  if (replacement.file() == nullptr || !replacement.file()->write(text.data(), text.size()) ||
      !replacement.commit())
    return WriteFailed();
  return 0;
}

SetupDataRecord RecordForNewFile() { return SetupDataRecord{}; }

SetupDataRecord RecordForFactory(const InitData& initRead, const std::string& setupFpgaFileRead,
                                 std::uint32_t auxPortBaseRead) {
  SetupDataRecord record;
  record.init = initRead;
  record.init.initPortBase = state.portBase;
  record.init.serialNumber = initRead.serialNumber + 1;
  record.serialNumberToBeProgrammed = true;
  record.setupFpgaFile = setupFpgaFileRead;
  record.auxPortBase = auxPortBaseRead;
  TakeRunDataFromMemory(record);
  record.PPirq = 0xFFFF;
  record.PPcontrol = 0x04;
  record.PPwait = 0xFF;
  record.identifier = 0;
  return record;
}

SetupDataRecord RecordForSetup(const InitData& identifierCodes, std::uint32_t dateOfProduction) {
  SetupDataRecord record;
  record.init = identifierCodes;
  record.init.initEntryCode = "NOT_VALID";
  record.init.initFpgaFile = "NOT_VALID";
  record.init.systemImageFile = "NOT_VALID";
  record.init.initPortBase = state.portBase;
  record.setupFpgaFile = FieldText(state.setupFpgaFile);
  record.auxPortBase = state.auxPortBase;
  TakeRunDataFromMemory(record);
  record.identifier = dateOfProduction;
  return record;
}

SetupDataRecord RecordForSave(const InitData& initRead, std::uint32_t auxPortBaseRead,
                              std::uint32_t identifierRead) {
  SetupDataRecord record;
  record.init = initRead;
  record.setupFpgaFile = FieldText(state.setupFpgaFile);
  record.auxPortBase = auxPortBaseRead;
  TakeRunDataFromMemory(record);
  record.PPcontrol = state.PPcontrol | 0x04u;
  record.identifier = identifierRead;
  return record;
}

}  // namespace omrix
