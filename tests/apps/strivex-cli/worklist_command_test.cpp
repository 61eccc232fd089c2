// Runs the built strivex-cli worklist against the development laboratory server, directly and
// through medianex-relay, and hands its frames to the analyser simulator.

#include "worklist_command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "db/db_session_fixture.h"
#include "support/background_process.h"
#include "support/relay_server.h"
#include "support/run_process.h"
#include "worklist/lab_work_list.h"
#include "worklist/work_list_sent.h"

namespace strivex::testing {
namespace {

using namespace std::chrono_literals;

ProcessResult Cli(const std::vector<std::string>& args) { return RunProcess(STRIVEX_CLI_PATH, args); }

// Four rows, three requests: one with two analyses, one without sample code, one whose patient
// needs escapes.
const std::vector<WorkListRow> kRows{
    {31, "URINA", "Pop Ion", "BIL", "2026-12-01 07:45"},
    {31, "URINA", "Pop Ion", "UBG", "2026-12-01 07:45"},
    {32, std::nullopt, "X", "PRO", "2026-12-01 07:45"},
    {33, "SER", "\xAAtef\xE3nescu\tAna", "GLU", "2026-12-01 07:45"},
};

const std::string kLines =
    "31\tPop Ion\tURINA\tBIL,UBG\n"
    "32\tX\t\tPRO\n"
    "33\t\\xaatef\\xe3nescu\\tAna\tSER\tGLU\n";

// Request id padded to 14, "0", 18 spaces, then the fields from the date on.
std::string Frame(const std::string& id, const std::string& rest) {
  return "\\x02W10000" + id + std::string(14 - id.size(), ' ') + "0" + std::string(18, ' ') + rest +
         "\\x03\\x0D\\x0A\n";
}

struct Case {
  const char* name;
  std::vector<std::string> args;  // after the connection and the machine
  std::string out;
  int exitCode;
  std::string err;  // standard error, whole
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class WorkListCliTest : public LabWorkListTest, public ::testing::WithParamInterface<Case> {
 protected:
  void SetUp() override {
    LabWorkListTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    InsertWorkList(db_, machine_, kRows);
  }
  std::vector<std::string> Args(std::vector<std::string> extra) const {
    std::vector<std::string> args{"worklist", "--connect", LabConnectionString(), "--machine-id",
                                  std::to_string(machine_)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  }
};

TEST_P(WorkListCliTest, PrintsTheListOrItsFrames) {
  const Case& c = GetParam();
  ASSERT_TRUE(RecordWorkListSent(db_, machine_, 31, {"BIL"}));  // matters to --unsent-only only
  const ProcessResult r = Cli(Args(c.args));
  EXPECT_EQ(r.out, c.out);
  EXPECT_EQ(r.exitCode, c.exitCode);
  EXPECT_EQ(r.err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, WorkListCliTest,
    ::testing::Values(
        Case{"Lines", {}, kLines, 0, ""},
        Case{"UnsentOnly", {"--unsent-only"},
             "31\tPop Ion\tURINA\tUBG\n32\tX\t\tPRO\n33\t\\xaatef\\xe3nescu\\tAna\tSER\tGLU\n", 0, ""},
        Case{"FramesWithPlaces",
             {"--frames", "--at", "2026-12-05T09:30", "--disk", "2", "--position", "7", "--cup=1"},
             Frame("31", "2612050930207231" "00100001002BILUBG") +
                 Frame("32", "2612050930208131" "00100001001PRO") +
                 Frame("33", "2612050930209131" "00100001001GLU"),
             0, ""},
        Case{"FramesWithDefaults", {"--frames", "--at=2099-01-31T23:59"},
             Frame("31", "9901312359101233" "00100001002BILUBG") +
                 Frame("32", "9901312359102133" "00100001001PRO") +
                 Frame("33", "9901312359103133" "00100001001GLU"),
             0, ""},
        Case{"PositionPastTheFrameIsRefused", {"--frames", "--position", "98"}, "", 1,
             "strivex-cli: frame: Cererea 33: pozitia 100 nu incape in lista (0-99)\n"},
        Case{"YearPastTheFrameIsRefused", {"--frames", "--at", "2100-01-01T00:00"}, "", 1,
             "strivex-cli: frame: Anul 2100 nu incape in lista (2000-2099)\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LabWorkListTest, WorkListCliThroughTheRelayPrintsTheSameLines) {
  InsertWorkList(db_, machine_, kRows);
  RelayServer relay(STRIVEX_MEDIANEX_RELAY_PATH);
  ASSERT_EQ(relay.failure(), "");
  const ProcessResult r = Cli({"worklist", "--connect", LabConnectionString(), "--relay",
                               relay.address(), "--machine-id", std::to_string(machine_)});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, kLines);
}

TEST_F(LabWorkListTest, WorkListCliOfAMachineWithoutRowsPrintsNothing) {
  const ProcessResult r = Cli({"worklist", "--connect", LabConnectionString(), "--machine-id",
                               std::to_string(machine_), "--frames"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(LabWorkListTest, WorkListCliThatCannotReadTheListSaysWhy) {
  // A database without WORK_LIST (nor dbo to make the view in).
  std::string other = LabConnectionString();
  other.replace(other.find("Database="), std::string("Database=").size(), "Database=postgres;X=");
  const ProcessResult r = Cli({"worklist", "--connect", other, "--machine-id", "5"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.err.starts_with("strivex-cli: query: the work list could not be read\n"
                                "strivex-cli: statement: Eroare la executare comanda SQL ('CREATE "
                                "VIEW dbo.vWORK_LIST"))
      << r.err;
  EXPECT_NE(r.err.find("strivex-cli: driver: 42P01"), std::string::npos) << r.err;
}

TEST(WorkListCliUsageTest, FailuresBeforeAndAtTheOpen) {
  const std::string connect = "Driver={No Such Driver}; Server=x";
  struct Failure {
    std::vector<std::string> args;  // after "worklist"
    int exitCode;
    std::string err;  // how standard error begins
  };
  const std::vector<Failure> failures{
      {{"--machine-id", "5"}, 2, "strivex-cli: worklist: missing --connect CONNSTR\n"},
      {{"--connect", connect}, 2, "strivex-cli: worklist: missing --machine-id N\n"},
      {{"--connect", connect, "--machine-id", "5x"}, 2, "strivex-cli: --machine-id: '5x' is not"},
      {{"--connect", connect, "--machine-id", "5", "--frames", "--disk", "4"}, 2,
       "strivex-cli: --disk: '4' is not a disk from 1 to 3\n"},
      {{"--connect", connect, "--machine-id", "5", "--frames", "--cup", "0"}, 2,
       "strivex-cli: --cup: '0' is not a cup type from 1 to 5\n"},
      {{"--connect", connect, "--machine-id", "5", "--frames", "--position", "100"}, 2,
       "strivex-cli: --position: '100' is not a position from 0 to 99\n"},
      {{"--connect", connect, "--machine-id", "5", "--frames", "--at", "2026-02-29T10:00"}, 2,
       "strivex-cli: --at: '2026-02-29T10:00' is not a time as YYYY-MM-DDTHH:MM\n"},
      {{"--connect", connect, "--machine-id", "5", "--frames", "--at", "2026-12-05 09:30"}, 2,
       "strivex-cli: --at: '2026-12-05 09:30' is not a time"},
      {{"--connect", connect, "--machine-id", "5", "--disk", "2"}, 2,
       "strivex-cli: worklist: --disk, --position, --cup and --at go with --frames\n"},
      {{"--connect", connect, "--machine-id", "5", "--frames=yes"}, 2,
       "strivex-cli: --frames: takes no value\n"},
      {{"--connect", connect, "--machine-id", "5", "--view"}, 2, "strivex-cli: --view: unknown option\n"},
      {{"--connect", connect, "--machine-id", "5", "extra"}, 2,
       "strivex-cli: extra: unexpected argument\n"},
      {{"--connect", connect, "--relay="}, 2, "strivex-cli: --relay: empty address\n"},
      {{"--connect", connect, "--machine-id", "5"}, 3,
       "strivex-cli: open: Eroare: Unspecified error la deschidere conectie ->" + connect + "\n"},
  };
  const TempDir dir;
  const ScopedCurrentDir cwd(dir.path());
  for (const Failure& f : failures) {
    SCOPED_TRACE(::testing::PrintToString(f.args));
    std::vector<std::string> args{"worklist"};
    args.insert(args.end(), f.args.begin(), f.args.end());
    const ProcessResult r = Cli(args);
    EXPECT_EQ(r.exitCode, f.exitCode);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with(f.err)) << r.err;
  }
  const ProcessResult help = Cli({"worklist", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: strivex-cli worklist ")) << help.out;
  EXPECT_NE(help.out.find("does not fit its frame"), std::string::npos);
}

// The frame text back to its bytes.
std::string Unescaped(const std::string& text) {
  std::string bytes;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") == 0) {
      bytes += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      bytes += text[i];
    }
  }
  return bytes;
}

// What the analyser receives is what the command said it would send, byte for byte.
TEST_F(LabWorkListTest, WorkListCliFramesAreWhatTheAnalyserReceives) {
  InsertWorkList(db_, machine_, kRows);
  const ProcessResult frames = Cli({"worklist", "--connect", LabConnectionString(), "--machine-id",
                                    std::to_string(machine_), "--frames", "--position", "3"});
  ASSERT_EQ(frames.exitCode, 0) << frames.err;
  const std::string file = (dir_ / "received.txt").string();
  BackgroundProcess sim(ANALYSER_SIM_PATH, {"--pty", "--no-pace", "--start-delay", "0",
                                            "--frames-file", file, "--expect-frames", "3",
                                            "--timeout", "20"});
  const auto path = sim.ReadLine(5s);
  ASSERT_TRUE(path) << sim.err();
  const int line = open(path->c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(line, 0) << *path;
  termios tio{};
  ASSERT_EQ(tcgetattr(line, &tio), 0);
  cfmakeraw(&tio);
  tcsetattr(line, TCSANOW, &tio);
  size_t start = 0;
  for (size_t end; (end = frames.out.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string frame = Unescaped(frames.out.substr(start, end - start));
    char check = 0;
    for (size_t i = 1; i < frame.size(); ++i) check ^= frame[i];
    frame += check;  // as the port appends it
    ASSERT_EQ(write(line, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  }
  EXPECT_EQ(sim.WaitExit(20s), 0) << sim.err();
  close(line);
  EXPECT_EQ(ReadFile(file), frames.out);
}

}  // namespace
}  // namespace strivex::testing
