#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <exception>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <thread>

#include "connection.h"
#include "db/baza_de_date.h"
#include "log.h"
#include "refusal_log.h"
#include "slot_table.h"
#include "util/stop_signals.h"
#include "util/thread_annotations.h"
#include "util/unique_fd.h"

namespace strivex::relay {

namespace {

constexpr int kReapIntervalMs = 200;  // how soon a finished client's thread is joined

struct Client {
  std::string peer;
  uint32_t address = 0;
  SlotTable::Id id = 0;
  UniqueFd socket;  // closed by the client's thread once it left the slot table
  std::atomic<bool> finished{false};
  std::thread thread;
};

// The sessions of the clients being served. A stop cuts each at once (BazaDeDate::Abort ends its
// driver's process), and a session made after the stop is cut as it appears: the relay's children
// end with it instead of running their statements on.
class LiveSessions {
 public:
  void Set(const Client& client, BazaDeDate* session) {
    MutexLock lock(mutex_);
    if (session == nullptr) {
      sessions_.erase(&client);
      return;
    }
    sessions_[&client] = session;
    if (stopping_) session->Abort();
  }
  void AbortAll() {
    MutexLock lock(mutex_);
    stopping_ = true;
    for (const auto& [client, session] : sessions_) session->Abort();
  }

 private:
  Mutex mutex_;
  std::map<const Client*, BazaDeDate*> sessions_ GUARDED_BY(mutex_);
  bool stopping_ GUARDED_BY(mutex_) = false;
};

// The accept loop owns the list and the threads; the slot table and the refusal log are shared
// with the client threads and lock themselves. A socket is shut down by others only through the
// slot table, and closed by its thread only after leaving it, so a shutdown never hits a
// descriptor number that was already reused.
class Clients {
 public:
  Clients(const ConnectionSettings& settings, const RelayOptions& options)
      : settings_(settings), slots_(options.maxClients, options.maxPerAddress) {}
  ~Clients() { StopAll(); }

  void Reap() {
    for (auto it = list_.begin(); it != list_.end();) {
      if ((*it)->finished.load()) {
        (*it)->thread.join();
        it = list_.erase(it);
      } else {
        ++it;
      }
    }
    for (const std::string& line : refusals_.Due(Clock::now())) LogLine(line);
  }

  void Refuse(uint32_t address, const std::string& who, const std::string& reason) {
    if (const std::optional<std::string> line = refusals_.Refused(address, who, reason, Clock::now()))
      LogLine(*line);
  }

  // Serves the accepted connection on a thread of its own, or refuses it.
  void Start(UniqueFd socket, uint32_t address, std::string peer) {
    SlotTable::Id id = 0;
    if (const std::optional<std::string> refusal = slots_.Admit(address, socket.get(), Clock::now(), id)) {
      Refuse(address, peer, *refusal);
      return;
    }
    auto client = std::make_unique<Client>();
    client->peer = std::move(peer);
    client->address = address;
    client->id = id;
    client->socket = std::move(socket);
    Client& ref = *client;
    list_.push_back(std::move(client));
    try {
      ref.thread = std::thread([this, &ref] { Serve(ref); });
    } catch (const std::system_error& e) {
      slots_.Leave(id);
      LogLine("disconnected " + ref.peer + ": cannot start a thread: " + e.what());
      list_.pop_back();  // closes the connection
    }
  }

  void StopAll() {
    slots_.ShutdownAll();
    sessions_.AbortAll();
    for (const auto& client : list_) client->thread.join();
    list_.clear();
  }

 private:
  using Clock = SlotTable::Clock;

  void Serve(Client& client) {
    std::string name;
    bool refused = false;
    ConnectionEvents events;
    events.onGreeting = [&](const std::string& greetingName, std::string& refusal) {
      name = " name '" + Printable(greetingName) + "'";
      // Places go to clients that greeted, so silent connections cannot hold them.
      refused = !slots_.Greet(client.id, Clock::now(), refusal);
      if (!refused) LogLine("connected " + client.peer + name);
      return !refused;
    };
    events.onNotice = [&](const std::string& line) { LogLine("client " + client.peer + name + ": " + line); };
    events.onRequest = [&] { return slots_.BeginRequest(client.id); };
    events.onIdle = [&](Clock::time_point answered) { slots_.EndRequest(client.id, answered); };
    events.onSession = [&](BazaDeDate* session) { sessions_.Set(client, session); };
    std::string reason;
    try {
      reason = ServeConnection(client.socket.get(), settings_, events);
    } catch (const std::exception& e) {
      reason = std::string("failure: ") + e.what();
    } catch (...) {
      reason = "unexpected failure";
    }
    const std::optional<std::string> takenBack = slots_.Leave(client.id);
    client.socket.Reset();
    if (takenBack) LogLine("disconnected " + client.peer + name + ": " + *takenBack);
    else if (refused) Refuse(client.address, client.peer + name, reason);
    else LogLine("disconnected " + client.peer + name + ": " + reason);
    client.finished.store(true);
  }

  const ConnectionSettings& settings_;
  SlotTable slots_;
  LiveSessions sessions_;
  RefusalLog refusals_;
  std::list<std::unique_ptr<Client>> list_;
};

// A peer that vanished without a word is noticed within about two minutes.
void TuneClientSocket(int fd) {
  const int on = 1;
  // A client waits on every reply: nothing may hold one back for an acknowledgement.
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const int idle = 60, interval = 10, probes = 6;
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
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
  UniqueFd listener = Listen(options.listen, bound);
  if (!listener.valid()) return kExitFailure;
  if (!PrintLine("listening on " + bound)) return kExitFailure;

  ConnectionSettings settings;
  settings.greetingTimeout = options.greetingTimeout;
  settings.requestTimeout = options.requestTimeout;
  settings.policy = {options.drivers, options.localDbDir, options.keys, options.maxResultBytes()};
  Clients clients(settings, options);
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
    TuneClientSocket(socket.get());
    const uint32_t address = ntohl(peer.sin_addr.s_addr);
    if (!PeerAllowed(address, options.allowed)) {
      clients.Refuse(address, Endpoint(peer), "address not allowed");
      continue;
    }
    clients.Start(std::move(socket), address, Endpoint(peer));
  }
  LogLine("stopping");
  // Refused from now on: ending the sessions takes a moment (each ends its driver's process), and
  // a client let in meanwhile would wait for an answer that never comes.
  listener.Reset();
  clients.StopAll();
  return kExitOk;
}

}  // namespace strivex::relay
