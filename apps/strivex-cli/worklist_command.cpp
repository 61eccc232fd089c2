#include "worklist_command.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>

#include "connect_password.h"
#include "console.h"
#include "db/baza_de_date.h"
#include "escape.h"
#include "option_text.h"
#include "session_open.h"
#include "util/local_time.h"
#include "worklist/work_list_frame.h"
#include "worklist/work_list_query.h"

namespace strivex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: strivex-cli worklist --connect CONNSTR [--password-file FILE] [--relay HOST[:PORT]]\n"
    "                            --machine-id N\n"
    "                            [--unsent-only]\n"
    "                            [--frames [--disk D] [--position P] [--cup C]\n"
    "                                      [--at YYYY-MM-DDTHH:MM]]\n"
    "\n"
    "Reads the instrument's pending requests from the laboratory's WORK_LIST the way the\n"
    "work-list dialog does, to check what the operator will be offered and what the analyser\n"
    "will receive.\n"
    "\n"
    "Options:\n"
    "  --connect CONNSTR  Use this connection string of the laboratory database, e.g.\n"
    "                     \"Driver={SQL Server}; Server=HOST; Network=; Database=DB;\n"
    "                     Uid=USER;Pwd=PASSWORD\".\n"
    "  --password-file FILE\n"
    "                     Take the Pwd of a CONNSTR without one (or with an empty Pwd=) from\n"
    "                     the first line of FILE. Without this option it is the environment\n"
    "                     variable STRIVEX_PASSWORD, when set. A password in CONNSTR itself\n"
    "                     is seen by every local user (ps).\n"
    "  --relay HOST[:PORT] Reach the database through the relay server at HOST, on PORT\n"
    "                     (default 9081).\n"
    "  --machine-id N     Read the work list of the instrument with this id in the\n"
    "                     laboratory database (a decimal number).\n"
    "  --unsent-only      Leave out the analyses recorded in work_list_sent as already sent.\n"
    "  --frames           Print the analyser's work-list frames instead of the requests.\n"
    "  --disk D           With --frames, put every entry on disk D, 1-3 (default 1).\n"
    "  --position P       With --frames, give the first entry position P, 0-99 (default 1).\n"
    "                     The next entries take the following positions.\n"
    "  --cup C            With --frames, give every entry the cup type C (default 3):\n"
    "                     1 Standard Cup, 2 Micro Cup, 3 Tube, 4 Standard Cup in Tube,\n"
    "                     5 Micro Cup in Tube.\n"
    "  --at TIME          With --frames, make the frames carry this confirmation time, local\n"
    "                     time as YYYY-MM-DDTHH:MM (default now).\n"
    "  -h, --help         Print this help and exit.\n"
    "\n"
    "Without --frames, one line per request in the order of the list (ascending request id):\n"
    "  <request id> TAB <patient> TAB <sample type> TAB <analysis codes joined by ','>\n"
    "With --frames, one line per request: its frame as the analyser receives it, without the\n"
    "check byte the serial port appends, from STX to the final LF, every byte outside\n"
    "0x20-0x7E written as '\\xHH' (two upper-case hex digits), as the module's log shows it.\n"
    "Request lines are escaped: '\\\\' for a backslash, '\\t', '\\r', '\\n', and '\\xHH' (two\n"
    "lower-case hex digits) for every other byte outside 0x20-0x7E.\n"
    "\n"
    "Exit status:\n"
    "  0  the list was read (it may be empty) and printed\n"
    "  1  the list could not be read, or (with --frames)\n"
    "     an entry does not fit its frame (position over 99, more than 999 analyses, codes\n"
    "     over 229 characters, a year outside 2000-2099); nothing is printed then, and\n"
    "     standard error says why\n"
    "  2  usage error\n"
    "  3  the database could not be opened or refused the login\n";

struct WorkListOptions {
  std::optional<std::string> connect;
  std::optional<std::string> passwordFile;
  std::optional<std::string> relay;
  std::optional<int32_t> machineId;
  bool unsentOnly = false;
  bool frames = false;
  std::optional<int32_t> disk;
  std::optional<int32_t> position;
  std::optional<int32_t> cup;
  std::optional<LocalTime> at;
  bool help = false;
};

// A decimal number within [low, high], nothing else.
std::optional<int32_t> ParseRange(std::string_view text, int32_t low, int32_t high) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, ec] = std::from_chars(text.data(), end, value, 10);
  if (text.empty() || ec != std::errc() || stop != end || value < low || value > high) return std::nullopt;
  return value;
}

// YYYY-MM-DDTHH:MM with a real calendar day.
std::optional<LocalTime> ParseTime(std::string_view text) {
  if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':') {
    return std::nullopt;
  }
  const auto year = ParseRange(text.substr(0, 4), 0, 9999);
  const auto month = ParseRange(text.substr(5, 2), 1, 12);
  const auto day = ParseRange(text.substr(8, 2), 1, 31);
  const auto hour = ParseRange(text.substr(11, 2), 0, 23);
  const auto minute = ParseRange(text.substr(14, 2), 0, 59);
  if (!year || !month || !day || !hour || !minute) return std::nullopt;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (*year % 4 == 0 && *year % 100 != 0) || *year % 400 == 0;
  if (*day > kDays[*month - 1] || (*month == 2 && *day == 29 && !leap)) return std::nullopt;
  LocalTime t;
  t.wYear = static_cast<uint16_t>(*year);
  t.wMonth = static_cast<uint16_t>(*month);
  t.wDay = static_cast<uint16_t>(*day);
  t.wHour = static_cast<uint16_t>(*hour);
  t.wMinute = static_cast<uint16_t>(*minute);
  return t;
}

