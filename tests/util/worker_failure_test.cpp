// Workers that meet a failure nobody expected, and the rate limit that must not count from the
// steady clock's epoch (the machine's boot).

#include "util/worker_failure.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "util/steady_clock.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

size_t Count(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(WorkerFailureTest, EachFailureIsToldOnceAndTheWorkerRestartsOrStops) {
  const struct {
    const char* name;
    std::vector<std::string> failures;  // thrown by the body's runs before one that returns
    bool restarts;
    bool ranToItsEnd;
    size_t loggedLines;
    std::vector<std::string> stopped;
  } cases[] = {
      {"the same failure three times, restarted", {"disc plin", "disc plin", "disc plin"}, true, true, 1, {}},
      {"two failures, restarted", {"A", "B", "A"}, true, true, 3, {}},
      {"a worker that cannot go on", {"A"}, false, false, 1, {"processing"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    const testing::ScopedCurrentDir cwd(dir.path());
    WorkerWatch watch;
    std::vector<std::string> notices;
    watch.SetNotify([&](const std::string& notice) { notices.push_back(notice); });
    size_t run = 0;
    int pauses = 0;
    const auto body = [&] {
      if (run < c.failures.size()) throw std::runtime_error(c.failures[run++]);
    };
    RestartPause pause;
    if (c.restarts) pause = [&](std::chrono::milliseconds) { return ++pauses > 0; };
    EXPECT_EQ(RunWorker(kProcessingWorker, body, &watch, pause), c.ranToItsEnd);
    EXPECT_EQ(Count(testing::ReadFile(dir / "_acterr.log"), "Firul processing"), c.loggedLines);
    EXPECT_EQ(watch.StoppedWorkers(), c.stopped);
    EXPECT_EQ(notices.size(), c.stopped.size());
    EXPECT_EQ(pauses, c.restarts ? static_cast<int>(c.failures.size()) : 0);
  }
}

TEST(WorkerFailureTest, AStopDuringTheBackOffEndsTheWorker) {
  const testing::TempDir dir;
  const testing::ScopedCurrentDir cwd(dir.path());
  WorkerWatch watch;
  int runs = 0;
  const auto body = [&] {
    ++runs;
    throw 7;
  };
  EXPECT_FALSE(RunWorker(kUploadWorker, body, &watch, [](std::chrono::milliseconds) { return false; }));
  EXPECT_EQ(runs, 1);
  EXPECT_TRUE(watch.StoppedWorkers().empty());
  EXPECT_NE(testing::ReadFile(dir / "_acterr.log").find("Firul upload: eroare neasteptata: exceptie de tip necunoscut"),
            std::string::npos);
}

// Near the clock's epoch, as on a machine that has just booted, the first call is due at once.
TEST(PacerTest, TheFirstCallIsDueWhateverTheUptime) {
  std::chrono::steady_clock::time_point now{};
  Pacer pacer(2s, [&] { return now; });
  const struct {
    std::chrono::milliseconds at;
    bool due;
  } calls[] = {{0ms, true}, {1999ms, false}, {2000ms, true}, {3000ms, false}, {10000ms, true}};
  for (const auto& call : calls) {
    now = std::chrono::steady_clock::time_point{} + call.at;
    EXPECT_EQ(pacer.Due(), call.due) << call.at.count();
  }
}

}  // namespace
}  // namespace strivex
