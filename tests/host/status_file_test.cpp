// The status file: replaced whole, read back as written, and written by its worker at most once a
// period but always at the end.

#include "host/status_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/status_file_writer.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

ModuleStatus Status(PortState port, ServerState server, int64_t pending, bool stopped) {
  ModuleStatus s;
  s.instrument = "Strivex \"2\" \xB5";  // a quote and a Windows-1250 byte must come back unchanged
  s.machineId = 65541;
  s.portName = "COM1";
  s.port = port;
  s.serverAddress = "10.0.0.7";
  s.serverDatabase = "LAB";
  s.server = server;
  s.pending = pending;
  s.rejected = 2;
  s.unassigned = 1;
  s.lastReceivedAt = 1796637600;
  s.lastStoredAt = stopped ? 0 : 1796637590;
  s.pid = 4242;
  s.stopped = stopped;
  s.writtenAt = 1796637601;
  return s;
}

std::string Slurp(int fd) {
  std::string text(4096, '\0');
  const ssize_t n = ::pread(fd, text.data(), text.size(), 0);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

TEST(StatusFileTest, ReplacesTheFileWholeAndReadsBackWhatWasWritten) {
  std::vector<ModuleStatus> states = {
      Status(PortState::kOpen, ServerState::kConnected, 24, false),      // running with a backlog
      Status(PortState::kLost, ServerState::kConnected, 0, false),       // the port's device gone
      Status(PortState::kOpen, ServerState::kOverdue, 3, false),         // a frozen server
      Status(PortState::kClosed, ServerState::kUnavailable, 0, true),    // the module's end
  };
  states[1].stoppedWorkers = {"reader", "processing"};
  states[2].otherMachines = 99;
  strivex::testing::TempDir dir;
  const std::string path = (dir / kStatusFileName).string();
  for (const ModuleStatus& state : states) {
    SCOPED_TRACE(std::string(ServerStateName(state.server)) + "/" + std::string(PortStateName(state.port)));
    // A reader holding the previous file keeps seeing it whole: the new one takes its name.
    const int previous = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const std::string before = previous >= 0 ? Slurp(previous) : "";
    std::string error;
    ASSERT_TRUE(WriteStatusFile(path, state, error)) << error;
    if (previous >= 0) {
      EXPECT_EQ(Slurp(previous), before);
      ::close(previous);
    }
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
    const auto read = ReadStatusFile(path, error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(*read, state);
  }
}

// Whatever an earlier start left readable (the file, its temporary), the file is owner-only.
TEST(StatusFileTest, IsOwnerOnly) {
  for (const char* left : {"", "_Strivex_status.json", "_Strivex_status.json.tmp"}) {
    strivex::testing::TempDir dir;
    if (*left != '\0') {
      strivex::testing::WriteFile(dir / left, "{}\n");
      ::chmod((dir / left).c_str(), 0644);
    }
    const ModuleStatus status = Status(PortState::kOpen, ServerState::kConnected, 0, false);
    const mode_t previousMask = ::umask(022);
    std::string error;
    EXPECT_TRUE(WriteStatusFile((dir / kStatusFileName).string(), status, error)) << error;
    ::umask(previousMask);
    struct stat info {};
    EXPECT_EQ(::stat((dir / kStatusFileName).c_str(), &info) == 0 ? info.st_mode & 0777 : 0, 0600u) << left;
  }
}

// A file written before the stopped parts and other machines' rows were counted still reads.
TEST(StatusFileTest, AFileWithoutTheLaterMembersStillReads) {
  std::string text = StatusJson(Status(PortState::kOpen, ServerState::kConnected, 1, false)).Finish();
  for (const std::string member : {", \"stopped_workers\": []", ", \"other_machine\": 0"})
    text.erase(text.find(member), member.size());
  const auto read = StatusFromJson(*ParseJson(text));
  ASSERT_TRUE(read);
  EXPECT_TRUE(read->stoppedWorkers.empty());
}

// On a machine that booted a moment ago (the steady clock near its epoch), the first offer is
// still written at once.
TEST(StatusFileTest, WriterWaitsOutItsPeriodButWritesTheEndAtOnce) {
  strivex::testing::TempDir dir;
  const std::string path = (dir / kStatusFileName).string();
  StatusFileWriter writer(path, std::chrono::hours(1), nullptr,
                          [] { return std::chrono::steady_clock::time_point{} + 20s; });
  std::string error;
  auto pendingIs = [&](int64_t pending) {
    const auto read = ReadStatusFile(path, error);
    return read && read->pending == pending;
  };
  writer.Offer(Status(PortState::kOpen, ServerState::kConnected, 1, false));
  ASSERT_TRUE(strivex::testing::WaitFor([&] { return pendingIs(1); }, 10s));
  writer.Offer(Status(PortState::kOpen, ServerState::kConnected, 2, false));  // within the period
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(pendingIs(1));
  writer.Finish(Status(PortState::kClosed, ServerState::kConnected, 3, true));
  const auto last = ReadStatusFile(path, error);
  ASSERT_TRUE(last) << error;
  EXPECT_TRUE(last->stopped);
  EXPECT_EQ(last->pending, 3);
  EXPECT_GT(last->writtenAt, 0);
}

}  // namespace
}  // namespace strivex
