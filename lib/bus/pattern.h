// The library's own pattern source for the data-transfer check: the classic C runtime rand()
// sequence, private so that a host calling srand() cannot change it.
#pragma once

#include <cstdint>

namespace omrix {

// The next value, 0 to 0x7FFF.
std::uint32_t PatternRandom();
// Back to the sequence's start (seed 1), as after library load.
void ResetPatternGenerator();

}  // namespace omrix
