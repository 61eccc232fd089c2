// "Atribui cererea..." on Qt's offscreen platform: Enter on the opened dialog stores nothing, and OK
// waits for the server's answer about the request typed (the development server, machine 5).

#include "ui/assign_request_dlg.h"

#include <gtest/gtest.h>

#include <mutex>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "host/server_link.h"
#include "host/startup_steps.h"
#include "support/temp_dir.h"
#include "ui_test_support.h"
#include "util/format.h"
#include "support/link_holder.h"

namespace strivex::ui {
namespace {

// Typed while a reconnection holds the session: the window keeps answering, and the answer comes
// once the session is free.
TEST(AssignRequestDlgTest, OkWaitsForTheServerToNameTheRequest) {
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  BazaDeDate server;
  const struct {
    bool connected;
    const char* typed;
    std::string shown;  // the status once answered; OK only for the patient
  } cases[] = {{false, "1021", kAssignNoServer},
               {true, "1021", Format(kAssignPatient, "Popescu Ion")},
               {true, "1029", Format(kAssignUnknown, 1029)},
               {true, "81021", Format(kAssignOtherRequest, 81021, 1021)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    ServerLink link;
    if (c.connected && server.connected.load() != 1) {
      const std::string lab = testing::LabConnectionString();
      if (lab.empty() && !testing::LabDatabaseRequired()) GTEST_SKIP() << "no development server";
      ASSERT_TRUE(server.DeschidConectie(lab, 1)) << server.lastErrorText();
    }
    if (c.connected) {
      link.Attach(&server);
      CodeLists codes;
      LoadCodeLists(server, 5, codes);
      link.SetCodes(std::move(codes));
    }
    RequestLookupRunner lookup(link);
    AssignRequestDlg dialog(lookup);
    dialog.show();
    auto* request = dialog.findChild<QLineEdit*>("requestEdit");
    auto* ok = dialog.findChild<QPushButton*>("okButton");
    auto* status = dialog.findChild<QLabel*>("statusLabel");
    ASSERT_TRUE(request && ok && status);
    QTest::keyClick(request, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible()) << "Enter on the opened dialog stored something";
    {
      const testing::LinkHolder busy(link);
      QTest::keyClicks(request, c.typed);
      EXPECT_FALSE(testing::PumpUntil([&] { return ok->isEnabled(); }, 300)) << "enabled before the answer";
    }
    EXPECT_TRUE(testing::PumpUntil([&] { return status->text().toStdString() != kAssignSearching; }, 20000));
    EXPECT_EQ(status->text().toStdString(), c.shown);
    QTest::keyClick(request, Qt::Key_Return);
    const bool confirmed = c.shown == Format(kAssignPatient, "Popescu Ion");
    EXPECT_EQ(dialog.result() == QDialog::Accepted, confirmed);
    lookup.Join();
  }
}

}  // namespace
}  // namespace strivex::ui
