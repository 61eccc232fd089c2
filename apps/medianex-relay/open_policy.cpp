#include "open_policy.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "db/connection_string.h"

namespace strivex::relay {

namespace {

// Whether `file`, with its symbolic links resolved as far as they exist, lies inside `dir`.
bool Inside(const std::filesystem::path& file, const std::string& dir) {
  std::error_code error;
  const std::filesystem::path root = std::filesystem::canonical(dir, error);
  if (error) return false;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(file, error);
  if (error) return false;
  const auto [rootEnd, ignored] = std::mismatch(root.begin(), root.end(), resolved.begin(), resolved.end());
  return rootEnd == root.end() && resolved != root;
}

}  // namespace

std::string RefusedOpenReason(std::string_view connectionString, const OpenPolicy& policy) {
  if (!IsJetConnectionString(connectionString))
    return RefusedConnectionReason(connectionString, policy.drivers, policy.keys);
  if (policy.localDbDir.empty()) return "local database files are not served (see --local-db-dir)";
  if (const auto key = KeyOutside(connectionString, kJetConnectionKeys))
    return "key " + *key + " not allowed in a local database string";
  const std::optional<std::string> source = ConnectionValue(connectionString, "Data Source");
  if (!source || source->empty() || source->front() != '/') return "local database path not absolute";
  if (!Inside(*source, policy.localDbDir)) return "local database outside " + policy.localDbDir;
  return {};
}

}  // namespace strivex::relay
