// strivex-cli status on working directories of real module cores: what it says of each module and
// how it exits.

#include "status_command.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "db/db_session_fixture.h"
#include "host/module_core.h"
#include "host/recording_view.h"
#include "host/status_file.h"
#include "outbox/outbox_store.h"
#include "platform/message_box.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/flat_json.h"

namespace strivex::cli {
namespace {

using namespace std::chrono_literals;

struct CliRun {
  int exitCode;
  std::string out;
};

CliRun Status(const std::vector<std::string>& args) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  ::testing::internal::CaptureStdout();
  const int exitCode = RunStatusCommand(views);
  return {exitCode, ::testing::internal::GetCapturedStdout()};
}

// The one module `--json` reports on, read back as the file's content.
std::optional<ModuleStatus> OnlyModule(const CliRun& run, bool& running) {
  const auto json = ParseJson(run.out);
  if (!json || json->kind != JsonValue::Kind::kArray || json->items.size() != 1) return std::nullopt;
  const JsonValue* flag = json->items[0].Find("running");
  running = flag != nullptr && flag->boolean;
  return StatusFromJson(json->items[0]);
}

// Pending rows of machine 5 that an unreachable server leaves in the outbox.
void KeepBacklog(int64_t rows) {
  std::string error;
  auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  ASSERT_TRUE(outbox) << error;
  ASSERT_TRUE(outbox->SetOwner(5));
  auto sample = std::make_unique<SampleRecord>(7006);
  auto group = std::make_unique<GroupRecord>("GLU");
  for (int64_t i = 0; i < rows; ++i) group->results.emplace_back().parameterCode = "GLU";
  sample->groups.append(std::move(group));
  SampleList samples;
  samples.append(std::move(sample));
  ASSERT_TRUE(outbox->AddMessage(samples, LocalTime{2026, 12, 1, 7, 9, 5, 3, 0}, error)) << error;
}

TEST(StatusCommandTest, ReportsRealModulesAndExitsByWhatNeedsAnOperator) {
  struct Case {
    const char* name;
    bool labServer;  // else the host says the server is unavailable
    int64_t backlog;
    bool stop;
    PortState port;
    ServerState server;
    bool running;
    int exitCode;
  } cases[] = {
      {"running", true, 0, false, PortState::kOpen, ServerState::kConnected, true, 0},
      {"backlog, no server", false, 3, false, PortState::kOpen, ServerState::kUnavailable, true, 1},
      {"stopped", false, 0, true, PortState::kClosed, ServerState::kUnavailable, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string lab = strivex::testing::LabConnectionString();
    if (c.labServer && lab.empty()) {
      if (strivex::testing::LabDatabaseRequired()) ADD_FAILURE() << "STRIVEX_LAB_CONNSTR is not set";
      continue;
    }
    strivex::testing::TempDir dir;
    strivex::testing::ScopedCurrentDir cwd(dir.path());
    strivex::testing::ModuleRig rig(dir.path(), 65541);
    if (c.labServer) rig.UseServer(lab);
    KeepBacklog(c.backlog);
    platform::MessageBoxRecorder boxes;
    strivex::testing::RecordingView view;
    HostRecordBuffer host(5, "Strivex", rig.LocalPath(), 1);
    host.record().SetFlag(HostRecord::kServerUnavailable, c.labServer ? 0 : 1);
    ModuleCore core(host.record(), view);
    core.Initialize(0x1234);
    core.StatusNow(0);  // the panel's tick
    ASSERT_TRUE(strivex::testing::WaitFor([&] { return std::filesystem::exists(dir / kStatusFileName); }, 10s));
    if (c.stop) core.ShutdownModule();

    const CliRun run = Status({"--json", dir.path().string()});
    bool running = false;
    const auto status = OnlyModule(run, running);
    ASSERT_TRUE(status) << run.out;
    EXPECT_EQ(status->instrument, "Strivex");
    EXPECT_EQ(status->machineId, 5);
    EXPECT_EQ(status->pid, ::getpid());
    EXPECT_EQ(status->port, c.port);
    EXPECT_EQ(status->server, c.server);
    EXPECT_EQ(status->pending, c.backlog);
    EXPECT_EQ(running, c.running);
    EXPECT_EQ(run.exitCode, c.exitCode);
    if (!core.ShutDown()) core.ShutdownModule();
  }
}

// A module that never said it stopped: only an old file of a process that is gone counts as stopped.
// A running module one of whose parts stopped needs an operator, and the part is named.
TEST(StatusCommandTest, SilentModuleIsStoppedOnlyWhenItsFileIsOldAndItsProcessGone) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  ::waitpid(child, nullptr, 0);
  const int64_t now = UnixNow();
  struct Case {
    const char* name;
    int64_t pid;
    int64_t age;
    const char* module;  // the text line's last field
    std::vector<std::string> stoppedWorkers;
    int64_t otherMachines;
    int exitCode;
  } cases[] = {
      {"old, process gone", child, 3600, "stopped", {}, 0, 1},
      {"old, process alive", ::getpid(), 3600, "running", {}, 0, 0},
      {"fresh, process gone", child, 0, "running", {}, 0, 0},
      {"running, its processing stopped", ::getpid(), 0, "running", {"processing"}, 0, 1},
      {"running, another machine's rows waiting", ::getpid(), 0, "running", {}, 99, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    strivex::testing::TempDir dir;
    ModuleStatus status;
    status.instrument = "Strivex";
    status.port = PortState::kOpen;
    status.pid = c.pid;
    status.writtenAt = now - c.age;
    status.stoppedWorkers = c.stoppedWorkers;
    status.otherMachines = c.otherMachines;
    std::string error;
    ASSERT_TRUE(WriteStatusFile((dir / kStatusFileName).string(), status, error)) << error;
    ::testing::internal::CaptureStderr();
    const CliRun run = Status({dir.path().string()});
    const std::string told = ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(run.out.ends_with(std::string("\t") + c.module + "\t" + std::to_string(c.otherMachines) + "\n"))
        << run.out;
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(told.find("part stopped: processing") != std::string::npos, !c.stoppedWorkers.empty()) << told;
  }
}

TEST(StatusCommandTest, UsageErrorsAndMissingFilesExitApart) {
  strivex::testing::TempDir empty;
  const struct {
    std::vector<std::string> args;
    int exitCode;
  } cases[] = {
      {{"--verbose"}, 2},
      {{empty.path().string()}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[0]);
    EXPECT_EQ(Status(c.args).exitCode, c.exitCode);
  }
}

}  // namespace
}  // namespace strivex::cli
