#include "pattern.h"

namespace omrix {

namespace {
std::uint32_t patternSeed = 1;
}

std::uint32_t PatternRandom() {
  patternSeed = patternSeed * 214013u + 2531011u;
  return (patternSeed >> 16) & 0x7FFF;
}

void ResetPatternGenerator() { patternSeed = 1; }

}  // namespace omrix
