// Public interface of libomrix_dll.so (omrix_dll.dll on Windows): the device-access library of
// the omrix board.
//
// Every export takes and returns 32-bit values. Byte reads return the byte in the low 8 bits.
// The library reports progress and errors as Windows-1252 text lines through the message
// function registered with HwaccInit_EnableDllMessages; it calls it synchronously, and the text
// is valid only during the call.
//
// C programs (C99 and later) and C++ programs include it alike; Python's ctypes can load the
// library by these names.
#ifndef OMRIX_OMRIX_DLL_H
#define OMRIX_OMRIX_DLL_H

#include <stddef.h>
#include <stdint.h>

// Every export and the message function use the C calling convention (cdecl), on 32-bit Windows
// too, whatever a caller's compiler takes by default. The DLL's export list comes from the build.
#if defined(_WIN32)
#define OMRIX_CALL __cdecl
#define OMRIX_EXPORT OMRIX_CALL
#else
#define OMRIX_CALL
#define OMRIX_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef void(OMRIX_CALL* MessageFunction)(const char* text);

/* Results of FpgaConfig and FpgaCfgForSetup (FpgaCfgForSetup: 0 also when nothing was loaded). */
enum {
  OMRIX_FPGA_LOADED = 0x0000,     /* loaded, ConfigRegister found */
  OMRIX_FPGA_FILE_ERROR = 0x0008, /* file not found, not read whole, or no configuration */
  OMRIX_FPGA_DEVICE_NOT_DETECTED =
      0x0100, /* setup configuration without register: device released */
  OMRIX_FPGA_NO_CONFIG_REGISTER = 0x0200, /* loaded; the design has no ConfigRegister */
  OMRIX_FPGA_CLEARED = 0x1000             /* the FPGA was cleared */
};

/* Results of the flash exports and BasicFlash (BasicFlash combines them as bits). */
enum {
  OMRIX_FLASH_DONE = 0,
  OMRIX_FLASH_FILE_ERROR = 1,   /* a file could not be opened or read, or the range is empty */
  OMRIX_FLASH_TIMEOUT = 2,      /* time limit; for FlashVerify a byte that differs */
  OMRIX_FLASH_VERIFY_ERROR = 4, /* FlashProgram: programmed, but the verification differs */
  OMRIX_FLASH_AREA_FULL = 8     /* BasicFlash: the program does not fit the BASIC ROM area */
};

/* Results of Basic2File. */
enum {
  OMRIX_BASIC_SAVED = 0,       /* the program up to its end mark is in the file */
  OMRIX_BASIC_NO_END_MARK = 2, /* everything read is in the file, but no end of program */
  OMRIX_BASIC_FILE_ERROR = 3   /* the file could not be created or written */
};

/* Results of SetupOmrix. */
enum {
  OMRIX_SETUP_DONE = 0,       /* device found and recorded in omrix.dat */
  OMRIX_SETUP_FILE_ERROR = 1, /* omrix.dat could not be read, was corrupt or not written */
  OMRIX_SETUP_NOT_FOUND = 2   /* no device at the port or ports tried */
};

/* Results of InterpreteOmrixDat. */
enum {
  OMRIX_START_READY = 0,              /* the recorded device is current */
  OMRIX_START_NO_DEVICE = 1,          /* omrix.dat missing, corrupt or records no device */
  OMRIX_START_DEVICE_FAILED = 2,      /* configuration failed or another board answers */
  OMRIX_START_CODES_NOT_VERIFIED = 4, /* factory: identifier codes programmed, verify error */
  OMRIX_START_CODES_PROGRAMMED = 8,   /* factory: identifier codes programmed and recorded */
  OMRIX_START_JTAG_PREPARED = 16      /* factory: board prepared for internal JTAG programming */
};

/* Modes of DeInitOmrix. */
enum {
  OMRIX_DEINIT_EXIT = 0,        /* lines at rest, port given back, omrix.dat saved */
  OMRIX_DEINIT_FORGET_PORT = 1, /* as 0, and omrix.dat records no device */
  OMRIX_DEINIT_FOR_JTAG = 2     /* lines left to an outside JTAG tool */
};

