// The laboratory server goes away under the module and comes back: a server of the test's own
// (stopped and started with its own tools), the analyser on a pseudo-terminal, the real module
// core. Nothing received may be lost, nothing stored twice, nobody has to click anything.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "host/module_core.h"
#include "host/status_panel.h"
#include "host/result_queue.h"
#include "host/startup_steps.h"
#include "host/recording_view.h"
#include "host/upload_thread.h"
#include "outbox/outbox_store.h"
#include "platform/message_box.h"
#include "support/link_holder.h"
#include "support/lab_cluster.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/format.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::LabCluster;
using testing::WaitFor;

// The one-sample report under a request id of the test's choosing: LEU, NIT, GLU ... in order.
std::string Report(int requestId) {
  std::string report = testing::ReadFile(std::string(STRIVEX_TEST_DATA_DIR) + "/reports/one-sample.txt");
  const std::string from = "ID proba:30512";
  report.replace(report.find(from), from.size(), "ID proba:" + std::to_string(requestId));
  return report;
}

class PrivateLabOutageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig_.UseServer(lab_->ConnectionString());
  }

  std::unique_ptr<ModuleCore> Start() {
    host_ = std::make_unique<HostRecordBuffer>(5, "Strivex", rig_.LocalPath(), 1);
    auto core = std::make_unique<ModuleCore>(host_->record(), view_);
    core->Initialize(0x1234);
    return core;
  }

  // Each request's detail ids in the order the server stored them.
  std::map<std::string, std::vector<std::string>> StoredByRequest() {
    std::map<std::string, std::vector<std::string>> stored;
    for (const auto& row : lab_->Query("SELECT request_id, detail_id FROM lab_results ORDER BY id")) {
      stored[row[0]].push_back(row[1]);
    }
    return stored;
  }

  // Every request of [first, first + count) stored once, each with the one report's results in
  // the report's order.
  void ExpectEachStoredOnceInOrder(int first, int count) {
    const auto stored = StoredByRequest();
    ASSERT_EQ(stored.size(), static_cast<size_t>(count));
    const std::vector<std::string>& reference = stored.at(std::to_string(first));
    EXPECT_EQ(reference.size(), 12u);
    for (int id = first; id < first + count; ++id) {
      EXPECT_EQ(stored.at(std::to_string(id)), reference) << "request " << id;
    }
  }

  // The module stores one report, then the server freezes and another report arrives; returns
  // once its first statement is on its way to the frozen server.
  std::unique_ptr<ModuleCore> StartThenFreezeUnderASecondReport(int first) {
    auto core = Start();
    rig_.pty().Write(Report(first));
    if (!WaitFor([&] { return StoredByRequest().size() == 1; }, 20s)) return nullptr;
    lab_->Freeze();
    rig_.pty().Write(Report(first + 1));
    if (!WaitFor([&] { return core->context().server.WorkSince().has_value(); }, 20s)) return nullptr;
    return core;
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  std::unique_ptr<LabCluster> lab_ = std::make_unique<LabCluster>();
  testing::ScopedEnvironment env_{lab_->Environment()};
  testing::ModuleRig rig_{dir_.path(), 65541};
  platform::MessageBoxRecorder boxes_;
  testing::RecordingView view_;
  std::unique_ptr<HostRecordBuffer> host_;
};

TEST_F(PrivateLabOutageTest, ServerStoppedForTwentySecondsInAStreamOfReportsLosesNothing) {
  auto core = Start();
  ASSERT_EQ(core->serverSession()->connected.load(), 1);
  constexpr int kFirst = 41000;
  constexpr int kReports = 6;
  const auto send = [&](int id) {
    rig_.pty().Write(Report(id));
    // The silence rule ends each report; the next one follows like the analyser's next page.
    ASSERT_TRUE(WaitFor([&] { return view_.RowCount() == static_cast<size_t>(id - kFirst + 1); }, 15s));
  };
  send(kFirst);
  ASSERT_TRUE(WaitFor([&] { return StoredByRequest().size() == 1; }, 10s));
  lab_->Stop();
  const auto stoppedAt = std::chrono::steady_clock::now();
  for (int id = kFirst + 1; id < kFirst + 4; ++id) send(id);
  std::this_thread::sleep_until(stoppedAt + 20s);
  EXPECT_GT(core->context().upload.backlog().pending, 0);
  EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 1);
  lab_->Start();
  for (int id = kFirst + 4; id < kFirst + kReports; ++id) send(id);
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == 12 * kReports; }, 60s))
      << core->outbox()->Stats().pending << " pending";
  ExpectEachStoredOnceInOrder(kFirst, kReports);
  if (HasFailure()) ADD_FAILURE() << testing::ReadFile(dir_ / "_acterr.log");
  EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 0);
  EXPECT_EQ(core->context().upload.backlog().rejected, 0);
  EXPECT_TRUE(boxes_.Texts().empty()) << "the outage was told " << boxes_.Texts().size() << " times";
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{"Nu pot accesa baza de date de pe server !"})
      << "once per outage";
  core->ShutdownModule();
}

