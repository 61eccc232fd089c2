#include "receive_command.h"

#include <signal.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "console.h"
#include "escape.h"
#include "option_text.h"
#include "serial/line_option_names.h"
#include "serial/line_settings.h"
#include "serial/message_pump.h"
#include "serial/port_names.h"
#include "serial/port_serial.h"
#include "serial/receive_context.h"
#include "util/timings.h"

namespace strivex::cli {

namespace {

constexpr std::string_view kUsage =
    "Usage: strivex-cli receive --port NAME [--baud N] [--bits 7|8]\n"
    "                           [--parity none|odd|even|mark|space] [--stop 1|1.5|2] [--count N]\n"
    "\n"
    "Opens a serial port the way the instrument interface does and prints every complete\n"
    "message the analyser sends, to check cabling and line settings. Nothing is sent.\n"
    "\n"
    "Options:\n"
    "  --port NAME     Read this port. COM1 is /dev/ttyS0, COM2 /dev/ttyS1, and so on; a name\n"
    "                  with '/' is a device path; any other name is a device in /dev\n"
    "                  (ttyUSB0, ttyACM0).\n"
    "  --baud N        Set N bits per second, a positive decimal number (default 9600).\n"
    "  --bits N        Set N data bits, 7 or 8 as analysers use (5 and 6 are accepted;\n"
    "                  default 8).\n"
    "  --parity P      Set the parity: none, odd, even, mark or space (default none).\n"
    "  --stop S        Set the stop bits: 1, 1.5 or 2 (default 1).\n"
    "  --count N       Exit after N messages (a positive decimal number). Without it, the\n"
    "                  command runs until interrupted (Ctrl-C, SIGINT or SIGTERM).\n"
    "  -h, --help      Print this help and exit.\n"
    "\n"
    "A message ends when the line has been silent for more than 3 seconds, so it is printed\n"
    "about 4-5 seconds after its last byte. A message still arriving when the command is\n"
    "stopped is not printed. Each message is printed as two lines, each ended by LF:\n"
    "  message <n> length <bytes>\n"
    "  <the message's bytes>\n"
    "with <n> counting from 1. The bytes are escaped: '\\\\' for a backslash, '\\t', '\\r',\n"
    "'\\n', and '\\xHH' (two lower-case hex digits) for every other byte outside 0x20-0x7E.\n"
    "\n"
    "Exit status:\n"
    "  0  --count messages received, or stopped by SIGINT or SIGTERM\n"
    "  2  usage error, the port cannot be opened, or it went away while listening (message\n"
    "     on standard error)\n";

constexpr auto kPollInterval = timings::kCliReceivePoll;

struct ReceiveOptions {
  std::optional<std::string> port;
  uint32_t baud = 9600;
  uint8_t bits = 8;
  uint8_t parity = NOPARITY;
  uint8_t stop = ONESTOPBIT;
  uint32_t count = 0;  // 0: until stopped
  bool help = false;
};

// Set by the signal handlers, read by the polling loop.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) { stopRequested.store(true); }

// SIGINT and SIGTERM only ask the loop to stop; the previous handlers come back at the end.
class StopSignals {
 public:
  StopSignals() {
    stopRequested.store(false);
    struct sigaction action {};
    action.sa_handler = RequestStop;
    // Output already being written is finished; the loop stops right after it.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

bool ApplyOption(std::string_view name, std::string_view value, ReceiveOptions& options) {
  if (name == "--port") {
    if (value.empty()) return UsageError(name, "empty port name");
    options.port.emplace(value);
  } else if (name == "--baud" || name == "--count") {
    const auto number = ParsePositive(value);
    if (!number) return UsageError(name, Quoted(value) + " is not a positive decimal number");
    (name == "--baud" ? options.baud : options.count) = *number;
  } else if (name == "--bits") {
    if (value.size() != 1 || value[0] < '5' || value[0] > '8')
      return UsageError(name, Quoted(value) + " is not 5, 6, 7 or 8");
    options.bits = static_cast<uint8_t>(value[0] - '0');
  } else if (name == "--parity") {
    const auto parity = ParityFromOptionName(value);
    if (!parity) return UsageError(name, Quoted(value) + " is not none, odd, even, mark or space");
    options.parity = *parity;
  } else {
    const auto stop = StopBitsFromOptionName(value);
    if (!stop) return UsageError(name, Quoted(value) + " is not 1, 1.5 or 2");
    options.stop = *stop;
  }
  return true;
}

constexpr app::LongOption kOptions[] = {
    {"port", true}, {"baud", true}, {"bits", true}, {"parity", true}, {"stop", true}, {"count", true},
};

bool ParseArguments(std::span<const std::string_view> args, ReceiveOptions& options) {
  app::CommandLine line;
  if (!SplitArguments(args, kOptions, line)) return false;
  options.help = line.help;
  if (options.help) return true;
  for (const app::ParsedOption& option : line.options) {
    if (!ApplyOption(option.name, *option.value, options)) return false;
  }
  if (!line.operands.empty()) return UsageError(line.operands.front(), "unexpected argument");
  if (!options.port) return UsageError("receive", "missing --port NAME");
  return true;
}

std::string OpenFailure(const std::string& port, int error) {
  std::string reason = "cannot open " + EscapeField(DevicePathForPort(port));
  if (error == EWOULDBLOCK || error == EBUSY) return reason + ": in use by another program";
  if (error == ENOTTY) return reason + ": not a serial port";
  if (error != 0) return reason + ": " + std::strerror(error);
  return reason;
}

// The reader could not be started (the serial layer has shown why).
bool ReaderFailed(const PortSerial& port, const ReceiveContext& context) {
  return !port.ReaderRunning() && context.state.load() != RX_COMPLETE;
}

bool PrintMessage(uint32_t number, std::string_view message) {
  std::string text = "message " + std::to_string(number) + " length " +
                     std::to_string(message.size()) + "\n";
  AppendEscaped(text, message);
  text += '\n';
  return WriteAll(stdout, text) && std::fflush(stdout) == 0;
}

enum class Outcome { kDone, kWriteFailed, kPortGone, kReaderFailed };

struct ListenResult {
  Outcome outcome = Outcome::kDone;
  int writeError = 0;
};

ListenResult Listen(PortSerial& port, ReceiveContext& context, uint32_t count) {
  port.StartReader(context);
  uint32_t printed = 0;
  ListenResult result;
  const auto print = [&](std::string_view message) {
    if (result.outcome != Outcome::kDone) return;
    errno = 0;
    if (!PrintMessage(++printed, message)) {
      result = {Outcome::kWriteFailed, errno};
    }
  };
  for (;;) {
    ServeCompleteMessage(port, context, print);
    // A message completed meanwhile has just been printed, so a stop loses nothing complete.
    if (result.outcome != Outcome::kDone) return result;
    if ((count != 0 && printed >= count) || stopRequested.load()) return result;
    if (ReaderFailed(port, context)) return {Outcome::kReaderFailed, 0};
    if (!port.IsOpen()) return {Outcome::kPortGone, 0};
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

int RunReceiveCommand(std::span<const std::string_view> args) {
  ReceiveOptions options;
  if (!ParseArguments(args, options)) return kExitFailure;
  if (options.help) {
    if (!WriteAll(stdout, kUsage) || std::fflush(stdout) != 0) return kExitFailure;
    return kExitOk;
  }

  const std::string& portName = *options.port;
  // Before the port opens, so a stop from the moment the port is open ends the command cleanly.
  const StopSignals signals;
  PortSerial port;
  errno = 0;
  if (!port.Open(portName,
                 StartupLineSettings(options.baud, options.bits, options.parity, options.stop))) {
    PrintError(EscapeField(portName), OpenFailure(portName, errno));
    return kExitFailure;
  }

  ReceiveContext context;
  const ListenResult result = Listen(port, context, options.count);
  context.stop = 1;
  FinishConsumer(context);
  port.Close();

  switch (result.outcome) {
    case Outcome::kDone:
      return kExitOk;
    case Outcome::kWriteFailed:
      PrintError("standard output",
                 result.writeError != 0 ? std::strerror(result.writeError) : "write error");
      return kExitFailure;
    case Outcome::kPortGone:
      PrintError(EscapeField(portName), "the device went away");
      return kExitFailure;
    case Outcome::kReaderFailed:
      PrintError(EscapeField(portName), "cannot start the reader");
      return kExitFailure;
  }
  return kExitFailure;
}

}  // namespace strivex::cli
