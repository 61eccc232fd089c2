#pragma once
// The module's user-interface thread: one per process, started by the first StartStrivex. It owns
// the QApplication (so it is Qt's main thread; the host never touches Qt) and creates one main
// window per start. Qt cannot start twice in a process, so the thread outlives each window and a
// later start reuses it.

#include <cstdint>
#include <memory>

namespace strivex {
class WorkingDirectoryLock;
}

namespace strivex::module {

// Only the static entry is used; the thread itself is private to the module.
class MyThread {
 public:
  // Creates the main window for `host` on the UI thread, starting that thread first if need be;
  // the window's module holds `folder` until it shuts down. False when the thread cannot be created.
  static bool StartWindow(uint8_t* host, std::shared_ptr<WorkingDirectoryLock> folder);
};

}  // namespace strivex::module
