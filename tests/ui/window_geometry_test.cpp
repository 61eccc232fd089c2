// The windows at the screen's density and font: ctest runs these at 96 dpi and again at 144 and
// 192 (see CMakeLists.txt). With the longest texts they show, no two controls overlap and no
// label's text is wider than its label; the backlog line reads on its background; the dialogs
// open over the main window and leave its bottom bar in sight.

#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <memory>

#include "host/host_record.h"
#include "host/status_panel.h"
#include "platform/message_box.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "host/background_work.h"
#include "ui/about_dlg.h"
#include "ui/banner_art.h"
#include "ui/dialog_placement.h"
#include "ui/edit_record_dlg.h"
#include "ui/info_analiza.h"
#include "ui/lista_lucru_dlg.h"
#include "ui/setari_comunicare_dlg.h"
#include "ui/setari_db_dlg.h"
#include "ui/status_panel_painter.h"
#include "ui/strivex_dlg.h"
#include "ui/text_codec.h"
#include "ui_test_support.h"
#include "worklist/edit_record_model.h"
#include "worklist/work_list_requests.h"

namespace strivex::ui {
namespace {

// Widgets whose insides are their own business.
bool IsLeaf(const QWidget& widget) {
  return qobject_cast<const QAbstractScrollArea*>(&widget) || qobject_cast<const QComboBox*>(&widget) ||
         qobject_cast<const QLineEdit*>(&widget) || qobject_cast<const QMenuBar*>(&widget) ||
         qobject_cast<const QAbstractButton*>(&widget) || qobject_cast<const QLabel*>(&widget);
}

// Every visible control under `parent`: siblings apart (a frame drawn behind its controls aside),
// every label's and button's text within it.
void ExpectLaidOut(const QWidget& parent) {
  std::vector<const QWidget*> shown;
  for (const QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow() || !child->isVisibleTo(&parent)) continue;
    shown.push_back(child);
    if (!IsLeaf(*child)) ExpectLaidOut(*child);
  }
  for (size_t i = 0; i < shown.size(); ++i) {
    for (size_t j = i + 1; j < shown.size(); ++j) {
      if (qobject_cast<const QGroupBox*>(shown[i]) || qobject_cast<const QGroupBox*>(shown[j])) continue;
      EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
          << shown[i]->objectName().toStdString() << " " << shown[j]->objectName().toStdString() << " in "
          << parent.objectName().toStdString();
    }
  }
  for (const QWidget* child : shown) {
    const QFontMetrics metrics = child->fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(child); label != nullptr && !label->text().isEmpty()) {
      const QRect room = label->contentsRect();
      if (label->wordWrap()) {
        EXPECT_LE(label->heightForWidth(room.width()), room.height()) << label->text().toStdString();
      } else {
        EXPECT_LE(metrics.horizontalAdvance(label->text()), room.width()) << label->text().toStdString();
        EXPECT_LE(metrics.height(), room.height()) << label->text().toStdString();
      }
    } else if (const auto* button = qobject_cast<const QPushButton*>(child)) {
      EXPECT_LE(metrics.horizontalAdvance(button->text()), button->width()) << button->text().toStdString();
    }
  }
}

StatusSnapshot Busiest() {
  StatusSnapshot now;
  now.outboxPending = 999999;
  now.outboxRejected = 999999;
  now.outboxUnassigned = 999999;
  now.outboxOtherMachines = 999999;
  now.framesWaiting = 999999;
  return now;
}

class WindowGeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<HostRecordBuffer>(5, "Strivex", rig_.LocalPath(), 1);
    host_->record().SetFlag(HostRecord::kServerUnavailable, 1);
    window_ = std::make_unique<CStrivexDlg>(host_->record());
    window_->StartModule();
    testing::PumpFor(50);
  }
  void TearDown() override {
    if (QAction* exit = window_->findChild<QAction*>("exitAction")) exit->trigger();
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 65541};
  platform::MessageBoxRecorder boxes_;
  std::unique_ptr<HostRecordBuffer> host_;
  std::unique_ptr<CStrivexDlg> window_;
};

