#include "sql_command.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "connect_password.h"
#include "console.h"
#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "escape.h"
#include "option_text.h"
#include "session_open.h"
#include "util/format.h"

namespace strivex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: strivex-cli sql (--local FILE [--password P] |\n"
    "                        --connect CONNSTR [--password-file FILE] [--relay HOST[:PORT]])\n"
    "                       [--slot N] [--exec] [--columns A,B,...] STATEMENT\n"
    "\n"
    "Opens one database session the way the instrument interface does and runs STATEMENT, to\n"
    "check connection settings and statements.\n"
    "\n"
    "Options:\n"
    "  --local FILE       Open the installation's local database file (created when missing).\n"
    "  --password P       Open it with this password (default none).\n"
    "  --connect CONNSTR  Open this connection string, e.g. \"Driver={SQL Server}; Server=HOST;\n"
    "                     Network=; Database=DB; Uid=USER;Pwd=PASSWORD\".\n"
    "  --password-file FILE\n"
    "                     With --connect, take the Pwd of a CONNSTR without one (or with an\n"
    "                     empty Pwd=) from the first line of FILE. Without this option it is\n"
    "                     the environment variable STRIVEX_PASSWORD, when set. A password\n"
    "                     in CONNSTR itself is seen by every local user (ps).\n"
    "  --relay HOST[:PORT] Reach the database through the relay server at HOST, on PORT\n"
    "                     (default 9081). Reading rows through a relay needs --columns.\n"
    "  --slot N           Use the result-set slot N, 0-9 (default 0).\n"
    "  --exec             Run a statement without rows (SQLCommand) instead of reading rows.\n"
    "  --columns A,B,...  Print only these columns, in this order (default: all).\n"
    "  -h, --help         Print this help and exit.\n"
    "\n"
    "Without --exec every row is printed as one line per column,\n"
    "  <column> TAB <type code> TAB <value>\n"
    "followed by an empty line. Type codes: 0 empty or NULL, 2 16-bit integer, 3 32-bit integer,\n"
    "5 floating point, 7 date (the value is the day count since 30 December 1899 with the time\n"
    "as its fraction), 8 text, 11 boolean, 14 decimal. Texts are escaped: '\\\\' for a backslash,\n"
    "'\\t', '\\r', '\\n', and '\\xHH' for every other byte outside 0x20-0x7E.\n"
    "Through a relay the end of a selection shows only when moving past its last row, so an\n"
    "empty selection prints one row of empty values.\n"
    "The last line is\n"
    "  result=<0|1> lastErrorCode=<n>\n"
    "\n"
    "Exit status:\n"
    "  0  the statement succeeded (result=1)\n"
    "  1  the statement failed (result=0; the session's message on standard error), or a\n"
    "     value could not be converted (result=1 lastErrorCode=3079: SQLCommand lets that\n"
    "     through, but nothing was written)\n"
    "  2  usage error (message on standard error)\n"
    "  3  the database could not be opened or refused the login (message on standard error)\n";

struct SqlOptions {
  std::optional<std::string> local;
  std::string password;
  std::optional<std::string> connect;
  std::optional<std::string> passwordFile;
  std::optional<std::string> relay;
  int slot = 0;
  bool exec = false;
  std::optional<std::vector<std::string>> columns;
  std::optional<std::string> statement;
  bool help = false;
};

std::vector<std::string> SplitColumns(std::string_view text) {
  std::vector<std::string> columns;
  size_t start = 0;
  for (size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1) {
    columns.emplace_back(text.substr(start, comma - start));
  }
  columns.emplace_back(text.substr(start));
  return columns;
}

bool ApplyOption(std::string_view name, std::string_view value, SqlOptions& options) {
  if (name == "--local") {
    options.local.emplace(value);
  } else if (name == "--password") {
    options.password = value;
  } else if (name == "--connect") {
    options.connect.emplace(value);
  } else if (name == "--password-file") {
    options.passwordFile.emplace(value);
  } else if (name == "--relay") {
    if (const std::string why = RelayAddressProblem(value); !why.empty()) return UsageError(name, why);
    options.relay.emplace(value);
  } else if (name == "--slot") {
    if (value.size() != 1 || value[0] < '0' || value[0] > '9') {
      return UsageError(name, Quoted(value) + " is not a slot from 0 to 9");
    }
    options.slot = value[0] - '0';
  } else {  // --columns
    options.columns = SplitColumns(value);
    for (const std::string& column : *options.columns) {
      if (column.empty()) return UsageError(name, Quoted(value) + " names an empty column");
    }
  }
  return true;
}

constexpr app::LongOption kOptions[] = {
    {"local", true}, {"password", true}, {"connect", true}, {"password-file", true},
    {"relay", true}, {"slot", true},     {"columns", true}, {"exec"},
};

bool ParseArguments(std::span<const std::string_view> args, SqlOptions& options) {
  app::CommandLine line;
  if (!SplitArguments(args, kOptions, line)) return false;
  options.help = line.help;
  if (options.help) return true;
  for (const app::ParsedOption& option : line.options) {
    if (!option.value) options.exec = true;
    else if (!ApplyOption(option.name, *option.value, options)) return false;
  }
  if (line.operands.size() > 1) return UsageError(line.operands[1], "unexpected extra argument (quote the statement)");
  if (!line.operands.empty()) options.statement = line.operands.front();
  if (options.help) return true;
  if (options.local.has_value() == options.connect.has_value()) {
    return UsageError("sql", "give exactly one of --local FILE and --connect CONNSTR");
  }
  if (options.relay && !options.connect) return UsageError("--relay", "goes with --connect");
  if (options.passwordFile && !options.connect) return UsageError("--password-file", "goes with --connect");
  if (options.connect && !ApplyConnectPassword(*options.connect, options.passwordFile)) return false;
  // A relay answers values by name; it cannot tell which columns a selection has.
  if (options.relay && !options.exec && !options.columns) {
    return UsageError("--relay", "reading rows needs --columns");
  }
  // The session finds the file through a connection string: a name that string cannot carry (a
  // ';', blanks at either end) would open, or create, another file.
  if (options.local && ConnectionValue(JetConnectionString(*options.local, options.password),
                                       "Data Source") != *options.local) {
    return UsageError("--local", Quoted(*options.local) + " cannot be named in a connection string");
  }
  if (!options.statement) return UsageError("sql", "missing STATEMENT");
  return true;
}

std::string RowText(BazaDeDate& db, const std::vector<std::string>& columns, int slot) {
  std::string text;
  for (const std::string& column : columns) {
    const DbValue value = db.ValoareColoana(column, slot);
    text += EscapeField(column);
    text += Format("\t%u\t", static_cast<unsigned>(value.type));
    text += EscapeField(value.ToText());
    text += '\n';
  }
  return text + "\n";
}

bool PrintRows(BazaDeDate& db, const SqlOptions& options) {
  const std::vector<std::string> columns = options.columns ? *options.columns : db.ColumnNames(options.slot);
  bool ok = true;
  // A relayed session cannot be asked whether a row is there, only whether there is a next one.
  while (options.relay || db.RowAvailable(options.slot)) {
    ok = WriteAll(stdout, RowText(db, columns, options.slot)) && ok;
    if (!db.NextElementTabel(options.slot)) break;
  }
  return ok;
}

}  // namespace

