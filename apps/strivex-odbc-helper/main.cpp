// strivex-odbc-helper: one ODBC connection's driver, in a process of its own so that its parent
// can bound every call with a deadline and end a driver that hangs or crashes without harm to
// anything else. Started by the engine (src/db/driver_process.cpp) with its socket on descriptor
// 3 and 0-2 on /dev/null, and the bytes its data may take as its one argument (memory_bound.h).
// SIGUSR1 asks it to cancel the call in flight. It ends when the socket hangs up, also while the
// driver blocks.

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "db/odbc_engine.h"
#include "driver_service.h"
#include "memory_bound.h"

namespace {

constexpr int kSocket = 3;

volatile sig_atomic_t cancelAsked = 0;

void OnCancel(int) { cancelAsked = 1; }

// Watches the socket and the cancel signal while the main thread serves calls; the signal is
// blocked everywhere but in this thread's wait, so it always lands here, and no descriptor of its
// own is needed. A hang-up ends the process at once: the parent is gone or has given up on the
// call the driver is stuck in.
void Watch(strivex::DbEngine& engine) {
  sigset_t open;
  sigemptyset(&open);
  for (;;) {
    pollfd socket{kSocket, 0, 0};
    const int ready = ::ppoll(&socket, 1, nullptr, &open);
    if (ready > 0 && socket.revents != 0) ::_exit(0);
    if (cancelAsked) {
      cancelAsked = 0;
      engine.Abort();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  strivex::helper::BoundData(argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 0);
  struct sigaction action {};
  action.sa_handler = OnCancel;
  sigemptyset(&action.sa_mask);
  sigaction(SIGUSR1, &action, nullptr);
  // Blocked before any thread starts, so that the driver's threads never take it.
  sigset_t cancel;
  sigemptyset(&cancel);
  sigaddset(&cancel, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &cancel, nullptr);

  const std::unique_ptr<strivex::DbEngine> engine = strivex::MakeOdbcEngine();
  std::thread(Watch, std::ref(*engine)).detach();
  strivex::helper::ServeDriverCalls(kSocket, *engine, strivex::helper::AllocationFailedSince);
  // No destructors: the driver may still hold the connection, and the watcher the engine.
  ::_exit(0);
}
