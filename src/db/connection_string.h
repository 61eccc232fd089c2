#pragma once
// Connection strings as the system stores and builds them, and what the engines need of them.

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db/connection_fields.h"

namespace strivex {

// The Jet file strings the local session builds (the path and password as given).
std::string JetConnectionString(std::string_view dataSource, std::string_view password);

// A value as an ODBC string must carry it: as it is, or in braces (a '}' inside doubled) when
// it holds ';', '{' or '}', which would otherwise split the string or be read as its syntax.
std::string OdbcValue(std::string_view value);

// The SQL Server string of the fields, each value an OdbcValue: "Driver={SQL Server}; Server=HOST;
// Network=; Database=D; Uid=U;Pwd=P", then "; Port=N", "; TDS_Version=V" and "; ClientCharset=C"
// for those that are set (a port in the address, "HOST,PORT", wins over the separate one). Server
// is HOST or HOST\INSTANCE; relayed, the relay's own port ("RELAYHOST:PORT") is left out. An old
// "HOST;Port=N;..." address gives its values where the separate ones are empty, so no setting
// ever travels inside the server's value.
std::string SqlServerConnectionString(const DbConnectionFields& fields);

// Whether the string names the Jet provider (a local file) rather than an ODBC driver.
bool IsJetConnectionString(std::string_view connectionString);

// The keys the Jet file strings hold.
inline constexpr std::array<std::string_view, 5> kJetConnectionKeys = {
    "Provider", "Data Source", "Mode", "Persist Security Info", "Jet OLEDB:Database Password"};

// The first key of the string, split as ConnectionValue splits it, that is none of `allowed`
// (compared without case); a non-blank part without '=' counts as a key. nullopt when all are.
std::optional<std::string> KeyOutside(std::string_view connectionString,
                                      std::span<const std::string_view> allowed);

// The value of a key (case-insensitive), without the blanks around it; a braced value without
// its braces and escapes, as a driver reads it. nullopt when absent.
std::optional<std::string> ConnectionValue(std::string_view connectionString, std::string_view key);

// The string with `password` as the value of its Pwd (or Password) pairs, or with a Pwd pair
// added at its end when it has none; every other pair as it is.
std::string WithConnectionPassword(std::string_view connectionString, std::string_view password);

// The string with the value of every password key (Pwd, Password, ... Database Password) replaced
// by "***", for logs and messages; the rest as it is.
std::string MaskPasswords(std::string_view connectionString);

// `text` (a driver's message, say) with the password of `connectionString` replaced by "***"
// wherever it appears.
std::string MaskPasswordIn(std::string_view text, std::string_view connectionString);

// Every key=value pair without the blanks around the pair, the key and the value, for drivers
// that ignore a key preceded by a blank. Braced values ({...}) are kept as they are.
std::string TrimConnectionString(std::string_view connectionString);

// The ODBC driver name the module's own strings use.
inline constexpr std::string_view kSqlServerDriverName = "SQL Server";

// The keys a relay client's ODBC string may hold without the administrator's say: the module's
// own and what FreeTDS and psqlODBC need at a laboratory. None names a file, a library, an
// environment variable or another host's settings.
inline constexpr std::array<std::string_view, 12> kAllowedConnectionKeys = {
    "Driver", "Server", "Network", "Database", "Uid", "Pwd",
    "Port", "TDS_Version", "ClientCharset", "App", "WSID", "Language"};

// Why a relay client's ODBC connection string must not be opened, or empty when it may. Every
// key must be one of kAllowedConnectionKeys or `extraKeys` (compared without case): the driver
// manager and the drivers act on many other keys, and some of them set the relay's environment,
// load libraries or write files for the rest of its life. The string must name its driver by one
// of `allowedDrivers`, never by a library path. Braces count only around a whole value, and a
// key given twice is refused, so no reader can see a pair this check did not.
std::string RefusedConnectionReason(std::string_view connectionString,
                                    const std::vector<std::string>& allowedDrivers,
                                    const std::vector<std::string>& extraKeys);

// Whether a driver name could be a library path rather than a registered name.
bool LooksLikeDriverPath(std::string_view driver);

// The string with the value of every password key (Pwd, Password) replaced by "***", for logs; a
// braced value as a whole, its doubled '}' included.
std::string MaskConnectionPassword(std::string_view connectionString);

}  // namespace strivex
