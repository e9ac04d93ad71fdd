// Public interface of libomrix_dll.so: the device-access library of the omrix board.
//
// Every export takes and returns 32-bit values. Byte reads return the byte in the low 8 bits.
// The library reports progress and errors as Windows-1252 text lines through the message
// function registered with HwaccInit_EnableDllMessages; it calls it synchronously, and the text
// is valid only during the call.
#pragma once

#include <cstdint>

using MessageFunction = void (*)(const char* text);

#define OMRIX_EXPORT extern "C" __attribute__((visibility("default")))

// Library frame
OMRIX_EXPORT std::int32_t HwaccInit_EnableDllMessages(MessageFunction callback);
OMRIX_EXPORT std::int32_t HwaccDeInit();

// Setup data, device setup and device state
OMRIX_EXPORT std::int32_t InterpreteOmrixDat();
OMRIX_EXPORT std::int32_t SetupOmrix(std::int32_t port);
OMRIX_EXPORT std::int32_t DeInitOmrix(std::int32_t mode);
OMRIX_EXPORT std::int32_t IsDeviceInitialized();
OMRIX_EXPORT std::int32_t AutoSetup(std::int32_t, std::int32_t, std::int32_t, std::int32_t);

// mm-bus cycles and parallel-port lines
OMRIX_EXPORT void outbyte(std::int32_t address, std::int32_t data);
OMRIX_EXPORT void outbyteS(std::int32_t data);
OMRIX_EXPORT std::int32_t inbyte(std::int32_t address);
OMRIX_EXPORT std::int32_t inbyteS();
OMRIX_EXPORT void PPinitSet(std::int32_t level);
OMRIX_EXPORT void PPirqenSet(std::int32_t enable);
OMRIX_EXPORT std::int32_t PPackGet();
OMRIX_EXPORT std::uint32_t GetTransferRate(std::int32_t kind, std::int32_t writeAddress,
                                           std::int32_t readAddress, std::int32_t kilobytes);

// FPGA and CPU
OMRIX_EXPORT std::int32_t FpgaConfig(const char* source, std::int32_t sourceIsFullPath,
                                     std::int32_t recordAsRunConfig);
OMRIX_EXPORT std::int32_t FpgaCfgForSetup(std::int32_t forSetup, std::int32_t force);
OMRIX_EXPORT void CpuReset(std::int32_t disable);
OMRIX_EXPORT void CpuRunFile(std::int32_t fileIndex);

// Flash memory and BASIC-52 programs
OMRIX_EXPORT std::int32_t FlashChipErase();
OMRIX_EXPORT std::int32_t FlashSectorErase(std::uint32_t sectorAddress);
OMRIX_EXPORT std::int32_t FlashProgram(const char* fileName, std::uint32_t startAddress,
                                       std::uint32_t endAddress, std::uint32_t fileOffset,
                                       std::int32_t verify, std::int32_t reverseBits);
OMRIX_EXPORT std::int32_t FlashVerify(const char* fileName, std::uint32_t startAddress,
                                      std::uint32_t endAddress, std::uint32_t fileOffset,
                                      std::int32_t reverseBits);
OMRIX_EXPORT std::int32_t FlashRead2File(const char* fileName, std::uint32_t startAddress,
                                         std::uint32_t endAddress);
OMRIX_EXPORT std::int32_t Basic2File(const char* fileName, std::uint32_t endAddress);
OMRIX_EXPORT std::int32_t BasicFlash(const char* fileName, std::uint32_t base);

namespace omrix {

struct ExportOrdinal {
  int ordinal;
  const char* name;
};

// The fixed ordinals of the exports; programs that bind by ordinal rely on them.
inline constexpr ExportOrdinal kExportOrdinals[] = {
    {1, "HwaccInit_EnableDllMessages"},
    {2, "HwaccDeInit"},
    {3, "InterpreteOmrixDat"},
    {4, "SetupOmrix"},
    {5, "DeInitOmrix"},
    {6, "outbyte"},
    {7, "outbyteS"},
    {8, "inbyte"},
    {9, "inbyteS"},
    {10, "PPinitSet"},
    {11, "PPirqenSet"},
    {12, "PPackGet"},
    {13, "FpgaConfig"},
    {14, "FpgaCfgForSetup"},
    {15, "CpuReset"},
    {16, "CpuRunFile"},
    {17, "IsDeviceInitialized"},
    {18, "GetTransferRate"},
    {19, "FlashChipErase"},
    {20, "FlashSectorErase"},
    {21, "FlashProgram"},
    {22, "FlashVerify"},
    {23, "FlashRead2File"},
    {24, "Basic2File"},
    {25, "BasicFlash"},
    {26, "AutoSetup"},
};

}  // namespace omrix
