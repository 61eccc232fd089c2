// A line the serial device's loss cut in two, on the module without its window: the adapter is
// unplugged in the middle of a report and another analyser's report arrives on the same port.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "host/module_core.h"
#include "host/processing_thread.h"
#include "host/recording_view.h"
#include "outbox/outbox_store.h"
#include "platform/message_box.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/format.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::ReadFile;
using testing::WaitFor;

TEST(TornLine, ALineTheDeviceLossCutIsLeftOutAndTold) {
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  testing::ModuleRig rig(dir.path(), 65541);
  platform::MessageBoxRecorder boxes;
  testing::RecordingView view;
  HostRecordBuffer host(5, "Strivex", rig.LocalPath(), 1);
  host.record().SetFlag(HostRecord::kServerUnavailable, 1);
  ModuleCore core(host.record(), view);
  core.Initialize(0x1234);
  ASSERT_TRUE(core.port().IsOpen());

  const std::string report = ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  const size_t cut = report.find(" COL ") + 5;
  rig.pty().Write(report.substr(0, cut));
  ASSERT_TRUE(WaitFor([&] { return core.context().receive->length.load() == static_cast<int32_t>(cut); }, 5s));
  rig.pty().CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return core.PortLost(); }, 5s));
  testing::PtyPair replugged;
  const std::filesystem::path link = dir.path() / "dev" / "ttyS0";
  std::filesystem::remove(link);
  std::filesystem::create_symlink(replugged.slavePath(), link);
  ASSERT_TRUE(WaitFor([&] { return core.port().IsOpen(); }, 10s)) << "not reopened";
  // The new report's first line end completes the torn " COL " line.
  std::string next = report;
  next.replace(next.find("ID proba:30512"), 14, "ID proba:30513");
  replugged.Write(next);
  ASSERT_TRUE(WaitFor([&] { return view.RowCount() == 2; }, 15s));

  std::map<int32_t, std::vector<std::string>> results;
  for (const OutboxRow& row : core.outbox()->List(std::nullopt)) {
    results[row.requestId].push_back(row.parameterCode + "=" + row.value);
  }
  EXPECT_EQ(results[30512].size(), 11u) << ::testing::PrintToString(results[30512]);
  EXPECT_EQ(std::count(results[30512].begin(), results[30512].end(), "KET=neg"), 1);
  EXPECT_EQ(std::count_if(results[30512].begin(), results[30512].end(),
                          [](const std::string& r) { return r.starts_with("COL="); }),
            0);
  EXPECT_EQ(results[30513].size(), 12u);
  EXPECT_EQ(results[30513].back(), "COL=yellow");
  const std::string told = Format(kTornLineOfRequest, " COL ", 30512);
  EXPECT_NE(ReadFile(dir.path() / "_acterr.log").find(told), std::string::npos) << ReadFile(dir.path() / "_acterr.log");
  const std::vector<std::string> notices = view.Notices();
  EXPECT_EQ(std::count(notices.begin(), notices.end(), told), 1);
  core.ShutdownModule();
}

}  // namespace
}  // namespace strivex
