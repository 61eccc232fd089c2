#include "host/work_list_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"
#include "util/format.h"
#include "support/link_holder.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::WaitFor;

// A machine id no seeded instrument has, and one per test process: the suite's tests run side by
// side on the shared server, and each fills the work list afresh.
const int32_t kMachine = 7000 + static_cast<int32_t>(getpid() % 100000);

class WorkListRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string lab = testing::LabConnectionString();
    if (lab.empty()) {
      if (testing::LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
      GTEST_SKIP() << "no development server (STRIVEX_LAB_CONNSTR)";
    }
    ASSERT_TRUE(server_.DeschidConectie(lab, 1)) << server_.lastErrorText();
    Clean();
    const std::string machine = std::to_string(kMachine);
    for (const std::string& row : {"(31, 'URINA', 'Pop Ana', 'BIL', '2026-12-01 10:00', " + machine + ")",
                                  "(31, '', 'Pop Ana', 'UBG', '2026-12-01 10:00', " + machine + ")",
                                  "(32, 'SER', 'Ene Dan', 'GLU', NULL, " + machine + ")"})
      ASSERT_TRUE(server_.SQLCommand("INSERT INTO WORK_LIST (RequestID, SampleCode, PacientName, AnalyseCode, "
                                     "RequestDate, MachineID) VALUES " + row, 0))
          << server_.lastErrorText();
    context_.server.Attach(&server_);
    context_.server.SetMachineIds({kMachine, 0});
  }
  void TearDown() override {
    // A test that closed the session leaves its rows too.
    if (server_.connected.load() != 1) server_.DeschidConectie(testing::LabConnectionString(), 1);
    if (server_.connected.load() == 1) Clean();
  }
  void Clean() { server_.SQLCommand(Format("DELETE FROM WORK_LIST WHERE MachineID=%d", kMachine), 0); }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  BazaDeDate server_;
  ModuleContext context_;
  WorkListRunner runner_{context_};
  std::atomic<int> done_{0};
};

// The read waits for a statement of another thread to end, and the window is told only once the
// list is there; the previous list is gone as soon as a new read starts.
TEST_F(WorkListRunnerTest, ReadsOnAWorkerAndHandsTheListOver) {
  context_.workList.emplace_back(99);
  {
    const testing::LinkHolder busy(context_.server);
    ASSERT_TRUE(runner_.Begin(false, [&] { ++done_; }));
    EXPECT_TRUE(context_.workList.empty());
    EXPECT_EQ(context_.workListReading.load(), 1);
    EXPECT_FALSE(runner_.Begin(false, [&] { ++done_; }));  // one read at a time
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done_.load(), 0);
  }
  ASSERT_TRUE(WaitFor([&] { return done_.load() == 1; }, 10000ms));
  EXPECT_EQ(context_.workListReading.load(), 0);
  const WorkListRead read = runner_.Finish();
  EXPECT_TRUE(read.ok) << read.error;
  ASSERT_EQ(context_.workList.size(), 2u);
  const SampleRecord& first = *context_.workList.head();
  EXPECT_EQ(first.requestId, 31);
  EXPECT_EQ(first.sampleType, "URINA");
  EXPECT_EQ(first.groups.size(), 2u);
  EXPECT_EQ(first.next->requestId, 32);
}

// Without the server the dialog still opens, empty, and the reason is kept for the operator.
TEST_F(WorkListRunnerTest, ADisconnectedServerGivesAnEmptyListAndTheReason) {
  server_.InchidConectie();
  ASSERT_TRUE(runner_.Begin(false, [&] { ++done_; }));
  ASSERT_TRUE(WaitFor([&] { return done_.load() == 1; }, 10000ms));
  const WorkListRead read = runner_.Finish();
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error, "serverul nu este conectat");
  EXPECT_TRUE(context_.workList.empty());
}

}  // namespace
}  // namespace strivex