TEST_F(PrivateLabOutageTest, ServerDownAtStartUpIsReachedLaterWithoutTheOperator) {
  lab_->Stop();
  auto core = Start();
  EXPECT_TRUE(core->port().IsOpen());
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 1);
  rig_.pty().Write(Report(42000));
  ASSERT_TRUE(WaitFor([&] { return core->context().upload.backlog().pending == 12; }, 15s));

  lab_->Start();
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == 12; }, 60s))
      << testing::ReadFile(dir_ / "_acterr.log");
  ExpectEachStoredOnceInOrder(42000, 1);
  EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 0);
  {
    EXPECT_EQ(core->context().server.Ids().result, 5);
    EXPECT_EQ(testing::CodesOf(core->context().server).investigation.size(), 12u) << "the code lists are loaded on reconnecting";
  }
  EXPECT_TRUE(boxes_.Texts().empty());
  EXPECT_EQ(view_.Notices(), std::vector<std::string>{"Nu pot accesa baza de date de pe server !"})
      << "the start-up's notice alone tells of this outage";
  EXPECT_EQ(view_.Backlogs(), (std::vector<std::pair<int64_t, int64_t>>{{0, 0}}));
  core->ShutdownModule();
}

TEST_F(PrivateLabOutageTest, AFrozenServerIsShownCutAtTheDeadlineAndCaughtUpOnAfterTheThaw) {
  BazaDeDate local;  // a deadline long enough for the panel to tell first
  ASSERT_TRUE(local.DeschidBazaLocala(rig_.LocalPath(), "quomar", 1));
  ASSERT_TRUE(local.SQLCommand("INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES ('Timeout Comanda', '12')", 0));
  constexpr int kFirst = 44000;
  auto core = StartThenFreezeUnderASecondReport(kFirst);
  ASSERT_TRUE(core) << testing::ReadFile(dir_ / "_acterr.log");
  // A third report arrives while the upload waits: the backlog is counted in the outbox itself.
  rig_.pty().Write(Report(kFirst + 2));
  StatusPanelModel panel;
  EXPECT_TRUE(WaitFor([&] { return panel.Paint(core->StatusNow(0)).lines[0].text == "Baza Server : - Nu raspunde"; }, 15s));
  EXPECT_EQ(panel.Paint(core->StatusNow(0)).lines[0].colour, kRed);
  EXPECT_TRUE(WaitFor([&] { return BacklogLine(core->StatusNow(0)).text == "Rezultate : - 24 de trimis"; }, 15s))
      << BacklogLine(core->StatusNow(0)).text;
  // Past its deadline the statement counts as a lost connection, and the reconnection takes over.
  EXPECT_TRUE(WaitFor([&] { return host_->record().Flag(HostRecord::kServerUnavailable) == 1; }, 30s));
  lab_->Thaw();
  ASSERT_TRUE(WaitFor([&] { return core->outbox()->Stats().stored == 36; }, 90s))
      << testing::ReadFile(dir_ / "_acterr.log");
  // The cut statement may have been stored as the server woke, then sent again: once at most.
  size_t rows = 0;
  for (auto [request, details] : StoredByRequest()) {
    rows += details.size();
    std::sort(details.begin(), details.end());
    details.erase(std::unique(details.begin(), details.end()), details.end());
    EXPECT_EQ(details.size(), 12u) << "request " << request;
  }
  EXPECT_TRUE(rows == 36 || rows == 37) << rows;
  core->ShutdownModule();
}

