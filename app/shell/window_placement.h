// The window's placement in the settings store, under "Settings", as ten "wp." keys.
#pragma once

class QWidget;

namespace omrix::shell {

void SaveWindowPlacement(const QWidget& window);
// Applies the stored placement if its normal rectangle meets the desktop, cut to the desktop's
// size; false otherwise. Copy `copy` of the program (1 for the first) is placed apart from
// the copies before it, whether a placement was stored or not.
bool RestoreWindowPlacement(QWidget& window, int copy = 1);

}  // namespace omrix::shell
