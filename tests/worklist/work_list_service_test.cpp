// The work-list service on the development laboratory server: the list read for the dialog, and a
// confirmed run's way to the analyser's line and into work_list_sent.

#include "worklist/work_list_service.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "db/db_session_fixture.h"
#include "host/work_list_server_link.h"
#include "serial/line_settings.h"
#include "serial/port_serial.h"
#include "support/link_holder.h"
#include "support/pty_pair.h"
#include "support/wait_for.h"
#include "worklist/lab_work_list.h"

namespace strivex::testing {
namespace {

using namespace std::chrono_literals;

const LineSettings kSettings = StartupLineSettings(9600, 8, NOPARITY, ONESTOPBIT);
const QueuedFrame kFrame{"\x02W10000" "31BILUBG\x03\r\n", 31, {"BIL", "UBG"}};

class WorkListServiceTest : public LabWorkListTest {
 protected:
  void SetUp() override {
    LabWorkListTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    InsertWorkList(db_, machine_,
                   {{31, "URINA", "Pop Ana", "BIL", "2026-12-01 10:00"},
                    {31, "", "Pop Ana", "UBG", "2026-12-01 10:00"},
                    {32, "SER", "Ene Dan", "GLU", std::nullopt}});
    // The service's own session: the test reads on db_ while the sender records.
    ASSERT_TRUE(session_.DeschidConectie(LabConnectionString(), 1)) << ErrorLog();
    link_.Attach(&session_);
    link_.SetMachineIds({machine_, 0});
  }
  WorkListRead Read(bool unsentOnly) {
    const int before = done_.load();
    EXPECT_TRUE(service_.BeginRead(unsentOnly, [&] { ++done_; }));
    EXPECT_TRUE(WaitFor([&] { return done_.load() > before; }, 10000ms));
    return service_.FinishRead();
  }

  BazaDeDate session_;
  ServerLink link_;
  LinkedWorkListServer server_{link_};
  PortSerial port_;
  WorkListService service_{server_, port_, nullptr, 20ms};
  std::atomic<int> done_{0};
};

// The read waits for a statement of another thread to end, and the window is told only once the
// list is there; the previous list is gone as soon as a new read starts.
TEST_F(WorkListServiceTest, ReadsOnAWorkerAndHandsTheListOver) {
  ASSERT_TRUE(Read(false).ok);
  ASSERT_FALSE(service_.list().empty());
  {
    const LinkHolder busy(link_);
    ASSERT_TRUE(service_.BeginRead(false, [&] { ++done_; }));
    EXPECT_TRUE(service_.list().empty());
    EXPECT_TRUE(service_.Reading());
    EXPECT_FALSE(service_.BeginRead(false, [&] { ++done_; }));  // one read at a time
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(done_.load(), 1);
  }
  ASSERT_TRUE(WaitFor([&] { return done_.load() == 2; }, 10000ms));
  EXPECT_FALSE(service_.Reading());
  const WorkListRead read = service_.FinishRead();
  EXPECT_TRUE(read.ok) << read.error;
  ASSERT_EQ(service_.list().size(), 2u);
  const SampleRecord& first = *service_.list().head();
  EXPECT_EQ(first.requestId, 31);
  EXPECT_EQ(first.sampleType, "URINA");
  EXPECT_EQ(first.groups.size(), 2u);
  EXPECT_EQ(first.next->requestId, 32);
}

// Without the server the dialog still opens, empty, and the reason is kept for the operator.
TEST_F(WorkListServiceTest, ADisconnectedServerGivesAnEmptyListAndTheReason) {
  session_.InchidConectie();
  const WorkListRead read = Read(false);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error, "serverul nu este conectat");
  EXPECT_TRUE(service_.list().empty());
}

// A confirmed run goes out on the line, its analyses are recorded as sent, and the next read of
// the unsent leaves them out; the next run starts where this one ended.
TEST_F(WorkListServiceTest, ConfirmedRunIsSentRecordedAndLeftOutOfTheUnsent) {
  PtyPair pty;
  ASSERT_TRUE(port_.Open(pty.slavePath(), kSettings));
  ASSERT_TRUE(service_.StartSending());
  service_.Queue({kFrame}, 7, 2);
  EXPECT_EQ(service_.nextPosition(), 7);
  EXPECT_EQ(service_.currentDisk(), 2);
  EXPECT_EQ(pty.Read(kFrame.frame.size() + 1, 5s).substr(0, kFrame.frame.size()), kFrame.frame);
  ASSERT_TRUE(WaitFor([&] { return SentRows(db_, machine_).size() == 2; }, 10000ms));
  EXPECT_EQ(SentRows(db_, machine_), (std::vector<std::string>{"31 BIL", "31 UBG"}));
  ASSERT_TRUE(Read(true).ok);
  ASSERT_EQ(service_.list().size(), 1u);
  EXPECT_EQ(service_.list().head()->requestId, 32);
}

// What did not happen is logged: a frame on the line that the server did not record, and at the
// module's end the frames that never went out.
TEST_F(WorkListServiceTest, WhatWasNotDoneIsLogged) {
  struct Case {
    const char* name;
    bool portOpen;
    const char* logged;
  };
  const std::vector<Case> cases{
      {"NotRecorded", true,
       "Lista de lucru: cererea 31 a fost trimisa analizorului, dar nu a fost inregistrata in "
       "work_list_sent: serverul nu este conectat"},
      {"NeverSent", false, "Lista de lucru: 1 cadre netrimise analizorului la inchiderea modulului"},
  };
  session_.InchidConectie();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PtyPair pty;
    PortSerial port;
    if (c.portOpen) {
      ASSERT_TRUE(port.Open(pty.slavePath(), kSettings));
    }
    WorkListService service(server_, port, nullptr, 20ms);
    ASSERT_TRUE(service.StartSending());
    service.Queue({kFrame}, 2, 1);
    if (c.portOpen) {
      EXPECT_TRUE(WaitFor([&] { return ErrorLog().find(c.logged) != std::string::npos; }, 10000ms));
    }
    service.Close();
    EXPECT_NE(ErrorLog().find(c.logged), std::string::npos) << ErrorLog();
  }
  EXPECT_TRUE(SentRows(db_, machine_).empty());
}

}  // namespace
}  // namespace strivex::testing
