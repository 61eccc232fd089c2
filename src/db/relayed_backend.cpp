#include "db/relayed_backend.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "db/server_address.h"
#include "util/format.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

// The first IPv4 address of `host`, as the relay server is reached by IPv4 only.
// Empty, or why it cannot be found.
std::string ResolveIpv4(const std::string& host, in_addr& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (const int failure = ::getaddrinfo(host.c_str(), nullptr, &hints, &list); failure != 0) {
    return failure == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(failure);
  }
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> found(list, &::freeaddrinfo);
  if (!found) return "no IPv4 address";
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  return {};
}

timeval AsTimeval(std::chrono::milliseconds wait) {
  return {static_cast<time_t>(wait.count() / 1000), static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
}

// Connects `socket` to `peer` by `deadline`; 0, or the errno of the failure (ETIMEDOUT when the
// time ran out). The socket is left blocking.
int ConnectBy(int socket, const sockaddr_in& peer, std::chrono::steady_clock::time_point deadline) {
  const int flags = ::fcntl(socket, F_GETFL);
  ::fcntl(socket, F_SETFL, flags | O_NONBLOCK);
  int failure = 0;
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) failure = errno;
  // Interrupted, the connection goes on being made all the same.
  while (failure == EINPROGRESS || failure == EINTR) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      failure = ETIMEDOUT;
      break;
    }
    pollfd entry{socket, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
    if (ready < 0) {
      failure = errno == EINTR ? EINPROGRESS : errno;
      continue;
    }
    if (ready == 0) continue;
    socklen_t size = sizeof failure;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &failure, &size) != 0) failure = errno;
  }
  ::fcntl(socket, F_SETFL, flags);
  return failure;
}

std::string HostName() {
  std::array<char, 201> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) name[0] = '\0';
  return name.data();
}

}  // namespace

RelayedBackend::RelayedBackend(BazaDeDate& session, FailureLog& log, OutcomeLog& outcomes)
    : session_(session), log_(log), outcomes_(outcomes) {}

bool RelayedBackend::Open(const std::string& connectionString, const DbTimeouts& timeouts) {
  const auto deadline = std::chrono::steady_clock::now() + timeouts.login;
  queryMs_.store(timeouts.query.count());
  const auto fail = [this](DbFailure kind, std::string text, std::string notice = {}) {
    outcomes_.Record(kind, std::move(text), std::move(notice));
    return false;
  };
  AddressProblem problem = AddressProblem::kNone;
  const auto relay = ParseServerAddress(session_.serverAddress, AddressForm::kRelay, &problem);
  if (!relay) {
    return fail(DbFailure::kConnectionLost,
                Format("the relay's address '%s' is not valid: %s", session_.serverAddress.c_str(),
                       AddressProblemText(problem)),
                "Adresa IP nu poate fi gasita");
  }
  const uint16_t port = relay->port != 0 ? relay->port : kRelayDefaultPort;
  in_addr address{};
  if (const std::string why = ResolveIpv4(relay->host, address); !why.empty()) {
    return fail(DbFailure::kConnectionLost,
                Format("cannot find the relay's address %s: %s", relay->host.c_str(), why.c_str()),
                "Adresa IP nu poate fi gasita");
  }
  std::array<char, INET_ADDRSTRLEN> dotted{};
  ::inet_ntop(AF_INET, &address, dotted.data(), dotted.size());
  session_.serverIp = dotted.data();

  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) {
    return fail(DbFailure::kRejected, std::string("no socket: ") + std::strerror(errno), "Eroare la socket");
  }
  // Requests are small and a caller waits on each: no batching delay. A peer that stops reading
  // must not hold a sender beyond a statement's time; one that vanished shows up through the
  // keep-alive.
  const int on = 1;
  ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(socket.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  const timeval sendLimit = AsTimeval(timeouts.query);
  ::setsockopt(socket.get(), SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof sendLimit);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr = address;
  if (const int failure = ConnectBy(socket.get(), peer, deadline); failure != 0) {
    return fail(DbFailure::kConnectionLost,
                Format("cannot connect to the relay at %s:%d: %s", dotted.data(), port, std::strerror(failure)));
  }

  session_.hostName = HostName();
  if (!relay_.Start(std::move(socket))) {
    return fail(DbFailure::kRejected, "the relay client could not start", "SOCKET neinitializat");
  }
  session_.connected.store(0);
  if (!relay_.SendRaw(RelayGreeting(session_.hostName))) {
    return fail(DbFailure::kConnectionLost, "the relay server's connection failed during the greeting");
  }
  Failure failure;
  const int32_t number = Send({RelayOp::kOpen, 0, {}, connectionString}, failure);
  if (number == 0) return fail(failure.kind, failure.text);
  const auto left = std::max(std::chrono::milliseconds(0),
                             std::chrono::duration_cast<std::chrono::milliseconds>(
                                 deadline - std::chrono::steady_clock::now()));
  const std::optional<std::string> status = Reply(number, left, failure);
  if (!status) return fail(failure.kind, failure.text);
  // The status byte itself is kept: callers compare connected with 1.
  session_.connected.store(status->empty() ? 0 : static_cast<uint8_t>((*status)[0]));
  if (session_.connected.load() == 0) {
    return fail(DbFailure::kRejected, "the relay server could not open the connection");
  }
  outcomes_.Record(DbFailure::kNone);
  return true;
}

