#include "ui/message_box_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <thread>

#include "platform/message_box.h"
#include "ui/text_codec.h"

namespace strivex::ui {

namespace {

std::atomic<bool> dismissed{false};  // written and read on the UI thread; atomic for the tests' threads

void ShowOnThisThread(const std::string& text) {
  if (dismissed.load()) {
    std::fprintf(stderr, "Strivex: %s\n", text.c_str());
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, QCoreApplication::applicationName(), FromLocal8(text), QMessageBox::Ok);
  box.exec();
}

}  // namespace

void ShowQtMessageBox(const std::string& text) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  if (QThread::currentThread() == app->thread()) {
    ShowOnThisThread(text);
    return;
  }
  // Widgets live on the UI thread only: the box is shown there, and a worker never waits for the
  // window (which may be waiting for it).
  QMetaObject::invokeMethod(app, [text] { ShowOnThisThread(text); }, Qt::QueuedConnection);
}

void DismissMessageBoxes() {
  dismissed.store(true);
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) box->done(QMessageBox::Ok);
  }
}

void InstallQtMessageBoxHandler() {
  dismissed.store(false);
  platform::SetWindowThread(std::this_thread::get_id());
  platform::MessageBoxHandler previous = platform::SetMessageBoxHandler(ShowQtMessageBox);
  if (previous) platform::SetMessageBoxHandler(std::move(previous));
}

}  // namespace strivex::ui
