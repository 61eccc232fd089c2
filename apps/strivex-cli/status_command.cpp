#include "status_command.h"

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "console.h"
#include "escape.h"
#include "local_time_text.h"
#include "host/status_file.h"
#include "option_text.h"
#include "outbox/outbox_store.h"
#include "util/flat_json.h"
#include "util/timings.h"

namespace strivex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: strivex-cli status [--json] [WORKDIR...]\n"
    "\n"
    "Shows how the instrument interface modules are doing, from the status file each keeps in its\n"
    "working directory (_Strivex_status.json, rewritten when something changes). Nothing is\n"
    "asked of the modules themselves. Without WORKDIR, the current directory.\n"
    "\n"
    "Options:\n"
    "  --json       Print one JSON array for monitoring systems: per WORKDIR an object with\n"
    "               the file's members (times in unix seconds, 0 for none) and \"workdir\",\n"
    "               \"running\", \"needs_operator\". A WORKDIR without a readable file gives\n"
    "               \"workdir\" and \"error\" only.\n"
    "  -h, --help   Print this help and exit.\n"
    "\n"
    "Otherwise one line per WORKDIR, each ended by LF:\n"
    "  <workdir> TAB <instrument> TAB <machine id> TAB <port> TAB <port state> TAB\n"
    "  <server>/<database> TAB <server state> TAB <pending> TAB <rejected> TAB <unassigned> TAB\n"
    "  <last received> TAB <last stored> TAB <module> TAB <other machine>\n"
    "<port state> is open, closed or lost (its device gone); <server state> is connected,\n"
    "unavailable or not answering; times are local (YYYY-MM-DD HH:MM:SS), '-' for none yet;\n"
    "<module> is running or stopped. A module that did not say it stopped counts as stopped when\n"
    "its file is older than a few of its periods and its process is gone. <other machine> counts\n"
    "the results in the folder's outbox that belong to another machine id: this module never\n"
    "sends them (start that instrument's module on the folder once). Fields are escaped as\n"
    "'outbox list' escapes them.\n"
    "\n"
    "Exit status:\n"
    "  0  every module runs with its port open, its server connected, and no rejected or\n"
    "     unassigned results\n"
    "  1  something needs an operator: a port lost or closed, a server unavailable or not\n"
    "     answering, rejected or unassigned results or results of another machine, a stopped module, a part of a running\n"
    "     module that stopped after an unexpected failure (\"stopped_workers\"; named on\n"
    "     standard error, the failure in its _acterr.log), or a WORKDIR without a readable status\n"
    "     file (message on standard error)\n"
    "  2  usage error, or the output could not be written\n";

// A file this much older than the module's period, of a process that is gone: the module ended
// without its last word (killed, crashed, a power cut).
// Scripts see the tool's usual 1 ("not all is well").
constexpr int kExitNeedsOperator = kExitNothingFound;

constexpr auto kStaleAfter = 3 * timings::kStatusFilePeriod;

struct Module {
  std::string workdir;
  std::optional<ModuleStatus> status;
  std::string error;
  bool running = false;
  bool needsOperator = true;
};

bool ProcessAlive(int64_t pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

Module Look(std::string_view workdir, int64_t now) {
  Module module{std::string(workdir), std::nullopt, {}, false, true};
  module.status = ReadStatusFile((std::filesystem::path(workdir) / kStatusFileName).string(), module.error);
  if (!module.status) return module;
  const ModuleStatus& s = *module.status;
  const bool stale = (now - s.writtenAt) * 1000 > kStaleAfter.count();
  module.running = !s.stopped && !(stale && !ProcessAlive(s.pid));
  module.needsOperator = !module.running || s.port != PortState::kOpen || s.server != ServerState::kConnected ||
                         s.rejected > 0 || s.unassigned > 0 || s.otherMachines > 0 || !s.stoppedWorkers.empty();
  return module;
}

std::string TimeOrDash(int64_t unixSeconds) { return unixSeconds == 0 ? "-" : LocalTimeText(unixSeconds); }

std::string Line(const Module& module) {
  const ModuleStatus& s = *module.status;
  std::string out;
  auto field = [&out](std::string_view text) {
    if (!out.empty()) out += '\t';
    AppendEscaped(out, text);
  };
  field(module.workdir);
  field(s.instrument);
  field(std::to_string(s.machineId));
  field(s.portName);
  field(PortStateName(s.port));
  field(s.serverAddress + "/" + s.serverDatabase);
  field(ServerStateName(s.server));
  field(std::to_string(s.pending));
  field(std::to_string(s.rejected));
  field(std::to_string(s.unassigned));
  field(TimeOrDash(s.lastReceivedAt));
  field(TimeOrDash(s.lastStoredAt));
  field(module.running ? "running" : "stopped");
  field(std::to_string(s.otherMachines));  // last: scripts that read the older columns keep working
  return out + "\n";
}

std::string JsonItem(const Module& module) {
  if (!module.status) return JsonObjectWriter().Text("workdir", module.workdir).Text("error", module.error).Finish();
  return StatusJson(*module.status)
      .Text("workdir", module.workdir)
      .Bool("running", module.running)
      .Bool("needs_operator", module.needsOperator)
      .Finish();
}

}  // namespace

int RunStatusCommand(std::span<const std::string_view> args) {
  static constexpr app::LongOption kOptions[] = {{"json"}};
  app::CommandLine line;
  if (!SplitArguments(args, kOptions, line)) return kExitFailure;
  if (line.help) return WriteAll(stdout, kUsage) && std::fflush(stdout) == 0 ? kExitOk : kExitFailure;
  const bool json = !line.options.empty();
  std::vector<std::string_view> workdirs(line.operands.begin(), line.operands.end());
  if (workdirs.empty()) workdirs.push_back(".");

  const int64_t now = UnixNow();
  std::string out = json ? "[" : "";
  bool needsOperator = false;
  for (const std::string_view workdir : workdirs) {
    const Module module = Look(workdir, now);
    needsOperator = needsOperator || module.needsOperator;
    if (json) {
      out += (out.size() > 1 ? ",\n " : "") + JsonItem(module);
    } else if (module.status) {
      out += Line(module);
    }
    if (!module.status) PrintError(EscapeField(module.workdir), EscapeField(module.error));
    if (module.status && module.running) {
      for (const std::string& worker : module.status->stoppedWorkers)
        PrintError(EscapeField(module.workdir), "part stopped: " + EscapeField(worker) + " (see its _acterr.log)");
    }
  }
  if (json) out += "]\n";
  if (!WriteAll(stdout, out) || std::fflush(stdout) != 0) return kExitFailure;
  return needsOperator ? kExitNeedsOperator : kExitOk;
}

}  // namespace strivex::cli
