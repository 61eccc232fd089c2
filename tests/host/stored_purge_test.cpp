// A module that runs for months: its stored rows are purged while it runs, not only at start-up.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "host/module_context.h"
#include "host/recording_view.h"
#include "host/result_queue.h"
#include "host/upload_thread.h"
#include "outbox/outbox_store.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

TEST(StoredPurge, StoredRowsGoOnceADayWhileTheModuleRuns) {
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  std::string error;
  auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  ASSERT_TRUE(outbox) << error;
  SampleList samples;
  samples.emplace_back(7006).groups.emplace_back("S_TRV").results.emplace_back().parameterCode = "LEU";
  ASSERT_TRUE(outbox->AddMessage(samples, GetLocalTime(), error)) << error;
  const int64_t start = 2'000'000'000;
  ASSERT_TRUE(outbox->MarkStored(1, start - kStoredKeptSeconds - 60));  // old enough all along

  std::atomic<int64_t> now{start};
  ResultQueue queue;
  testing::RecordingView view;
  ModuleContext context;
  context.resultQueue = &queue;
  context.view = &view;
  context.outbox = outbox.get();
  context.unixClock = [&] { return now.load(); };
  std::thread upload(UploadThread, std::ref(context));

  const struct {
    int64_t at;
    int64_t stored;  // rows left
  } steps[] = {{start + 3600, 1},  // the start-up purged within the day
               {start + 2 * kPurgePeriodSeconds, 0}};
  for (const auto& step : steps) {
    now.store(step.at);
    context.uploadWake.Notify();
    EXPECT_TRUE(testing::WaitFor([&] { return outbox->Stats().stored == step.stored; }, 10s)) << step.at - start;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(outbox->Stats().stored, step.stored);
  }
  context.uploadStop.store(1);
  context.uploadWake.Notify();
  upload.join();
}

}  // namespace
}  // namespace strivex
