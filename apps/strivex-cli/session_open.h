#pragma once
// Opening a database session from the command line the way the instrument interface opens one,
// with the reason of a failure on standard error.

#include <optional>
#include <string>
#include <string_view>

namespace strivex {
class BazaDeDate;
}

namespace strivex::cli {

struct SessionTarget {
  std::optional<std::string> local;    // the local settings file
  std::string password;                // its password
  std::optional<std::string> connect;  // a connection string
  std::optional<std::string> relay;    // the relay server's HOST[:PORT], with connect
};

// Why `--relay`'s value is no relay address, or empty when it is one.
std::string RelayAddressProblem(std::string_view value);

// Opens `db` on the file or the connection string, directly or through the relay. On failure
// prints "open: <reason>" (and the driver's words when there are some) and returns false.
bool OpenSession(BazaDeDate& db, const SessionTarget& target);

// Prints "<what>: <the session's last log message>" and the driver's words, when there are some.
void PrintSessionError(const BazaDeDate& db, const char* what);

}  // namespace strivex::cli
