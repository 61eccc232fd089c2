#include "db/baza_de_date.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "db/connection_string.h"
#include "platform/message_box.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

bool ValidSlot(int slot) { return slot >= 0 && slot < BazaDeDate::kSlotCount; }

const char* C(const std::string& text) { return text.c_str(); }

// The relay server listens on 9081. STRIVEX_RELAY_PORT overrides it for tests only, which run
// their own peer on a free port; the system never sets it.
constexpr uint16_t kRelayPort = 9081;

uint16_t RelayPort() {
  const char* text = std::getenv("STRIVEX_RELAY_PORT");
  if (text == nullptr || *text == '\0') return kRelayPort;
  char* end = nullptr;
  const long port = std::strtol(text, &end, 10);
  if (*end != '\0' || port <= 0 || port > 65535) return kRelayPort;
  return static_cast<uint16_t>(port);
}

// The first IPv4 address of `host`, as the relay server is reached by IPv4 only.
bool ResolveIpv4(const std::string& host, in_addr& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return true;
}

std::string SkipBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string() : std::string(text.substr(first));
}

// A value reply: the type code, ";" and the value as text.
DbValue ParseRelayValue(std::string_view reply) {
  const size_t separator = reply.find(';');
  const std::string code = SkipBlanks(reply.substr(0, std::min<size_t>(separator, 100)));
  const std::string text =
      separator == std::string_view::npos ? std::string() : SkipBlanks(reply.substr(separator + 1, 3000));
  const auto type = static_cast<uint16_t>(std::strtol(code.c_str(), nullptr, 10));
  switch (type) {
    case VT_EMPTY: return DbValue::Empty();
    case VT_I4: return DbValue::Int(static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10)));
    case VT_DATE: return DbValue::Real(std::strtod(text.c_str(), nullptr), VT_DATE);
    case VT_BSTR: return DbValue::Text(text);
    default: {
      DbValue value;
      value.type = type;
      return value;
    }
  }
}

}  // namespace

