// Loading the FPGA: via the PC from a file, via the flash, or clearing it.
#pragma once

#include <cstdint>

#include "omrix/omrix_dll.h"

namespace omrix {

// Far beyond the bitstream of any FPGA the board family carries (about 100 KB); a larger file
// is refused unread.
inline constexpr std::uint64_t kLargestConfigurationFile = 16u << 20;

std::int32_t FpgaConfig(const char* source, std::int32_t sourceIsFullPath,
                        std::int32_t recordAsRunConfig);
std::int32_t FpgaCfgForSetup(std::int32_t forSetup, std::int32_t force);

}  // namespace omrix
