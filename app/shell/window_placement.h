// The window's placement in the settings store, under "Settings", as ten "wp." keys.
#pragma once

class QWidget;

void SaveWindowPlacement(const QWidget& window);
// Applies the stored placement if its normal rectangle meets the screen; false otherwise.
bool RestoreWindowPlacement(QWidget& window);