int32_t RelayedBackend::Send(const RelayRequest& request, Failure& failure) {
  const std::string_view command = RelayCommandName(request.op);
  const std::string argument = EncodeRelayArguments(request);
  for (const std::string_view text : {command, std::string_view(argument)}) {
    if (text.size() > static_cast<size_t>(kRelayMaxText)) {
      // The server takes no longer text; cutting it would run another statement.
      log_.Write(Format("Eroare: textul depaseste %d octeti - '%s...'", kRelayMaxText,
                        std::string(text.substr(0, 100)).c_str()),
                 {kResultFail, "the relay server takes at most 1999 bytes of text"});
      failure = {DbFailure::kRejected, "the relay server takes at most 1999 bytes of text"};
      return 0;
    }
  }
  const int32_t number = session_.requestCounter.fetch_add(1) + 1;
  if (relay_.SendRequest(number, command, argument)) return number;
  session_.connected.store(0);
  failure = {DbFailure::kConnectionLost, "the request could not be sent: no connection to the relay server"};
  return 0;
}

std::optional<std::string> RelayedBackend::Reply(int32_t number, std::chrono::milliseconds patience,
                                                 Failure& failure) {
  std::optional<std::string> reply = relay_.WaitReply(number, patience);
  if (!reply) {
    session_.connected.store(0);
    failure = {DbFailure::kConnectionLost,
               Format("the relay connection ended or gave no reply within %lld ms",
                      static_cast<long long>(patience.count()))};
  }
  return reply;
}

RelayedBackend::Failure RelayedBackend::Ask(const RelayRequest& request) {
  Failure failure;
  const int32_t number = Send(request, failure);
  if (number == 0) return failure;
  const std::optional<std::string> status = Reply(number, QueryPatience(), failure);
  if (!status) return failure;
  if (!RelayStatusOk(*status)) return {DbFailure::kRejected, "the relay server reported a failure"};
  return {};
}

bool RelayedBackend::Statement(const RelayRequest& request) {
  Failure failure = Ask(request);
  outcomes_.Record(failure.kind, std::move(failure.text));
  return failure.kind == DbFailure::kNone;
}

bool RelayedBackend::SQLCommand(const std::string& sql, int slot) {
  return Statement({RelayOp::kStatement, slot, {}, sql});
}

bool RelayedBackend::DeschidTabel(const std::string& table, int slot) {
  return Statement({RelayOp::kTable, slot, table, {}});
}

bool RelayedBackend::DeschidTabel(const std::string& table, const std::string& clause, int slot) {
  return Statement({RelayOp::kTableClause, slot, table, clause});
}

bool RelayedBackend::GetRecords(const std::string& sql, int slot) {
  return Statement({RelayOp::kRecords, slot, {}, sql});
}

DbValue RelayedBackend::ValoareColoana(const std::string& column, int slot) {
  Failure failure;
  const int32_t number = Send({RelayOp::kValue, slot, column, {}}, failure);
  if (number == 0) return DbValue::Empty();
  const std::optional<std::string> reply = Reply(number, QueryPatience(), failure);
  if (!reply) return DbValue::Empty();
  DbValue value = DecodeRelayValue(*reply);
  Reply(number, QueryPatience(), failure);  // the status that follows; its content does not matter
  return value;
}

bool RelayedBackend::NextElementTabel(int slot) {
  return Ask({RelayOp::kNext, slot, {}, {}}).kind == DbFailure::kNone;
}

void RelayedBackend::InchidTabel(int slot) { Ask({RelayOp::kCloseTable, slot, {}, {}}); }

std::vector<std::string> RelayedBackend::ColumnNames(int) { return {}; }

bool RelayedBackend::RowAvailable(int) { return false; }

std::string RelayedBackend::RowReadFailure(int) { return {}; }

bool RelayedBackend::Close() {
  Failure failure;
  const int32_t number = Send({RelayOp::kClose, 0, {}, {}}, failure);
  if (number == 0) return false;
  relay_.WaitReply(number, QueryPatience());
  relay_.Close();
  return true;
}

}  // namespace strivex
