#pragma once
// Which connection strings the relay opens for its clients. A client chooses the string, and an
// ODBC string can make the driver manager load any library or write any file the relay's user
// may write: only registered driver names, no file keys, and local database files only inside
// the folder an administrator named.

#include <string>
#include <string_view>
#include <vector>

namespace strivex::relay {

struct OpenPolicy {
  std::vector<std::string> drivers;  // registered ODBC driver names clients may use
  std::string localDbDir;            // absolute; empty: no local database files
};

// Why the relay refuses to open `connectionString`, or empty when it may.
std::string RefusedOpenReason(std::string_view connectionString, const OpenPolicy& policy);

}  // namespace strivex::relay
