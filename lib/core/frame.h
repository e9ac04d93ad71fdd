// Opening and closing the library.
#pragma once

#include <cstdint>

#include "omrix/omrix_dll.h"

namespace omrix {

// Process attach: records the library's directory. Always succeeds.
void OnLibraryLoad();

std::int32_t HwaccInit_EnableDllMessages(MessageFunction callback);
std::int32_t HwaccDeInit();

inline constexpr std::uint32_t kBeepExclamation = 0x30;

}  // namespace omrix
