#pragma once
// The server field as administrators write it: "HOST", "HOST,PORT" and "HOST\INSTANCE" as SQL
// Server's own tools take them, or "RELAYHOST[:PORT]" when it names the relay. One parser for the
// dialog, the connection strings and the relay client, so they never read a field differently.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace strivex {

enum class AddressForm {
  kSqlServer,  // HOST, HOST,PORT, HOST\INSTANCE, HOST\INSTANCE,PORT
  kRelay,      // RELAYHOST, RELAYHOST:PORT
};

struct ServerAddress {
  std::string host;
  std::string instance;  // empty when none is named
  uint16_t port = 0;     // 0 when the field gives none

  friend bool operator==(const ServerAddress&, const ServerAddress&) = default;
};

enum class AddressProblem {
  kNone,
  kNoHost,   // nothing before the port or instance
  kBadHost,  // a character no host name holds (';', '=', braces, blanks, a separator of the other form)
  kBadPort,  // not a whole number from 1 to 65535
};

// The parts of `text` (blanks around it ignored), or the problem of the first part that is not
// one. An empty text is kNoHost.
std::optional<ServerAddress> ParseServerAddress(std::string_view text, AddressForm form,
                                                AddressProblem* problem = nullptr);

// HOST, or HOST\INSTANCE: the address without its port, as the Server key takes it.
std::string ServerName(const ServerAddress& address);

// A port as the separate setting holds it; nothing when it is not 1 to 65535 written in digits.
std::optional<uint16_t> ParsePort(std::string_view text);

// The problem in English, for logs and strivex-cli.
const char* AddressProblemText(AddressProblem problem);

// A server setting written the old way, "HOST;Port=N;TDS_Version=V;ClientCharset=C": the address
// before the first ';' and the values of those keys (case-insensitive), empty when absent; other
// parts are dropped. Nothing when the text holds no ';'.
struct OldServerSetting {
  std::string address;
  std::string port;
  std::string tdsVersion;
  std::string clientCharset;
};
std::optional<OldServerSetting> SplitOldServerSetting(std::string_view text);

}  // namespace strivex
