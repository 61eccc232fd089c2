#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <exception>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "connection.h"
#include "log.h"
#include "util/stop_signals.h"
#include "util/unique_fd.h"

namespace strivex::relay {

namespace {

constexpr int kReapIntervalMs = 200;  // how soon a finished client's thread is joined

struct Client {
  std::string peer;
  bool served = false;  // holds one of the served slots; its own thread only
  UniqueFd socket;  // closed by the client's thread under Clients::fdMutex
  std::atomic<bool> finished{false};
  std::thread thread;
};

// The accept loop owns the list; client threads only close their own socket under the lock,
// so a shutdown never hits a descriptor number that was already reused.
class Clients {
 public:
  Clients(const ConnectionSettings& settings, int maxServed) : settings_(settings), maxServed_(maxServed) {}
  ~Clients() { StopAll(); }

  // Clients past their greeting, and connections still waiting for it.
  int Served() const { return served_.load(); }
  int Waiting() const { return static_cast<int>(list_.size()) - served_.load(); }

  size_t Reap() {
    for (auto it = list_.begin(); it != list_.end();) {
      if ((*it)->finished.load()) {
        (*it)->thread.join();
        it = list_.erase(it);
      } else {
        ++it;
      }
    }
    return list_.size();
  }

  void Start(UniqueFd socket, std::string peer) {
    auto client = std::make_unique<Client>();
    client->peer = std::move(peer);
    client->socket = std::move(socket);
    Client& ref = *client;
    list_.push_back(std::move(client));
    try {
      ref.thread = std::thread([this, &ref] { Serve(ref); });
    } catch (const std::system_error& e) {
      LogLine("disconnected " + ref.peer + ": cannot start a thread: " + e.what());
      list_.pop_back();  // closes the connection
    }
  }

  void StopAll() {
    {
      const std::lock_guard lock(fdMutex_);
      for (const auto& client : list_)
        if (client->socket.valid()) ::shutdown(client->socket.get(), SHUT_RDWR);
    }
    for (const auto& client : list_) client->thread.join();
    list_.clear();
  }

 private:
  void Serve(Client& client) {
    std::string name;
    std::string reason;
    ConnectionEvents events;
    events.onGreeting = [&](const std::string& greetingName, std::string& refusal) {
      name = " name '" + Printable(greetingName) + "'";
      // Slots go to clients that greeted, so silent connections cannot hold them.
      if (served_.fetch_add(1) >= maxServed_) {
        served_.fetch_sub(1);
        refusal = std::to_string(maxServed_) + " clients already";
        return false;
      }
      client.served = true;
      LogLine("connected " + client.peer + name);
      return true;
    };
    events.onNotice = [&](const std::string& line) { LogLine("client " + client.peer + name + ": " + line); };
    try {
      reason = ServeConnection(client.socket.get(), settings_, events);
    } catch (const std::exception& e) {
      reason = std::string("failure: ") + e.what();
    } catch (...) {
      reason = "unexpected failure";
    }
    {
      const std::lock_guard lock(fdMutex_);
      client.socket.Reset();
    }
    LogLine("disconnected " + client.peer + name + ": " + reason);
    if (client.served) served_.fetch_sub(1);
    client.finished.store(true);
  }

  const ConnectionSettings& settings_;
  const int maxServed_;
  std::atomic<int> served_{0};
  std::list<std::unique_ptr<Client>> list_;
  std::mutex fdMutex_;
};

// A peer that vanished without a word is noticed within about two minutes, and a client that
// takes no replies ends its connection after the request time-out instead of holding the thread.
void TuneClientSocket(int fd, std::chrono::milliseconds sendTimeout) {
  const int on = 1;
  // A client waits on every reply: nothing may hold one back for an acknowledgement.
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const int idle = 60, interval = 10, probes = 6;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
  timeval timeout{};
  timeout.tv_sec = static_cast<time_t>(sendTimeout.count() / 1000);
  timeout.tv_usec = static_cast<suseconds_t>(sendTimeout.count() % 1000 * 1000);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
}

std::string Endpoint(const sockaddr_in& address) {
  return FormatIpv4(ntohl(address.sin_addr.s_addr)) + ":" + std::to_string(ntohs(address.sin_port));
}

// The bound socket, or an invalid one after logging why.
UniqueFd Listen(const ListenAddress& where, std::string& bound) {
  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) {
    LogLine(std::string("socket: ") + std::strerror(errno));
    return {};
  }
  const int on = 1;
  ::setsockopt(socket.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(where.address);
  address.sin_port = htons(where.port);
  if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(socket.get(), SOMAXCONN) != 0) {
    LogLine("cannot listen on " + Endpoint(address) + ": " + std::strerror(errno));
    return {};
  }
  socklen_t length = sizeof address;
  ::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length);
  bound = Endpoint(address);
  return socket;
}

}  // namespace

int RunServer(const RelayOptions& options) {
  const UniqueFd signals = BlockStopSignals();
  std::string bound;
  const UniqueFd listener = Listen(options.listen, bound);
  if (!listener.valid()) return kExitFailure;
  if (!PrintLine("listening on " + bound)) return kExitFailure;

  ConnectionSettings settings;
  settings.greetingTimeout = options.greetingTimeout;
  settings.requestTimeout = options.requestTimeout;
  settings.policy = {options.drivers, options.localDbDir, options.keys, options.maxResultBytes()};
  Clients clients(settings, options.maxClients);
  for (;;) {
    pollfd fds[2] = {{signals.get(), POLLIN, 0}, {listener.get(), POLLIN, 0}};
    if (::poll(fds, 2, kReapIntervalMs) < 0 && errno != EINTR)
      throw std::system_error(errno, std::generic_category(), "poll");
    clients.Reap();
    if (fds[0].revents != 0) break;
    if (fds[1].revents == 0) continue;

    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    UniqueFd socket(::accept4(listener.get(), reinterpret_cast<sockaddr*>(&peer), &length,
                              SOCK_CLOEXEC));
    if (!socket.valid()) continue;  // the peer left already, or descriptors ran out for now
    TuneClientSocket(socket.get(), options.requestTimeout);
    const std::string name = Endpoint(peer);
    if (!PeerAllowed(ntohl(peer.sin_addr.s_addr), options.allowed)) {
      LogLine("refused " + name + ": address not allowed");
      continue;
    }
    if (clients.Served() >= options.maxClients) {
      LogLine("refused " + name + ": " + std::to_string(clients.Served()) + " clients already");
      continue;
    }
    if (clients.Waiting() >= options.maxClients) {
      LogLine("refused " + name + ": " + std::to_string(clients.Waiting()) + " connections have not greeted yet");
      continue;
    }
    clients.Start(std::move(socket), name);
  }
  LogLine("stopping");
  clients.StopAll();
  return kExitOk;
}

}  // namespace strivex::relay
