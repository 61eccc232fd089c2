// The view vWORK_LIST and a missing WORK_LIST, on a laboratory server of the test's own (other
// tests drop and create the view on the shared one): the query creates the view once when it is
// missing, and gives up after that one creation.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "support/lab_cluster.h"
#include "support/temp_dir.h"
#include "util/format.h"
#include "worklist/work_list_query.h"
#include "worklist/work_list_sent.h"

namespace strivex::testing {
namespace {

constexpr int32_t kMachine = 5;  // the development data's strip analyser

// "id date codes" with the codes sorted: the view's join leaves the order of one request's rows
// open.
std::vector<std::string> Samples(const SampleList& list) {
  std::vector<std::string> out;
  for (const SampleRecord& s : list) {
    std::vector<std::string> codes;
    for (const GroupRecord& g : s.groups) codes.push_back(g.analysisCode);
    std::sort(codes.begin(), codes.end());
    std::string line = Format("%d %04d-%02d-%02d %02d:%02d", s.requestId, s.requestDate.wYear,
                              s.requestDate.wMonth, s.requestDate.wDay, s.requestDate.wHour,
                              s.requestDate.wMinute);
    for (const std::string& code : codes) line += " " + code;
    out.push_back(line);
  }
  return out;
}

class PrivateLabWorkListViewTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(db_.DeschidConectie(lab_->ConnectionString(), 1)) << Log(); }

  std::string Log() const { return ReadFile(dir_ / "_acterr.log"); }
  bool ViewExists() const {
    return lab_->Query("SELECT count(*) FROM pg_views WHERE viewname = 'vwork_list'") ==
           std::vector<LabCluster::Row>{{"1"}};
  }
  bool Query(SampleList& out, bool useView, bool unsentOnly, std::optional<Date> from = {},
             std::optional<Date> to = {}) {
    return WorkListQuery(&db_, kMachine, out, from, to, useView, unsentOnly, nullptr);
  }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};
  platform::MessageBoxRecorder boxes_;
  std::unique_ptr<LabCluster> lab_ = std::make_unique<LabCluster>();
  ScopedEnvironment env_{lab_->Environment()};
  BazaDeDate db_;
};

TEST_F(PrivateLabWorkListViewTest, MissingViewIsCreatedOnceThenReadWithAndWithoutTheSentAnalyses) {
  ASSERT_FALSE(ViewExists());
  SampleList list;
  ASSERT_TRUE(Query(list, true, false, Date{2026, 12, 2}, Date{2026, 12, 3})) << Log();
  EXPECT_TRUE(ViewExists());
  // The view's dates are the requests' (LAB_REQUESTS), not the work list's.
  EXPECT_EQ(Samples(list), (std::vector<std::string>{"1023 2026-12-02 09:30 S_CUL S_SED S_TRV",
                                                     "1027 2026-12-03 08:40 S_TRV"}));
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "\r\n************"), 2u) << log;  // the open and the drop
  EXPECT_EQ(Occurrences(log, "\r\nEroare: IDispatch error #3127 - 'SELECT * FROM vWORK_LIST WHERE "
                       "MachineID=5 AND (RequestedDate >= '2026/12/2 0:0') AND (RequestedDate <= "
                       "'2026/12/3 23:59') order by [RequestID]'"),
            1u)
      << log;
  EXPECT_EQ(Occurrences(log, "drop view vWORK_LIST"), 1u) << log;

  // Unsent only through the view: its rows carry the name the clause gives them, so the view is
  // read, never taken for missing and dropped again.
  ASSERT_TRUE(RecordWorkListSent(db_, kMachine, 1023, {"S_SED"})) << Log();
  ASSERT_TRUE(Query(list, true, true)) << Log();
  EXPECT_EQ(Samples(list), (std::vector<std::string>{
                               "1021 2026-12-01 07:45 S_TRV", "1022 2026-12-01 08:10 S_TRV",
                               "1023 2026-12-02 09:30 S_CUL S_TRV", "1025 2026-11-28 11:20 S_TRV",
                               "1027 2026-12-03 08:40 S_TRV"}));
  EXPECT_EQ(Log(), log);
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(PrivateLabWorkListViewTest, TableStillMissingAfterTheViewWasCreatedEndsFalse) {
  // This session looks for WORK_LIST where there is none; the view goes to dbo all the same.
  ASSERT_TRUE(db_.SQLCommand("SET search_path = public", 0)) << Log();
  SampleList list;
  list.emplace_back(42);
  EXPECT_FALSE(Query(list, false, false));
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(ViewExists());
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "\r\nEroare: IDispatch error #3127 - 'SELECT * FROM WORK_LIST WHERE "
                       "MachineID=5 order by [RequestID]'"),
            2u)
      << log;
  EXPECT_EQ(Occurrences(log, "CREATE VIEW"), 0u) << log;  // created, not refused

  // The running flag was cleared on the way out.
  ASSERT_TRUE(db_.SQLCommand("SET search_path = dbo, public", 0)) << Log();
  EXPECT_TRUE(Query(list, false, false)) << Log();
  EXPECT_EQ(list.size(), 5u);
}

TEST_F(PrivateLabWorkListViewTest, ViewThatCannotBeCreatedEndsFalse) {
  lab_->Query("ALTER TABLE dbo.WORK_LIST RENAME TO work_list_gone");
  SampleList list;
  EXPECT_FALSE(Query(list, true, false));
  EXPECT_FALSE(ViewExists());
  const std::string log = Log();
  EXPECT_EQ(Occurrences(log, "'SELECT * FROM vWORK_LIST WHERE MachineID=5 order by [RequestID]'"), 1u)
      << log;
  EXPECT_EQ(Occurrences(log, "Eroare la executare comanda SQL ('CREATE VIEW dbo.vWORK_LIST AS SELECT "
                       "l.RequestedDate AS RequestedDate, w.* FROM dbo.WORK_LIST w INNER JOIN "
                       "dbo.LAB_REQUESTS l ON w.RequestID = l.ID')"),
            1u)
      << log;
}

}  // namespace
}  // namespace strivex::testing
