#pragma once

#include <cstdint>

namespace omrix::sim {

// Interference on the cable: a value the PC samples comes through with one bit flipped,
// with a fixed probability. The pseudo-random sequence depends on the seed alone, so a
// noisy run can be repeated exactly.
class LineNoise {
 public:
  // A probability of 0 (or anything not above 0) never disturbs; 1 or more always does.
  explicit LineNoise(double probability = 0.0, uint64_t seed = 1);

  // `value` holds `width` (1-8) significant bits; a disturbed value differs in one of them.
  uint8_t apply(uint8_t value, int width) {
    // A quiet line must cost nothing, so the draw happens only when there is noise.
    return active_ ? disturb(value, width) : value;
  }

 private:
  uint8_t disturb(uint8_t value, int width);
  uint64_t next();

  bool active_ = false;
  bool always_ = false;
  uint64_t threshold_ = 0;  // a draw below it disturbs
  uint64_t state_;
};

}  // namespace omrix::sim
