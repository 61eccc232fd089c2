#pragma once
// The module's status file in its working directory: what the panel shows, for tools that watch
// several instruments without opening their windows (`strivex-cli status`). One small JSON object,
// replaced atomically, so a reader sees the previous file or the new one, never half of one.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/flat_json.h"

namespace strivex {

struct StatusSnapshot;

inline constexpr const char* kStatusFileName = "_Strivex_status.json";

enum class PortState { kOpen, kClosed, kLost };
enum class ServerState { kConnected, kUnavailable, kOverdue };

// "open", "closed", "lost"; "connected", "unavailable", "not answering".
std::string_view PortStateName(PortState state);
std::string_view ServerStateName(ServerState state);

struct ModuleStatus {
  std::string instrument;
  int32_t machineId = 0;
  std::string portName;
  PortState port = PortState::kClosed;
  std::string serverAddress;  // never the password
  std::string serverDatabase;
  ServerState server = ServerState::kConnected;
  int64_t pending = 0;
  int64_t rejected = 0;
  int64_t unassigned = 0;
  // Rows of another machine id in this folder's outbox, which this module never sends; absent
  // from older files.
  int64_t otherMachines = 0;
  int64_t lastReceivedAt = 0;  // unix seconds; 0: none since the start
  int64_t lastStoredAt = 0;
  int64_t pid = 0;
  bool stopped = false;  // the module's last word
  // Parts of a running module that stopped after a failure nobody expected (their worker keys);
  // absent from older files.
  std::vector<std::string> stoppedWorkers;
  int64_t writtenAt = 0;  // unix seconds
  friend bool operator==(const ModuleStatus&, const ModuleStatus&) = default;
};

// The port, server and outbox parts of `now`; the rest is left as it is.
void FillFromPanel(const StatusSnapshot& now, ModuleStatus& status);

// The members of the file's object, for callers that add their own.
JsonObjectWriter StatusJson(const ModuleStatus& status);
// Null when `value` is not a status object (a member missing or of another kind).
std::optional<ModuleStatus> StatusFromJson(const JsonValue& value);

// Writes `status` to `path` through a temporary file in the same folder: written, synced to the
// disk, then renamed over the old one. False with the reason in `error`.
bool WriteStatusFile(const std::string& path, const ModuleStatus& status, std::string& error);
// Null with the reason in `error` when the file is missing, unreadable or not a status file.
std::optional<ModuleStatus> ReadStatusFile(const std::string& path, std::string& error);

}  // namespace strivex
