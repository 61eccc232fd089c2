// The windows at the screen's density and font: ctest runs these at 96 dpi and again at 144 and
// 192 (CMakeLists.txt), with the longest texts they show.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "host/background_work.h"
#include "platform/message_box.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "ui/about_dlg.h"
#include "ui/banner_art.h"
#include "ui/dialog_placement.h"
#include "ui/edit_record_dlg.h"
#include "ui/info_analiza.h"
#include "ui/instance_chooser_dlg.h"
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

const std::string kLongName = "\xAA" "tef\xE3nescu-Dumitrescu Alexandra-Maria";  // Ş, ă in Windows-1250
const std::string kLongDevice = "/dev/serial/by-id/usb-Adaptor_Serial_USB_A1B2C3D4E5-if00-port0";

// No two visible controls under `parent` overlap (a frame drawn behind its controls aside), and
// no label's or button's text is wider or taller than it.
void ExpectLaidOut(const QWidget& parent) {
  std::vector<const QWidget*> shown;
  for (const QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow() || !child->isVisibleTo(&parent)) continue;
    for (const QWidget* other : shown) {
      if (qobject_cast<const QGroupBox*>(child) || qobject_cast<const QGroupBox*>(other)) continue;
      EXPECT_FALSE(child->geometry().intersects(other->geometry()))
          << child->objectName().toStdString() << " / " << other->objectName().toStdString();
    }
    shown.push_back(child);
    const QFontMetrics metrics = child->fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(child)) {
      const QRect room = label->contentsRect();
      const int height = label->wordWrap() ? label->heightForWidth(room.width()) : metrics.height();
      if (!label->wordWrap()) {
        EXPECT_LE(metrics.horizontalAdvance(label->text()), room.width()) << label->text().toStdString();
      }
      EXPECT_LE(height, room.height()) << label->text().toStdString();
    } else if (const auto* button = qobject_cast<const QPushButton*>(child)) {
      EXPECT_LE(metrics.horizontalAdvance(button->text()), button->width()) << button->text().toStdString();
    } else if (qobject_cast<const QGroupBox*>(child) || child->metaObject() == &QWidget::staticMetaObject) {
      ExpectLaidOut(*child);
    }
  }
}

class WindowGeometryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.record().SetFlag(HostRecord::kServerUnavailable, 1);
    window_.StartModule();
    testing::PumpFor(50);
  }
  void TearDown() override { window_.findChild<QAction*>("exitAction")->trigger(); }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 65541};
  platform::MessageBoxRecorder boxes_;
  HostRecordBuffer host_{5, "Strivex", rig_.LocalPath(), 1};
  CStrivexDlg window_{host_.record()};
};

TEST_F(WindowGeometryTest, EveryWindowHoldsItsLongestTexts) {
  auto* backlog = window_.findChild<QLabel*>("backlogLabel");
  auto* frames = window_.findChild<QLabel*>("framesLabel");
  StatusSnapshot busiest, failed;  // six-digit counts of everything; an outbox that cannot be written
  busiest.outboxPending = busiest.outboxRejected = busiest.outboxUnassigned = busiest.outboxOtherMachines = 999999;
  busiest.framesWaiting = 999999;
  busiest.portOpen = busiest.framesSending = true;  // the work list's line amber, the backlog's red
  failed.outboxFailed = true;
  for (const StatusSnapshot& now : {StatusSnapshot{}, busiest, failed}) {
    ShowStatusLine(*backlog, BacklogLine(now));
    ShowStatusLine(*frames, WorkListLine(busiest));
    SCOPED_TRACE(backlog->text().toStdString());
    for (const QLabel* line : {backlog, frames}) {
      const QPalette& colours = line->palette();
      EXPECT_GE(testing::ContrastRatio(colours.color(QPalette::WindowText), colours.color(QPalette::Window)), 4.5);
    }
    ExpectLaidOut(window_);
  }
  // Under the banner, whose name is painted on its right.
  EXPECT_TRUE(backlog->autoFillBackground());
  EXPECT_GE(backlog->y(), BottomBanner(DialogUnits::Of(window_).Scale()).height());

  SetariComunicare serial({kLongDevice, 19200, 7, 2, 0}, {{kLongDevice, "/dev/ttyUSB0"}});
  BackgroundWork workers;
  auto sample = testing::MakeRequest({123456, kLongName, "URINA", {"S_TRV"}});
  EditRecordModel editing(sample.get());
  const SampleList requests = testing::MakeRequests({{123456, kLongName, "URINA", {"BIL"}}});
  ListaLucruModel workList(requests, 1, 1);
  const std::function<std::unique_ptr<QDialog>()> dialogs[] = {
      [&] { return std::make_unique<ListaLucruDlg>(workList, &window_); },
      [&] { return std::make_unique<EditRecordDlg>(editing, &window_); },
      [&] { return std::make_unique<SetariComunicareDlg>(serial, &window_); },
      [&] {
        return std::make_unique<SetariDbDlg>(
            DbDialogFields{"/home/laborator/instrumente/urina-banc-1/strivex/local.db", "lis-db.laborator.example",
                           "LABORATOR_PRODUCTIE", "medianex", "secret", true},
            DbTimeouts{}, [](const DbConnectionFields&) { return DbDialogAnswer{}; },
            [&](DbDialogRun::Task task) { return workers.Start(std::move(task)); }, &window_);
      },
      [&] { return std::make_unique<About>(&window_); },
      [&] { return std::make_unique<InstanceChooserDlg>(QStringList{"urina-banc-1", "urina-banc-2"}, "", &window_); },
      [&] { return std::make_unique<InstanceChooserDlg>(QStringList{}, "Nu exista niciun instrument.", &window_); },
      [&] { return std::make_unique<InfoAnaliza>(sample.get(), &window_); },
  };
  for (const auto& make : dialogs) {
    const std::unique_ptr<QDialog> dialog = make();
    SCOPED_TRACE(dialog->windowTitle().toStdString());
    dialog->show();  // so that the layouts inside frames have placed their controls
    testing::PumpFor(20);
    ExpectLaidOut(*dialog);
  }
}

