// Analyses recorded as sent to the instrument, on the development laboratory server.

#include "worklist/work_list_sent.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "db/db_error.h"
#include "worklist/lab_work_list.h"

namespace strivex::testing {
namespace {

class WorkListSentTest : public LabWorkListTest {
 protected:
  std::vector<std::string> Sent() {
    std::vector<std::string> rows = SentRows(db_, machine_);
    std::sort(rows.begin(), rows.end());  // whatever the server's collation
    return rows;
  }
};

TEST_F(WorkListSentTest, RecordsEveryAnalysisOrNoneOfThem) {
  struct Case {
    const char* name;
    int32_t request;
    std::vector<std::string> codes;
    bool ok;
    std::vector<std::string> rows;  // of the machine afterwards
  };
  const std::vector<Case> cases{
      {"OneRowPerAnalysis", 31, {"S_TRV", "S_SED"}, true, {"31 S_SED", "31 S_TRV"}},
      {"QuotesStayInTheCode", 32, {"O'Brien", "a''b", "'"}, true,
       {"31 S_SED", "31 S_TRV", "32 '", "32 O'Brien", "32 a''b"}},
      {"NoAnalysisRunsNothing", 33, {}, true,
       {"31 S_SED", "31 S_TRV", "32 '", "32 O'Brien", "32 a''b"}},
      // anCode holds 50 characters: the server refuses the statement, and the code that fits
      // is not recorded without its neighbour.
      {"RefusedAnalysisRecordsNone", 34, {"S_TRV", std::string(51, 'X')}, false,
       {"31 S_SED", "31 S_TRV", "32 '", "32 O'Brien", "32 a''b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RecordWorkListSent(db_, machine_, c.request, c.codes), c.ok) << ErrorLog();
    EXPECT_EQ(db_.lastFailure() == DbFailure::kNone, c.ok);
    EXPECT_EQ(Sent(), c.rows);
  }
  EXPECT_NE(ErrorLog().find("INSERT INTO work_list_sent (MachineID, anCode, requestid) VALUES"),
            std::string::npos);
}

TEST_F(WorkListSentTest, ClosedSessionRecordsNothing) {
  BazaDeDate closed;
  EXPECT_FALSE(RecordWorkListSent(closed, machine_, 31, {"S_TRV"}));
  EXPECT_NE(closed.lastFailure(), DbFailure::kNone);
  EXPECT_TRUE(Sent().empty());
}

TEST(WorkListSentInsertTest, DoublesQuotesInsideTheCodes) {
  EXPECT_EQ(WorkListSentInsert(5, 1021, {"S_TRV", "O'B"}),
            "INSERT INTO work_list_sent (MachineID, anCode, requestid) VALUES (5,'S_TRV',1021), "
            "(5,'O''B',1021)");
  EXPECT_EQ(WorkListSentInsert(5, 1021, {}), "");
}

}  // namespace
}  // namespace strivex::testing
