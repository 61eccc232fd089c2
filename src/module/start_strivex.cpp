// The module's only export. The host calls it on its own thread and it returns once the UI
// thread has created the main window object; the window's start-up then goes on without the host.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "host/host_record.h"
#include "host/working_directory_lock.h"
#include "module/my_thread.h"
#include "platform/message_box.h"
#include "util/log_files.h"

namespace {

std::atomic<bool> startInProgress{false};
// The record of the start in progress (the UI thread receives it through StartWindow).
std::atomic<uint8_t*> hostPointer{nullptr};

}  // namespace

// Runs on the host's thread: its boxes are posted to the window's thread, never waited for here.
extern "C" __attribute__((visibility("default"))) uint8_t StartStrivex(uint8_t* hostRecord) {
  // Test and set at once: of two simultaneous calls only one starts.
  if (startInProgress.exchange(true)) return 0;
  // A folder another live module works in is refused before anything is touched: the host
  // record stays as it was, as for a start that did not happen.
  std::string reason;
  std::shared_ptr<strivex::WorkingDirectoryLock> folder = strivex::WorkingDirectoryLock::Acquire(reason);
  if (!folder) {
    strivex::WriteErrorLogEntry(reason);
    strivex::platform::PostMessageBox(strivex::kWorkingDirectoryBusy);
    startInProgress.store(false);
    return 0;
  }
  strivex::HostRecord host(hostRecord);
  host.SetFlag(strivex::HostRecord::kStartAck, 0);
  hostPointer.store(hostRecord);
  if (!strivex::module::MyThread::StartWindow(hostPointer.load(), std::move(folder))) {
    // The flag stays set: every later call fails at once.
    strivex::platform::PostMessageBox("Eroare: Nu poat crea fir de executie !");
    return 0;
  }
  while (host.Flag(strivex::HostRecord::kStartAck) == 0) std::this_thread::yield();
  startInProgress.store(false);
  return 1;
}
