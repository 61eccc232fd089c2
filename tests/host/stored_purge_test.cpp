// A module that runs for months: its stored rows are purged while it runs, not only at start-up.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "host/upload_rig.h"
#include "host/upload_thread.h"
#include "outbox/outbox_store.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

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
  testing::UploadRig rig(outbox.get());
  ModuleContext& context = rig.context;
  context.upload.SetUnixClock([&] { return now.load(); });
  std::thread upload(UploadThread, context.ForUpload());

  // The start-up purged within the day: the row stays until a day has passed.
  now.store(start + 3600);
  context.upload.wake().Notify();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(outbox->Stats().stored, 1);
  now.store(start + 2 * kPurgePeriodSeconds);
  context.upload.wake().Notify();
  EXPECT_TRUE(testing::WaitFor([&] { return outbox->Stats().stored == 0; }, std::chrono::seconds(10)));
  context.upload.RequestStop();
  context.upload.wake().Notify();
  upload.join();
}

}  // namespace
}  // namespace strivex
