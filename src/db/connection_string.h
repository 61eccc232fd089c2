#pragma once
// Connection strings as the system stores and builds them, and what the engines need of them.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace strivex {

// The Jet file strings the local session builds (the path and password as given).
std::string JetConnectionString(std::string_view dataSource, std::string_view password);

// A value as an ODBC string must carry it: as it is, or in braces (a '}' inside doubled) when
// it holds ';', '{' or '}', which would otherwise split the string or be read as its syntax.
std::string OdbcValue(std::string_view value);

// The SQL Server string built from server, database, user and password, each an OdbcValue.
std::string SqlServerConnectionString(std::string_view server, std::string_view database,
                                      std::string_view user, std::string_view password);

// Whether the string names the Jet provider (a local file) rather than an ODBC driver.
bool IsJetConnectionString(std::string_view connectionString);

// The value of a key (case-insensitive), without the blanks around it; a braced value without
// its braces and escapes, as a driver reads it. nullopt when absent.
std::optional<std::string> ConnectionValue(std::string_view connectionString, std::string_view key);

// The string with `password` as the value of its Pwd (or Password) pairs, or with a Pwd pair
// added at its end when it has none; every other pair as it is.
std::string WithConnectionPassword(std::string_view connectionString, std::string_view password);

// The string with the value of every password key (Pwd, Password, ... Database Password) replaced
// by "***", for logs and messages; the rest as it is.
std::string MaskPasswords(std::string_view connectionString);

// Every key=value pair without the blanks around the pair, the key and the value, for drivers
// that ignore a key preceded by a blank. Braced values ({...}) are kept as they are.
std::string TrimConnectionString(std::string_view connectionString);

// The ODBC driver name the module's own strings use.
inline constexpr std::string_view kSqlServerDriverName = "SQL Server";

// Why a relay client's ODBC connection string must not be opened, or empty when it may. The
// string must name its driver by one of `allowedDrivers` (compared without case), never by a
// library path, and must hold no key that makes the driver manager or a driver load or write a
// file (file DSNs, trace and dump files, translation libraries, key files). Braces count only
// around a whole value, and a key given twice is refused, so no reader can see a pair this check
// did not.
std::string RefusedConnectionReason(std::string_view connectionString,
                                    const std::vector<std::string>& allowedDrivers);

// Whether a driver name could be a library path rather than a registered name.
bool LooksLikeDriverPath(std::string_view driver);

// The string with the value of every password key (Pwd, Password) replaced by "***", for logs; a
// braced value as a whole, its doubled '}' included.
std::string MaskConnectionPassword(std::string_view connectionString);

}  // namespace strivex
