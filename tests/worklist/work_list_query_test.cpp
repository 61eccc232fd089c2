// The work list read from the development laboratory server: rows of a machine id of the test's
// own, grouped into samples the way the work-list dialog receives them.

#include "worklist/work_list_query.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "db/db_session_fixture.h"
#include "support/wait_for.h"
#include "util/format.h"
#include "util/local_time.h"
#include "worklist/lab_work_list.h"
#include "worklist/work_list_sent.h"

namespace strivex::testing {
namespace {

using namespace std::chrono_literals;

// Thursday 5 March 2026, 09:07:03.
const LocalTime kQueryTime{2026, 3, 4, 5, 9, 7, 3, 250};

bool Query(BazaDeDate& db, int32_t machine, SampleList& out, std::optional<Date> from = {},
           std::optional<Date> to = {}, bool unsentOnly = false,
           const std::vector<int32_t>* ids = nullptr) {
  return WorkListQuery(&db, machine, out, from, to, false, unsentOnly, ids);
}

struct RowsCase {
  const char* name;
  std::vector<WorkListRow> rows;
  std::vector<std::string> samples;  // as Describe writes them
};

// At most six rows a case: the server then sorts them without reordering rows of one request,
// so "the order of the rows" is the order they were inserted in.
const std::vector<RowsCase> kRowsCases{
    {"ThreeRowsOfFiveAndTwoOfSevenGiveTwoSamplesInRequestOrder",
     {{7, "SER", "Ionescu Ana", "LEU", "2026-12-02 10:05"},
      {7, "SER", "Ionescu Ana", "NIT", "2026-12-02 10:05"},
      {5, "URINA", "Pop Ion", "BIL", "2026-12-01 07:45"},
      {5, "URINA", "Pop Ion", "UBG", "2026-12-01 07:45"},
      {5, "URINA", "Pop Ion", "GLU", "2026-12-01 07:45"}},
     {"5|Pop Ion|URINA|BIL/URINA,UBG/URINA,GLU/URINA|2026-12-01 07:45:00 (2)",
      "7|Ionescu Ana|SER|LEU/SER,NIT/SER|2026-12-02 10:05:00 (3)"}},
    // Each analysis carries the sample type known when its row was read.
    {"EmptySampleCodesKeepTheLastNonEmptyOne",
     {{9, "SER", "P", "A", "2026-12-01 07:45"},
      {9, "URINA", "P", "B", "2026-12-01 07:45"},
      {9, std::nullopt, "P", "C", "2026-12-01 07:45"},
      {9, "", "P", "D", "2026-12-01 07:45"}},
     {"9|P|URINA|A/SER,B/URINA,C/URINA,D/URINA|2026-12-01 07:45:00 (2)"}},
    {"EmptyDateTakesTheTimeOfTheQuery",
     {{11, "SER", "Q", "A", std::nullopt}},
     {"11|Q|SER|A/SER|2026-03-05 09:07:03 (4)"}},
    {"DateAndPatientComeFromTheLastRowOfTheRequest",
     {{12, "SER", "Old Name", "A", "2026-12-01 07:45"}, {12, "SER", "New Name", "B", std::nullopt},
      {13, "SER", "R", "A", "1999-12-31 23:59:59"}},
     {"12|New Name|SER|A/SER,B/SER|2026-03-05 09:07:03 (4)",
      "13|R|SER|A/SER|1999-12-31 23:59:59 (5)"}},
    {"Windows1250TextsComeBackAsTheyWent",
     {{14, "URIN\xC3", "\xAAtef\xE3nescu Ana", "S_TRV", "2026-12-01 07:45"}},
     {"14|\xAAtef\xE3nescu Ana|URIN\xC3|S_TRV/URIN\xC3|2026-12-01 07:45:00 (2)"}},
    {"NoRowsGiveAnEmptyList", {}, {}},
};

class WorkListQueryTest : public LabWorkListTest {};

TEST_F(WorkListQueryTest, GroupsTheRowsIntoSamples) {
  const ScopedClock clock(kQueryTime);
  for (const RowsCase& c : kRowsCases) {
    SCOPED_TRACE(c.name);
    RemoveRows();
    InsertWorkList(db_, machine_, c.rows);
    SampleList list;
    list.emplace_back(999);  // whatever the list held is replaced
    ASSERT_TRUE(Query(db_, machine_, list)) << ErrorLog();
    EXPECT_EQ(Describe(list), c.samples);
  }
  EXPECT_EQ(ErrorLog(), "");
}

// The ids of the list with their analyses: "21:X1", "23:X3,X4".
std::vector<std::string> IdsAndCodes(const SampleList& list) {
  std::vector<std::string> out;
  for (const SampleRecord& s : list) {
    std::string text = std::to_string(s.requestId) + ":";
    for (const GroupRecord& g : s.groups) text += g.analysisCode + (g.next ? "," : "");
    out.push_back(text);
  }
  return out;
}

struct FilterCase {
  const char* name;
  std::optional<Date> from, to;
  bool unsentOnly;
  std::optional<std::vector<int32_t>> ids;
  std::vector<std::pair<int32_t, std::vector<std::string>>> sent;  // recorded first
  std::vector<std::string> expected;
};

TEST_F(WorkListQueryTest, FiltersByDayRequestAndWhatWasSent) {
  const std::vector<FilterCase> cases{
      {"Everything", {}, {}, false, {}, {}, {"21:X1", "22:X2", "23:X3,X4", "24:X5"}},
      {"FromTheFirstMinuteOfTheDay", Date{2026, 12, 1}, {}, false, {}, {}, {"22:X2", "23:X3,X4", "24:X5"}},
      {"ToTheLastMinuteOfTheDay", {}, Date{2026, 12, 3}, false, {}, {}, {"21:X1", "22:X2", "23:X3,X4"}},
      {"BetweenDays", Date{2026, 12, 1}, Date{2026, 12, 3}, false, {}, {}, {"22:X2", "23:X3,X4"}},
      {"OfRequests", {}, {}, false, std::vector<int32_t>{24, 21, 99}, {}, {"21:X1", "24:X5"}},
      {"OfNoRequest", {}, {}, false, std::vector<int32_t>{}, {}, {}},
      {"UnsentOnly", {}, {}, true, {}, {{23, {"X3"}}, {21, {"X1"}}, {99, {"X2"}}},
       {"22:X2", "23:X4", "24:X5"}},
      {"SentButNotAskedToLeaveOut", {}, {}, false, {}, {{22, {"X2"}}},
       {"21:X1", "22:X2", "23:X3,X4", "24:X5"}},
      {"UnsentBetweenDaysOfRequests", Date{2026, 12, 1}, Date{2026, 12, 4}, true,
       std::vector<int32_t>{23, 24}, {{23, {"X4"}}}, {"23:X3", "24:X5"}},
  };
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveRows();
    InsertWorkList(db_, machine_,
                   {{21, "SER", "A", "X1", "2026-11-30 23:59"}, {22, "SER", "B", "X2", "2026-12-01 00:00"},
                    {23, "SER", "C", "X3", "2026-12-03 23:59"}, {23, "SER", "C", "X4", "2026-12-03 23:59"},
                    {24, "SER", "D", "X5", "2026-12-04 00:00"}});
    for (const auto& [request, codes] : c.sent) {
      ASSERT_TRUE(RecordWorkListSent(db_, machine_, request, codes)) << ErrorLog();
    }
    SampleList list;
    ASSERT_TRUE(Query(db_, machine_, list, c.from, c.to, c.unsentOnly, c.ids ? &*c.ids : nullptr))
        << ErrorLog();
    EXPECT_EQ(IdsAndCodes(list), c.expected);
  }
  EXPECT_EQ(ErrorLog(), "");
}

TEST_F(WorkListQueryTest, QueryWhileAnotherRunsReturnsAtOnceAndLeavesTheListAlone) {
  InsertWorkList(db_, machine_, {{5, "SER", "P", "A", "2026-12-01 07:45"}});
  // Whichever query comes first waits for the session's busy flag inside its open; the other
  // must return at once, its list as it was.
  db_.busy.store(1);
  struct Run {
    SampleList list;
    std::atomic<bool> done{false};
    bool result = false;
  } runs[2];
  for (Run& run : runs) run.list.emplace_back(42);
  std::thread first([&] {
    runs[0].result = Query(db_, machine_, runs[0].list);
    runs[0].done.store(true);
  });
  std::thread second([&] {
    runs[1].result = Query(db_, machine_, runs[1].list);
    runs[1].done.store(true);
  });
  ASSERT_TRUE(WaitFor([&] { return runs[0].done.load() || runs[1].done.load(); }, 5s));
  const Run& refused = runs[0].done.load() ? runs[0] : runs[1];
  const Run& waiting = runs[0].done.load() ? runs[1] : runs[0];
  EXPECT_TRUE(refused.result);
  EXPECT_EQ(IdsAndCodes(refused.list), std::vector<std::string>{"42:"});
  EXPECT_FALSE(waiting.done.load());

  db_.busy.store(0);
  first.join();
  second.join();
  EXPECT_TRUE(waiting.result);
  EXPECT_EQ(IdsAndCodes(waiting.list), std::vector<std::string>{"5:A"});
}

TEST_F(WorkListQueryTest, NullSessionEndsFalseWithAnEmptyListAndLetsTheNextQueryRun) {
  SampleList list;
  list.emplace_back(42);
  EXPECT_FALSE(WorkListQuery(nullptr, machine_, list, {}, {}, false, false, nullptr));
  EXPECT_TRUE(list.empty());
  InsertWorkList(db_, machine_, {{5, "SER", "P", "A", "2026-12-01 07:45"}});
  EXPECT_TRUE(Query(db_, machine_, list));
  EXPECT_EQ(IdsAndCodes(list), std::vector<std::string>{"5:A"});
}

TEST_F(WorkListQueryTest, RefusedStatementOtherThanAMissingTableEndsFalseWithoutTouchingTheView) {
  SampleList list;
  list.emplace_back(42);
  // A date the server cannot read is a conversion failure, not a missing table.
  EXPECT_FALSE(Query(db_, machine_, list, Date{2026, 13, 40}));
  EXPECT_TRUE(list.empty());
  EXPECT_NE(db_.lastErrorCode.load(), 3127);
  const std::string log = ErrorLog();
  EXPECT_EQ(log.find("vWORK_LIST"), std::string::npos) << log;
  EXPECT_NE(log.find("RequestDate >= '2026/13/40 0:0'"), std::string::npos) << log;
}

// The texts the laboratory's server receives, whole.
TEST(WorkListClauseTest, IsTheStatementTextTheServerExpects) {
  const std::vector<int32_t> ids{1021, -3};
  const std::vector<int32_t> none;
  struct Case {
    std::string clause;
    std::string expected;
  };
  const std::vector<Case> cases{
      {WorkListClause(5, {}, {}, false, false, nullptr), "WHERE MachineID=5 order by [RequestID]"},
      {WorkListClause(-7, Date{2026, 1, 9}, Date{2026, 12, 31}, false, false, &none),
       "WHERE MachineID=-7 AND (RequestDate >= '2026/1/9 0:0') AND (RequestDate <= '2026/12/31 "
       "23:59') AND RequestID in (0) order by [RequestID]"},
      {WorkListClause(5, Date{2026, 1, 9}, Date{2026, 2, 1}, true, true, &ids),
       "WHERE MachineID=5 AND (RequestedDate >= '2026/1/9 0:0') AND (RequestedDate <= '2026/2/1 "
       "23:59') AND NOT EXISTS (select * from work_list_sent wls where wls.MachineID=5 and "
       "wls.anCode=Work_list.analyseCode and wls.requestid=work_list.Requestid) AND RequestID in "
       "(1021,-3,0) order by [RequestID]"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.clause, c.expected);
  EXPECT_EQ(WorkListTable(false, false), "WORK_LIST");
  EXPECT_EQ(WorkListTable(false, true), "WORK_LIST");
  EXPECT_EQ(WorkListTable(true, false), "vWORK_LIST");
  EXPECT_EQ(WorkListTable(true, true), "vWORK_LIST Work_list");
}

}  // namespace
}  // namespace strivex::testing
