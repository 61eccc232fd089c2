// Runs the built strivex-cli receive on a pseudo-terminal, the analyser's side played by the test.

#include "receive_command.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/background_process.h"
#include "support/pty_pair.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex::cli {
namespace {

using namespace std::chrono_literals;
using strivex::testing::BackgroundProcess;
using strivex::testing::ProcessResult;
using strivex::testing::PtyPair;
using strivex::testing::RunProcess;
using strivex::testing::TempDir;
using strivex::testing::WaitFor;
using strivex::testing::WriteFile;

ProcessResult Cli(const std::vector<std::string>& args) {
  return RunProcess(STRIVEX_CLI_PATH, args);
}

void ExpectFailureLine(const ProcessResult& r, const std::string& fragment) {
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("strivex-cli: ")) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find(fragment), std::string::npos) << r.err;
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;  // after "receive"
  std::string fragment;
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class ReceiveUsageTest : public ::testing::TestWithParam<UsageCase> {};

// Every case names a port that does not exist: the options must be refused before any open.
TEST_P(ReceiveUsageTest, RefusesWithOneLine) {
  std::vector<std::string> args{"receive"};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  ExpectFailureLine(Cli(args), GetParam().fragment);
}

const std::string kNoPort = "/dev/strivex-no-such-port";

INSTANTIATE_TEST_SUITE_P(
    Options, ReceiveUsageTest,
    ::testing::Values(
        UsageCase{"NoPort", {"--baud", "9600"}, "missing --port"},
        UsageCase{"PortWithoutValue", {"--port"}, "--port: missing value"},
        UsageCase{"EmptyPort", {"--port="}, "empty port name"},
        UsageCase{"UnknownOption", {"--port", kNoPort, "--speed", "9600"}, "--speed: unknown option"},
        UsageCase{"ExtraArgument", {"--port", kNoPort, "COM1"}, "COM1: unexpected argument"},
        UsageCase{"BaudZero", {"--port", kNoPort, "--baud", "0"}, "--baud: '0' is not"},
        UsageCase{"BaudSigned", {"--port", kNoPort, "--baud=+9600"}, "--baud: '+9600' is not"},
        UsageCase{"BaudTrailing", {"--port", kNoPort, "--baud", "9600x"}, "--baud: '9600x'"},
        UsageCase{"BaudTooBig", {"--port", kNoPort, "--baud", "4294967296"}, "--baud"},
        UsageCase{"BaudEmpty", {"--port", kNoPort, "--baud="}, "--baud: '' is not"},
        UsageCase{"BitsFour", {"--port", kNoPort, "--bits", "4"}, "--bits: '4' is not"},
        UsageCase{"BitsNine", {"--port", kNoPort, "--bits", "9"}, "--bits: '9' is not"},
        UsageCase{"BitsTwoDigits", {"--port", kNoPort, "--bits", "08"}, "--bits: '08' is not"},
        UsageCase{"ParityLetter", {"--port", kNoPort, "--parity", "n"}, "--parity: 'n' is not"},
        UsageCase{"StopOnePointZero", {"--port", kNoPort, "--stop", "1.0"}, "--stop: '1.0' is not"},
        UsageCase{"CountZero", {"--port", kNoPort, "--count", "0"}, "--count: '0' is not"},
        UsageCase{"HelpWithValue", {"--help=yes"}, "--help: takes no value"},
        UsageCase{"UnknownPortNotOpened", {"--port", kNoPort},
                  "cannot open /dev/strivex-no-such-port: No such file or directory"},
        UsageCase{"ComNameShowsDevice", {"--port", "COM9999"}, "COM9999: cannot open /dev/ttyS9998"}),
    [](const ::testing::TestParamInfo<UsageCase>& info) { return info.param.name; });

