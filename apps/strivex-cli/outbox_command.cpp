#include "outbox_command.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "assign_check.h"
#include "connect_password.h"
#include "console.h"
#include "escape.h"
#include "local_time_text.h"
#include "option_text.h"
#include "outbox/outbox_store.h"
#include "session_open.h"
#include "util/format.h"

namespace strivex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: strivex-cli outbox --file FILE list [--pending | --rejected | --stored | --unassigned]\n"
    "       strivex-cli outbox --file FILE retry ID...\n"
    "       strivex-cli outbox --file FILE retry --all-rejected\n"
    "       strivex-cli outbox --file FILE assign ID... --request N\n"
    "                          (--connect CONNSTR [--password-file FILE] [--relay HOST[:PORT]]\n"
    "                           | --force)\n"
    "       strivex-cli outbox --file FILE stats\n"
    "\n"
    "Shows the result outbox of the instrument interface (_Strivex_outbox.db beside its logs),\n"
    "where every result received waits until the laboratory's server has stored it. Results the\n"
    "server refused too often are kept as rejected with the server's message; once the cause is\n"
    "fixed (a code table, say), 'retry' puts them back in line. Results of a printout without a\n"
    "usable sample identifier are kept as unassigned and never sent until 'assign' gives them a\n"
    "request. Safe while the module runs.\n"
    "\n"
    "Actions:\n"
    "  list                  every result, oldest first\n"
    "  retry ID...           puts the rejected results with these ids back in line (their\n"
    "                        attempts count from 0 again)\n"
    "  retry --all-rejected  puts every rejected result back in line\n"
    "  assign ID... --request N\n"
    "                        gives the unassigned results with these ids request N (1 to\n"
    "                        2147483647); they are then pending and sent like any other.\n"
    "                        The laboratory's server is asked first, as the module's window\n"
    "                        asks it: request N itself (not another request's bar code) must\n"
    "                        be known for the instrument each result was received for.\n"
    "                        Without that answer nothing is assigned (unless --force).\n"
    "  stats                 how many results are pending, stored, rejected and unassigned, and\n"
    "                        the oldest pending one\n"
    "\n"
    "Options:\n"
    "  --file FILE      Use this outbox file. It must exist and be an outbox.\n"
    "  --pending, --rejected, --stored, --unassigned\n"
    "                   List only the results in that state.\n"
    "  --request N      Give the results that 'assign' assigns the request N.\n"
    "  --connect CONNSTR\n"
    "                   With assign, check the request on the laboratory database through\n"
    "                   this connection string, e.g. \"Driver={SQL Server}; Server=HOST;\n"
    "                   Network=; Database=DB; Uid=USER;Pwd=PASSWORD\".\n"
    "  --password-file FILE\n"
    "                   With assign, take the Pwd of a CONNSTR without one (or with an empty\n"
    "                   Pwd=) from the first line of FILE. Without this option it is the\n"
    "                   environment variable STRIVEX_PASSWORD, when set. A password in\n"
    "                   CONNSTR itself is seen by every local user (ps).\n"
    "  --relay HOST[:PORT] With assign, reach the database through the relay server at HOST\n"
    "                   (port 9081 unless given).\n"
    "  --force          With assign, assign without asking the server. The results record it\n"
    "                   ('command line, forced').\n"
    "  -h, --help       Print this help and exit.\n"
    "\n"
    "'list' prints one line per result, each ended by LF:\n"
    "  <id> TAB <state> TAB <request id> TAB <analysis code> TAB <parameter code> TAB <value>\n"
    "  TAB <received> TAB <attempts> TAB <note> TAB <machine> TAB <assigned>\n"
    "<state> is pending, stored, rejected or unassigned (whose <request id> is 0); <received> is\n"
    "the local time the result arrived (YYYY-MM-DD HH:MM:SS); <attempts> counts the sends the\n"
    "server refused. <note> is, for a stored result, the local time the server stored it; for an\n"
    "unassigned one, 'no sample identifier'; otherwise the server's message of the last refusal\n"
    "(empty when there was none). <machine> is the instrument's machine id the result was\n"
    "received for (0 for a result kept before instruments were recorded and not yet claimed by a\n"
    "module); a module sends only its own machine's results. <assigned> is empty, or the local\n"
    "time and the way an unassigned result was given its request ('window', 'command line',\n"
    "'command line, forced').\n"
    "'retry' prints '<id> TAB put back' or '<id> TAB not put back: <reason>' for each ID, and\n"
    "with --all-rejected 'put back <n> rejected results'.\n"
    "'assign' prints '<id> TAB put to request <N>' or '<id> TAB not assigned: <reason>' for\n"
    "each ID.\n"
    "'stats' prints\n"
    "  pending TAB <n>\n"
    "  stored TAB <n>\n"
    "  rejected TAB <n>\n"
    "  unassigned TAB <n>\n"
    "  oldest pending TAB <id> TAB <received>    (only while a result is pending)\n"
    "  pending for machine TAB <machine> TAB <n>  (one line per machine with pending results)\n"
    "Text fields are escaped: '\\\\' for a backslash, '\\t', '\\r', '\\n', and '\\xHH' (two\n"
    "lower-case hex digits) for every other byte outside 0x20-0x7E.\n"
    "\n"
    "Exit status:\n"
    "  0  success\n"
    "  1  list: no result was listed; retry: an ID was not put back; assign: an ID was not\n"
    "     assigned, or the server did not confirm request N, or could not be reached (nothing\n"
    "     assigned; standard error says why)\n"
    "  2  usage error, or FILE is missing, is not an outbox, or cannot be read or written\n"
    "     (message on standard error)\n";

