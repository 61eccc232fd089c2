#include "util/stop_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <csignal>
#include <system_error>

namespace strivex {

UniqueFd BlockStopSignals() {
  std::signal(SIGPIPE, SIG_IGN);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (const int error = pthread_sigmask(SIG_BLOCK, &set, nullptr); error != 0)
    throw std::system_error(error, std::generic_category(), "blocking signals");
  // A shell starting us in the background ignores SIGINT for us, and an ignored signal is
  // dropped before the signalfd can see it; blocked, the default action cannot end us.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  UniqueFd signals(signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!signals.valid()) throw std::system_error(errno, std::generic_category(), "signalfd");
  return signals;
}

}  // namespace strivex
