// What a stored window placement may become on the current desktop. No Qt: the settings store
// is outside the program's control, so this is fuzzed on its own.
#pragma once

#include <optional>

namespace omrix::shell {

struct WindowRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The normal rectangle as stored (any four integers), made fit for `desktop`: nothing when it
// is empty or does not meet the desktop; a side longer than the desktop's is cut to the
// desktop's extent.
std::optional<WindowRect> RestoredRect(int left, int top, int right, int bottom,
                                       const WindowRect& desktop);

// Where copy `copy` (1 for the first) of the program puts `window`: each later copy a step
// further down and right, so it never hides the one before; it stays on the desktop.
WindowRect MovedApart(const WindowRect& window, int copy, const WindowRect& desktop);

}  // namespace omrix::shell
