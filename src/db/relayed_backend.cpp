#include "db/relayed_backend.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/message_box.h"
#include "util/format.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

// STRIVEX_RELAY_PORT overrides the relay's port for tests only, which run their own peer on a
// free port; the system never sets it.
uint16_t RelayPort() {
  const char* text = std::getenv("STRIVEX_RELAY_PORT");
  if (text == nullptr || *text == '\0') return kRelayDefaultPort;
  char* end = nullptr;
  const long port = std::strtol(text, &end, 10);
  if (*end != '\0' || port <= 0 || port > 65535) return kRelayDefaultPort;
  return static_cast<uint16_t>(port);
}

// The first IPv4 address of `host`, as the relay server is reached by IPv4 only.
bool ResolveIpv4(const std::string& host, in_addr& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return false;
  const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> found(list, &::freeaddrinfo);
  if (!found) return false;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  return true;
}

std::string HostName() {
  std::array<char, 201> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) name[0] = '\0';
  return name.data();
}

}  // namespace

RelayedBackend::RelayedBackend(BazaDeDate& session, FailureLog& log) : session_(session), log_(log) {}

bool RelayedBackend::Open(const std::string& connectionString) {
  in_addr address{};
  if (!ResolveIpv4(session_.serverAddress, address)) {
    platform::MessageBox("Adresa IP nu poate fi gasita");
    return false;
  }
  std::array<char, INET_ADDRSTRLEN> dotted{};
  ::inet_ntop(AF_INET, &address, dotted.data(), dotted.size());
  session_.serverIp = dotted.data();

  UniqueFd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!socket.valid()) {
    platform::MessageBox("Eroare la socket");
    return false;
  }
  // Requests are small and a caller waits on each: no batching delay. A caller also waits with
  // no time-out, so a dead peer must eventually show up as a failed connection.
  const int on = 1;
  ::setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(socket.get(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(RelayPort());
  peer.sin_addr = address;
  int rc = 0;
  do {
    rc = ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) return false;

  session_.hostName = HostName();
  if (!relay_.Start(std::move(socket))) {
    platform::MessageBox("SOCKET neinitializat");
    return false;
  }
  session_.connected.store(0);
  if (!relay_.SendRaw(RelayGreeting(session_.hostName))) return false;
  const int32_t number = Send({RelayOp::kOpen, 0, {}, connectionString});
  if (number == 0) return false;
  const std::optional<std::string> status = relay_.WaitReply(number);
  // The status byte itself is kept: callers compare connected with 1.
  session_.connected.store(status && !status->empty() ? static_cast<uint8_t>((*status)[0]) : 0);
  return session_.connected.load() != 0;
}

int32_t RelayedBackend::Send(const RelayRequest& request) {
  const std::string_view command = RelayCommandName(request.op);
  const std::string argument = EncodeRelayArguments(request);
  for (const std::string_view text : {command, std::string_view(argument)}) {
    if (text.size() > static_cast<size_t>(kRelayMaxText)) {
      // The server takes no longer text; cutting it would run another statement.
      log_.Write(Format("Eroare: textul depaseste %d octeti - '%s...'", kRelayMaxText,
                        std::string(text.substr(0, 100)).c_str()),
                 {kResultFail, "the relay server takes at most 1999 bytes of text"});
      return 0;
    }
  }
  const int32_t number = session_.requestCounter.fetch_add(1) + 1;
  return relay_.SendRequest(number, command, argument) ? number : 0;
}

bool RelayedBackend::Status(const RelayRequest& request) {
  const int32_t number = Send(request);
  if (number == 0) return false;
  const std::optional<std::string> status = relay_.WaitReply(number);
  return status && RelayStatusOk(*status);
}

bool RelayedBackend::SQLCommand(const std::string& sql, int slot) {
  return Status({RelayOp::kStatement, slot, {}, sql});
}

bool RelayedBackend::DeschidTabel(const std::string& table, int slot) {
  return Status({RelayOp::kTable, slot, table, {}});
}

bool RelayedBackend::DeschidTabel(const std::string& table, const std::string& clause, int slot) {
  return Status({RelayOp::kTableClause, slot, table, clause});
}

bool RelayedBackend::GetRecords(const std::string& sql, int slot) {
  return Status({RelayOp::kRecords, slot, {}, sql});
}

DbValue RelayedBackend::ValoareColoana(const std::string& column, int slot) {
  const int32_t number = Send({RelayOp::kValue, slot, column, {}});
  if (number == 0) return DbValue::Empty();
  const std::optional<std::string> reply = relay_.WaitReply(number);
  if (!reply) return DbValue::Empty();
  DbValue value = DecodeRelayValue(*reply);
  relay_.WaitReply(number);  // the status that follows; its content does not matter
  return value;
}

bool RelayedBackend::NextElementTabel(int slot) { return Status({RelayOp::kNext, slot, {}, {}}); }

void RelayedBackend::InchidTabel(int slot) { Status({RelayOp::kCloseTable, slot, {}, {}}); }

std::vector<std::string> RelayedBackend::ColumnNames(int) { return {}; }

bool RelayedBackend::RowAvailable(int) { return false; }

bool RelayedBackend::Close() {
  const int32_t number = Send({RelayOp::kClose, 0, {}, {}});
  if (number == 0) return false;
  relay_.WaitReply(number);
  relay_.Close();
  return true;
}

}  // namespace strivex
