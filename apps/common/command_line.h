#pragma once
// The one option parser of the four programs (getopt_long): long options with their value after
// a blank or an '=', "-h"/"--help" everywhere, "--version" where a program offers it, "--" ending
// the options. Each program checks the values itself; this only splits the line.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace strivex::app {

// One long option a program takes; `name` without the leading "--".
struct LongOption {
  std::string_view name;
  bool takesValue = false;
};

// Where a command line went wrong: the argument or option, and why.
struct CommandLineError {
  std::string what;
  std::string why;
};

struct ParsedOption {
  std::string name;  // with the leading "--"
  std::optional<std::string> value;
};

struct CommandLine {
  bool help = false;     // wins over everything else on the line, mistakes included
  bool version = false;  // wins over everything but help
  std::vector<ParsedOption> options;  // in the order given
  std::vector<std::string> operands;  // the arguments that are not options, in order
  std::optional<CommandLineError> error;  // the first mistake

  bool ok() const { return !error.has_value(); }
};

struct ParseRules {
  bool version = false;          // "--version" is an option of this program
  bool stopAtOperand = false;    // the first operand and all after it are operands (a command)
};

// `args` excludes the program name.
CommandLine ParseCommandLine(std::span<const std::string_view> args, std::span<const LongOption> known,
                             ParseRules rules = {});

}  // namespace strivex::app