TEST_F(WindowGeometryTest, MainWindowHoldsItsLongestTexts) {
  auto* backlog = window_->findChild<QLabel*>("backlogLabel");
  auto* frames = window_->findChild<QLabel*>("framesLabel");
  ASSERT_NE(backlog, nullptr);
  ASSERT_NE(frames, nullptr);
  // Each state of the backlog line, six-digit counts included: readable on its own background.
  StatusSnapshot idle;
  StatusSnapshot waiting;
  waiting.outboxPending = 999999;
  StatusSnapshot failed;
  failed.outboxFailed = true;
  for (const StatusSnapshot& now : {idle, waiting, Busiest(), failed}) {
    ShowStatusLine(*backlog, BacklogLine(now));
    ShowStatusLine(*frames, WorkListLine(Busiest()));
    SCOPED_TRACE(backlog->text().toStdString());
    EXPECT_TRUE(backlog->autoFillBackground());
    EXPECT_GE(testing::ContrastRatio(backlog->palette().color(QPalette::WindowText),
                                     backlog->palette().color(QPalette::Window)),
              4.5);
    EXPECT_GE(testing::ContrastRatio(frames->palette().color(QPalette::WindowText),
                                     frames->palette().color(QPalette::Window)),
              4.5);
    ExpectLaidOut(*window_);
  }
  // The backlog line stays under the banner, whose name is painted on the right.
  auto* bar = window_->findChild<QWidget*>(QLatin1String(kBottomBarName));
  ASSERT_NE(bar, nullptr);
  const QImage banner = BottomBanner(DialogUnits::Of(*window_).Scale());
  EXPECT_GE(backlog->mapTo(bar, QPoint(0, 0)).y(), banner.height());
}

// The panel's path lines fit, keep the file's or the device's name and the state, and say all of
// it in their tooltips.
TEST_F(WindowGeometryTest, PanelCutsLongPathsInTheMiddle) {
  const std::string longFolder = "/home/laborator/instrumente/urina-banc-1/strivex/date-locale/arhiva";
  StatusSnapshot now;
  now.localDatabase = longFolder + "/local.db";
  now.portName = "/dev/serial/by-id/usb-Adaptor_Serial_USB_A1B2C3D4E5-if00-port0";
  now.portOpen = true;
  StatusPanelModel model;
  const StatusPanel panel = model.Paint(now);
  const struct {
    size_t line;
    const char* end;
  } cases[] = {{1, "/local.db - Valida"}, {2, "-port0 - Deschis"}};
  for (const auto& c : cases) {
    const StatusLine& line = panel.lines[c.line];
    const QString shown = ShownStatusLine(line);
    SCOPED_TRACE(shown.toStdString());
    EXPECT_LT(shown.size(), FromLocal8(line.text).size());
    EXPECT_TRUE(shown.endsWith(QString::fromLatin1(c.end)));
    EXPECT_TRUE(shown.startsWith(FromLocal8(line.text.substr(0, line.cutFrom + 3))));
    EXPECT_EQ(StatusLineToolTip(line), FromLocal8(line.text));
  }
  // The window answers with the painted line's whole text.
  window_->repaint();
  const QRect area = window_->PanelArea();
  const QPoint lineTwo(area.center().x(), area.top() + (area.height() * 2) / 5);
  EXPECT_TRUE(window_->PanelToolTip(lineTwo).startsWith(QStringLiteral("Baza Locala : - ")));
  EXPECT_TRUE(window_->PanelToolTip(lineTwo).endsWith(QString::fromStdString(rig_.LocalPath()) + " - Valida"));
}