TEST(ReceiveCli, HelpDescribesOutputAndSilence) {
  const ProcessResult r = Cli({"receive", "--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out.starts_with("Usage: strivex-cli receive --port NAME")) << r.out;
  EXPECT_NE(r.out.find("message <n> length <bytes>"), std::string::npos);
  EXPECT_NE(r.out.find("more than 3 seconds"), std::string::npos);
  EXPECT_NE(Cli({"--help"}).out.find("\n  receive "), std::string::npos);
}

TEST(ReceiveCli, FileThatIsNoSerialPortIsRefused) {
  TempDir dir;
  WriteFile(dir / "not-a-port", "x");
  ExpectFailureLine(Cli({"receive", "--port", (dir / "not-a-port").string()}),
                    "not a serial port");
}

// The port is open (and the stop handlers installed) once the process holds the slave.
void WaitUntilOpen(const BackgroundProcess& receive, const PtyPair& pty) {
  ASSERT_TRUE(WaitFor([&] { return receive.HasOpen(pty.slavePath()); }, 5000ms))
      << "the port was not opened";
}

TEST(ReceiveCli, SecondReceiverOnTheSamePortIsRefused) {
  PtyPair pty;
  BackgroundProcess first(STRIVEX_CLI_PATH, {"receive", "--port", pty.slavePath()});
  WaitUntilOpen(first, pty);
  ExpectFailureLine(Cli({"receive", "--port", pty.slavePath()}), "in use");
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(5000ms).exitCode, 0);
}

// An unplugged adapter must not leave the operator waiting on a port that cannot come back.
TEST(ReceiveCli, DeviceGoneEndsWithError) {
  PtyPair pty;
  BackgroundProcess receive(STRIVEX_CLI_PATH, {"receive", "--port", pty.slavePath()});
  WaitUntilOpen(receive, pty);
  pty.CloseMaster();
  const ProcessResult r = receive.Wait(5000ms);
  EXPECT_EQ(r.termSignal, 0);
  ExpectFailureLine(r, "the device went away");
}

class ReceiveStopTest : public ::testing::TestWithParam<int> {};

// A message still arriving is dropped; the stop is an ordinary end.
TEST_P(ReceiveStopTest, StopSignalEndsCleanly) {
  PtyPair pty;
  BackgroundProcess receive(STRIVEX_CLI_PATH, {"receive", "--port", pty.slavePath()});
  WaitUntilOpen(receive, pty);
  pty.Write("partial");
  ASSERT_TRUE(WaitFor([&] { return pty.Unread() == 0; }, 5000ms)) << "the receiver read nothing";
  const auto signalled = std::chrono::steady_clock::now();
  receive.Signal(GetParam());
  const ProcessResult r = receive.Wait(5000ms);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, 2500ms);
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Signals, ReceiveStopTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == SIGTERM ? "Term" : "Int");
                         });

bool HasLines(const std::string& out, size_t lines) {
  return static_cast<size_t>(std::count(out.begin(), out.end(), '\n')) >= lines;
}

// Two messages cut by the silence rule, the second with bytes that need escapes; --count ends it.
TEST(ReceiveCli, PrintsMessagesCutBySilenceAndStopsAfterCount) {
  PtyPair pty;
  BackgroundProcess receive(STRIVEX_CLI_PATH,
                            {"receive", "--port", pty.slavePath(), "--baud", "9600", "--bits",
                             "8", "--parity", "none", "--stop", "1", "--count", "2"});
  WaitUntilOpen(receive, pty);

  const std::string first = "ID proba:1021\r\n LEU neg\r\n";
  const auto sent = std::chrono::steady_clock::now();
  pty.Write(first.substr(0, 10));
  std::this_thread::sleep_for(1200ms);  // a pause shorter than the rule keeps the message whole
  pty.Write(first.substr(10));
  ASSERT_TRUE(receive.WaitForOutput([](const std::string& out) { return HasLines(out, 2); }, 8000ms))
      << receive.out() << receive.err();
  EXPECT_GT(std::chrono::steady_clock::now() - sent, 1200ms + 3s);
  EXPECT_EQ(receive.out(), "message 1 length 25\nID proba:1021\\r\\n LEU neg\\r\\n\n");

  pty.Write(std::string("A\0B\xb5\\\tZ", 7));
  const ProcessResult r = receive.Wait(8000ms);
  EXPECT_EQ(r.out,
            "message 1 length 25\nID proba:1021\\r\\n LEU neg\\r\\n\n"
            "message 2 length 7\nA\\x00B\\xb5\\\\\\tZ\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.termSignal, 0);
  EXPECT_EQ(r.exitCode, 0);
}

}  // namespace
}  // namespace strivex::cli
