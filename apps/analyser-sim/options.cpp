#include "options.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "command_line.h"
#include "serial/line_option_names.h"

namespace strivex::sim {

const std::string_view kUsage =
    "analyser-sim - plays the urine strip analyser on a serial line\n"
    "\n"
    "Usage: analyser-sim (--pty | --port DEVICE) [OPTIONS]\n"
    "       analyser-sim --version\n"
    "\n"
    "Plays the urine strip analyser on a serial line: sends printed reports the way the\n"
    "analyser does and shows the work-list frames the instrument interface sends back.\n"
    "\n"
    "Line:\n"
    "  --pty                create a pseudo-terminal; its device path is the first line of\n"
    "                       standard output; sending starts once someone has opened it\n"
    "  --port DEVICE        use an existing device: a path, COMn (/dev/ttyS(n-1)) or a name\n"
    "                       in /dev\n"
    "  --baud N             line rate (default 9600)\n"
    "  --bits N             data bits, 5 to 8 (default 8)\n"
    "  --parity P           none, odd, even, mark or space (default none)\n"
    "  --stop S             stop bits: 1, 1.5 or 2 (default 1)\n"
    "\n"
    "Sending (report files first, then generated ones):\n"
    "  --report FILE        send the bytes of FILE unchanged; repeat for more reports\n"
    "  --generate N         send N generated reports of one sample each\n"
    "  --seed S             seed of the generated sample ids and values (default: the time)\n"
    "  --no-pace            write each report at once instead of at the line rate\n"
    "  --start-delay SEC    wait before the first report (default 1)\n"
    "  --gap SEC            line silence after each report (default 6); the instrument\n"
    "                       interface ends a message after 3 s of silence\n"
    "\n"
    "Afterwards:\n"
    "  --expect-frames N    wait until N frames with a correct check byte have arrived\n"
    "  --timeout SEC        how long to wait for them after sending (default 120)\n"
    "  --frames-file FILE   write every frame with a correct check byte to FILE (created or\n"
    "                       emptied at the start), one per line as it arrives: the bytes from\n"
    "                       STX to the final LF without the check byte, every byte outside\n"
    "                       0x20-0x7E as \\xHH (upper-case hex digits), the way\n"
    "                       'strivex-cli worklist --frames' prints the frames it expects\n"
    "  --exit-after-send    with --pty, exit after sending instead of waiting for a signal\n"
    "                       (once the module has read it all, or at most 5 s later)\n"
    "  -h, --help           print this help and exit\n"
    "  --version            print the version and exit\n"
    "\n"
    "Standard output: the device path (--pty), then one line per frame received:\n"
    "  frame N: request ID disk D position PP sample-type T cup C analyses NNN codes CODES\n"
    "           date YYMMDDhhmm check ok|BAD (got 0xHH, want 0xHH)\n"
    "and 'garbage N bytes: TEXT' for bytes that are not a frame. A frame must begin with\n"
    "STX W10000, carry the 0 and the 18 spaces after the request id, a real date and time,\n"
    "sample type 1 or 2, the 3 after it, cup 0-5, 00100001 and a 3-digit count, and end with\n"
    "ETX CR LF and its check byte; otherwise its bytes are garbage and standard error says\n"
    "which field is wrong. Bytes outside 0x20-0x7E are written as \\xHH (\\r, \\n, \\t for\n"
    "CR, LF, tab; \\\\ for a backslash). Progress goes to standard error.\n"
    "\n"
    "Exit status:\n"
    "  0  done (with --pty and without --exit-after-send: ended by SIGINT or SIGTERM)\n"
    "  1  the expected frames did not arrive in time, or writing to the line failed\n"
    "  2  usage error, unreadable report file, or the device cannot be opened or set\n"
    "(errors: one line 'analyser-sim: WHAT: WHY' on standard error)\n";

namespace {

constexpr double kLongestWaitSeconds = 1e6;  // keeps every deadline far from clock overflow
constexpr int kMostGenerated = 100'000;

template <typename Int>
std::optional<Int> ParseInteger(std::string_view text, Int lowest, Int highest) {
  Int value{};
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (value < lowest || value > highest) return std::nullopt;
  return value;
}

std::optional<double> ParseSeconds(std::string_view text) {
  double value = 0;
  const auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (!std::isfinite(value) || value < 0 || value > kLongestWaitSeconds) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view value) {
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted.append(1, '\'').append(value).append(1, '\'');
  return quoted;
}

// Sets `error` for a value the option does not take; returns whether the value was good.
template <typename T>
bool Take(std::optional<T> parsed, T& target, std::string_view name, std::string_view value,
          std::string_view expected, std::string& error) {
  if (!parsed) {
    error = std::string(name) + ": " + Quoted(value) + " is not " + std::string(expected);
    return false;
  }
  target = *parsed;
  return true;
}

constexpr app::LongOption kOptions[] = {
    {"port", true},          {"baud", true},    {"bits", true},       {"parity", true},  {"stop", true},
    {"report", true},        {"generate", true}, {"seed", true},      {"start-delay", true}, {"gap", true},
    {"expect-frames", true}, {"timeout", true}, {"frames-file", true}, {"pty"},          {"no-pace"},
    {"exit-after-send"},
};

bool ApplyValue(std::string_view name, std::string_view value, SimOptions& o, std::string& error) {
  if (name == "--port") {
    if (value.empty()) {
      error = "--port: the device name is empty";
      return false;
    }
    o.port.emplace(value);
    return true;
  }
  if (name == "--frames-file") {
    if (value.empty()) {
      error = "--frames-file: the file name is empty";
      return false;
    }
    o.framesFile.emplace(value);
    return true;
  }
  if (name == "--report") {
    o.reports.emplace_back(value);
    return true;
  }
  if (name == "--baud") {
    return Take(ParseInteger<uint32_t>(value, 1, 4'000'000), o.line.baud, name, value,
                "a rate from 1 to 4000000", error);
  }
  if (name == "--bits") {
    return Take(ParseInteger<uint8_t>(value, 5, 8), o.line.dataBits, name, value, "5, 6, 7 or 8",
                error);
  }
  if (name == "--parity") {
    return Take(ParityFromOptionName(value), o.line.parity, name, value,
                "none, odd, even, mark or space", error);
  }
  if (name == "--stop") {
    return Take(StopBitsFromOptionName(value), o.line.stopBits, name, value, "1, 1.5 or 2", error);
  }
  if (name == "--generate") {
    return Take(ParseInteger<int>(value, 0, kMostGenerated), o.generate, name, value,
                "a count from 0 to 100000", error);
  }
  if (name == "--seed") {
    uint64_t seed = 0;
    if (!Take(ParseInteger<uint64_t>(value, 0, std::numeric_limits<uint64_t>::max()), seed, name,
              value, "an unsigned 64-bit number", error)) {
      return false;
    }
    o.seed = seed;
    return true;
  }
  if (name == "--expect-frames") {
    int frames = 0;
    if (!Take(ParseInteger<int>(value, 0, std::numeric_limits<int>::max()), frames, name, value,
              "a count of 0 or more", error)) {
      return false;
    }
    o.expectFrames = frames;
    return true;
  }
  double* seconds = name == "--start-delay" ? &o.startDelaySeconds
                    : name == "--gap"       ? &o.gapSeconds
                                            : &o.timeoutSeconds;
  return Take(ParseSeconds(value), *seconds, name, value, "a number of seconds (0 to 1000000)",
              error);
}

std::string CheckCombination(const SimOptions& o) {
  if (o.pty && o.port) return "--pty and --port: exclude each other";
  if (!o.pty && !o.port) return "--pty or --port DEVICE: missing (see --help)";
  return {};
}

}  // namespace

ParsedOptions ParseOptions(std::span<const std::string_view> args) {
  ParsedOptions parsed;
  SimOptions& o = parsed.options;
  const app::CommandLine line = app::ParseCommandLine(args, kOptions, {.version = true});
  o.help = line.help;
  o.version = line.version;
  if (o.help || o.version) return parsed;  // whatever else the line holds
  if (!line.ok()) {
    // Unknown words are quoted; a known option's name is not.
    const bool unknown = line.error->why == "unknown option";
    parsed.error = (unknown ? Quoted(line.error->what) : line.error->what) + ": " + line.error->why;
    return parsed;
  }
  if (!line.operands.empty()) {
    parsed.error = Quoted(line.operands.front()) + ": unexpected argument";
    return parsed;
  }
  for (const app::ParsedOption& option : line.options) {
    if (option.value) {
      if (!ApplyValue(option.name, *option.value, o, parsed.error)) return parsed;
    } else if (option.name == "--pty") {
      o.pty = true;
    } else if (option.name == "--no-pace") {
      o.pace = false;
    } else {
      o.exitAfterSend = true;
    }
  }
  parsed.error = CheckCombination(o);
  return parsed;
}

}  // namespace strivex::sim