// The session's busy flag: statements that change slots run one at a time, re-testing every
// 10 ms; the test and the setting are one atomic step.
class BazaDeDate::BusyGuard {
 public:
  explicit BusyGuard(std::atomic<uint8_t>& flag) : flag_(flag) {
    while (flag_.exchange(1, std::memory_order_acquire) != 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~BusyGuard() { flag_.store(0, std::memory_order_release); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  std::atomic<uint8_t>& flag_;
};

BazaDeDate::BazaDeDate() = default;

BazaDeDate::~BazaDeDate() {
  for (auto& slot : slots_) slot.reset();
  engine_.reset();
}

void BazaDeDate::LogFailure(const std::string& message, const DbError& error) {
  WriteErrorLogEntry(message);
  std::lock_guard lock(diagnosticsMutex_);
  lastErrorMessage_ = message;
  lastErrorDetail_ = error.detail;
}

std::string BazaDeDate::LastErrorMessage() const {
  std::lock_guard lock(diagnosticsMutex_);
  return lastErrorMessage_;
}

std::string BazaDeDate::LastErrorDetail() const {
  std::lock_guard lock(diagnosticsMutex_);
  return lastErrorDetail_;
}

bool BazaDeDate::HasEngine() const {
  std::shared_lock lock(engineMutex_);
  return engine_ != nullptr;
}

void BazaDeDate::ReleaseSlot(int slot) {
  std::unique_ptr<ResultSet> old;
  {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    old = std::move(slots_[static_cast<size_t>(slot)]);
  }
}

bool BazaDeDate::DirectOpen(const std::string& connectionString, const std::string& failureFormatTail) {
  direct.store(1);
  std::unique_lock lock(engineMutex_);
  // The previous connection goes with slot 0; slots 1-9 keep their sets (and what they read from).
  ReleaseSlot(0);
  engine_ = MakeEngine(connectionString);
  if (!engine_) {
    lock.unlock();
    platform::MessageBox("Couldn't create the connection variable");
    return false;
  }
  connected.store(0);
  DbError error;
  if (!engine_->Open(connectionString, error)) {
    lock.unlock();
    LogFailure(Format("Eroare: %s la deschidere conectie%s", C(ErrorText(error.result)),
                      C(failureFormatTail)),
               error);
    return false;
  }
  connected.store(1);
  return true;
}

bool BazaDeDate::DeschidBazaLocala(const std::string& dataSource, const std::string& pass,
                                   uint8_t directFlag) {
  if (directFlag != 1) {
    platform::MessageBox(serverAddress.empty() ? "adresa web este necesara" : "Indirect Conect");
    return false;
  }
  if (!DirectOpen(JetConnectionString(dataSource, pass), "")) return false;
  database = dataSource;
  password = pass;
  return true;
}

bool BazaDeDate::DeschidConectie(const std::string& connectionString, uint8_t directFlag) {
  if (directFlag != 1) {
    direct.store(directFlag);
    if (serverAddress.empty()) {
      platform::MessageBox("adresa web este necesara");
      return false;
    }
    return RelayedOpen(connectionString);
  }
  return DirectOpen(connectionString, " ->" + connectionString);
}

bool BazaDeDate::DeschidConectieSetari(uint8_t directFlag) {
  if (!serverAddress.empty()) {
    return DeschidConectie(SqlServerConnectionString(serverAddress, database, user, password),
                           directFlag);
  }
  return DeschidBazaLocala(database, password, directFlag);
}

bool BazaDeDate::RelayedOpen(const std::string& connectionString) {
  in_addr address{};
  if (!ResolveIpv4(serverAddress, address)) {
    platform::MessageBox("Adresa IP nu poate fi gasita");
    return false;
  }
  std::array<char, INET_ADDRSTRLEN> dotted{};
  ::inet_ntop(AF_INET, &address, dotted.data(), dotted.size());
  serverIp = dotted.data();

  const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) {
    platform::MessageBox("Eroare la socket");
    return false;
  }
  // Requests are small and a caller waits on each: no batching delay. A caller also waits with
  // no time-out, so a dead peer must eventually show up as a failed connection.
  const int on = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(RelayPort());
  peer.sin_addr = address;
  int rc = 0;
  do {
    rc = ::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(socket);
    return false;
  }

  std::array<char, 201> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) name[0] = '\0';
  hostName = name.data();

  relaySocket.store(socket);
  if (!relay.Start(socket)) {
    platform::MessageBox("SOCKET neinitializat");
    ::close(socket);
    return false;
  }
  connected.store(0);
  // Exactly 100 bytes: the text, cut there if longer, then zeros.
  std::string greeting = Format("Medianex Server;Name=%s", C(hostName));
  greeting.resize(100, '\0');
  if (!relay.SendRaw(greeting)) return false;
  const int32_t number = RelayRequest("DeschidConectie", connectionString);
  if (number == 0) return false;
  const std::optional<std::string> status = relay.WaitReply(number);
  connected.store(status && !status->empty() ? static_cast<uint8_t>((*status)[0]) : 0);
  return connected.load() != 0;
}

int32_t BazaDeDate::RelayRequest(const std::string& command, const std::string& argument) {
  for (const std::string* text : {&command, &argument}) {
    if (text->size() > static_cast<size_t>(kRelayMaxText)) {
      // The server takes no longer text; cutting it would run another statement.
      LogFailure(Format("Eroare: textul depaseste %d octeti - '%s...'", kRelayMaxText,
                        C(text->substr(0, 100))),
                 {kResultFail, "the relay server takes at most 1999 bytes of text"});
      return 0;
    }
  }
  const int32_t number = requestCounter.fetch_add(1) + 1;
  return relay.SendRequest(number, command, argument) ? number : 0;
}

bool BazaDeDate::RelayStatus(const std::string& command, const std::string& argument) {
  const int32_t number = RelayRequest(command, argument);
  if (number == 0) return false;
  const std::optional<std::string> status = relay.WaitReply(number);
  return status && !status->empty() && (*status)[0] != 0;
}

DbValue BazaDeDate::RelayValue(const std::string& column, int slot) {
  const int32_t number = RelayRequest("ValoareColoana", Format("2;%s,%d", C(column), slot));
  if (number == 0) return DbValue::Empty();
  const std::optional<std::string> reply = relay.WaitReply(number);
  if (!reply) return DbValue::Empty();
  DbValue value = ParseRelayValue(*reply);
  relay.WaitReply(number);  // the status that follows; its content does not matter
  return value;
}

void BazaDeDate::InchidConectie() {
  if (connected.load() == 1 && direct.load() == 0) {
    const int32_t number = RelayRequest("InchidConectie", "0;");
    if (number == 0) return;
    relay.WaitReply(number);
    relay.Close();
    relaySocket.store(-1);
  }
  if (connected.load() == 1 && direct.load() == 1) {
    std::unique_lock lock(engineMutex_);
    // Closing a connection closes the result sets read from it; they stay in their slots.
    for (int slot = 0; slot < kSlotCount; ++slot) {
      std::lock_guard slotLock(slotMutex_[static_cast<size_t>(slot)]);
      if (slots_[static_cast<size_t>(slot)]) slots_[static_cast<size_t>(slot)]->Close();
    }
    if (engine_) engine_->Close();
  }
  connected.store(0);
}

bool BazaDeDate::ExecuteInto(const std::string& sql, int slot, DbError& error) {
  std::unique_ptr<ResultSet> set;
  {
    std::shared_lock lock(engineMutex_);
    if (!engine_) {
      error = {kResultFail, "the session has no connection"};
      return false;
    }
    set = engine_->Execute(sql, error);
  }
  if (!set) return false;
  std::unique_ptr<ResultSet> old;
  {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    old = std::exchange(slots_[static_cast<size_t>(slot)], std::move(set));
  }
  return true;
}

bool BazaDeDate::SQLCommand(const std::string& sql, int slot) {
  if (!ValidSlot(slot)) return false;
  if (direct.load() != 1) return RelayStatus("SQLCommand", Format("2;%d;%s", slot, C(sql)));
  BusyGuard busyGuard(busy);
  DbError error;
  if (ExecuteInto(sql, slot, error)) {
    lastErrorCode.store(0);
    return true;
  }
  LogFailure(Format("Eroare la executare comanda SQL ('%s'): %s", C(sql), C(ErrorText(error.result))),
             error);
  lastErrorCode.store(StoredErrorCode(error.result));
  // A conversion failure has always been let through once it is logged.
  return ErrorCodeOf(error.result) == kErrorConversion;
}

bool BazaDeDate::DeschidTabel(const std::string& table, int slot) {
  if (!ValidSlot(slot)) return false;
  if (direct.load() != 1) return RelayStatus("DeschidTabel", Format("2;%s,%d", C(table), slot));
  const std::string sql = Format("SELECT * FROM %s", C(table));
  BusyGuard busyGuard(busy);
  DbError error;
  if (ExecuteInto(sql, slot, error)) return true;
  LogFailure(Format("Eroare: %s la obtinerea tabelului '%s'", C(ErrorText(error.result)), C(table)),
             error);
  return false;
}

bool BazaDeDate::DeschidTabel(const std::string& table, const std::string& clause, int slot) {
  if (!ValidSlot(slot)) return false;
  if (direct.load() != 1) {
    return RelayStatus("DeschidTabel", Format("3;%s,%s,%d", C(table), C(clause), slot));
  }
  const std::string sql = Format("SELECT * FROM %s %s", C(table), C(clause));
  BusyGuard busyGuard(busy);
  if (!HasEngine()) {
    lastErrorCode.store(kNoErrorCode);
    return false;
  }
  DbError error;
  if (ExecuteInto(sql, slot, error)) return true;
  LogFailure(Format("Eroare: %s - '%s'", C(ErrorText(error.result)), C(sql)), error);
  lastErrorCode.store(StoredErrorCode(error.result));
  return false;
}

bool BazaDeDate::GetRecords(const std::string& sql, int slot) {
  if (!ValidSlot(slot)) return false;
  if (direct.load() != 1) return RelayStatus("GetRecords", Format("2;%d;%s", slot, C(sql)));
  DbError error;
  if (ExecuteInto(sql, slot, error)) return true;
  LogFailure(Format("Eroare la executare comanda SQL ('%s'): %s", C(sql), C(ErrorText(error.result))),
             error);
  return false;
}

DbValue BazaDeDate::ValoareColoana(const std::string& column, int slot) {
  if (!ValidSlot(slot)) return DbValue::Empty();
  if (direct.load() != 1) return RelayValue(column, slot);
  {
    std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
    const ResultSet* set = slots_[static_cast<size_t>(slot)].get();
    if (const auto index = set ? set->ColumnIndex(column) : std::nullopt) {
      DbValue value = set->Value(*index);  // type 0 at the end of the set
      if (value.type == VT_NULL) value = DbValue::Empty();
      return value;
    }
  }
  LogFailure(Format("Eroare: %s la obtinerea coloanei %s", C(ErrorText(kResultFail)), C(column)),
             {kResultFail, "no such column in the result set of slot " + std::to_string(slot)});
  return DbValue::Empty();
}

bool BazaDeDate::NextElementTabel(int slot) {
  if (!ValidSlot(slot)) return false;
  if (direct.load() != 1) return RelayStatus("NextElementTabel", Format("1;%d", slot));
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  ResultSet* set = slots_[static_cast<size_t>(slot)].get();
  if (set == nullptr || set->AtEnd()) return false;
  DbError ignored;
  return set->Next(ignored);
}

std::vector<std::string> BazaDeDate::ColumnNames(int slot) {
  if (!ValidSlot(slot)) return {};
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  const ResultSet* set = slots_[static_cast<size_t>(slot)].get();
  return set ? set->ColumnNames() : std::vector<std::string>{};
}

bool BazaDeDate::RowAvailable(int slot) {
  if (!ValidSlot(slot)) return false;
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  const ResultSet* set = slots_[static_cast<size_t>(slot)].get();
  return set != nullptr && !set->AtEnd();
}

void BazaDeDate::InchidTabel(int slot) {
  if (!ValidSlot(slot)) return;
  if (direct.load() != 1) {
    RelayStatus("InchidTabel", Format("1;%d;", slot));
    return;
  }
  BusyGuard busyGuard(busy);
  std::lock_guard lock(slotMutex_[static_cast<size_t>(slot)]);
  if (slots_[static_cast<size_t>(slot)]) slots_[static_cast<size_t>(slot)]->Close();
}

}  // namespace strivex
