#include "window_placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSettings>
#include <QWidget>

namespace {

// Show states as the settings store has always held them.
constexpr int kShowNormal = 1;
constexpr int kShowMinimized = 2;
constexpr int kShowMaximized = 3;
constexpr int kNoPoint = -1;  // the minimised and maximised positions are the system's

}  // namespace

void SaveWindowPlacement(const QWidget& window) {
  QSettings settings;
  settings.beginGroup(QStringLiteral("Settings"));
  const int show = window.isMinimized()   ? kShowMinimized
                   : window.isMaximized() ? kShowMaximized
                                          : kShowNormal;
  const QRect normal = window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
  settings.setValue(QStringLiteral("wp.showCmd"), show);
  settings.setValue(QStringLiteral("wp.flags"), 0);
  settings.setValue(QStringLiteral("wp.ptMinPosition.x"), kNoPoint);
  settings.setValue(QStringLiteral("wp.ptMinPosition.y"), kNoPoint);
  settings.setValue(QStringLiteral("wp.ptMaxPosition.x"), kNoPoint);
  settings.setValue(QStringLiteral("wp.ptMaxPosition.y"), kNoPoint);
  settings.setValue(QStringLiteral("wp.left"), normal.left());
  settings.setValue(QStringLiteral("wp.right"), normal.left() + normal.width());
  settings.setValue(QStringLiteral("wp.top"), normal.top());
  settings.setValue(QStringLiteral("wp.bottom"), normal.top() + normal.height());
}

bool RestoreWindowPlacement(QWidget& window) {
  QSettings settings;
  settings.beginGroup(QStringLiteral("Settings"));
  const int left = settings.value(QStringLiteral("wp.left"), 0).toInt();
  const int right = settings.value(QStringLiteral("wp.right"), 0).toInt();
  const int top = settings.value(QStringLiteral("wp.top"), 0).toInt();
  const int bottom = settings.value(QStringLiteral("wp.bottom"), 0).toInt();
  const QRect normal(left, top, right - left, bottom - top);
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr || normal.isEmpty() || !normal.intersects(screen->virtualGeometry()))
    return false;
  window.setGeometry(normal);
  const int show = settings.value(QStringLiteral("wp.showCmd"), kShowNormal).toInt();
  if (show == kShowMaximized) window.setWindowState(Qt::WindowMaximized);
  if (show == kShowMinimized) window.setWindowState(Qt::WindowMinimized);
  return true;
}