// The window opens within the screen's available area; where the screen is smaller than the
// window as drawn, the received list and the margins narrow and every control stays whole.
TEST_F(WindowGeometryTest, WindowOpensWithinTheScreenCuttingNothing) {
  const QRect screen = window_.screen()->availableGeometry();
  EXPECT_LE(window_.frameGeometry().width(), screen.width());
  EXPECT_LE(window_.frameGeometry().height(), screen.height());
  const auto* client = window_.findChild<QWidget*>("clientArea");
  EXPECT_TRUE(client->rect().contains(window_.PanelArea()));
  for (const QWidget* control : client->findChildren<QWidget*>()) {
    if (!control->isVisibleTo(client)) continue;
    const QRect where(control->mapTo(client, QPoint(0, 0)), control->size());
    EXPECT_TRUE(client->rect().contains(where)) << control->objectName().toStdString();
  }
  // The list keeps room for its rows' start.
  EXPECT_GE(window_.findChild<QTreeWidget*>("receivedList")->width(), DialogUnits::Of(window_).Across(100) - 1);
}

// Long paths and devices keep their start, their file or device name and the state; the tooltip
// has the whole line.
TEST_F(WindowGeometryTest, PanelCutsLongPathsInTheMiddle) {
  StatusSnapshot now;
  now.localDatabase = "/home/laborator/instrumente/urina-banc-1/strivex/date-locale/arhiva/local.db";
  now.portName = kLongDevice;
  now.portOpen = true;
  StatusPanelModel model;
  const StatusPanel panel = model.Paint(now);
  const std::pair<size_t, const char*> cases[] = {{1, "/local.db - Valida"}, {2, "-port0 - Deschis"}};
  for (const auto& [index, end] : cases) {
    const StatusLine& line = panel.lines[index];
    const QString shown = ShownStatusLine(line);
    SCOPED_TRACE(shown.toStdString());
    EXPECT_LT(shown.size(), FromLocal8(line.text).size());
    EXPECT_TRUE(shown.endsWith(QString::fromLatin1(end)));
    EXPECT_TRUE(shown.startsWith(FromLocal8(line.text.substr(0, line.cutFrom + 3))));
    EXPECT_EQ(StatusLineToolTip(line), FromLocal8(line.text));
  }
  window_.repaint();
  const QRect area = window_.PanelArea();
  const QString tip = window_.PanelToolTip(QPoint(area.center().x(), area.top() + area.height() * 2 / 5));
  EXPECT_EQ(tip, "Baza Locala : - " + QString::fromStdString(rig_.LocalPath()) + " - Valida");
}

// The work list opens over the window above its bottom bar, or at the screen's top when there is
// no room; it widens until the run's columns show whole unless the screen stops it.
TEST_F(WindowGeometryTest, WorkListOpensAboveTheBarWithItsColumnsWhole) {
  const SampleList requests = testing::MakeRequests({{123456, kLongName, "URINA", {"BIL"}}});
  ListaLucruModel model(requests, 1, 1);
  const QRect screen = window_.screen()->availableGeometry();
  for (const int windowTop : {screen.bottom() - window_.height(), screen.top()}) {
    SCOPED_TRACE(windowTop);
    window_.move(screen.left(), windowTop);
    ListaLucruDlg dialog(model, &window_);
    PlaceOverOwner(dialog);
    const int barTop = window_.findChild<QWidget*>(QLatin1String(kBottomBarName))->mapToGlobal(QPoint(0, 0)).y();
    EXPECT_TRUE(screen.contains(dialog.geometry()));
    EXPECT_EQ(dialog.geometry().bottom() < barTop, barTop - dialog.height() >= screen.top());
    auto* run = dialog.findChild<QTreeWidget*>("currentList");
    int columns = 0;
    for (int i = 0; i < run->columnCount(); ++i) columns += run->columnWidth(i);
    if (screen.width() > dialog.width() + 16) {
      EXPECT_LE(columns, run->width() - 2 * run->frameWidth());
    }
  }
}

}  // namespace
}  // namespace strivex::ui
