#pragma once
// Connection strings as the system stores and builds them, and what the engines need of them.

#include <optional>
#include <string>
#include <string_view>

namespace strivex {

// The Jet file strings the local session builds (the path and password as given).
std::string JetConnectionString(std::string_view dataSource, std::string_view password);

// The SQL Server string built from server, database, user and password.
std::string SqlServerConnectionString(std::string_view server, std::string_view database,
                                      std::string_view user, std::string_view password);

// Whether the string names the Jet provider (a local file) rather than an ODBC driver.
bool IsJetConnectionString(std::string_view connectionString);

// The value of a key (case-insensitive), without the blanks around it; nullopt when absent.
std::optional<std::string> ConnectionValue(std::string_view connectionString, std::string_view key);

// The string with the value of every password key (Pwd, Password, ... Database Password) replaced
// by "***", for logs and messages; the rest as it is.
std::string MaskPasswords(std::string_view connectionString);

// Every key=value pair without the blanks around the pair, the key and the value, for drivers
// that ignore a key preceded by a blank. Braced values ({...}) are kept as they are.
std::string TrimConnectionString(std::string_view connectionString);

}  // namespace strivex