constexpr size_t kChunkSize = 64 * 1024;

enum class Action { kList, kRetry, kAssign, kStats };

struct OutboxOptions {
  std::optional<std::string> file;
  std::optional<Action> action;
  std::optional<OutboxState> filter;
  std::string_view filterOption;  // as given, for the error when it does not fit the action
  bool allRejected = false;
  std::vector<int64_t> ids;  // retry and assign, each once
  std::optional<int32_t> requestId;
  std::optional<std::string> connect;  // assign: the server the request is checked on
  std::optional<std::string> passwordFile;
  std::optional<std::string> relay;
  bool force = false;  // assign: unchecked
  bool help = false;
};

std::optional<Action> ActionFromName(std::string_view name) {
  if (name == "list") return Action::kList;
  if (name == "retry") return Action::kRetry;
  if (name == "assign") return Action::kAssign;
  if (name == "stats") return Action::kStats;
  return std::nullopt;
}

// A row id: decimal digits only, at least 1.
std::optional<int64_t> ParseRowId(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

bool ApplyWord(std::string_view arg, OutboxOptions& options) {
  if (!options.action) {
    options.action = ActionFromName(arg);
    return options.action || UsageError(arg, "unknown action (list, retry, assign or stats)");
  }
  if (options.action != Action::kRetry && options.action != Action::kAssign) {
    return UsageError(arg, "unexpected extra argument");
  }
  const auto id = ParseRowId(arg);
  if (!id) return UsageError(arg, "is not a row id (a positive decimal number)");
  // The same id twice would be reported "not rejected" (or "not unassigned") the second time,
  // after the first had changed it.
  if (std::find(options.ids.begin(), options.ids.end(), *id) == options.ids.end()) options.ids.push_back(*id);
  return true;
}

bool ApplyFlag(std::string_view name, OutboxOptions& options) {
  if (name == "--all-rejected" || name == "--force") {
    (name == "--force" ? options.force : options.allRejected) = true;
    return true;
  }
  const auto state = OutboxStateFromName(name.substr(2));
  if (options.filter && options.filter != state) {
    return UsageError(name, "give only one of --pending, --rejected, --stored and --unassigned");
  }
  options.filter = state;
  options.filterOption = name;
  return true;
}

// The request ids the laboratory hands out, and the window accepts: 1 to 2^31-1.
bool ApplyRequest(std::string_view value, OutboxOptions& options) {
  const auto number = ParsePositive(value);
  if (!number || *number > static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
    return UsageError("--request", Quoted(value) + " is not a request id (1 to 2147483647)");
  }
  // Results put to a request cannot be taken back here, so two requests are not guessed between.
  if (options.requestId && options.requestId != static_cast<int32_t>(*number)) {
    return UsageError("--request", "give only one request id");
  }
  options.requestId = static_cast<int32_t>(*number);
  return true;
}

// Checks that only make sense once every argument has been seen.
bool CheckCombination(const OutboxOptions& options) {
  if (!options.file) return UsageError("outbox", "missing --file FILE");
  if (!options.action) return UsageError("outbox", "missing action (list, retry, assign or stats)");
  if (options.filter && options.action != Action::kList) return UsageError(options.filterOption, "goes with list");
  if (options.allRejected && options.action != Action::kRetry) return UsageError("--all-rejected", "goes with retry");
  if (options.requestId && options.action != Action::kAssign) return UsageError("--request", "goes with assign");
  for (const auto& [given, name] : {std::pair{options.connect.has_value(), "--connect"},
                                    std::pair{options.relay.has_value(), "--relay"}, std::pair{options.force, "--force"}}) {
    if (given && options.action != Action::kAssign) return UsageError(name, "goes with assign");
  }
  if (options.relay && !options.connect) return UsageError("--relay", "goes with --connect");
  if (options.passwordFile && !options.connect) return UsageError("--password-file", "goes with --connect");
  if (options.action == Action::kAssign) {
    if (options.ids.empty()) return UsageError("assign", "missing ID...");
    if (!options.requestId) return UsageError("assign", "missing --request N");
  }
  if (options.action == Action::kRetry && options.ids.empty() == !options.allRejected) {
    return UsageError("retry", options.allRejected ? "give row ids or --all-rejected, not both"
                                                   : "missing ID... or --all-rejected");
  }
  return true;
}

constexpr app::LongOption kOptions[] = {
    {"file", true},     {"request", true}, {"connect", true}, {"relay", true},  {"password-file", true},
    {"all-rejected"},   {"force"},         {"pending"},       {"rejected"},     {"stored"},
    {"unassigned"},
};

bool ApplyValue(std::string_view name, std::string_view value, OutboxOptions& options) {
  if (name == "--request") return ApplyRequest(value, options);
  if (value.empty()) return UsageError(name, name == "--file" ? "empty file name" : "empty value");
  if (const std::string why = name == "--relay" ? RelayAddressProblem(value) : ""; !why.empty()) {
    return UsageError(name, why);
  }
  (name == "--file"      ? options.file
   : name == "--connect" ? options.connect
   : name == "--relay"   ? options.relay
                         : options.passwordFile)
      .emplace(value);
  return true;
}

bool ParseArguments(std::span<const std::string_view> args, OutboxOptions& options) {
  app::CommandLine line;
  if (!SplitArguments(args, kOptions, line)) return false;
  options.help = line.help;
  if (options.help) return true;
  for (const app::ParsedOption& option : line.options) {
    if (!(option.value ? ApplyValue(option.name, *option.value, options) : ApplyFlag(option.name, options))) {
      return false;
    }
  }
  for (const std::string& word : line.operands) {
    if (!ApplyWord(word, options)) return false;
  }
  if (!CheckCombination(options)) return false;
  return !options.connect || ApplyConnectPassword(*options.connect, options.passwordFile);
}

std::string Note(const OutboxRow& row) {
  switch (row.state) {
    case OutboxState::kStored: return LocalTimeText(row.storedAt);
    case OutboxState::kUnassigned: return "no sample identifier";
    case OutboxState::kPending:
    case OutboxState::kRejected: break;
  }
  return row.lastError;
}

void AppendRow(std::string& out, const OutboxRow& row) {
  out += std::to_string(row.id);
  out.append("\t").append(OutboxStateName(row.state));
  out.append("\t").append(std::to_string(row.requestId)) += '\t';
  AppendEscaped(out, row.analysisCode);
  out += '\t';
  AppendEscaped(out, row.parameterCode);
  out += '\t';
  AppendEscaped(out, row.value);
  out += '\t';
  AppendEscaped(out, row.receivedAt);
  out.append("\t").append(std::to_string(row.attempts)) += '\t';
  AppendEscaped(out, Note(row));
  out.append("\t").append(std::to_string(row.machineId)) += '\t';
  if (row.assignedAt != 0) AppendEscaped(out, LocalTimeText(row.assignedAt) + " " + row.assignedBy);
  out += '\n';
}

// The store keeps the reason of its last failure; in a one-shot process that is the call just made.
bool StoreFailed(OutboxStore& store) {
  const std::string reason = store.LastError();
  if (reason.empty()) return false;
  PrintError("outbox", EscapeField(reason));
  return true;
}

bool WriteOutput(std::string_view text) {
  errno = 0;
  if (WriteAll(stdout, text) && std::fflush(stdout) == 0) return true;
  PrintError("standard output", errno != 0 ? std::strerror(errno) : "write error");
  return false;
}

int List(OutboxStore& store, std::optional<OutboxState> filter) {
  const std::vector<OutboxRow> rows = store.List(filter);
  if (StoreFailed(store)) return kExitFailure;
  std::string chunk;
  for (const OutboxRow& row : rows) {
    AppendRow(chunk, row);
    if (chunk.size() < kChunkSize) continue;
    if (!WriteAll(stdout, chunk)) break;
    chunk.clear();
  }
  if (!WriteOutput(chunk)) return kExitFailure;
  return rows.empty() ? kExitNothingFound : kExitOk;
}

// Why an id the store did not change was left alone; `wanted` is the state it would have changed.
std::string WhyUnchanged(OutboxStore& store, int64_t id, OutboxState wanted) {
  const std::optional<OutboxRow> row = store.Row(id);
  if (!row) return "no such row";
  if (row->state == wanted) return "the outbox could not be written";
  return "it is " + std::string(OutboxStateName(row->state)) + ", not " + std::string(OutboxStateName(wanted));
}

// One line per id: `done` for those changed, `notDone: <reason>` for the others. Exit 1 unless all
// were changed.
int ReportIds(OutboxStore& store, std::span<const int64_t> ids, const std::vector<int64_t>& changed,
              OutboxState wanted, std::string_view done, std::string_view notDone) {
  std::string text;
  bool all = true;
  for (const int64_t id : ids) {
    text.append(std::to_string(id)) += '\t';
    if (std::find(changed.begin(), changed.end(), id) != changed.end()) {
      text.append(done) += '\n';
      continue;
    }
    all = false;
    text.append(notDone).append(": ").append(WhyUnchanged(store, id, wanted)) += '\n';
  }
  if (!WriteOutput(text)) return kExitFailure;
  return all ? kExitOk : kExitNothingFound;
}

int Retry(OutboxStore& store, const OutboxOptions& options) {
  const std::vector<int64_t> changed = options.allRejected ? store.RetryAllRejected() : store.Retry(options.ids);
  if (StoreFailed(store)) return kExitFailure;
  if (options.allRejected) {
    const size_t n = changed.size();
    return WriteOutput(Format("put back %zu rejected result%s\n", n, n == 1 ? "" : "s")) ? kExitOk : kExitFailure;
  }
  return ReportIds(store, options.ids, changed, OutboxState::kRejected, "put back", "not put back");
}

// The instruments the unassigned rows among `ids` were received for, each once.
std::vector<int32_t> UnassignedMachines(OutboxStore& store, std::span<const int64_t> ids) {
  std::vector<int32_t> machines;
  for (const int64_t id : ids) {
    const std::optional<OutboxRow> row = store.Row(id);
    if (!row || row->state != OutboxState::kUnassigned) continue;
    if (std::find(machines.begin(), machines.end(), row->machineId) == machines.end()) machines.push_back(row->machineId);
  }
  return machines;
}

// Results under a request the laboratory does not know go to nobody's file, or to another
// patient's: the server must name the request first.
bool RequestConfirmed(OutboxStore& store, const OutboxOptions& options) {
  const std::vector<int32_t> machines = UnassignedMachines(store, options.ids);
  if (machines.empty()) return true;  // nothing would change; each id says why
  return ServerKnowsRequest({std::nullopt, {}, options.connect, options.relay}, machines, *options.requestId);
}

int Assign(OutboxStore& store, const OutboxOptions& options) {
  if (!options.force && !RequestConfirmed(store, options)) return kExitNothingFound;
  const std::vector<int64_t> changed = store.AssignRows(options.ids, *options.requestId,
                                                       options.force ? kAssignedByCommandForced : kAssignedByCommand);
  if (StoreFailed(store)) return kExitFailure;
  return ReportIds(store, options.ids, changed, OutboxState::kUnassigned,
                   "put to request " + std::to_string(*options.requestId), "not assigned");
}

int Stats(OutboxStore& store) {
  const OutboxStats stats = store.Stats();
  if (StoreFailed(store)) return kExitFailure;
  std::string text = Format("pending\t%lld\nstored\t%lld\nrejected\t%lld\nunassigned\t%lld\n",
                            static_cast<long long>(stats.pending), static_cast<long long>(stats.stored),
                            static_cast<long long>(stats.rejected), static_cast<long long>(stats.unassigned));
  if (stats.oldestPendingId != 0) {
    const std::optional<OutboxRow> oldest = store.Row(stats.oldestPendingId);
    text.append("oldest pending\t").append(std::to_string(stats.oldestPendingId)) += '\t';
    if (oldest) AppendEscaped(text, oldest->receivedAt);
    text += '\n';
  }
  for (const auto& [machine, pending] : stats.pendingByMachine) {
    text += Format("pending for machine\t%d\t%lld\n", machine, static_cast<long long>(pending));
  }
  return WriteOutput(text) ? kExitOk : kExitFailure;
}

}  // namespace

int RunOutboxCommand(std::span<const std::string_view> args) {
  OutboxOptions options;
  if (!ParseArguments(args, options)) return kExitFailure;
  if (options.help) return WriteAll(stdout, kUsage) && std::fflush(stdout) == 0 ? kExitOk : kExitFailure;

  std::string error;
  const auto store = OutboxStore::Open(*options.file, OutboxStore::OpenMode::kExisting, error);
  if (!store) {
    PrintError("open", EscapeField(error));
    return kExitFailure;
  }
  switch (*options.action) {
    case Action::kList: return List(*store, options.filter);
    case Action::kRetry: return Retry(*store, options);
    case Action::kAssign: return Assign(*store, options);
    case Action::kStats: return Stats(*store);
  }
  return kExitFailure;
}

}  // namespace strivex::cli