int RunSqlCommand(std::span<const std::string_view> args) {
  SqlOptions options;
  if (!ParseArguments(args, options)) return kExitFailure;
  if (options.help) return WriteAll(stdout, kUsage) && std::fflush(stdout) == 0 ? kExitOk : kExitFailure;

  BazaDeDate db;
  if (!OpenSession(db, {options.local, options.password, options.connect, options.relay})) {
    return kExitDatabase;
  }
  const bool result = options.exec ? db.SQLCommand(*options.statement, options.slot)
                                   : db.GetRecords(*options.statement, options.slot);
  bool written = true;
  if (result && !options.exec) written = PrintRows(db, options);
  written = WriteAll(stdout, Format("result=%d lastErrorCode=%u\n", result ? 1 : 0,
                                    static_cast<unsigned>(db.lastErrorCode.load()))) && written;
  if (std::fflush(stdout) != 0 || !written) {
    PrintError("standard output", "write error");
    return kExitFailure;
  }
  // The status line shows what SQLCommand returned; the exit status says whether the statement
  // took effect, so a script never takes a value the server could not convert for a stored one.
  const bool applied = result && db.lastFailure() == DbFailure::kNone;
  if (!applied) PrintSessionError(db, "statement");
  db.InchidConectie();
  return applied ? kExitOk : kExitNothingFound;
}

}  // namespace strivex::cli
