// Runs the built simulator on a pseudo-terminal and plays the module's side of the line.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "frame_bytes.h"
#include "protocol/strivex_interpretor.h"
#include "report_generator.h"
#include "support/background_process.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "worklist/work_list_frame.h"

namespace strivex::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kTwoSamples = STRIVEX_TEST_DATA_DIR "/reports/two-samples.txt";

// The module's end of the pty, opened the way the module opens a port.
class ModuleEnd {
 public:
  explicit ModuleEnd(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    termios tio{};
    if (fd_ >= 0 && tcgetattr(fd_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~ModuleEnd() {
    if (fd_ >= 0) close(fd_);
  }
  ModuleEnd(const ModuleEnd&) = delete;
  ModuleEnd& operator=(const ModuleEnd&) = delete;

  bool ok() const { return fd_ >= 0; }

  // Bytes the simulator sent that are still waiting in the line.
  size_t Unread() const {
    int count = 0;
    return ioctl(fd_, FIONREAD, &count) == 0 && count > 0 ? static_cast<size_t>(count) : 0;
  }

  // Reads until `count` bytes came, the line ended, or `timeout` passed; `lastAt` is when the
  // last read returned.
  std::string Read(size_t count, std::chrono::milliseconds timeout, Clock::time_point* firstAt,
                   Clock::time_point* lastAt) {
    std::string bytes;
    const Clock::time_point deadline = Clock::now() + timeout;
    while (bytes.size() < count && Clock::now() < deadline) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      char buffer[4096];
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      if (n <= 0) break;  // the simulator closed its end
      if (bytes.empty() && firstAt) *firstAt = Clock::now();
      if (lastAt) *lastAt = Clock::now();
      bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
  }

  std::string Read(size_t count) { return Read(count, 10s, nullptr, nullptr); }

  void Write(const std::string& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

 private:
  int fd_;
};

std::vector<std::string> Args(std::vector<std::string> extra) {
  std::vector<std::string> args{"--pty", "--no-pace", "--start-delay", "0"};
  args.insert(args.end(), extra.begin(), extra.end());
  return args;
}

TEST(SimulatorProcessTest, SendsTheReportExactlyAndAcceptsAGoodFrame) {
  const std::string report = ReadFile(kTwoSamples);
  BackgroundProcess sim(ANALYSER_SIM_PATH, Args({"--gap", "0.5", "--report", kTwoSamples,
                                                 "--expect-frames", "1", "--timeout", "20"}));
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  ModuleEnd module(*path);
  ASSERT_TRUE(module.ok()) << *path;
  EXPECT_EQ(module.Read(report.size()), report);
  module.Write(FrameBytes());
  EXPECT_EQ(sim.WaitExit(10s), 0) << sim.err();
  EXPECT_EQ(sim.ReadRest(1s),
            "frame 1: request 1021 disk 2 position 05 sample-type 2 cup 3 analyses 002 codes "
            "BILUBG date 1903061407 check ok\n");
}

TEST(SimulatorProcessTest, BadCheckByteDoesNotCountAndTheWaitTimesOut) {
  BackgroundProcess sim(ANALYSER_SIM_PATH, Args({"--expect-frames", "1", "--timeout", "2"}));
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  ModuleEnd module(*path);
  ASSERT_TRUE(module.ok());
  const std::string bad = FrameBytes({}, 0x10);
  module.Write("\r\n" + bad);
  const auto started = Clock::now();
  EXPECT_EQ(sim.WaitExit(8s), 1) << sim.err();
  EXPECT_LT(Clock::now() - started, 3s);
  char check[48];
  std::snprintf(check, sizeof check, "check BAD (got 0x%02x, want 0x%02x)\n",
                static_cast<uint8_t>(bad.back()), static_cast<uint8_t>(bad.back()) ^ 0x10);
  const std::string out = sim.ReadRest(1s);
  EXPECT_TRUE(out.starts_with("garbage 2 bytes: \\r\\n\nframe 1: request 1021 ")) << out;
  EXPECT_TRUE(out.ends_with(check)) << out;
}

// The file holds the good frames as the module's tools write them, and nothing else.
TEST(SimulatorProcessTest, FramesFileHoldsEveryGoodFrameWithoutItsCheckByte) {
  TempDir dir;
  const std::string file = (dir / "frames.txt").string();
  WriteFile(file, "left over from before\n");
  BackgroundProcess sim(ANALYSER_SIM_PATH,
                        Args({"--frames-file", file, "--expect-frames", "2", "--timeout", "20"}));
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  ModuleEnd module(*path);
  ASSERT_TRUE(module.ok());
  FrameFields second;
  second.requestId = "12345678901234";
  second.disk = "0";
  second.position = "00";
  second.cup = "0";
  second.count = "000";
  second.codes = "";
  module.Write(FrameBytes() + FrameBytes({}, 0x20) + "\r\n" + FrameBytes(second));
  EXPECT_EQ(sim.WaitExit(10s), 0) << sim.err();
  EXPECT_EQ(ReadFile(file), VisibleFrameText(FrameWithoutCheck({})) + "\n" +
                                VisibleFrameText(FrameWithoutCheck(second)) + "\n");
  // Bytes outside 0x20-0x7E in upper-case hex, as strivex-cli worklist --frames prints them.
  EXPECT_TRUE(ReadFile(file).starts_with(
      "\\x02W100001021          0                  1903061407205233"
      "00100001002BILUBG\\x03\\x0D\\x0A\n"));
}

TEST(SimulatorProcessTest, PacesAtTheLineRateTheModuleSet) {
  // 7E2 is 11 bits a character: 440 characters take 1.008 s at 4800 baud. The pty keeps 8N1,
  // which must not stop the run.
  TempDir dir;
  const std::string report = std::string(438, 'x') + "\r\n";
  WriteFile(dir / "long.txt", report);
  BackgroundProcess sim(
      ANALYSER_SIM_PATH,
      {"--pty", "--start-delay", "0", "--gap", "0", "--exit-after-send", "--baud", "4800", "--bits",
       "7", "--parity", "even", "--stop", "2", "--report", (dir / "long.txt").string()});
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  ModuleEnd module(*path);
  Clock::time_point first, last;
  EXPECT_EQ(module.Read(report.size(), 10s, &first, &last), report);
  // The first burst arrives at once, the last one after the line time of all before it.
  EXPECT_GT(last - first, 900ms);
  EXPECT_LT(last - first, 3s);
  EXPECT_EQ(sim.WaitExit(5s), 0) << sim.err();
}

TEST(SimulatorProcessTest, GeneratedReportsReadBackAsTheSeededSamples) {
  BackgroundProcess sim(ANALYSER_SIM_PATH, Args({"--generate", "3", "--seed", "99", "--gap", "0",
                                                 "--exit-after-send"}));
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  ModuleEnd module(*path);
  const std::string received = module.Read(SIZE_MAX, 5s, nullptr, nullptr);
  EXPECT_EQ(sim.WaitExit(5s), 0) << sim.err();

  sim::ReportGenerator generator(99);
  StrivexInterpretor interpretor;
  interpretor.Interpret(received, 0, 0, {});
  std::vector<int32_t> ids;
  for (const SampleRecord& sample : interpretor.Samples()) ids.push_back(sample.requestId);
  EXPECT_EQ(ids, (std::vector<int32_t>{generator.Next().sampleId, generator.Next().sampleId,
                                       generator.Next().sampleId}));
}

TEST(SimulatorProcessTest, WaitsForTheModuleToOpenTheLineThenForTheStartDelay) {
  const std::string report = ReadFile(kTwoSamples);
  BackgroundProcess sim(ANALYSER_SIM_PATH, {"--pty", "--no-pace", "--start-delay", "0.5", "--gap",
                                            "0", "--exit-after-send", "--report", kTwoSamples});
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  std::this_thread::sleep_for(800ms);  // longer than the start delay
  const Clock::time_point opened = Clock::now();
  ModuleEnd module(*path);
  ASSERT_TRUE(module.ok()) << *path;
  Clock::time_point first;
  EXPECT_EQ(module.Read(report.size(), 15s, &first, nullptr), report);
  EXPECT_GT(first - opened, 400ms);
  EXPECT_EQ(sim.WaitExit(5s), 0) << sim.err();
}

// Closing the simulator's end hangs the line up and drops unread input, so a slow reader must
// still get the whole report when the simulator is told to exit after sending.
TEST(SimulatorProcessTest, ExitWaitsUntilTheModuleHasReadEverything) {
  const std::string report = ReadFile(kTwoSamples);
  BackgroundProcess sim(ANALYSER_SIM_PATH, Args({"--gap", "0", "--exit-after-send", "--report",
                                                 kTwoSamples}));
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  ModuleEnd module(*path);
  ASSERT_TRUE(module.ok()) << *path;
  std::this_thread::sleep_for(1s);  // the report is sent long before we read it
  EXPECT_EQ(module.Read(report.size()), report);
  EXPECT_EQ(sim.WaitExit(5s), 0) << sim.err();
}

TEST(SimulatorProcessTest, ExitDoesNotWaitForAModuleThatClosedTheLine) {
  BackgroundProcess sim(ANALYSER_SIM_PATH, Args({"--gap", "0", "--exit-after-send", "--report",
                                                 kTwoSamples}));
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  {
    ModuleEnd module(*path);
    ASSERT_TRUE(module.ok()) << *path;
    // Closed while the report is on its way, unread.
    ASSERT_TRUE(WaitFor([&] { return module.Unread() > 0; }, 5s)) << "nothing was sent";
  }
  const auto closed = Clock::now();
  EXPECT_EQ(sim.WaitExit(10s), 0) << sim.err();
  EXPECT_LT(Clock::now() - closed, 3s);
}

TEST(SimulatorProcessTest, StaysUntilSigtermAndThenEndsCleanly) {
  BackgroundProcess sim(ANALYSER_SIM_PATH, Args({}));
  ASSERT_TRUE(sim.ReadLine(5s)) << sim.err();
  EXPECT_FALSE(sim.WaitExit(300ms));
  sim.Signal(SIGTERM);
  EXPECT_EQ(sim.WaitExit(5s), 0) << sim.err();
}

struct FailureCase {
  const char* name;
  std::vector<std::string> args;
  const char* fragment;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class SimulatorFailureTest : public ::testing::TestWithParam<FailureCase> {};

// One line on standard error, nothing on standard output, exit status 2.
TEST_P(SimulatorFailureTest, ExplainsInOneLine) {
  const ProcessResult r = RunProcess(ANALYSER_SIM_PATH, GetParam().args);
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(r.err.starts_with("analyser-sim: ")) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
  EXPECT_NE(r.err.find(GetParam().fragment), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, SimulatorFailureTest,
    ::testing::Values(
        FailureCase{"UsageError", {"--pty", "--parity", "sometimes"}, "--parity: 'sometimes'"},
        FailureCase{"MissingReport",
                    {"--pty", "--report", "/nonexistent/r.txt"},
                    "cannot read report /nonexistent/r.txt"},
        FailureCase{"ReportIsADirectory", {"--pty", "--report", "/"}, "cannot read report /"},
        FailureCase{
            "NoSuchDevice", {"--port", "/dev/nonexistent-tty"}, "cannot open /dev/nonexistent-tty"},
        FailureCase{"NotATerminal", {"--port", "/dev/null"}, "not a terminal"},
        FailureCase{"FramesFileInMissingFolder",
                    {"--pty", "--frames-file", "/nonexistent/frames.txt"},
                    "--frames-file: cannot create '/nonexistent/frames.txt'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatorHelpTest, PrintsUsageOnStandardOutput) {
  const ProcessResult r = RunProcess(ANALYSER_SIM_PATH, {"--help"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_NE(r.out.find("\nUsage: analyser-sim "), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

}  // namespace
}  // namespace strivex::testing
