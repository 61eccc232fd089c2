#pragma once
// Helpers of the window tests: running the event loop until something holds, and catching the
// modal dialog an action opens.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

namespace strivex::testing {

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
