#include "host/status_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "host/status_panel.h"
#include "util/format.h"
#include "util/unique_fd.h"

namespace strivex {

namespace {

constexpr std::array<std::string_view, 3> kPortNames{"open", "closed", "lost"};
constexpr std::array<std::string_view, 3> kServerNames{"connected", "unavailable", "not answering"};

template <class Enum, size_t N>
std::optional<Enum> FromName(const std::array<std::string_view, N>& names, std::string_view name) {
  for (size_t i = 0; i < N; ++i)
    if (names[i] == name) return static_cast<Enum>(i);
  return std::nullopt;
}

bool WriteAllTo(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string Failure(const char* what, const std::string& path) {
  return Format("%s %s: %s", what, path.c_str(), std::strerror(errno));
}

}  // namespace

std::string_view PortStateName(PortState state) { return kPortNames[static_cast<size_t>(state)]; }
std::string_view ServerStateName(ServerState state) { return kServerNames[static_cast<size_t>(state)]; }

void FillFromPanel(const StatusSnapshot& now, ModuleStatus& status) {
  status.portName = now.portName;
  status.port = now.portOpen ? PortState::kOpen : now.portLost ? PortState::kLost : PortState::kClosed;
  status.serverAddress = now.serverAddress;
  status.serverDatabase = now.serverDatabase;
  // As the panel ranks them: a session given up counts before a slow one.
  status.server = now.serverUnavailable != 0 ? ServerState::kUnavailable
                  : now.serverOverdue        ? ServerState::kOverdue
                                             : ServerState::kConnected;
  status.pending = now.outboxPending;
  status.rejected = now.outboxRejected;
  status.unassigned = now.outboxUnassigned;
  status.otherMachines = now.outboxOtherMachines;
}

JsonObjectWriter StatusJson(const ModuleStatus& status) {
  JsonObjectWriter json;
  json.Text("instrument", status.instrument)
      .Integer("machine_id", status.machineId)
      .Text("port", status.portName)
      .Text("port_state", PortStateName(status.port))
      .Text("server_address", status.serverAddress)
      .Text("server_database", status.serverDatabase)
      .Text("server_state", ServerStateName(status.server))
      .Integer("pending", status.pending)
      .Integer("rejected", status.rejected)
      .Integer("unassigned", status.unassigned)
      .Integer("other_machine", status.otherMachines)
      .Integer("last_received_at", status.lastReceivedAt)
      .Integer("last_stored_at", status.lastStoredAt)
      .Integer("pid", status.pid)
      .Bool("stopped", status.stopped)
      .Texts("stopped_workers", status.stoppedWorkers)
      .Integer("written_at", status.writtenAt);
  return json;
}

std::optional<ModuleStatus> StatusFromJson(const JsonValue& value) {
  bool whole = true;
  auto member = [&](std::string_view key, JsonValue::Kind kind) -> const JsonValue& {
    static const JsonValue kMissing;
    const JsonValue* found = value.Find(key);
    if (found == nullptr || found->kind != kind) {
      whole = false;
      return kMissing;
    }
    return *found;
  };
  auto text = [&](std::string_view key) { return member(key, JsonValue::Kind::kText).text; };
  auto integer = [&](std::string_view key) { return member(key, JsonValue::Kind::kInteger).integer; };
  ModuleStatus status;
  status.instrument = text("instrument");
  status.machineId = static_cast<int32_t>(integer("machine_id"));
  status.portName = text("port");
  const auto port = FromName<PortState>(kPortNames, text("port_state"));
  status.serverAddress = text("server_address");
  status.serverDatabase = text("server_database");
  const auto server = FromName<ServerState>(kServerNames, text("server_state"));
  status.pending = integer("pending");
  status.rejected = integer("rejected");
  status.unassigned = integer("unassigned");
  status.lastReceivedAt = integer("last_received_at");
  status.lastStoredAt = integer("last_stored_at");
  status.pid = integer("pid");
  status.stopped = member("stopped", JsonValue::Kind::kBool).boolean;
  status.writtenAt = integer("written_at");
  // Optional: files written before they were added still read.
  if (const JsonValue* other = value.Find("other_machine"); other != nullptr) {
    if (other->kind != JsonValue::Kind::kInteger) return std::nullopt;
    status.otherMachines = other->integer;
  }
  if (const JsonValue* workers = value.Find("stopped_workers"); workers != nullptr) {
    if (workers->kind != JsonValue::Kind::kArray) return std::nullopt;
    for (const JsonValue& worker : workers->items) {
      if (worker.kind != JsonValue::Kind::kText) return std::nullopt;
      status.stoppedWorkers.push_back(worker.text);
    }
  }
  if (!whole || !port || !server) return std::nullopt;
  status.port = *port;
  status.server = *server;
  return status;
}

bool WriteStatusFile(const std::string& path, const ModuleStatus& status, std::string& error) {
  const std::string temporary = path + ".tmp";
  {
    // Owner-only, like the logs beside it; a temporary file that an earlier version left readable
    // to all keeps its mode through O_TRUNC, hence the fchmod.
    UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
    if (!fd.valid() || ::fchmod(fd.get(), 0600) != 0) {
      error = Failure("cannot create", temporary);
      return false;
    }
    if (!WriteAllTo(fd.get(), StatusJson(status).Finish() + "\n") || ::fsync(fd.get()) != 0) {
      error = Failure("cannot write", temporary);
      return false;
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = Failure("cannot rename to", path);
    return false;
  }
  return true;
}

std::optional<ModuleStatus> ReadStatusFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = Failure("cannot open", path);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  const std::optional<JsonValue> json = ParseJson(text.str());
  std::optional<ModuleStatus> status = json ? StatusFromJson(*json) : std::nullopt;
  if (!status) error = Format("%s: not a status file", path.c_str());
  return status;
}

}  // namespace strivex
