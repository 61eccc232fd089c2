// strivex-cli: operator tool of the instrument interface. One program, one command per task;
// a command gets the arguments after its name and returns the exit status.

#include <cstdio>
#include <exception>
#include <new>
#include <span>
#include <string_view>
#include <vector>

#include "console.h"
#include "escape.h"
#include "interpret_command.h"
#include "outbox_command.h"
#include "receive_command.h"
#include "sql_command.h"
#include "worklist_command.h"

namespace {

using namespace strivex::cli;

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
    {"worklist", "print an instrument's work list, or the analyser's frames for it", RunWorkListCommand},
};

constexpr std::string_view kUsageHead =
    "Usage: strivex-cli COMMAND [ARGUMENTS]\n"
    "       strivex-cli COMMAND --help\n"
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
    "Exit status:\n"
    "  0  success (interpret: at least one sample or result was found)\n"
    "  1  nothing found (interpret: no sample and no result in the report; outbox list: no\n"
    "     result), or\n"
    "     not done (outbox retry: an id was not put back; outbox assign: an id was not\n"
    "     assigned; worklist: the database or the list could not be read, or an entry does\n"
    "     not fit its frame)\n"
    "  2  usage error, unreadable file, a file that is not an outbox, or a port that cannot\n"
    "     be opened or went away\n"
    "     (one line on standard error)\n";

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
  if (args.empty()) {
    PrintUsage(stderr);
    return kExitFailure;
  }
  const std::string_view first = args.front();
  if (first == "--help" || first == "-h") return PrintUsage(stdout) ? kExitOk : kExitFailure;
  if (const Command* command = FindCommand(first)) return command->run(args.subspan(1));
  PrintError(EscapeField(first), first.starts_with('-') ? "unknown option" : "unknown command");
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
