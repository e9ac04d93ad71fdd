// Any four integers as the stored normal rectangle, on desktops of any sane size, for any copy
// of the program: nothing overflows (UBSan), and a window that is placed lies on the desktop
// and is never larger than it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "placement_rule.h"

namespace {

using omrix::shell::WindowRect;

constexpr int kLargestDesktopSide = 1 << 16;
constexpr int kLargestDesktopOffset = 1 << 16;
constexpr int kMostCopies = 64;

// The next int of the input, or 0 when it has run out.
int Take(const std::uint8_t*& data, std::size_t& size) {
  std::int32_t value = 0;
  const std::size_t count = size < sizeof value ? size : sizeof value;
  std::memcpy(&value, data, count);
  data += count;
  size -= count;
  return value;
}

int Within(int value, int low, int high) {
  const std::int64_t span = std::int64_t{high} - low + 1;
  return static_cast<int>(low + ((std::int64_t{value} % span) + span) % span);
}

void Expect(bool holds) {
  if (!holds) std::abort();
}

bool OnDesktop(const WindowRect& window, const WindowRect& desktop) {
  return window.width > 0 && window.height > 0 && window.width <= desktop.width &&
         window.height <= desktop.height &&
         std::int64_t{window.x} < std::int64_t{desktop.x} + desktop.width &&
         std::int64_t{window.x} + window.width > desktop.x &&
         std::int64_t{window.y} < std::int64_t{desktop.y} + desktop.height &&
         std::int64_t{window.y} + window.height > desktop.y;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int left = Take(data, size);
  const int top = Take(data, size);
  const int right = Take(data, size);
  const int bottom = Take(data, size);
  WindowRect desktop;
  desktop.x = Within(Take(data, size), -kLargestDesktopOffset, kLargestDesktopOffset);
  desktop.y = Within(Take(data, size), -kLargestDesktopOffset, kLargestDesktopOffset);
  desktop.width = Within(Take(data, size), 1, kLargestDesktopSide);
  desktop.height = Within(Take(data, size), 1, kLargestDesktopSide);
  const int copy = Within(Take(data, size), 1, kMostCopies);

  const auto restored = omrix::shell::RestoredRect(left, top, right, bottom, desktop);
  if (!restored) return 0;
  Expect(OnDesktop(*restored, desktop));
  const WindowRect moved = omrix::shell::MovedApart(*restored, copy, desktop);
  Expect(OnDesktop(moved, desktop));
  Expect(moved.width == restored->width && moved.height == restored->height);
  return 0;
}
