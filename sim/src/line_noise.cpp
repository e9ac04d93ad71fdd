#include "omrix/sim/line_noise.h"

namespace omrix::sim {
namespace {

constexpr double kTwoTo64 = 18446744073709551616.0;

}  // namespace

LineNoise::LineNoise(double probability, uint64_t seed) : state_(seed) {
  // Written so that a NaN compares false everywhere and leaves the line quiet.
  always_ = probability >= 1.0;
  if (!always_ && probability > 0.0) threshold_ = static_cast<uint64_t>(probability * kTwoTo64);
  active_ = always_ || threshold_ > 0;
}

uint8_t LineNoise::disturb(uint8_t value, int width) {
  if (!always_ && next() >= threshold_) return value;
  const uint64_t bit = next() % static_cast<uint64_t>(width);
  return static_cast<uint8_t>(value ^ (1u << bit));
}

// splitmix64: fixed arithmetic, so a seed gives the same noise on every compiler and library.
uint64_t LineNoise::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

}  // namespace omrix::sim