/* The flash memory map. The user space holds six slots, each a range of whole sectors; the
   identifier block above it holds the board's identifier codes. FPGA slots hold a configuration
   stored bit-reversed, CPU slots a program. */
enum {
  OMRIX_FLASH_CPU0_FIRST = 0x00000,
  OMRIX_FLASH_CPU0_LAST = 0x0FFFF,
  OMRIX_FLASH_CPU1_FIRST = 0x10000,
  OMRIX_FLASH_CPU1_LAST = 0x1FFFF,
  OMRIX_FLASH_CPU2_FIRST = 0x20000,
  OMRIX_FLASH_CPU2_LAST = 0x2FFFF,
  OMRIX_FLASH_CPU3_FIRST = 0x30000,
  OMRIX_FLASH_CPU3_LAST = 0x3FFFF,
  OMRIX_FLASH_FPGA0_FIRST = 0x40000,
  OMRIX_FLASH_FPGA0_LAST = 0x5FFFF,
  OMRIX_FLASH_FPGA1_FIRST = 0x60000,
  OMRIX_FLASH_FPGA1_LAST = 0x77FFF,
  OMRIX_FLASH_USER_FIRST = 0x00000,
  OMRIX_FLASH_USER_LAST = 0x7BFFF,
  OMRIX_FLASH_IDENTIFIER_SECTOR = 0x7C000,
  OMRIX_FLASH_LAST = 0x7FFFF /* the chip's last byte */
};

/* Every sector start, bottom to top, for an array initialiser: {OMRIX_FLASH_SECTORS}. */
#define OMRIX_FLASH_SECTORS                                                                 \
  0x00000u, 0x10000u, 0x20000u, 0x30000u, 0x40000u, 0x50000u, 0x60000u, 0x70000u, 0x78000u, \
      0x7A000u, 0x7C000u

/* Every configuration stream the board's FPGA accepts carries this word, its first byte in the
   high bits, before its commands; a file without it is no configuration of this board. */
#define OMRIX_SYNC_WORD 0xAA995566u

/* 1 when the bytes hold the sync word, else 0. */
static inline int OmrixHoldsSyncWord(const uint8_t* bytes, size_t size) {
  uint32_t window = 0;
  for (size_t i = 0; i < size; ++i) {
    window = (window << 8) | bytes[i];
    if (i >= 3 && window == OMRIX_SYNC_WORD) return 1;
  }
  return 0;
}

/* What OmrixCheckConfiguration finds in a configuration file. */
enum {
  OMRIX_CONFIGURATION_WHOLE = 0,        /* holds the sync word, and all its header declares */
  OMRIX_CONFIGURATION_NO_SYNC_WORD = 1, /* no configuration of this board */
  OMRIX_CONFIGURATION_TRUNCATED = 2     /* a .bit file cut inside its header or its stream */
};

/* The one check of a configuration file before the FPGA or the flash receives it. A .bit file
   (a fixed preamble, the text fields a to d, each a key, a 2-byte length and the text, then
   field e: its key, a 4-byte length and the stream; lengths big-endian) must hold all it
   declares: a cut file may still hold the sync word. A file of another layout, such as a raw
   bitstream, is judged by its sync word alone. */