TEST_F(PrivateLabOutageTest, StopWithTheServerFrozenEndsInTimeAndKeepsTheResultsPending) {
  auto core = StartThenFreezeUnderASecondReport(45000);
  ASSERT_TRUE(core) << testing::ReadFile(dir_ / "_acterr.log");
  const auto start = std::chrono::steady_clock::now();
  core->ShutdownModule();
  // The login time-out (5 s) and two seconds, with room for a slow machine.
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  lab_->Thaw();
  std::string error;
  const auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kExisting, error);
  ASSERT_TRUE(outbox) << error;
  const OutboxStats stats = outbox->Stats();
  EXPECT_EQ(stats.stored, 12);
  EXPECT_EQ(stats.pending, 12);
}

TEST_F(PrivateLabOutageTest, ARefusedResultEndsRejectedWithoutHoldingUpTheOthersAndCanBePutBack) {
  BazaDeDate session;
  ASSERT_TRUE(session.DeschidConectie(lab_->ConnectionString(), 1));
  std::string error;
  auto outbox = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  ASSERT_TRUE(outbox) << error;
  int64_t now = 1'000'000;
  ResultQueue queue;
  ModuleContext context;
  context.upload.Attach(&queue, outbox.get());
  context.shown.Attach(&view_, nullptr);
  context.server.Attach(&session);
  context.server.SetMachineIds({5, 5});
  context.upload.SetUnixClock([&] { return now; });
  {
    BazaDeDate codes;
    ASSERT_TRUE(codes.DeschidConectie(lab_->ConnectionString(), 1));
    CodeLists lists;
    LoadCodeLists(codes, 5, lists);
    context.server.SetCodes(std::move(lists));
  }
  ASSERT_FALSE(testing::CodesOf(context.server).investigation.empty());
  // Two ways a server refuses a row: a code it does not know (a plain failure), and a value it
  // cannot convert (code 3079, which SQLCommand lets through as if it had been stored).
  const struct {
    const char* code;
    const char* value;
  } results[] = {{"LEU", "value of LEU"}, {"NOPE", "value of NOPE"}, {"SG", "1.0#refuz-conversie#"},
                 {"GLU", "value of GLU"}};
  SampleList samples;
  SampleRecord& sample = samples.emplace_back(43000);
  GroupRecord& group = sample.groups.emplace_back("S_TRV");
  for (const auto& r : results) {
    ResultRecord& result = group.results.emplace_back();
    result.parameterCode = r.code;
    result.value = r.value;
  }
  ASSERT_TRUE(outbox->AddMessage(samples, GetLocalTime(), error)) << error;

  // Refused four times, a minute apart; the rows around them are stored at the first pass.
  for (int pass = 1; pass <= 4; ++pass) {
    SCOPED_TRACE(pass);
    EXPECT_EQ(DrainOutbox(context.ForUpload()).sent, pass == 1 ? 4 : 2);
    EXPECT_EQ(DrainOutbox(context.ForUpload()).sent, 0) << "retried before its minute";
    now += context.upload.retryPolicy().delaySeconds;
  }
  EXPECT_EQ(lab_->Query("SELECT value FROM lab_results ORDER BY id"),
            (std::vector<LabCluster::Row>{{"value of LEU"}, {"value of GLU"}}));
  const std::vector<OutboxRow> rejected = outbox->List(OutboxState::kRejected);
  ASSERT_EQ(rejected.size(), 2u);
  for (size_t i = 0; i < rejected.size(); ++i) {
    EXPECT_EQ(rejected[i].parameterCode, results[i + 1].code);
    EXPECT_EQ(rejected[i].attempts, 4);
    EXPECT_FALSE(rejected[i].lastError.empty());
  }
  EXPECT_EQ(context.upload.backlog().rejected, 2);
  const std::string errorLog = testing::ReadFile(dir_ / "_acterr.log");
  EXPECT_NE(errorLog.find("NOPE"), std::string::npos);
  EXPECT_NE(errorLog.find("refuzat de server"), std::string::npos);
  EXPECT_EQ(outbox->Stats().stored, 2);

  // The laboratory adds the code; the administrator puts that row back in line.
  CodeLists lists = testing::CodesOf(context.server);
  lists.investigation.push_back({lists.investigation.front().investigationId, "S_TRV",
                                 lists.investigation.front().detailId, "NOPE"});
  context.server.SetCodes(std::move(lists));
  const int64_t id = rejected[0].id;
  EXPECT_EQ(outbox->Retry(std::span(&id, 1)), std::vector<int64_t>{id});
  EXPECT_EQ(DrainOutbox(context.ForUpload()).sent, 1);
  EXPECT_EQ(outbox->Stats().stored, 3);
  EXPECT_EQ(context.upload.backlog().rejected, 1);
}

}  // namespace
}  // namespace strivex
