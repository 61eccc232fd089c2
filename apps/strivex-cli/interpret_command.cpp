#include "interpret_command.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "console.h"
#include "escape.h"
#include "option_text.h"
#include "input_file.h"
#include "protocol/strivex_interpretor.h"
#include "report_format.h"
#include "settings/code_translation.h"

namespace strivex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: strivex-cli interpret [--request-id N] [--ini FILE] FILE\n"
    "\n"
    "Interprets one saved report of the analyser (FILE, or standard input for '-') the way the\n"
    "instrument interface does when a message arrives, and prints the results it found.\n"
    "All bytes of FILE are read; NUL bytes are dropped before the interpretation.\n"
    "\n"
    "Options:\n"
    "  --request-id N  Take N as the request id already known for the message (decimal\n"
    "                  32-bit, default 0). While it is not 0, \"Pacient\" lines do not\n"
    "                  identify samples.\n"
    "  --ini FILE      Read value translations (TRANSLATE=1, V1=from:to, ...) and\n"
    "                  MODIFICATORID from this code-translation file. Without it there are\n"
    "                  no translations and the modifier id is 0.\n"
    "  -h, --help      Print this help and exit.\n"
    "\n"
    "Output, one line per result, samples in report order, each ended by LF:\n"
    "  <request id> TAB <analysis code> TAB <parameter code> TAB <value>\n"
    "An analysis without results prints '<request id> TAB <analysis code>' alone.\n"
    "Then one line per unassigned result (a result after an unusable identifier, after a\n"
    "report's closing '=' line or before any identifier), in report order:\n"
    "  - TAB - TAB <parameter code> TAB <value>\n"
    "Result lines outside a block (one space, then a code) up to the next identifier, '-' or\n"
    "'=' line are unassigned results when a '=' line ends them. Otherwise they are not kept\n"
    "(a header or footer of the printout): each goes to standard error, escaped, as\n"
    "  strivex-cli: result line outside a block, not kept: '<line>'\n"
    "Values are printed as the server receives them, in Windows-1250.\n"
    "Text fields are escaped: '\\\\' for a backslash, '\\t', '\\r', '\\n', and '\\xHH' (two\n"
    "lower-case hex digits) for every other byte outside 0x20-0x7E.\n"
    "\n"
    "Exit status:\n"
    "  0  at least one sample or one unassigned result was found\n"
    "  1  neither was found (nothing is printed on standard output)\n"
    "  2  usage error, or FILE or the --ini file cannot be read (message on standard error)\n";

struct InterpretOptions {
  int32_t requestId = 0;
  std::optional<std::string> iniFile;
  std::optional<std::string> inputFile;
  bool help = false;
};

constexpr app::LongOption kOptions[] = {{"request-id", true}, {"ini", true}};

bool ParseArguments(std::span<const std::string_view> args, InterpretOptions& options) {
  app::CommandLine line;
  if (!SplitArguments(args, kOptions, line)) return false;
  options.help = line.help;
  if (options.help) return true;
  for (const app::ParsedOption& option : line.options) {
    if (option.name == "--ini") {
      options.iniFile = option.value;
    } else if (const auto id = ParseRequestId(*option.value)) {
      options.requestId = *id;
    } else {
      return UsageError(option.name, "'" + EscapeField(*option.value) + "' is not a decimal 32-bit integer");
    }
  }
  if (line.operands.size() > 1) return UsageError(line.operands[1], "unexpected extra argument");
  if (!line.operands.empty()) options.inputFile = line.operands.front();
  if (!options.inputFile)
    return UsageError("interpret", "missing FILE (use '-' for standard input)");
  return true;
}

// File names as they appear in error lines; an empty name would leave an empty field there.
std::string FileLabel(const std::string& path) { return path.empty() ? "''" : EscapeField(path); }

std::string InputLabel(const std::string& path) {
  return path == kStandardInputName ? std::string("standard input") : FileLabel(path);
}

}  // namespace

std::optional<int32_t> ParseRequestId(std::string_view text) {
  // from_chars takes a minus sign but no plus sign; "+-1" must still fail.
  if (text.size() > 1 && text.front() == '+' && text[1] >= '0' && text[1] <= '9')
    text.remove_prefix(1);
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int RunInterpretCommand(std::span<const std::string_view> args) {
  InterpretOptions options;
  if (!ParseArguments(args, options)) return kExitFailure;
  if (options.help) {
    if (!WriteAll(stdout, kUsage) || std::fflush(stdout) != 0) return kExitFailure;
    return kExitOk;
  }

  // The loader treats an unreadable file as an empty one; the operator asked for this file.
  if (options.iniFile) {
    if (const int error = CheckReadable(*options.iniFile)) {
      PrintError(FileLabel(*options.iniFile), std::strerror(error));
      return kExitFailure;
    }
  }
  std::string text;
  if (const int error = ReadInputFile(*options.inputFile, text)) {
    PrintError(InputLabel(*options.inputFile), std::strerror(error));
    return kExitFailure;
  }

  const CodeTranslations codes =
      options.iniFile ? LoadCodeTranslations(*options.iniFile) : CodeTranslations{};
  StrivexInterpretor interpretor;
  const uint8_t found =
      interpretor.Interpret(text, options.requestId, codes.modifierId, codes.translations);
  std::string().swap(text);  // the results hold copies; give the memory back before printing

  errno = 0;
  if (!WriteReport(stdout, interpretor.Samples(), interpretor.Unassigned()) ||
      std::fflush(stdout) != 0) {
    PrintError("standard output", errno != 0 ? std::strerror(errno) : "write error");
    return kExitFailure;
  }
  for (const std::string& line : interpretor.Told()) {
    PrintError("result line outside a block, not kept", "'" + EscapeField(line) + "'");
  }
  return found == 1 ? kExitOk : kExitNothingFound;
}

}  // namespace strivex::cli
