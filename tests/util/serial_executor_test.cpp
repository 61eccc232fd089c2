// The serial executor: order, the ends of its waits, and its ends.

#include "util/serial_executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

size_t ThreadCount() {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/task"), {}));
}

TEST(SerialExecutorTest, TasksRunInOrderAndTheEndsCutTheRunningWaitShort) {
  enum class End { kFinish, kStop };
  const struct {
    const char* name;
    bool wake;
    bool firstThrows;
    End end;
    int waitGoesOn;         // what the first task's wait answered; -1: it did not wait
    std::vector<int> ran;
    size_t loggedFailures;  // lines in _acterr.log
  } cases[] = {
      {"woken, then finished: the queue runs", true, false, End::kFinish, 1, {1, 2, 3}, 0},
      {"finished while waiting: the queue still runs", false, false, End::kFinish, 0, {1, 2, 3}, 0},
      {"stopped while waiting: the queue is dropped", false, false, End::kStop, 0, {1}, 0},
      {"a task that throws is logged, the next runs", false, true, End::kFinish, -1, {2, 3}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    const testing::ScopedCurrentDir cwd(dir.path());
    SerialExecutor executor(kBackgroundWorker);
    std::mutex mutex;
    std::vector<int> ran;
    std::set<std::thread::id> threads;
    std::atomic<bool> posted{false};  // the queue stays busy until all are in
    std::atomic<bool> waiting{false};
    std::atomic<int> waitGoesOn{-1};
    const auto record = [&](int id) {
      std::lock_guard lock(mutex);
      ran.push_back(id);
      threads.insert(std::this_thread::get_id());
    };
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(executor.Post([&](const SerialExecutor::Token& token) {
      testing::WaitFor([&] { return posted.load(); }, 5s);
      waiting = true;
      if (c.firstThrows) throw std::runtime_error("defect");
      waitGoesOn = token.WaitFor(30s);
      record(1);
    }));
    for (int id : {2, 3}) ASSERT_TRUE(executor.Post([&, id](const SerialExecutor::Token&) { record(id); }));
    posted = true;
    ASSERT_TRUE(testing::WaitFor([&] { return waiting.load(); }, 5s));
    if (c.wake) {
      executor.Wake();
      ASSERT_TRUE(testing::WaitFor([&] { return waitGoesOn >= 0; }, 5s));
    }
    c.end == End::kFinish ? executor.Finish() : executor.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_EQ(waitGoesOn, c.waitGoesOn);
    EXPECT_EQ(ran, c.ran);
    EXPECT_EQ(threads.size(), 1u);
    EXPECT_FALSE(threads.count(std::this_thread::get_id()));
    EXPECT_FALSE(executor.Post([&](const SerialExecutor::Token&) { record(4); }));
    EXPECT_EQ(testing::Occurrences(testing::ReadFile(dir / "_acterr.log"), "defect"), c.loggedFailures);
  }
}

TEST(SerialExecutorTest, AnIdleExecutorHoldsNoThreadAndAKeptWakeEndsTheNextWait) {
  SerialExecutor executor(kBackgroundWorker);
  executor.Wake();  // nobody waits yet
  std::atomic<size_t> busy{0};  // threads while the task runs (a sanitizer may add its own)
  std::atomic<int> waitGoesOn{-1};
  ASSERT_TRUE(executor.Post([&](const SerialExecutor::Token& token) {
    busy = ThreadCount();
    waitGoesOn = token.WaitFor(30s);
  }));
  EXPECT_TRUE(testing::WaitFor([&] { return waitGoesOn == 1; }, 5s));
  EXPECT_TRUE(testing::WaitFor([&] { return ThreadCount() == busy - 1; }, 5s));
  // A later task starts a thread again; a drain waits for it and leaves the executor open.
  for (int round = 0; round < 2; ++round) {
    std::atomic<bool> ran{false};
    ASSERT_TRUE(executor.Post([&](const SerialExecutor::Token& token) { ran = token.SleepFor(50ms); }));
    executor.Drain();
    EXPECT_TRUE(ran);
  }
}

}  // namespace
}  // namespace strivex
