// strivex-host running the built module as the laboratory would: the analyser simulator on a
// pseudo-terminal, the development server, results arriving in lab_results, then the operator's
// `close` ending module and host. Commands reach the host's standard input through a FIFO.

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "host/processing_thread.h"
#include "outbox/outbox_store.h"
#include "support/background_process.h"
#include "support/pty_pair.h"
#include "support/requirements.h"
#include "support/temp_dir.h"
#include "support/unused_port.h"
#include "support/wait_for.h"
#include "util/format.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::BackgroundProcess;
using testing::WaitFor;

std::string LabConnection() {
  const char* text = std::getenv("STRIVEX_LAB_CONNSTR");
  return text != nullptr ? text : "";
}

bool LabRequired() { return testing::LabRequiredByRun(); }

// The host with its standard input on a FIFO the test writes commands into.
class HostProcess {
 public:
  HostProcess(const std::filesystem::path& fifo, std::vector<std::string> args) : fifo_(fifo) {
    mkfifo(fifo.c_str(), 0600);
    // The tests run as root on the CI machines.
    args.insert(args.begin(), {"-c", "exec \"$0\" \"$@\" <\"$STRIVEX_HOST_FIFO\"", STRIVEX_HOST_PATH, "--allow-root"});
    setenv("STRIVEX_HOST_FIFO", fifo.c_str(), 1);
    process_ = std::make_unique<BackgroundProcess>("/bin/sh", args);
    writer_ = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);  // waits for the host's side
  }
  ~HostProcess() {
    if (writer_ >= 0) close(writer_);
  }
  void Command(const std::string& line) {
    const std::string text = line + "\n";
    EXPECT_EQ(write(writer_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // The `status` lines as key -> value.
  std::map<std::string, std::string> Status() {
    Command("status");
    std::map<std::string, std::string> fields;
    while (fields.size() < 10) {
      const auto line = process_->ReadLine(10s);
      if (!line) break;
      const size_t equals = line->find('=');
      if (equals != std::string::npos && !line->starts_with("initialised window")) {
        fields[line->substr(0, equals)] = line->substr(equals + 1);
      }
    }
    return fields;
  }
  BackgroundProcess& process() { return *process_; }

 private:
  std::filesystem::path fifo_;
  std::unique_ptr<BackgroundProcess> process_;
  int writer_ = -1;
};

int StoredRows(BazaDeDate& lab, int requestId) {
  if (!lab.GetRecords("SELECT count(*) AS n FROM lab_results WHERE machine_id = 5 AND request_id = " +
                          std::to_string(requestId),
                      8)) {
    return -1;
  }
  const int rows = std::atoi(lab.ValoareColoana("n", 8).ToText().c_str());
  lab.InchidTabel(8);
  return rows;
}

TEST(StrivexHost, HelpListsOptionsAndCommands) {
  const auto result = testing::RunProcess(STRIVEX_HOST_PATH, {"--help"});
  EXPECT_EQ(result.exitCode, 0);
  for (const char* text : {"--machine-id", "--local-db", "--close-ends-module", "status"}) {
    EXPECT_NE(result.out.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(testing::RunProcess(STRIVEX_HOST_PATH, {"--allow-root", "--name", "X"}).exitCode, 2);
}

// The password seeds a new local database from --password, --password-file or STRIVEX_PASSWORD
// (in that order); a missing module ends the host right after the seeding.
TEST(StrivexHost, PasswordSeedsANewLocalDatabaseWithoutTheCommandLine) {
  const testing::TempDir dir;
  const std::string file = (dir / "pw").string();
  testing::WriteFile(file, "s;e}c{\r\nnot this\n");
  const struct {
    std::vector<std::string> args;
    mode_t mode;
    const char *environment, *parola;  // parola nullptr: no local database
    std::string err;                   // a fragment of standard error; empty: no warning
  } cases[] = {
      {{"--password-file", file}, 0600, "env", "s;e}c{", ""},
      {{"--password-file", file}, 0644, nullptr, "s;e}c{", "other users can read it"},
      {{}, 0600, "from env", "from env", ""},
      {{"--password", "given"}, 0600, "from env", "given", ""},
      {{"--password-file", file + "x"}, 0600, nullptr, nullptr, "--password-file " + file + "x: No such file"},
  };
  for (const auto& c : cases) {
    const std::string localDb = (dir / (std::to_string(&c - cases) + ".db")).string();
    std::vector<std::string> args = {"--allow-root", "--machine-id", "5", "--name", "X", "--local-db", localDb,
                                     "--module", "/no.so"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    chmod(file.c_str(), c.mode);
    if (c.environment) setenv("STRIVEX_PASSWORD", c.environment, 1);
    const auto result = testing::RunProcess(STRIVEX_HOST_PATH, args);
    unsetenv("STRIVEX_PASSWORD");
    SCOPED_TRACE(result.err);
    // An unreadable password file is a usage error; the others end at the missing module.
    EXPECT_EQ(result.exitCode, c.parola != nullptr ? 1 : 2);
    EXPECT_EQ(result.err.find(c.err.empty() ? "other users" : c.err) != std::string::npos, !c.err.empty());
    ASSERT_EQ(std::filesystem::exists(localDb), c.parola != nullptr);
    if (c.parola == nullptr) continue;
    BazaDeDate local;
    ASSERT_TRUE(local.DeschidBazaLocala(localDb, "", 1));
    ASSERT_TRUE(local.GetRecords("SELECT Valoare FROM Medianex_Init WHERE Proprietate='Parola'", 0));
    EXPECT_EQ(local.ValoareColoana("Valoare", 0).ToText(), c.parola);
  }
}

TEST(StrivexHost, ResultsFromTheAnalyserReachTheLaboratoryAndCloseEndsTheHost) {
  const std::string connection = LabConnection();
  if (connection.empty()) {
    if (LabRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
    GTEST_SKIP() << "no development server";
  }
  testing::TempDir dir;
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(connection, 1));
  lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id = 30577", 0);

  BackgroundProcess sim(STRIVEX_ANALYSER_SIM_PATH, {"--pty", "--no-pace", "--start-delay", "1", "--report",
                                                    std::string(STRIVEX_TEST_DATA_DIR) + "/reports/patient-line.txt"});
  const auto device = sim.ReadLine(5s);
  ASSERT_TRUE(device) << sim.err();

  const auto value = [&](const char* key) { return ConnectionValue(connection, key).value_or(""); };
  const std::string screenshot = (dir / "window.png").string();
  setenv("STRIVEX_SCREENSHOT", screenshot.c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  HostProcess host(dir / "commands",
                   {"--machine-id", "5", "--name", "Strivex", "--local-db", (dir / "local.db").string(), "--server",
                    value("Server"), "--database", value("Database"), "--user", value("Uid"), "--password",
                    value("Pwd"), "--port", *device, "--workdir", dir.path().string(), "--close-ends-module"});
  ASSERT_EQ(host.process().ReadLine(30s), "started") << host.process().err();
  ASSERT_TRUE(host.process().ReadLine(30s).value_or("").starts_with("initialised window=")) << host.process().err();

  auto status = host.Status();
  EXPECT_NE(status["window_handle"], "0");
  EXPECT_EQ(status["active"], "1");
  EXPECT_EQ(status["shown"], "1");
  EXPECT_EQ(status["machine_id"], "5");
  EXPECT_EQ(status["name"], "Strivex");
  EXPECT_EQ(status["server_unavailable"], "0");
  EXPECT_EQ(status["close_ends_module"], "1");
  EXPECT_EQ(status["local_db"], (dir / "local.db").string());
  EXPECT_EQ(status["initialised"], "1");

  EXPECT_TRUE(WaitFor([&] { return StoredRows(lab, 30577) > 0; }, 40s)) << host.process().err();
  // The upload thread adds the received-list row right after storing; give the window its turn.
  EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "_Strivex_data.log"); }, 10s));
  std::this_thread::sleep_for(500ms);

  host.Command("close");
  const auto result = host.process().Wait(30s);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("module ended"), std::string::npos) << result.out;
  EXPECT_TRUE(std::filesystem::exists(screenshot));
  EXPECT_GT(std::filesystem::file_size(screenshot), 0u);
  const std::string dataLog = testing::ReadFile(dir / "_Strivex_data.log");
  EXPECT_NE(dataLog.find("Id Analiza = 30577"), std::string::npos) << dataLog;
  lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id = 30577", 0);
}

TEST(StrivexHost, TerminationEndsTheModuleCleanly) {
  testing::TempDir dir;
  testing::PtyPair pty;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  HostProcess host(dir / "commands", {"--machine-id", "5", "--name", "Strivex", "--local-db",
                                      (dir / "local.db").string(), "--port", pty.slavePath(), "--workdir",
                                      dir.path().string(), "--server-unavailable"});
  ASSERT_TRUE(host.process().WaitForOutput(
      [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s))
      << host.process().err();
  auto status = host.Status();
  EXPECT_EQ(status["close_ends_module"], "0");
  EXPECT_EQ(status["server_unavailable"], "1");
  host.Command("hide");
  host.Command("show");
  host.Command("close");  // only hides: offset 74 is 0
  EXPECT_TRUE(WaitFor([&] { return host.Status()["shown"] == "0"; }, 10s));
  EXPECT_EQ(host.process().WaitExit(300ms), std::nullopt);

  host.process().Signal(SIGTERM);
  const auto result = host.process().Wait(30s);
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("module ended"), std::string::npos) << result.out;
}

// A start-up box (the analyser's port cannot be opened) still open when the host ends: the box is
// closed with the module, the window's thread ends before the process's objects go, and the host
// exits cleanly.
TEST(StrivexHost, EndsCleanlyWithANoticeBoxOpen) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  setenv("PGPORT", std::to_string(testing::UnusedPort()).c_str(), 1);
  for (const bool bySignal : {true, false}) {
    SCOPED_TRACE(bySignal ? "SIGTERM" : "close");
    testing::TempDir dir;
    HostProcess host(dir / "commands", {"--machine-id", "5", "--name", "Strivex", "--local-db",
                                        (dir / "local.db").string(), "--server", "127.0.0.1", "--database", "lab",
                                        "--user", "u", "--password", "p", "--port",
                                        (dir / "no-such-device").string(), "--workdir", dir.path().string(),
                                        "--close-ends-module"});
    ASSERT_TRUE(WaitFor([&] { return testing::ReadFile(dir / "_acterr.log").find("nu poate fi deschis") !=
                                     std::string::npos; }, 30s)) << host.process().err();
    std::this_thread::sleep_for(500ms);  // the box is shown once the start-up is through
    if (bySignal) {
      host.process().Signal(SIGTERM);
    } else {
      host.Command("close");
    }
    const auto result = host.process().Wait(30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("module ended"), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find("from another thread"), std::string::npos) << result.err;  // Qt torn down off its thread
  }
  unsetenv("PGPORT");
}

