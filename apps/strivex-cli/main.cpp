// strivex-cli: operator tool of the instrument interface. One program, one command per task;
// a command gets the arguments after its name and returns the exit status.

#include <cstdio>
#include <exception>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "console.h"
#include "command_line.h"
#include "escape.h"
#include "interpret_command.h"
#include "outbox_command.h"
#include "receive_command.h"
#include "sql_command.h"
#include "status_command.h"
#include "worklist_command.h"

namespace {

using namespace strivex::cli;
namespace app = strivex::app;

struct Command {
  std::string_view name;
  std::string_view summary;  // one line of the overview help
  int (*run)(std::span<const std::string_view> args);
};

// New commands are added here (and handle their own --help).
constexpr Command kCommands[] = {
    {"interpret", "interpret a saved report and print the results found", RunInterpretCommand},
    {"outbox", "list, retry and assign the results waiting for the laboratory's server", RunOutboxCommand},
    {"receive", "print the messages arriving on a serial port", RunReceiveCommand},
    {"sql", "run one statement through a database session", RunSqlCommand},
    {"status", "show each instrument module's state from the status file in its folder", RunStatusCommand},
    {"worklist", "print an instrument's work list, or the analyser's frames for it", RunWorkListCommand},
};

constexpr std::string_view kUsageHead =
    "Usage: strivex-cli COMMAND [ARGUMENTS]\n"
    "       strivex-cli COMMAND --help\n"
    "       strivex-cli --version\n"
    "\n"
    "Operator tool of the Strivex instrument interface.\n"
    "\n"
    "Commands:\n";

constexpr std::string_view kUsageTail =
    "\n"
    "Results are printed one per line as tab-separated fields ended by LF; 'interpret' prints\n"
    "  <request id> TAB <analysis code> TAB <parameter code> TAB <value>\n"
    "(an analysis without results: '<request id> TAB <analysis code>' alone), then one line\n"
    "  - TAB - TAB <parameter code> TAB <value>\n"
    "per result of a printout without a usable sample identifier.\n"
    "Text fields are escaped: '\\\\' for a backslash, '\\t', '\\r', '\\n', and '\\xHH' (two\n"
    "lower-case hex digits) for every other byte outside 0x20-0x7E.\n"
    "\n"
    "Exit status (every command):\n"
    "  0  success\n"
    "  1  the operation failed or found nothing, or (status) something needs an operator\n"
    "  2  usage error, or a file or port named on the command line cannot be used\n"
    "  3  the database cannot be reached or refuses the login\n"
    "(errors: one line 'strivex-cli: WHAT: WHY' on standard error)\n";

bool PrintUsage(std::FILE* out) {
  std::string text(kUsageHead);
  for (const Command& command : kCommands) {
    text.append("  ").append(command.name);
    text.append(command.name.size() < 12 ? 12 - command.name.size() : 1, ' ');
    text.append(command.summary) += '\n';
  }
  text.append(kUsageTail);
  return WriteAll(out, text) && std::fflush(out) == 0;
}

const Command* FindCommand(std::string_view name) {
  for (const Command& command : kCommands) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

int Dispatch(std::span<const std::string_view> args) {
  // Options before the command are the tool's own; the command parses the rest.
  const app::CommandLine line = app::ParseCommandLine(args, {}, {.version = true, .stopAtOperand = true});
  if (line.help) return PrintUsage(stdout) ? kExitOk : kExitFailure;
  if (line.version) return app::PrintVersionLine(kProgramName) ? kExitOk : kExitFailure;
  if (!line.ok()) {
    PrintError(EscapeField(line.error->what), line.error->why);
    return kExitFailure;
  }
  if (line.operands.empty()) {
    PrintUsage(stderr);
    return kExitFailure;
  }
  const std::vector<std::string_view> rest(line.operands.begin() + 1, line.operands.end());
  if (const Command* command = FindCommand(line.operands.front())) return command->run(rest);
  PrintError(EscapeField(line.operands.front()), "unknown command");
  return kExitFailure;
}

}  // namespace

int main(int argc, char* argv[]) {
  try {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    return Dispatch(args);
  } catch (const std::bad_alloc&) {
    PrintError("error", "out of memory");
  } catch (const std::exception& e) {
    PrintError("error", e.what());
  } catch (...) {
    PrintError("error", "unexpected failure");
  }
  return kExitFailure;
}
