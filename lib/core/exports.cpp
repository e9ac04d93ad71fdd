// The exported C interface: a thin layer over the library's own functions.
#include "board/basic.h"
#include "board/cpu.h"
#include "board/flash.h"
#include "board/fpga.h"
#include "bus/bus.h"
#include "bus/probe.h"
#include "setup/device_setup.h"
#include "core/frame.h"
#include "omrix/omrix_dll.h"
#include "setup/setup_data.h"

namespace {

// Process attach of the shared library.
const bool libraryLoaded = [] {
  omrix::OnLibraryLoad();
  return true;
}();

}  // namespace

std::int32_t HwaccInit_EnableDllMessages(MessageFunction callback) {
  return omrix::HwaccInit_EnableDllMessages(callback);
}
std::int32_t HwaccDeInit() { return omrix::HwaccDeInit(); }

void outbyte(std::int32_t address, std::int32_t data) { omrix::outbyte(address, data); }
void outbyteS(std::int32_t data) { omrix::outbyteS(data); }
std::int32_t inbyte(std::int32_t address) { return omrix::inbyte(address); }
std::int32_t inbyteS() { return omrix::inbyteS(); }
void PPinitSet(std::int32_t level) { omrix::PPinitSet(level); }
void PPirqenSet(std::int32_t enable) { omrix::PPirqenSet(enable); }
std::int32_t PPackGet() { return omrix::PPackGet(); }

std::int32_t DeInitOmrix(std::int32_t mode) { return omrix::DeInitOmrix(mode); }
std::int32_t IsDeviceInitialized() { return omrix::IsDeviceInitialized(); }
std::int32_t AutoSetup(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  return omrix::AutoSetup(a, b, c, d);
}

std::int32_t FpgaConfig(const char* source, std::int32_t sourceIsFullPath,
                        std::int32_t recordAsRunConfig) {
  return omrix::FpgaConfig(source, sourceIsFullPath, recordAsRunConfig);
}
std::int32_t FpgaCfgForSetup(std::int32_t forSetup, std::int32_t force) {
  return omrix::FpgaCfgForSetup(forSetup, force);
}

std::int32_t FlashChipErase() { return omrix::FlashChipErase(); }
std::int32_t FlashSectorErase(std::uint32_t sectorAddress) {
  return omrix::FlashSectorErase(sectorAddress);
}
std::int32_t FlashProgram(const char* fileName, std::uint32_t startAddress,
                          std::uint32_t endAddress, std::uint32_t fileOffset, std::int32_t verify,
                          std::int32_t reverseBits) {
  return omrix::FlashProgram(fileName, startAddress, endAddress, fileOffset, verify, reverseBits);
}
std::int32_t FlashVerify(const char* fileName, std::uint32_t startAddress,
                         std::uint32_t endAddress, std::uint32_t fileOffset,
                         std::int32_t reverseBits) {
  return omrix::FlashVerify(fileName, startAddress, endAddress, fileOffset, reverseBits);
}
std::int32_t FlashRead2File(const char* fileName, std::uint32_t startAddress,
                            std::uint32_t endAddress) {
  return omrix::FlashRead2File(fileName, startAddress, endAddress);
}

std::int32_t InterpreteOmrixDat() { return omrix::InterpreteOmrixDat(); }
std::int32_t SetupOmrix(std::int32_t port) { return omrix::SetupOmrix(port); }
std::uint32_t GetTransferRate(std::int32_t kind, std::int32_t writeAddress,
                              std::int32_t readAddress, std::int32_t kilobytes) {
  return omrix::GetTransferRate(kind, writeAddress, readAddress, kilobytes);
}

void CpuReset(std::int32_t disable) { omrix::CpuReset(disable); }
void CpuRunFile(std::int32_t fileIndex) { omrix::CpuRunFile(fileIndex); }
std::int32_t Basic2File(const char* fileName, std::uint32_t endAddress) {
  return omrix::Basic2File(fileName, endAddress);
}
std::int32_t BasicFlash(const char* fileName, std::uint32_t base) {
  return omrix::BasicFlash(fileName, base);
}