// One working directory serves one live module: a second host on it is refused before its module
// touches anything, the administrators' tool still reads the outbox, and the folder is free again
// once the first host is gone, however it went.
TEST(StrivexHost, ASecondModuleOnAHeldWorkingDirectoryIsRefused) {
  testing::TempDir dir;
  testing::PtyPair first, second;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const auto args = [&](const testing::PtyPair& pty) {
    return std::vector<std::string>{"--machine-id", "5", "--name", "Strivex", "--local-db",
                                    (dir / "local.db").string(), "--port", pty.slavePath(), "--workdir",
                                    dir.path().string(), "--server-unavailable"};
  };
  auto holder = std::make_unique<HostProcess>(dir / "commands", args(first));
  ASSERT_TRUE(holder->process().WaitForOutput(
      [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s))
      << holder->process().err();

  std::vector<std::string> secondArgs = args(second);
  secondArgs.push_back("--allow-root");
  BackgroundProcess refused(STRIVEX_HOST_PATH, secondArgs);
  const auto result = refused.Wait(30s);
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.err.find("Directorul de lucru este folosit de alt modul"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("started"), std::string::npos) << result.out;
  BackgroundProcess stats(STRIVEX_CLI_PATH, {"outbox", "--file", (dir / kOutboxFileName).string(), "stats"});
  EXPECT_EQ(stats.Wait(30s).exitCode, 0);

  holder->process().Signal(SIGKILL);
  holder->process().Wait(30s);
  holder.reset();
  auto next = std::make_unique<HostProcess>(dir / "commands2", args(second));
  EXPECT_TRUE(next->process().WaitForOutput(
      [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s))
      << next->process().err();
  next->process().Signal(SIGTERM);
  const auto ended = next->process().Wait(30s);
  EXPECT_EQ(ended.exitCode, 0) << "signal " << ended.termSignal << "\n" << ended.err;
}

// The three-sample report under request ids of this test alone (tests run side by side).
std::string ReportWithIds(int firstId) {
  std::string report = testing::ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/three-samples.txt");
  for (int i = 0; i < 3; ++i) {
    const std::string from = "ID proba:" + std::to_string(30520 + i);
    report.replace(report.find(from), from.size(), "ID proba:" + std::to_string(firstId + i));
  }
  return report;
}

int StoredRange(BazaDeDate& lab, int firstId, int count) {
  int rows = 0;
  for (int id = firstId; id < firstId + count; ++id) rows += StoredRows(lab, id);
  return rows;
}

OutboxStats OutboxOf(const std::filesystem::path& dir) {
  std::string error;
  auto outbox = OutboxStore::Open((dir / kOutboxFileName).string(), OutboxStore::OpenMode::kExisting, error);
  return outbox ? outbox->Stats() : OutboxStats{-1, -1, -1, 0, 0, 0, {}};
}

// Results waiting for the server survive the host being killed, and go first at the next start.
// A host stopped in the middle of a report still logs it raw and keeps its complete samples.
TEST(StrivexHost, KilledOrStoppedWithResultsWaitingLosesNothing) {
  const std::string connection = LabConnection();
  if (connection.empty()) {
    if (LabRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
    GTEST_SKIP() << "no development server";
  }
  testing::TempDir dir;
  testing::PtyPair pty;
  BazaDeDate lab;
  ASSERT_TRUE(lab.DeschidConectie(connection, 1));
  const int firstId = 1800000000 + static_cast<int>(getpid() % 1000000) * 10;
  const std::string report = ReportWithIds(firstId);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const auto value = [&](const char* key) { return ConnectionValue(connection, key).value_or(""); };
  const std::vector<std::string> common = {"--machine-id", "5", "--name", "Strivex", "--local-db",
                                           (dir / "local.db").string(), "--port", pty.slavePath(),
                                           "--workdir", dir.path().string(), "--server", value("Server"),
                                           "--database", value("Database"), "--user", value("Uid"),
                                           "--password", value("Pwd")};
  const auto started = [](HostProcess& host) {
    return host.process().WaitForOutput(
        [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s);
  };
  {
    // The host says the server is unavailable: results can only wait.
    std::vector<std::string> args = common;
    args.push_back("--server-unavailable");
    HostProcess host(dir / "commands1", args);
    ASSERT_TRUE(started(host)) << host.process().err();
    pty.Write(report);
    ASSERT_TRUE(WaitFor([&] { return OutboxOf(dir.path()).pending == 14; }, 30s)) << OutboxOf(dir.path()).pending;
    host.process().Signal(SIGKILL);
    host.process().Wait(10s);
  }
  EXPECT_EQ(StoredRange(lab, firstId, 3), 0);
  {
    HostProcess host(dir / "commands2", common);
    ASSERT_TRUE(started(host)) << host.process().err();
    ASSERT_TRUE(WaitFor([&] { return OutboxOf(dir.path()).stored == 14; }, 30s)) << host.process().err();
    EXPECT_EQ(StoredRange(lab, firstId, 3), 14) << "each result exactly once";

    // SIGTERM in the middle of the next report: what arrived is not thrown away.
    const std::string again = ReportWithIds(firstId + 3);
    const size_t cut = again.find("ID proba:" + std::to_string(firstId + 5));
    pty.Write(again.substr(0, cut));
    std::this_thread::sleep_for(1500ms);  // received, but the silence rule has not ended it yet
    host.process().Signal(SIGTERM);
    const auto result = host.process().Wait(30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(testing::ReadFile(dir / "_Strivex.log").find(again.substr(0, cut)), std::string::npos);
    const OutboxStats stats = OutboxOf(dir.path());
    EXPECT_EQ(stats.pending + stats.stored, 14 + 10) << "the two complete samples of the cut report";
  }
  for (int id = firstId; id < firstId + 6; ++id) {
    lab.SQLCommand("DELETE FROM lab_results WHERE machine_id = 5 AND request_id = " + std::to_string(id), 0);
  }
}

// Codes of the outbox's rows of one request (0: printouts without one), in arrival order.
std::string OutboxCodes(const std::filesystem::path& dir, int32_t requestId) {
  std::string error, codes;
  auto outbox = OutboxStore::Open((dir / kOutboxFileName).string(), OutboxStore::OpenMode::kExisting, error);
  for (const OutboxRow& row : outbox ? outbox->List(std::nullopt) : std::vector<OutboxRow>{}) {
    if (row.requestId == requestId) codes += row.parameterCode + " ";
  }
  return codes;
}

// SIGTERM while " SG     1.005" is half sent: the lines before it are kept, the torn line is left
// out and told. After the restart the rest of that report waits as a printout without a request.
TEST(StrivexHost, AStopInTheMiddleOfALineStoresNoTornValue) {
  testing::TempDir dir;
  testing::PtyPair pty;
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::string report = testing::ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  const size_t cut = report.replace(report.find("1.020"), 5, "1.005").find(" SG     1.005") + 11;
  int run = 0;
  for (const std::string& bytes : {report.substr(0, cut), report.substr(cut)}) {
    HostProcess host(dir / ("commands" + std::to_string(++run)),
                     {"--machine-id", "5", "--name", "Strivex", "--local-db", (dir / "local.db").string(),
                      "--port", pty.slavePath(), "--workdir", dir.path().string(), "--server-unavailable"});
    ASSERT_TRUE(host.process().WaitForOutput(
        [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s));
    pty.Write(bytes);
    // The first part is received but not ended by the silence rule when the stop comes.
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(WaitFor([&] { return bytes.size() == cut || !OutboxCodes(dir.path(), 0).empty(); }, 30s));
    host.process().Signal(SIGTERM);
    const auto ended = host.process().Wait(30s);
    EXPECT_EQ(ended.exitCode, 0) << "signal " << ended.termSignal << "\n" << ended.err;
  }
  EXPECT_EQ(OutboxCodes(dir.path(), 30512), "LEU NIT URO PRO pH BLD ");
  EXPECT_EQ(OutboxCodes(dir.path(), 0), "KET BIL GLU ASC COL ");
  EXPECT_NE(testing::ReadFile(dir / "_acterr.log").find(Format(kTornLineOfRequest, " SG     1.0", 30512)),
            std::string::npos);
}

// The laboratory's driver crashes, once, in the statement that stores a result: the module, in the
// host's process, loses that connection only. The rows stay pending, one _acterr.log line names
// the signal, and the host goes on answering.
TEST(StrivexHost, ADriverThatCrashesCostsTheConnectionOnly) {
  testing::TempDir dir;
  testing::PtyPair pty;
  testing::WriteFile(dir / "odbcinst.ini", "[SQL Server]\nDriver=" STRIVEX_CRASHING_ODBC_DRIVER "\n");
  testing::WriteFile(dir / "crash", "");
  setenv("ODBCSYSINI", dir.path().c_str(), 1);
  setenv("STRIVEX_CRASH_ONCE", (dir / "crash").c_str(), 1);
  setenv("STRIVEX_CRASH_ON", "L_RESULT_INSERT", 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  HostProcess host(dir / "commands", {"--machine-id", "5", "--name", "Strivex", "--local-db", (dir / "local.db").string(),
                                      "--port", pty.slavePath(), "--workdir", dir.path().string(), "--server",
                                      "127.0.0.1", "--database", "lab", "--user", "strivex", "--password", "x"});
  for (const char* name : {"ODBCSYSINI", "STRIVEX_CRASH_ONCE", "STRIVEX_CRASH_ON"}) unsetenv(name);
  ASSERT_TRUE(host.process().WaitForOutput(
      [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s))
      << host.process().err();
  pty.Write(testing::ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt"));
  const auto crashes = [&] { return testing::Occurrences(testing::ReadFile(dir / "_acterr.log"), "driver process was killed by signal SIGSEGV"); };
  ASSERT_TRUE(WaitFor([&] { return crashes() > 0; }, 30s)) << testing::ReadFile(dir / "_acterr.log");

  EXPECT_EQ(host.Status()["active"], "1");
  EXPECT_EQ(host.process().WaitExit(0ms), std::nullopt);
  const OutboxStats stats = OutboxOf(dir.path());
  EXPECT_EQ(stats.pending, 12);
  EXPECT_EQ(stats.stored, 0);
  EXPECT_EQ(crashes(), 1u) << testing::ReadFile(dir / "_acterr.log");
  host.process().Signal(SIGTERM);
  EXPECT_EQ(host.process().Wait(30s).exitCode, 0);
}

// One host per instance: a second `--instance` shows the running window and ends with 0. The
// socket file a killed host left behind does not keep the first one from starting.
TEST(StrivexHost, ASecondHostOfAnInstanceShowsTheRunningWindow) {
  testing::TempDir dir;
  testing::PtyPair pty;
  std::filesystem::create_directories(dir / "config/strivex");
  testing::WriteFile(dir / "config/strivex/bench-1.ini",
                     "machine-id = 5\nname = Strivex\nport = " + pty.slavePath() + "\nworkdir = " +
                         (dir / "work").string() + "\nserver-unavailable = yes\n");
  std::filesystem::create_directories(dir / "run/strivex");
  const std::string stale = (dir / "run/strivex/bench-1.sock").string();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  stale.copy(address.sun_path, sizeof address.sun_path - 1);
  const int left = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(left, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(left);
  setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);

  HostProcess first(dir / "commands", {"--instance", "bench-1"});
  ASSERT_TRUE(first.process().WaitForOutput(
      [](const std::string& out) { return out.find("initialised window=") != std::string::npos; }, 30s))
      << first.process().err();
  const std::string window = first.Status()["window_handle"];

  // The answer names the window the running host posted the show to.
  const auto second = testing::RunProcess(STRIVEX_HOST_PATH, {"--allow-root", "--instance", "bench-1"});
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_NE(second.out.find("shown window=" + window), std::string::npos) << second.out;
  EXPECT_EQ(first.Status()["active"], "1");

  first.process().Signal(SIGTERM);
  EXPECT_EQ(first.process().Wait(30s).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(stale));
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace strivex
