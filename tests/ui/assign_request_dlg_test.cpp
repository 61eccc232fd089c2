// "Atribui cererea..." on Qt's offscreen platform: Enter on the opened dialog stores nothing, and OK
// waits for the server's answer about the request typed (the development server, machine 5).

#include "ui/assign_request_dlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "db/baza_de_date.h"
#include "db/db_session_fixture.h"
#include "host/startup_steps.h"
#include "support/temp_dir.h"
#include "ui_test_support.h"
#include "util/format.h"

namespace strivex::ui {
namespace {

TEST(AssignRequestDlgTest, OkWaitsForTheServerToNameTheRequest) {
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  BazaDeDate server;
  for (const bool connected : {false, true}) {
    SCOPED_TRACE(connected);
    ModuleContext context;
    if (connected) {
      const std::string lab = testing::LabConnectionString();
      if (lab.empty() && !testing::LabDatabaseRequired()) GTEST_SKIP() << "no development server";
      ASSERT_TRUE(server.DeschidConectie(lab, 1)) << server.lastErrorText();
      context.serverSession = &server;
      LoadCodeLists(server, 5, context);
    }
    RequestLookupRunner lookup(context);
    AssignRequestDlg dialog(lookup);
    dialog.show();
    auto* request = dialog.findChild<QLineEdit*>("requestEdit");
    auto* ok = dialog.findChild<QPushButton*>("okButton");
    auto* status = dialog.findChild<QLabel*>("statusLabel");
    ASSERT_TRUE(request && ok && status);
    QTest::keyClick(request, Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible()) << "Enter on the opened dialog stored something";
    QTest::keyClicks(request, "1021");
    EXPECT_FALSE(ok->isEnabled()) << "enabled before the answer";
    EXPECT_TRUE(testing::PumpUntil([&] { return status->text().toStdString() != kAssignSearching; }, 20000));
    EXPECT_EQ(status->text().toStdString(), connected ? Format(kAssignPatient, "Popescu Ion") : kAssignNoServer);
    QTest::keyClick(request, Qt::Key_Return);
    EXPECT_EQ(dialog.result() == QDialog::Accepted, connected);
    EXPECT_EQ(dialog.model().requestId(), 1021);
    lookup.Join();
  }
}

}  // namespace
}  // namespace strivex::ui
