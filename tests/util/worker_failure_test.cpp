// Workers that meet a failure nobody expected.

#include "util/worker_failure.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

TEST(WorkerFailureTest, EachFailureIsToldOnceAndTheWorkerRestartsOrStops) {
  const struct {
    const char* name;
    std::vector<std::string> failures;  // thrown by the body's runs before one that returns
    int restarts;                       // back-offs that end in a new start; -1: no restart
    bool ranToItsEnd;
    size_t loggedLines;
    std::vector<std::string> stopped;
  } cases[] = {
      {"the same failure three times, restarted", {"disc plin", "disc plin", "disc plin"}, 3, true, 1, {}},
      {"two failures, restarted", {"A", "B", "A"}, 3, true, 3, {}},
      {"a stop during the back-off", {"A", "A"}, 0, false, 1, {}},
      {"a worker that cannot go on", {"A"}, -1, false, 1, {"processing"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    const testing::ScopedCurrentDir cwd(dir.path());
    WorkerWatch watch;
    std::vector<std::string> notices;
    watch.SetNotify([&](const std::string& notice) { notices.push_back(notice); });
    size_t run = 0;
    const auto body = [&] {
      if (run < c.failures.size()) throw std::runtime_error(c.failures[run++]);
    };
    int pauses = 0;
    RestartPause pause;
    if (c.restarts >= 0) pause = [&](std::chrono::milliseconds) { return ++pauses <= c.restarts; };
    EXPECT_EQ(RunWorker(kProcessingWorker, body, &watch, pause), c.ranToItsEnd);
    EXPECT_EQ(testing::Occurrences(testing::ReadFile(dir / "_acterr.log"), "Firul processing"), c.loggedLines);
    EXPECT_EQ(watch.StoppedWorkers(), c.stopped);
    EXPECT_EQ(notices.size(), c.stopped.size());
  }
}

}  // namespace
}  // namespace strivex
