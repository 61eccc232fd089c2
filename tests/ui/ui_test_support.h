#pragma once
// Helpers of the window tests: running the event loop until something holds, and catching the
// modal dialog an action opens.

#include <QApplication>
#include <QColor>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

namespace strivex::testing {

// The contrast of two colours as the accessibility guidelines reckon it: 1 to 21.
inline double ContrastRatio(const QColor& a, const QColor& b) {
  const auto luminance = [](const QColor& c) {
    const auto linear = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
  };
  const double la = luminance(a);
  const double lb = luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline void PumpFor(int ms) {
  PumpUntil([] { return false; }, ms);
}

// With STRIVEX_DIALOG_SHOTS=DIR, a picture of `window` as it is now, for the pages under docs/.
inline void SaveShot(QWidget& window, const char* name) {
  const char* dir = std::getenv("STRIVEX_DIALOG_SHOTS");
  if (dir == nullptr || *dir == '\0') return;
  if (!window.isVisible()) {
    window.show();
    PumpFor(50);
  }
  window.grab().save(QString::fromLocal8Bit(dir) + "/" + name);
}

// Who ends the caught dialog: the test (done(0), as if closed) or `look` itself, pressing OK or
// Cancel, so that what runs after the dialog sees the button an operator pressed.
enum class ModalEnd { kClosedByTest, kEndedByLook };

// Runs `action`, then the event loop for a while; the first modal dialog that opens is inspected
// by `look` and ended. Returns its title, or nothing when none opened.
inline std::optional<QString> CatchModal(const std::function<void()>& action,
                                         const std::function<void(QWidget&)>& look = {},
                                         ModalEnd end = ModalEnd::kClosedByTest) {
  std::optional<QString> title;
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || title) return;
    title = modal->windowTitle();
    if (look) look(*modal);
    if (end != ModalEnd::kClosedByTest) return;
    if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->done(0);
  });
  watcher.start();
  action();
  PumpFor(300);
  return title;
}

}  // namespace strivex::testing
