// The two settings dialogs on Qt's offscreen platform: on their own over their models, and from
// the main window's "Setari" menu over a running module (SQLite settings file, COM1 on a
// pseudo-terminal, no laboratory server). STRIVEX_DIALOG_SHOTS=DIR saves a picture of each.

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "db/baza_de_date.h"
#include "db/silent_server.h"
#include "host/background_work.h"
#include "host/startup_steps.h"
#include "platform/message_box.h"
#include "settings/declared_fields.h"
#include "support/loop_stalls.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "ui/setari_comunicare_dlg.h"
#include "ui/setari_db_dlg.h"
#include "ui/strivex_dlg.h"
#include "ui_test_support.h"

namespace strivex::ui {
namespace {

using testing::CatchModal;
using testing::SilentServer;
using testing::ModalEnd;
using testing::SaveShot;

template <class W>
W* Child(QWidget& parent, const char* name) {
  W* found = parent.findChild<W*>(name);
  EXPECT_NE(found, nullptr) << name;
  return found;
}

TEST(SetariDialogsTest, SerialDialogOpensOnTheCurrentValuesAndOkGoesToTheModel) {
  platform::MessageBoxRecorder boxes;
  SetariComunicare model({"COM1", 19200, 7, 2, 0},
                         {{"COM1", "/dev/ttyS0"}, {"COM10", "/dev/ttyS9"}, {"ttyUSB0", "/dev/ttyUSB0"}});
  SetariComunicareDlg dialog(model);
  EXPECT_EQ(dialog.windowTitle(), "Setari Comunicatie");
  const std::pair<const char*, const char*> shown[] = {{"portList", "COM1"},       {"baudRateList", "19200"},
                                                       {"byteSizeList", "7"},      {"parityList", "Even"},
                                                       {"stopBitsList", "1 stop bit"}};
  for (const auto& [list, text] : shown) {
    EXPECT_EQ(Child<QComboBox>(dialog, list)->currentText(), text) << list;
    EXPECT_FALSE(Child<QComboBox>(dialog, list)->isEditable()) << list;
  }
  EXPECT_TRUE(Child<QCheckBox>(dialog, "saveCheck")->isChecked());
  SaveShot(dialog, "setari-comunicatie.png");

  Child<QComboBox>(dialog, "portList")->setCurrentText("ttyUSB0");
  Child<QComboBox>(dialog, "stopBitsList")->setCurrentText("2 stop bits");
  QTest::mouseClick(Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(model.Confirmed());
  EXPECT_EQ(model.choice(), (SerialChoice{"ttyUSB0", 19200, 7, 2, 2}));
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(SetariDialogsTest, DatabaseDialogShowsTheFieldsAndOnlyOkApplies) {
  const DbDialogFields fields{"/var/lib/strivex/local.db", "10.1.2.3", "LIS", "medianex", "secret", true};
  for (const bool ok : {false, true}) {
    SCOPED_TRACE(ok ? "OK" : "Cancel");
    std::optional<DbConnectionFields> applied;
    BackgroundWork workers;
    SetariDbDlg dialog(
        fields, DbTimeouts{},
        [&](const DbConnectionFields& f) {
          applied = f;
          return DbDialogAnswer{};
        },
        [&](DbDialogRun::Task task) { return workers.Start(std::move(task)); });
    EXPECT_EQ(dialog.windowTitle(), "SetariDB");
    EXPECT_EQ(dialog.Fields(), fields);
    EXPECT_EQ(Child<QLineEdit>(dialog, "passwordEdit")->echoMode(), QLineEdit::Password);
    if (ok) SaveShot(dialog, "setari-db.png");
    for (const char* edit : {"localDatabaseEdit", "serverAddressEdit", "serverDatabaseEdit", "userEdit"}) {
      Child<QLineEdit>(dialog, edit)->setText("o'ther");
    }
    Child<QCheckBox>(dialog, "relayedCheck")->setChecked(false);
    QTest::mouseClick(Child<QPushButton>(dialog, ok ? "okButton" : "cancelButton"), Qt::LeftButton);
    ASSERT_TRUE(testing::PumpUntil([&] { return dialog.result() == (ok ? QDialog::Accepted : QDialog::Rejected); }));
    workers.Finish();
    if (!ok) {
      EXPECT_FALSE(applied) << "Cancel applies nothing";
      continue;
    }
    ASSERT_TRUE(applied);
    // The local file's field is shown only; everything else is taken as typed.
    EXPECT_EQ(*applied, (DbConnectionFields{"o'ther", "o'ther", "o'ther", "secret", 1}));
  }
}

// Fields the administrator declared take no change from mouse or keys and say where they are set;
// the others stay the operator's.
TEST(SetariDbDeclaredTest, DeclaredFieldsRefuseChangesAndNameTheFile) {
  const QString byFile = QStringLiteral("Stabilit de administrator in /etc/u.ini");
  const DeclaredFields declared({{"Adresa Server", "/etc/u.ini"}, {"DirectConect", ""}, {"Port", "/etc/u.ini"}});
  SetariDbDlg db({"/l.db", "10.1.2.3", "LIS", "u", "p", false}, DbTimeouts{}, {}, {});
  db.ShowDeclared(declared);
  SetariComunicare model({"COM1", 9600, 7, 1, 0}, {{"COM1", "/dev/ttyS0"}, {"COM2", "/dev/ttyS1"}});
  SetariComunicareDlg serial(model);
  serial.ShowDeclared(declared);
  const struct {
    QWidget& dialog;
    const char* field;
    QString note;  // empty: the operator's
  } cases[] = {
      {db, "serverAddressEdit", byFile}, {db, "userEdit", {}},
      {db, "relayedCheck", QStringLiteral("Stabilit de administrator in linia de comanda a strivex-host")},
      {serial, "portList", byFile},      {serial, "baudRateList", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    QWidget* field = Child<QWidget>(c.dialog, c.field);
    EXPECT_EQ(field->toolTip(), c.note);
    auto* edit = qobject_cast<QLineEdit*>(field);
    auto* check = qobject_cast<QCheckBox*>(field);
    const auto value = [&] {
      if (edit || check) return edit ? edit->text() : QString::number(check->isChecked());
      return qobject_cast<QComboBox*>(field)->currentText();
    };
    const QString before = value();
    if (edit) QTest::keyClicks(field, "x");
    else if (check) QTest::mouseClick(field, Qt::LeftButton);
    else QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(value() == before, !c.note.isEmpty()) << value().toStdString();
  }
}

// A login to a server that accepts and never answers runs off the window's thread: its event loop
// keeps turning, the dialog says it is busy, Cancel ends it at once, and the abandoned answer is
// never shown.
TEST(SetariDialogsTest, LoginToASilentServerKeepsTheWindowRunningAndCancelEndsItAtOnce) {
  const SilentServer silent(SilentServer::kMute);
  ASSERT_NE(silent.port(), 0);
  const QByteArray previousPort = qgetenv("PGPORT");
  qputenv("PGPORT", QByteArray::number(silent.port()));
  const std::shared_ptr<void> restore(nullptr, [&](void*) {
    if (previousPort.isNull()) qunsetenv("PGPORT"); else qputenv("PGPORT", previousPort);
  });
  const DbTimeouts timeouts{std::chrono::seconds(3), std::chrono::seconds(3)};
  platform::MessageBoxRecorder boxes;
  for (const char* button : {"testButton", "okButton"}) {
    SCOPED_TRACE(button);
    BackgroundWork workers;
    SetariDbDlg dialog({"", "127.0.0.1", "strivex_lab", "u", "p", false}, timeouts,
                       [&](const DbConnectionFields& f) { return TestDbConnectionAnswer(f, timeouts); },
                       [&](DbDialogRun::Task task) { return workers.Start(std::move(task)); });
    dialog.show();
    const testing::LoopStalls stalls;
    QTest::mouseClick(Child<QPushButton>(dialog, button), Qt::LeftButton);
    testing::PumpFor(1000);
    EXPECT_GT(stalls.Ticks(), 20u);
    EXPECT_LT(stalls.MaxMs(), 500);
    EXPECT_FALSE(Child<QLabel>(dialog, "busyLabel")->text().isEmpty());
    EXPECT_FALSE(Child<QPushButton>(dialog, "okButton")->isEnabled());

    QElapsedTimer cancel;
    cancel.start();
    QTest::mouseClick(Child<QPushButton>(dialog, "cancelButton"), Qt::LeftButton);
    EXPECT_LT(cancel.elapsed(), 500);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    workers.Finish();  // the login ends by its own limit
    testing::PumpFor(50);
    EXPECT_TRUE(boxes.Texts().empty()) << boxes.Texts().front();
  }
}

// The menu items on the running module.
class SetariMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<HostRecordBuffer>(5, "Strivex", rig_.LocalPath(), 1);
    host_->record().SetFlag(HostRecord::kServerUnavailable, 1);
    dlg_ = std::make_unique<CStrivexDlg>(host_->record());
    dlg_->StartModule();
    testing::PumpFor(50);
  }
  void TearDown() override {
    dlg_->findChild<QAction*>("exitAction")->trigger();
    dlg_.reset();
  }
  QAction* Action(const char* name) { return dlg_->findChild<QAction*>(name); }
  std::string Setting(const std::string& name) {
    BazaDeDate local;
    local.DeschidBazaLocala(rig_.LocalPath(), "quomar", 1);
    local.DeschidTabel("MACHINE_SETTINGS", "where NAME='" + name + "'", 0);
    return local.ValoareColoana("VALUE", 0).ToText();
  }
  ServerSettings Stored() {
    BazaDeDate local;
    local.DeschidBazaLocala(rig_.LocalPath(), "quomar", 1);
    ServerSettings stored;
    ReadServerSettings(local, stored);
    return stored;
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 5};
  platform::MessageBoxRecorder boxes_;
  std::unique_ptr<HostRecordBuffer> host_;
  std::unique_ptr<CStrivexDlg> dlg_;
};

TEST_F(SetariMenuTest, SerialSettingsOnlyWithThePortClosedAndWrittenOnOk) {
  EXPECT_FALSE(Action("serialSettingsAction")->isEnabled());
  EXPECT_FALSE(CatchModal([&] { Action("serialSettingsAction")->trigger(); })) << "not while the port is open";
  Action("closePortAction")->trigger();
  ASSERT_TRUE(Action("serialSettingsAction")->isEnabled());
  const auto title = CatchModal(
      [&] { Action("serialSettingsAction")->trigger(); },
      [](QWidget& dialog) {
        EXPECT_EQ(Child<QComboBox>(dialog, "portList")->currentText(), "COM1");
        Child<QComboBox>(dialog, "baudRateList")->setCurrentText("19200");
        QTest::mouseClick(Child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
      },
      ModalEnd::kEndedByLook);
  EXPECT_EQ(title, "Setari Comunicatie");
  EXPECT_EQ(Setting("Baud Rate"), "19200");
  EXPECT_TRUE(Action("openPortAction")->isEnabled()) << "the port stays closed";
}

TEST_F(SetariMenuTest, DatabaseSettingsCancelKeepsAndOkStoresEvenWithoutAServer) {
  const ServerSettings before = Stored();
  struct Step {
    const char* button;
    std::string database;  // stored afterwards
  };
  const Step steps[] = {{"cancelButton", before.databaseName}, {"okButton", "alta'baza"}};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.button);
    ASSERT_TRUE(Action("databaseSettingsAction")->isEnabled());
    const auto title = CatchModal(
        [&] { Action("databaseSettingsAction")->trigger(); },
        [&](QWidget& dialog) {
          EXPECT_EQ(Child<QLineEdit>(dialog, "localDatabaseEdit")->text().toStdString(), rig_.LocalPath());
          Child<QLineEdit>(dialog, "serverAddressEdit")->setText("127.0.0.1");
          Child<QLineEdit>(dialog, "serverDatabaseEdit")->setText("alta'baza");
          QTest::mouseClick(Child<QPushButton>(dialog, step.button), Qt::LeftButton);
        },
        ModalEnd::kEndedByLook);
    EXPECT_EQ(title, "SetariDB");
    EXPECT_EQ(Stored().databaseName, step.database);
    EXPECT_EQ(host_->record().Flag(HostRecord::kServerUnavailable), 1);
  }
}

}  // namespace
}  // namespace strivex::ui