TEST_F(WindowGeometryTest, WorkListAndEntryEditorHoldTheirTextsAndOpenAboveTheBar) {
  const std::string longName = "\xAA" "tef\xE3nescu-Dumitrescu Alexandra-Maria";  // Ş, ă in Windows-1250
  const SampleList requests =
      testing::MakeRequests({{123456, longName, "URINA", {"BIL"}}, {123457, "Ionescu Ana", "", {"GLU"}}});
  ListaLucruModel model(requests, 1, 1);
  const QRect screen = window_->screen()->availableGeometry();
  const struct {
    const char* where;
    int windowTop;
  } cases[] = {{"low on the screen", screen.bottom() - window_->height()}, {"at the top", screen.top()}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    window_->move(screen.left(), c.windowTop);
    ListaLucruDlg dialog(model, window_.get());
    ExpectLaidOut(dialog);
    PlaceOverOwner(dialog);
    const int barTop = window_->findChild<QWidget*>(QLatin1String(kBottomBarName))->mapToGlobal(QPoint(0, 0)).y();
    EXPECT_TRUE(screen.contains(dialog.geometry())) << dialog.geometry().y();
    if (barTop - dialog.height() >= screen.top()) {
      EXPECT_LE(dialog.geometry().bottom(), barTop);
    } else {
      EXPECT_EQ(dialog.geometry().top(), screen.top());
    }
    // Unless the screen stopped the dialog widening, every column of the run shows whole.
    auto* run = dialog.findChild<QTreeWidget*>("currentList");
    ASSERT_NE(run, nullptr);
    int columns = 0;
    for (int i = 0; i < run->columnCount(); ++i) columns += run->columnWidth(i);
    if (screen.width() > dialog.width() + 16) {
      EXPECT_LE(columns, run->width() - 2 * run->frameWidth());
    }
  }
  auto entry = testing::MakeRequest({123456, longName, "URINA", {"BIL"}});
  EditRecordModel editing(entry.get());
  EditRecordDlg editor(editing, window_.get());
  ExpectLaidOut(editor);
}

// The dialogs laid out by Qt's layouts, over the longest values they show.
TEST_F(WindowGeometryTest, SettingsAboutAndAnalysisDialogsHoldTheirTexts) {
  const std::string longPath = "/home/laborator/instrumente/urina-banc-1/strivex/date-locale/local.db";
  SetariComunicare serial({"/dev/serial/by-id/usb-Adaptor_Serial_USB_A1B2C3D4E5-if00-port0", 19200, 7, 2, 0},
                          {{"/dev/serial/by-id/usb-Adaptor_Serial_USB_A1B2C3D4E5-if00-port0", "/dev/ttyUSB0"}});
  BackgroundWork workers;
  auto sample = std::make_unique<SampleRecord>(123456);
  sample->patientName = "\xAA" "tef\xE3nescu-Dumitrescu Alexandra-Maria";
  sample->groups.emplace_back("S_TRV").results.emplace_back().parameterCode = "GLU";
  std::vector<std::unique_ptr<QDialog>> dialogs;
  dialogs.push_back(std::make_unique<SetariComunicareDlg>(serial, window_.get()));
  dialogs.push_back(std::make_unique<SetariDbDlg>(
      DbDialogFields{longPath, "lis-db.laborator.example", "LABORATOR_PRODUCTIE", "medianex", "secret", true},
      DbTimeouts{}, [](const DbConnectionFields&) { return DbDialogAnswer{}; },
      [&](DbDialogRun::Task task) { return workers.Start(std::move(task)); }, window_.get()));
  dialogs.push_back(std::make_unique<About>(window_.get()));
  dialogs.push_back(std::make_unique<InfoAnaliza>(sample.get(), window_.get()));
  for (const auto& dialog : dialogs) {
    SCOPED_TRACE(dialog->windowTitle().toStdString());
    // Shown, so that the layouts of frames inside have placed their controls.
    dialog->show();
    testing::PumpFor(20);
    ExpectLaidOut(*dialog);
    dialog->hide();
  }
}

}  // namespace
}  // namespace strivex::ui
