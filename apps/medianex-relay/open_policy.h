#pragma once
// Which connection strings the relay opens for its clients, and what a session opened for one may
// hold. A client chooses the string, and an ODBC string can make the driver manager load any
// library, write any file the relay's user may write or set the relay's environment: only
// registered driver names, only listed keys, and local database files only inside the folder an
// administrator named.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace strivex::relay {

struct OpenPolicy {
  std::vector<std::string> drivers;  // registered ODBC driver names clients may use
  std::string localDbDir;            // absolute; empty: no local database files
  std::vector<std::string> keys{};   // connection-string keys allowed besides the built-in ones
  size_t maxResultBytes = 0;         // what one session's result sets may hold; 0: no bound
};

// Why the relay refuses to open `connectionString`, or empty when it may.
std::string RefusedOpenReason(std::string_view connectionString, const OpenPolicy& policy);

}  // namespace strivex::relay
