#pragma once
// The laboratory server's connection as the settings hold it and a session opens it.

#include <cstdint>
#include <string>

namespace strivex {

struct DbConnectionFields {
  std::string serverAddress;  // the server (HOST, HOST,PORT, HOST\INSTANCE) or, relayed, RELAYHOST[:PORT]
  std::string database;
  std::string user;
  std::string password;
  uint8_t direct = 1;  // 1 straight to the server, 0 relayed
  // The server's own; empty when the driver's default will do.
  std::string serverPort{};     // "Port Server"
  std::string tdsVersion{};     // "Versiune TDS"
  std::string clientCharset{};  // "Set Caractere"

  friend bool operator==(const DbConnectionFields&, const DbConnectionFields&) = default;
};

}  // namespace strivex
