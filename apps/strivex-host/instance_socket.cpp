#include "instance_socket.h"
#include "util/timings.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace strivex::host_app {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A host still loading its module has the lock but may not listen yet; one busy with start-up
// answers once its loop runs.
constexpr auto kConnectPatience = timings::kInstanceConnectPatience;
constexpr int kAnswerPatienceMs = 10'000;
constexpr int kRequestPatienceMs = 1'000;

std::string Why(const std::string& what) { return what + ": " + std::strerror(errno); }

bool Address(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// One line (without its end) from `fd`, waiting at most `patienceMs` in all.
std::string ReadLine(int fd, int patienceMs) {
  std::string line;
  const auto deadline = Clock::now() + std::chrono::milliseconds(patienceMs);
  while (line.find('\n') == std::string::npos && line.size() < 4096) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd wait{fd, POLLIN, 0};
    const int ready = poll(&wait, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;  // the host's stop signal: the deadline still holds
    if (ready <= 0) break;
    char buffer[256];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    line.append(buffer, static_cast<size_t>(got));
  }
  return line.substr(0, line.find('\n'));
}

bool WriteAll(int fd, const std::string& text) {
  size_t sent = 0;
  while (sent < text.size()) {
    const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Asks the lock holder to show its window; its answer, or why there is none.
InstanceSocket::Claim AskRunning(const sockaddr_un& address) {
  const auto deadline = Clock::now() + kConnectPatience;
  for (;;) {
    UniqueFd client(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!client.valid()) return {InstanceSocket::Outcome::kFailed, nullptr, Why("socket")};
    if (connect(client.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      if (!WriteAll(client.get(), "show\n")) return {InstanceSocket::Outcome::kFailed, nullptr, Why("send")};
      std::string answer = ReadLine(client.get(), kAnswerPatienceMs);
      if (answer.empty()) return {InstanceSocket::Outcome::kFailed, nullptr, "the running host did not answer"};
      return {InstanceSocket::Outcome::kAnswered, nullptr, std::move(answer)};
    }
    if (Clock::now() >= deadline) {
      return {InstanceSocket::Outcome::kFailed, nullptr, "another host holds the instance but does not listen"};
    }
    std::this_thread::sleep_for(timings::kInstanceConnectRetry);
  }
}

}  // namespace

InstanceSocket::Claim InstanceSocket::Take(const std::string& dir, const std::string& name) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {Outcome::kFailed, nullptr, Why(dir)};
  const std::string lockPath = dir + "/" + name + ".lock";
  const std::string path = dir + "/" + name + ".sock";
  sockaddr_un address;
  if (!Address(path, address)) return {Outcome::kFailed, nullptr, path + ": path too long for a socket"};
  UniqueFd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!lock.valid()) return {Outcome::kFailed, nullptr, Why(lockPath)};
  if (flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) return {Outcome::kFailed, nullptr, Why(lockPath)};
    return AskRunning(address);
  }
  // Holding the lock, any socket file there is a dead host's.
  unlink(path.c_str());
  UniqueFd listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.valid() || bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.get(), 4) != 0) {
    return {Outcome::kFailed, nullptr, Why(path)};
  }
  std::unique_ptr<InstanceSocket> owned(new InstanceSocket(std::move(lock), std::move(listener), path));
  return {Outcome::kOwner, std::move(owned), {}};
}

InstanceSocket::~InstanceSocket() {
  // Removed while the lock is still held, so it cannot be a successor's socket.
  unlink(path_.c_str());
}

void InstanceSocket::Serve(const std::function<std::string()>& show) {
  UniqueFd client(accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
  if (!client.valid()) return;  // gone again, or nothing there after all
  const std::string request = ReadLine(client.get(), kRequestPatienceMs);
  WriteAll(client.get(), (request == "show" ? show() : "unknown request '" + request + "'") + "\n");
}

}  // namespace strivex::host_app
