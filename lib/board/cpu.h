// The board's CPU: held in reset, or restarted on one of the four CPU slots.
#pragma once

#include <cstdint>

namespace omrix {

void CpuReset(std::int32_t disable);
void CpuRunFile(std::int32_t fileIndex);

}  // namespace omrix
