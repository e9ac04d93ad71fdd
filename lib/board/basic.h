// MCS BASIC-52 programs: saved from the CPU's RAM into files, appended to a CPU slot's ROM area.
#pragma once

#include <cstdint>

namespace omrix {

struct BasicRomArea {
  std::uint32_t appendOffset = 0x8010;  // from the slot's base
  std::uint32_t programs = 0;
  std::uint8_t firstByte = 0xFF;  // 0xFF: the area is empty, without a header
};

std::uint8_t BasicRamRead(std::uint32_t address, std::uint32_t previousAddress);
std::int32_t Basic2File(const char* fileName, std::uint32_t endAddress);
BasicRomArea BasicRomScan(std::uint32_t base);
int BasicHeaderCreate(const char* outName);
std::int32_t BasicFlash(const char* fileName, std::uint32_t base);

inline constexpr const char* kBasicHeaderSource = "basic52.dat";
inline constexpr const char* kBasicHeaderFile = "basic52.$$$";

}  // namespace omrix
