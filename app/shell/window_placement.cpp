#include "window_placement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include "placement_rule.h"

namespace omrix::shell {

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
  const QRect normal =
      window.normalGeometry().isValid() ? window.normalGeometry() : window.geometry();
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

bool RestoreWindowPlacement(QWidget& window, int copy) {
  QSettings settings;
  settings.beginGroup(QStringLiteral("Settings"));
  const auto read = [&settings](const char* key) {
    return settings.value(QLatin1String(key), 0).toInt();
  };
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return false;
  const QRect desk = screen->virtualGeometry();
  const WindowRect desktop{desk.x(), desk.y(), desk.width(), desk.height()};
  const std::optional<WindowRect> stored =
      RestoredRect(read("wp.left"), read("wp.top"), read("wp.right"), read("wp.bottom"), desktop);
  const QRect current = window.geometry();
  const WindowRect shown = MovedApart(
      stored.value_or(WindowRect{current.x(), current.y(), current.width(), current.height()}),
      copy, desktop);
  window.setGeometry(shown.x, shown.y, shown.width, shown.height);
  if (!stored) return false;
  const int show = settings.value(QStringLiteral("wp.showCmd"), kShowNormal).toInt();
  if (show == kShowMaximized) window.setWindowState(Qt::WindowMaximized);
  if (show == kShowMinimized) window.setWindowState(Qt::WindowMinimized);
  return true;
}

}  // namespace omrix::shell
