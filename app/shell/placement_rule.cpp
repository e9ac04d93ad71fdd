#include "placement_rule.h"

#include <algorithm>
#include <cstdint>

namespace omrix::shell {

namespace {

// Far enough apart that the title bars of two copies do not overlap.
constexpr std::int64_t kCopyStep = 48;

// One dimension: the start and length it keeps, or nothing. Wide arithmetic, so no stored
// value can overflow it.
struct Span {
  std::int64_t start;
  std::int64_t length;
};

std::optional<Span> Fit(std::int64_t low, std::int64_t high, std::int64_t deskStart,
                        std::int64_t deskLength) {
  const std::int64_t length = high - low;
  if (length <= 0 || deskLength <= 0) return std::nullopt;
  if (high <= deskStart || low >= deskStart + deskLength) return std::nullopt;
  if (length > deskLength) return Span{deskStart, deskLength};
  return Span{low, length};
}

// `start` moved by `offset`, kept so that the whole length lies within the desktop.
std::int64_t Shifted(std::int64_t start, std::int64_t length, std::int64_t offset,
                     std::int64_t deskStart, std::int64_t deskLength) {
  const std::int64_t last = deskStart + std::max<std::int64_t>(deskLength - length, 0);
  return std::clamp(start + offset, deskStart, last);
}

}  // namespace

std::optional<WindowRect> RestoredRect(int left, int top, int right, int bottom,
                                       const WindowRect& desktop) {
  const std::optional<Span> across = Fit(left, right, desktop.x, desktop.width);
  const std::optional<Span> down = Fit(top, bottom, desktop.y, desktop.height);
  if (!across || !down) return std::nullopt;
  // Every value now lies between two values of the desktop rectangle or is a length no
  // greater than its own: it fits an int.
  return WindowRect{static_cast<int>(across->start), static_cast<int>(down->start),
                    static_cast<int>(across->length), static_cast<int>(down->length)};
}

WindowRect MovedApart(const WindowRect& window, int copy, const WindowRect& desktop) {
  if (copy <= 1) return window;
  const std::int64_t offset = kCopyStep * (std::int64_t{copy} - 1);
  WindowRect moved = window;
  moved.width = std::min(window.width, std::max(desktop.width, 0));
  moved.height = std::min(window.height, std::max(desktop.height, 0));
  moved.x = static_cast<int>(Shifted(window.x, moved.width, offset, desktop.x, desktop.width));
  moved.y = static_cast<int>(Shifted(window.y, moved.height, offset, desktop.y, desktop.height));
  return moved;
}

}  // namespace omrix::shell