static inline int OmrixCheckConfiguration(const uint8_t* bytes, size_t size) {
  static const uint8_t preamble[] = {0x00, 0x09, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F,
                                     0xF0, 0x0F, 0xF0, 0x00, 0x00, 0x01};
  static const char keys[] = "abcde";
  const size_t preambleSize = sizeof preamble;
  const size_t fieldCount = sizeof keys - 1;
  const size_t textLengthSize = 2;
  const size_t streamLengthSize = 4;
  size_t at = 0;
  while (at < preambleSize && at < size && bytes[at] == preamble[at]) ++at;
  if (at == preambleSize) {
    for (size_t field = 0; field < fieldCount; ++field) {
      const size_t lengthSize = field + 1 == fieldCount ? streamLengthSize : textLengthSize;
      uint32_t length = 0;
      if (at == size) return OMRIX_CONFIGURATION_TRUNCATED;
      if (bytes[at] != (uint8_t)keys[field]) break; /* another layout */
      ++at;
      if (size - at < lengthSize) return OMRIX_CONFIGURATION_TRUNCATED;
      for (size_t i = 0; i < lengthSize; ++i) length = (length << 8) | bytes[at++];
      if (size - at < length) return OMRIX_CONFIGURATION_TRUNCATED;
      at += length;
    }
  }
  return OmrixHoldsSyncWord(bytes, size) != 0 ? OMRIX_CONFIGURATION_WHOLE
                                              : OMRIX_CONFIGURATION_NO_SYNC_WORD;
}

/* Library frame */
OMRIX_EXPORT int32_t HwaccInit_EnableDllMessages(MessageFunction callback);
OMRIX_EXPORT int32_t HwaccDeInit(void);

/* Setup data, device setup and device state */
OMRIX_EXPORT int32_t InterpreteOmrixDat(void);
OMRIX_EXPORT int32_t SetupOmrix(int32_t port);
OMRIX_EXPORT int32_t DeInitOmrix(int32_t mode);
OMRIX_EXPORT int32_t IsDeviceInitialized(void);
OMRIX_EXPORT int32_t AutoSetup(int32_t, int32_t, int32_t, int32_t);

/* mm-bus cycles and parallel-port lines */
OMRIX_EXPORT void outbyte(int32_t address, int32_t data);
OMRIX_EXPORT void outbyteS(int32_t data);
OMRIX_EXPORT int32_t inbyte(int32_t address);
OMRIX_EXPORT int32_t inbyteS(void);
OMRIX_EXPORT void PPinitSet(int32_t level);
OMRIX_EXPORT void PPirqenSet(int32_t enable);
OMRIX_EXPORT int32_t PPackGet(void);
OMRIX_EXPORT uint32_t GetTransferRate(int32_t kind, int32_t writeAddress, int32_t readAddress,
                                      int32_t kilobytes);

/* FPGA and CPU */
OMRIX_EXPORT int32_t FpgaConfig(const char* source, int32_t sourceIsFullPath,
                                int32_t recordAsRunConfig);
OMRIX_EXPORT int32_t FpgaCfgForSetup(int32_t forSetup, int32_t force);
OMRIX_EXPORT void CpuReset(int32_t disable);
OMRIX_EXPORT void CpuRunFile(int32_t fileIndex);

/* Flash memory and BASIC-52 programs */
OMRIX_EXPORT int32_t FlashChipErase(void);
OMRIX_EXPORT int32_t FlashSectorErase(uint32_t sectorAddress);
OMRIX_EXPORT int32_t FlashProgram(const char* fileName, uint32_t startAddress, uint32_t endAddress,
                                  uint32_t fileOffset, int32_t verify, int32_t reverseBits);
OMRIX_EXPORT int32_t FlashVerify(const char* fileName, uint32_t startAddress, uint32_t endAddress,
                                 uint32_t fileOffset, int32_t reverseBits);
OMRIX_EXPORT int32_t FlashRead2File(const char* fileName, uint32_t startAddress,
                                    uint32_t endAddress);
OMRIX_EXPORT int32_t Basic2File(const char* fileName, uint32_t endAddress);
OMRIX_EXPORT int32_t BasicFlash(const char* fileName, uint32_t base);

#ifdef __cplusplus
} /* extern "C" */

namespace omrix {

struct ExportOrdinal {
  int ordinal;
  const char* name;
};

// The fixed ordinals of the exports; programs that bind by ordinal rely on them. The build's
// export list is made of the rows between the two markers, and of nothing else.
inline constexpr ExportOrdinal kExportOrdinals[] = {
    // export-ordinals-begin
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
    // export-ordinals-end
};

}  // namespace omrix

#endif /* __cplusplus */

#endif /* OMRIX_OMRIX_DLL_H */
