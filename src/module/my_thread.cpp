#include "module/my_thread.h"

#include <QApplication>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "host/host_record.h"
#include "module/display_check.h"
#include "ui/message_box_qt.h"
#include "ui/strivex_dlg.h"

namespace strivex::module {

namespace {

struct UiThreadState {
  std::mutex mutex;
  std::condition_variable finishedChanged;
  bool started = false;
  bool finished = false;
  // Lives on the UI thread; later starts queue their window to it.
  std::atomic<QObject*> receiver{nullptr};
  std::atomic<QApplication*> application{nullptr};
  // Never deleted: it keeps the UI thread's Qt data alive after the thread ended, for the Qt
  // plugins that Qt's own exit handlers delete later and that still point at that data.
  QObject* threadDataKeeper = nullptr;
};

UiThreadState& State() {
  static UiThreadState* state = new UiThreadState;  // never destroyed: the thread may outlive exit
  return *state;
}

void StopAtExit();

// Exit handlers run in reverse order of registration, and Qt registers the destructors of its
// global objects as it first uses them; registering again after each window has run keeps the
// UI thread's end ahead of them.
void RegisterStopAtExit() { std::atexit(StopAtExit); }

// MyThread::InitInstance: the window object first, then the acknowledgement the host waits for,
// then the start-up and the window shown; the event loop "runs it modally" until its shutdown.
void CreateMainWindow(uint8_t* bytes, std::shared_ptr<WorkingDirectoryLock> folder) {
  HostRecord host(bytes);
  auto* dialog = new ui::CStrivexDlg(host, std::move(folder));
  host.SetFlag(HostRecord::kStartAck, 1);
  QObject::connect(dialog, &ui::CStrivexDlg::moduleEnded, dialog, [dialog] {
    dialog->deleteLater();
    RegisterStopAtExit();
  });
  dialog->StartModule();
  RegisterStopAtExit();
}

// Ends the UI thread at process exit, so Qt is torn down on its own thread before the process's
// static objects go; a thread stuck in a modal box is left alone after a while.
void StopAtExit() {
  UiThreadState& state = State();
  QApplication* application = state.application.load();
  if (application == nullptr) return;
  QMetaObject::invokeMethod(application, &QCoreApplication::quit, Qt::QueuedConnection);
  std::unique_lock lock(state.mutex);
  state.finishedChanged.wait_for(lock, std::chrono::seconds(3), [&] { return state.finished; });
}

void RunUiThread(uint8_t* firstHost, std::shared_ptr<WorkingDirectoryLock> folder) {
  UiThreadState& state = State();
  {
    static int argc = 1;
    static char name[] = "strivex";
    static char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    // Hiding or closing the last window must not end the module's event loop.
    QApplication::setQuitOnLastWindowClosed(false);
    ui::InstallQtMessageBoxHandler();
    QObject receiver;
    state.threadDataKeeper = new QObject;
    state.receiver.store(&receiver);
    state.application.store(&application);
    CreateMainWindow(firstHost, std::move(folder));
    QApplication::exec();
    state.receiver.store(nullptr);
    state.application.store(nullptr);
  }
  std::lock_guard lock(state.mutex);
  state.finished = true;
  state.finishedChanged.notify_all();
}

}  // namespace

bool MyThread::StartWindow(uint8_t* host, std::shared_ptr<WorkingDirectoryLock> folder) {
  UiThreadState& state = State();
  std::lock_guard lock(state.mutex);
  if (state.started) {
    QObject* receiver = state.receiver.load();
    if (receiver == nullptr) return false;  // the process is ending
    return QMetaObject::invokeMethod(receiver, [host, folder] { CreateMainWindow(host, folder); },
                                     Qt::QueuedConnection);
  }
  // Qt reads the environment when it starts; set it before the thread exists.
  PrepareQtPlatform();
  try {
    std::thread(RunUiThread, host, std::move(folder)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  state.started = true;
  return true;
}

}  // namespace strivex::module
