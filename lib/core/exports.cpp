// The exported C interface: a thin layer over the library's own functions.
#include "board/basic.h"
#include "board/cpu.h"
#include "board/flash.h"
#include "board/fpga.h"
#include "bus/bus.h"
#include "bus/probe.h"
#include "setup/device_setup.h"
#include "core/frame.h"
#include "driver/driver.h"
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
  const omrix::LibraryCall call;
  return omrix::HwaccInit_EnableDllMessages(callback);
}
std::int32_t HwaccDeInit() {
  const omrix::LibraryCall call;
  return omrix::HwaccDeInit();
}

void outbyte(std::int32_t address, std::int32_t data) {
  const omrix::LibraryCall call;
  omrix::outbyte(address, data);
}
void outbyteS(std::int32_t data) {
  const omrix::LibraryCall call;
  omrix::outbyteS(data);
}
std::int32_t inbyte(std::int32_t address) {
  const omrix::LibraryCall call;
  return omrix::inbyte(address);
}
std::int32_t inbyteS() {
  const omrix::LibraryCall call;
  return omrix::inbyteS();
}
void PPinitSet(std::int32_t level) {
  const omrix::LibraryCall call;
  omrix::PPinitSet(level);
}
void PPirqenSet(std::int32_t enable) {
  const omrix::LibraryCall call;
  omrix::PPirqenSet(enable);
}
std::int32_t PPackGet() {
  const omrix::LibraryCall call;
  return omrix::PPackGet();
}

std::int32_t DeInitOmrix(std::int32_t mode) {
  const omrix::LibraryCall call;
  return omrix::DeInitOmrix(mode);
}
std::int32_t IsDeviceInitialized() {
  const omrix::LibraryCall call;
  return omrix::IsDeviceInitialized();
}
std::int32_t AutoSetup(std::int32_t a, std::int32_t b, std::int32_t c, std::int32_t d) {
  const omrix::LibraryCall call;
  return omrix::AutoSetup(a, b, c, d);
}

std::int32_t FpgaConfig(const char* source, std::int32_t sourceIsFullPath,
                        std::int32_t recordAsRunConfig) {
  const omrix::LibraryCall call;
  return omrix::FpgaConfig(source, sourceIsFullPath, recordAsRunConfig);
}
std::int32_t FpgaCfgForSetup(std::int32_t forSetup, std::int32_t force) {
  const omrix::LibraryCall call;
  return omrix::FpgaCfgForSetup(forSetup, force);
}

std::int32_t FlashChipErase() {
  const omrix::LibraryCall call;
  return omrix::FlashChipErase();
}
std::int32_t FlashSectorErase(std::uint32_t sectorAddress) {
  const omrix::LibraryCall call;
  return omrix::FlashSectorErase(sectorAddress);
}
std::int32_t FlashProgram(const char* fileName, std::uint32_t startAddress,
                          std::uint32_t endAddress, std::uint32_t fileOffset, std::int32_t verify,
                          std::int32_t reverseBits) {
  const omrix::LibraryCall call;
  return omrix::FlashProgram(fileName, startAddress, endAddress, fileOffset, verify, reverseBits);
}
std::int32_t FlashVerify(const char* fileName, std::uint32_t startAddress, std::uint32_t endAddress,
                         std::uint32_t fileOffset, std::int32_t reverseBits) {
  const omrix::LibraryCall call;
  return omrix::FlashVerify(fileName, startAddress, endAddress, fileOffset, reverseBits);
}
std::int32_t FlashRead2File(const char* fileName, std::uint32_t startAddress,
                            std::uint32_t endAddress) {
  const omrix::LibraryCall call;
  return omrix::FlashRead2File(fileName, startAddress, endAddress);
}

std::int32_t InterpreteOmrixDat() {
  const omrix::LibraryCall call;
  return omrix::InterpreteOmrixDat();
}
std::int32_t SetupOmrix(std::int32_t port) {
  const omrix::LibraryCall call;
  return omrix::SetupOmrix(port);
}
std::uint32_t GetTransferRate(std::int32_t kind, std::int32_t writeAddress,
                              std::int32_t readAddress, std::int32_t kilobytes) {
  const omrix::LibraryCall call;
  return omrix::GetTransferRate(kind, writeAddress, readAddress, kilobytes);
}

void CpuReset(std::int32_t disable) {
  const omrix::LibraryCall call;
  omrix::CpuReset(disable);
}
void CpuRunFile(std::int32_t fileIndex) {
  const omrix::LibraryCall call;
  omrix::CpuRunFile(fileIndex);
}
std::int32_t Basic2File(const char* fileName, std::uint32_t endAddress) {
  const omrix::LibraryCall call;
  return omrix::Basic2File(fileName, endAddress);
}
std::int32_t BasicFlash(const char* fileName, std::uint32_t base) {
  const omrix::LibraryCall call;
  return omrix::BasicFlash(fileName, base);
}
