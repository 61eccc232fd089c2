#include "module/my_thread.h"

#include <QApplication>
#include <QMetaObject>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>

#include "host/host_record.h"
#include "module/display_check.h"
#include "module/instance_name.h"
#include "ui/message_box_qt.h"
#include "ui/strivex_dlg.h"
#include "util/timings.h"

namespace strivex::module {

namespace {

struct UiThreadState {
  std::mutex mutex;
  std::condition_variable finishedChanged;
  bool started = false;
  bool finished = false;
  std::thread thread;  // joined at exit, once it has ended
  // Set on the UI thread by the exit's stop: a first window's start-up still in a box has not
  // entered the event loop yet, so the quit alone would not end it.
  bool exitRequested = false;
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
  if (const char* instance = std::getenv(kInstanceVariable); instance != nullptr) dialog->SetInstanceName(instance);
  host.SetFlag(HostRecord::kStartAck, 1);
  dialog->LeaveEndAnnouncementToOwner();
  QObject::connect(dialog, &ui::CStrivexDlg::moduleEnded, dialog, [dialog] {
    // A box left open would keep its nested loop, and the window, alive after the module.
    ui::DismissMessageBoxes();
    dialog->deleteLater();
  });
  // The host may end its process as soon as it learns the module ended; by then the window and
  // its timers are gone, and the exit's stop is registered after every Qt global they touched.
  QObject::connect(dialog, &QObject::destroyed, QCoreApplication::instance(), [bytes] {
    RegisterStopAtExit();
    AnnounceModuleEnd(HostRecord(bytes));
  });
  dialog->StartModule();
  RegisterStopAtExit();
}

// Ends the UI thread at process exit and joins it, so Qt is torn down on its own thread before the
// process's static objects go. Open boxes are closed first: their nested loops would otherwise
// keep the thread running into the teardown.
void StopAtExit() {
  UiThreadState& state = State();
  if (QApplication* application = state.application.load(); application != nullptr) {
    QMetaObject::invokeMethod(
        application,
        [&state] {
          state.exitRequested = true;
          ui::DismissMessageBoxes();
          QCoreApplication::quit();
        },
        Qt::QueuedConnection);
  }
  std::unique_lock lock(state.mutex);
  if (!state.thread.joinable()) return;
  if (!state.finishedChanged.wait_for(lock, timings::kUiThreadEnd, [&] { return state.finished; })) {
    // Going on would free what the thread still uses; ending here is the lesser harm.
    std::fprintf(stderr, "Strivex: the window's thread did not end at exit\n");
    std::_Exit(EXIT_FAILURE);
  }
  state.thread.join();
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
    if (!state.exitRequested) QApplication::exec();
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
    state.thread = std::thread(RunUiThread, host, std::move(folder));
  } catch (const std::system_error&) {
    return false;
  }
  state.started = true;
  return true;
}

}  // namespace strivex::module
