// The helper process an ODBC connection's driver runs in, spawned from a threaded process: it
// inherits its socket and /dev/null on 0-2 and nothing else, no blocked or ignored signal, and it
// goes by itself once hung up on.

#include "db/driver_process.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "db/driver_helper_path.h"
#include "support/helper_children.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/sanitizer_build.h"
#include "util/unique_fd.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A signal set field of /proc/PID/status ("SigIgn", "SigBlk").
uint64_t SignalField(pid_t pid, const std::string& field) {
  std::istringstream status(testing::ReadFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(field + ":")) return std::stoull(line.substr(field.size() + 1), nullptr, 16);
  }
  return ~0ull;
}

TEST(DriverProcessTest, TheHelperInheritsOnlyItsSocketAndDevNullAndNoSignalSettings) {
  // The spawning thread holds descriptors without close-on-exec, as a relay's client sockets are,
  // blocks a signal and ignores another.
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const UniqueFd pipeIn(pipeFds[0]), pipeOut(pipeFds[1]);
  const UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener.get(), 1), 0);
  std::unique_ptr<DriverProcess> process;
  std::string why;
  std::thread([&] {
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    const auto previous = ::signal(SIGHUP, SIG_IGN);
    process = DriverProcess::Start(DriverHelperPath(), 0, why);
    ::signal(SIGHUP, previous);
  }).join();
  ASSERT_TRUE(process) << why;

  std::map<int, std::string> held;
  for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(process->pid()) + "/fd")) {
    held[std::stoi(entry.path().filename())] = fs::read_symlink(entry.path()).string().substr(0, 7);
  }
  const std::map<int, std::string> expected = {{0, "/dev/nu"}, {1, "/dev/nu"}, {2, "/dev/nu"}, {3, "socket:"}};
  EXPECT_EQ(held, expected);
  // The standard signals only: glibc itself keeps its internal ones ignored across the spawn.
  EXPECT_EQ(SignalField(process->pid(), "SigIgn") & 0x7FFFFFFFu, 0u);
  // The helper blocks all while it starts its watcher; an inherited block would stay.
  EXPECT_TRUE(testing::WaitFor(
      [&] { return (SignalField(process->pid(), "SigBlk") & (1u << (SIGTERM - 1))) == 0; }, 2s));
  // Hung up on, it goes by itself.
  process.reset();
  EXPECT_EQ(testing::HelperChildren(), 0);
}

// The data limit the parent asks for is the helper's own, set before its driver loads.
TEST(DriverProcessTest, TheHelpersDataIsBoundedAsAsked) {
#ifdef STRIVEX_SANITIZER_ALLOCATOR
  GTEST_SKIP() << "a sanitizer build bounds no helper's data";
#endif
  const struct {
    size_t limit;
    std::string shown;  // in /proc/PID/limits, soft and hard
  } cases[] = {{size_t{96} << 20, "100663296            100663296"}, {0, "unlimited            unlimited"}};
  for (const auto& c : cases) {
    std::string why;
    const std::unique_ptr<DriverProcess> process = DriverProcess::Start(DriverHelperPath(), c.limit, why);
    ASSERT_TRUE(process) << why;
    const std::string limits = "/proc/" + std::to_string(process->pid()) + "/limits";
    EXPECT_TRUE(testing::WaitFor(
        [&] { return testing::ReadFile(limits).find("Max data size             " + c.shown) != std::string::npos; }, 2s))
        << testing::ReadFile(limits);
  }
}

}  // namespace
}  // namespace strivex
