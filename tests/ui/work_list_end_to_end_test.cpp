// The work list end to end: requests seeded in the development laboratory database, "Creez Lista"
// in the real window, the ListaLucru dialog driven by clicks, the frames received by analyser-sim
// on a pseudo-terminal byte for byte, the analyses recorded as sent, and an unsent-only read that
// no longer lists them. STRIVEX_DIALOG_SHOTS=DIR saves a picture of the dialog.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "host/host_record.h"
#include "platform/message_box.h"
#include "support/background_process.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "ui/lista_lucru_dlg.h"
#include "ui/strivex_dlg.h"
#include "ui_test_support.h"
#include "util/format.h"
#include "util/local_time.h"
#include "worklist/lab_work_list.h"
#include "worklist/work_list_frame.h"
#include "worklist/work_list_query.h"

namespace strivex::ui {
namespace {

using namespace std::chrono_literals;
using testing::PumpUntil;

const LocalTime kConfirmed{2026, 12, 1, 7, 9, 41, 0, 0};

// The entry the dialog makes of a request placed with the defaults (disk 1, cup "Tube").
std::string Expected(int32_t id, const std::string& type, std::vector<std::string> codes, int position) {
  SampleRecord entry(id);
  entry.sampleType = type;
  entry.disk = 1;
  entry.position = position;
  entry.cupType = kCupTube;
  for (std::string& code : codes) entry.groups.emplace_back(std::move(code));
  return VisibleFrameText(BuildWorkListFrame(entry, kConfirmed)) + "\n";
}

template <class W>
W* Child(QWidget& parent, const char* name) {
  W* found = parent.findChild<W*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

class WorkListEndToEndTest : public ::testing::Test {
 protected:
  void SetUp() override {
    lab_ = testing::LabConnectionString();
    if (lab_.empty()) {
      if (testing::LabDatabaseRequired()) FAIL() << "STRIVEX_LAB_CONNSTR is not set";
      GTEST_SKIP() << "no development server (STRIVEX_LAB_CONNSTR)";
    }
    machine_ = 1700000000 + static_cast<int32_t>(getpid() % 100000000);
    ASSERT_TRUE(db_.DeschidConectie(lab_, 1)) << db_.lastErrorText();
    RemoveRows();
    testing::InsertWorkList(db_, machine_,
                            {{1021, "URINA", "Popescu Ion", "BIL", "2026-11-30 08:00"},
                             {1021, "", "Popescu Ion", "UBG", "2026-11-30 08:00"},
                             {1022, "SER", "Ionescu Maria", "GLU", std::nullopt}});
    rig_.UseServer(lab_);
  }
  void TearDown() override {
    if (dlg_) dlg_->findChild<QAction*>("exitAction")->trigger();
    dlg_.reset();
    if (db_.connected.load() == 1) RemoveRows();
  }
  void RemoveRows() {
    db_.SQLCommand(Format("DELETE FROM WORK_LIST WHERE MachineID=%d", machine_), 0);
    db_.SQLCommand(Format("DELETE FROM work_list_sent WHERE MachineID=%d", machine_), 0);
  }
  void UsePort(const std::string& device) {
    BazaDeDate local;
    local.DeschidBazaLocala(rig_.LocalPath(), "quomar", 1);
    local.SQLCommand("DELETE FROM MACHINE_SETTINGS WHERE NAME='Port'", 0);
    local.SQLCommand("INSERT INTO MACHINE_SETTINGS (MachineID, NAME, VALUE) VALUES (5, 'Port', '" + device + "')", 0);
  }
  void StartModule() {
    host_ = std::make_unique<HostRecordBuffer>(machine_, "Strivex", rig_.LocalPath(), 1);
    dlg_ = std::make_unique<CStrivexDlg>(host_->record());
    dlg_->StartModule();
  }

  std::string lab_;
  int32_t machine_ = 0;
  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 5};
  platform::MessageBoxRecorder boxes_;
  BazaDeDate db_;
  std::unique_ptr<HostRecordBuffer> host_;
  std::unique_ptr<CStrivexDlg> dlg_;
};

TEST_F(WorkListEndToEndTest, ConfirmedRunReachesTheAnalyserAndIsRecordedAsSent) {
  const std::string received = (dir_.path() / "frames.txt").string();
  testing::BackgroundProcess sim(STRIVEX_ANALYSER_SIM_PATH,
                                 {"--pty", "--frames-file", received, "--expect-frames", "2", "--timeout", "60"});
  const auto device = sim.ReadLine(10s);
  ASSERT_TRUE(device) << sim.err();
  UsePort(*device);
  StartModule();

  ScopedClock clock(kConfirmed);
  QStringList listed;
  QTimer driver;
  driver.setInterval(20);
  QObject::connect(&driver, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<ListaLucruDlg*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !listed.isEmpty()) return;
    auto* requests = Child<QTreeWidget>(*dialog, "requestList");
    for (int i = 0; i < requests->topLevelItemCount(); ++i) listed << requests->topLevelItem(i)->text(0).trimmed();
    // The lowest request is listed last; each ">>" takes the bottom row. The picture shows the
    // run half composed.
    for (int i = 0; i < 2 && requests->topLevelItemCount() > 0; ++i) {
      requests->setCurrentItem(requests->topLevelItem(requests->topLevelItemCount() - 1));
      Child<QPushButton>(*dialog, "addButton")->click();
      const char* shots = std::getenv("STRIVEX_DIALOG_SHOTS");
      if (i == 0 && shots != nullptr && *shots != '\0')
        dialog->grab().save(QString::fromLocal8Bit(shots) + "/lista-lucru.png");
    }
    Child<QPushButton>(*dialog, "okButton")->click();
  });
  driver.start();
  Child<QPushButton>(*dlg_, "createListButton")->click();
  ASSERT_TRUE(PumpUntil([&] { return !listed.isEmpty() && QApplication::activeModalWidget() == nullptr; }, 20000));
  driver.stop();
  EXPECT_EQ(listed, (QStringList{"1022", "1021"}));

  ASSERT_EQ(sim.WaitExit(60s), 0) << sim.err();
  EXPECT_EQ(testing::ReadFile(received), Expected(1021, "URINA", {"BIL", "UBG"}, 1) + Expected(1022, "SER", {"GLU"}, 2));
  EXPECT_TRUE(PumpUntil([&] { return testing::SentRows(db_, machine_).size() == 3; }, 10000));
  EXPECT_EQ(testing::SentRows(db_, machine_), (std::vector<std::string>{"1021 BIL", "1021 UBG", "1022 GLU"}));

  SampleList unsent;
  ASSERT_TRUE(WorkListQuery(&db_, machine_, unsent, std::nullopt, std::nullopt, false, true, nullptr));
  EXPECT_TRUE(unsent.empty());
  EXPECT_TRUE(boxes_.Texts().empty());
}

}  // namespace
}  // namespace strivex::ui