bool ApplyOption(std::string_view name, std::string_view value, WorkListOptions& options) {
  const auto inRange = [&](std::optional<int32_t>& field, int32_t low, int32_t high, const char* what) {
    field = ParseRange(value, low, high);
    return field.has_value() || UsageError(name, Quoted(value) + " is not " + what);
  };
  if (name == "--connect") {
    options.connect.emplace(value);
  } else if (name == "--password-file") {
    options.passwordFile.emplace(value);
  } else if (name == "--relay") {
    if (const std::string why = RelayAddressProblem(value); !why.empty()) return UsageError(name, why);
    options.relay.emplace(value);
  } else if (name == "--machine-id") {
    return inRange(options.machineId, INT32_MIN, INT32_MAX, "a 32-bit decimal number");
  } else if (name == "--disk") {
    return inRange(options.disk, 1, 3, "a disk from 1 to 3");
  } else if (name == "--position") {
    return inRange(options.position, 0, 99, "a position from 0 to 99");
  } else if (name == "--cup") {
    return inRange(options.cup, 1, 5, "a cup type from 1 to 5");
  } else {  // --at
    options.at = ParseTime(value);
    if (!options.at) return UsageError(name, Quoted(value) + " is not a time as YYYY-MM-DDTHH:MM");
  }
  return true;
}

constexpr app::LongOption kOptions[] = {
    {"connect", true}, {"password-file", true}, {"relay", true}, {"machine-id", true}, {"disk", true},
    {"position", true}, {"cup", true},          {"at", true},    {"unsent-only"},      {"frames"},
};

bool ParseArguments(std::span<const std::string_view> args, WorkListOptions& options) {
  app::CommandLine line;
  if (!SplitArguments(args, kOptions, line)) return false;
  options.help = line.help;
  if (options.help) return true;
  for (const app::ParsedOption& option : line.options) {
    if (option.value) {
      if (!ApplyOption(option.name, *option.value, options)) return false;
    } else {
      (option.name == "--frames" ? options.frames : options.unsentOnly) = true;
    }
  }
  if (!line.operands.empty()) return UsageError(line.operands.front(), "unexpected argument");
  if (!options.connect) return UsageError("worklist", "missing --connect CONNSTR");
  if (!ApplyConnectPassword(*options.connect, options.passwordFile)) return false;
  if (!options.machineId) return UsageError("worklist", "missing --machine-id N");
  if (!options.frames && (options.disk || options.position || options.cup || options.at)) {
    return UsageError("worklist", "--disk, --position, --cup and --at go with --frames");
  }
  return true;
}

std::string RequestLine(const SampleRecord& sample) {
  std::string line = std::to_string(sample.requestId);
  line += '\t';
  AppendEscaped(line, sample.patientName);
  line += '\t';
  AppendEscaped(line, sample.sampleType);
  line += '\t';
  bool first = true;
  for (const GroupRecord& group : sample.groups) {
    if (!first) line += ',';
    first = false;
    AppendEscaped(line, group.analysisCode);
  }
  return line + '\n';
}

const char* const kCupTexts[] = {"Standard Cup", "Micro Cup", "Tube", "Standard Cup in Tube",
                                 "Micro Cup in Tube"};

// Places every entry as the dialog would, one position after the other; the first entry that
// does not fit its frame is reported and nothing is returned.
std::optional<std::string> FrameLines(SampleList& list, const WorkListOptions& options) {
  const LocalTime at = options.at ? *options.at : GetLocalTime();
  int32_t position = options.position.value_or(1);
  const int32_t cup = options.cup.value_or(kCupTube);
  std::string lines;
  for (SampleRecord& entry : list) {
    entry.disk = options.disk.value_or(1);
    entry.position = position++;
    entry.cupType = cup;
    entry.cupTypeText = kCupTexts[cup - 1];
    if (const auto problem = WorkListFrameProblem(entry, at)) {
      PrintError("frame", EscapeField(*problem));
      return std::nullopt;
    }
    lines += VisibleFrameText(BuildWorkListFrame(entry, at));
    lines += '\n';
  }
  return lines;
}

}  // namespace

int RunWorkListCommand(std::span<const std::string_view> args) {
  WorkListOptions options;
  if (!ParseArguments(args, options)) return kExitFailure;
  if (options.help) return WriteAll(stdout, kUsage) && std::fflush(stdout) == 0 ? kExitOk : kExitFailure;

  BazaDeDate db;
  if (!OpenSession(db, {std::nullopt, {}, options.connect, options.relay})) return kExitDatabase;
  SampleList list;
  const bool read = WorkListQuery(&db, *options.machineId, list, std::nullopt, std::nullopt, false,
                                  options.unsentOnly, nullptr);
  if (!read) {
    PrintError("query", "the work list could not be read");
    PrintSessionError(db, "statement");
  }
  db.InchidConectie();
  if (!read) return kExitNothingFound;

  std::string text;
  if (options.frames) {
    std::optional<std::string> frames = FrameLines(list, options);
    if (!frames) return kExitNothingFound;
    text = std::move(*frames);
  } else {
    for (const SampleRecord& sample : list) text += RequestLine(sample);
  }
  if (!WriteAll(stdout, text) || std::fflush(stdout) != 0) {
    PrintError("standard output", "write error");
    return kExitFailure;
  }
  return kExitOk;
}

}  // namespace strivex::cli
