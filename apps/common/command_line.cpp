#include "command_line.h"

#include <getopt.h>

#include <mutex>

namespace strivex::app {

namespace {

// getopt_long keeps its state in globals.
std::mutex parserMutex;

constexpr int kFirstLong = 256;

}  // namespace

CommandLine ParseCommandLine(std::span<const std::string_view> args, std::span<const LongOption> known,
                             ParseRules rules) {
  CommandLine line;
  // getopt wants NUL-ended, writable argument and option names.
  std::vector<std::string> storage{"program"};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> names;
  for (const LongOption& option : known) names.emplace_back(option.name);
  std::vector<option> longOptions;
  for (size_t i = 0; i < known.size(); ++i) {
    longOptions.push_back({names[i].c_str(), known[i].takesValue ? required_argument : no_argument, nullptr,
                           kFirstLong + static_cast<int>(i)});
  }
  const int versionCode = kFirstLong + static_cast<int>(known.size());
  longOptions.push_back({"help", no_argument, nullptr, 'h'});
  if (rules.version) longOptions.push_back({"version", no_argument, nullptr, versionCode});
  longOptions.push_back({nullptr, 0, nullptr, 0});
  // '+': stop at the first operand; ':': report a missing value apart from an unknown option.
  const char* shortOptions = rules.stopAtOperand ? "+:h" : ":h";

  const auto nameOf = [&](int code) -> std::string {
    if (code == 'h') return "--help";
    if (code == versionCode) return "--version";
    if (code >= kFirstLong && code < versionCode) return "--" + names[static_cast<size_t>(code - kFirstLong)];
    return std::string("-") + static_cast<char>(code);
  };
  const auto fail = [&](std::string what, std::string why) {
    if (!line.error) line.error = CommandLineError{std::move(what), std::move(why)};
  };

  std::lock_guard lock(parserMutex);
  optind = 0;  // a full restart of the parser
  opterr = 0;
  const int argc = static_cast<int>(argv.size() - 1);
  for (int code; (code = getopt_long(argc, argv.data(), shortOptions, longOptions.data(), nullptr)) != -1;) {
    if (code == 'h') {
      line.help = true;
    } else if (code == versionCode) {
      line.version = true;
    } else if (code == ':') {
      fail(nameOf(optopt), "missing value");
    } else if (code == '?') {
      const bool listed = optopt == 'h' || (optopt >= kFirstLong && optopt <= versionCode);
      if (listed) fail(nameOf(optopt), "takes no value");
      else if (optopt != 0) fail(nameOf(optopt), "unknown option");
      else fail(argv[static_cast<size_t>(optind - 1)], "unknown option");
    } else {
      line.options.push_back({nameOf(code), known[static_cast<size_t>(code - kFirstLong)].takesValue
                                                ? std::optional<std::string>(optarg)
                                                : std::nullopt});
    }
  }
  for (int i = optind; i < argc; ++i) line.operands.emplace_back(argv[static_cast<size_t>(i)]);
  return line;
}

}  // namespace strivex::app
