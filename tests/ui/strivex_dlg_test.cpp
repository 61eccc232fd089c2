// The main window on real parts: a SQLite local database, a pseudo-terminal as COM1, the window
// registry, and Qt on the offscreen platform. Only the operator's eyes (message boxes) are recorded.

#include "ui/strivex_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "platform/window_messages.h"
#include "support/module_rig.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"
#include "ui/dialog_placement.h"
#include "ui/info_analiza.h"
#include "ui/status_panel_painter.h"
#include "ui_test_support.h"

namespace strivex::ui {
namespace {

using testing::CatchModal;
using testing::PumpFor;
using testing::PumpUntil;

std::unique_ptr<SampleRecord> Sample(int32_t id, const std::string& patient) {
  auto sample = std::make_unique<SampleRecord>(id);
  sample->patientName = patient;
  GroupRecord& group = sample->groups.emplace_back("S_TRV");
  ResultRecord& result = group.results.emplace_back();
  result.parameterCode = "GLU";
  result.value = "NEG";
  return sample;
}

class StrivexDlgTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (dlg_ && !ended_) Action("exitAction")->trigger();
    dlg_.reset();
  }

  std::string LocalPath() const { return rig_.LocalPath(); }

  // `instance`: what the host's --instance gives the module before the window starts.
  void Start(uint8_t closeEndsModule = 1, const std::string& instance = "") {
    host_ = std::make_unique<HostRecordBuffer>(5, "Strivex", LocalPath(), closeEndsModule);
    // No server: the panel's first line says so.
    host_->record().SetFlag(HostRecord::kServerUnavailable, 1);
    dlg_ = std::make_unique<CStrivexDlg>(host_->record());
    if (!instance.empty()) dlg_->SetInstanceName(instance);
    QObject::connect(dlg_.get(), &CStrivexDlg::moduleEnded, [this] { ++ended_; });
    dlg_->StartModule();
    PumpFor(50);
  }

  uint8_t Flag(size_t offset) { return host_->record().Flag(offset); }
  QAction* Action(const char* name) { return dlg_->findChild<QAction*>(name); }
  template <class W>
  W* Child(const char* name) {
    W* found = dlg_->findChild<W*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  void Post(uint32_t message, uintptr_t wParam) {
    ASSERT_TRUE(platform::PostWindowMessage(dlg_->windowHandle(), message, wParam, 0));
    PumpFor(50);
  }
  // Rows added as the upload thread adds them: from another thread, queued to the window.
  void AddRowsFromWorker(const std::vector<std::pair<int32_t, std::string>>& rows) {
    std::thread worker([&] {
      for (const auto& [id, name] : rows) {
        dlg_->AddReceivedRow(ReceivedRow{std::to_string(id), "3/4", name, Sample(id, name)});
      }
    });
    worker.join();
    auto* list = Child<QTreeWidget>("receivedList");
    ASSERT_TRUE(PumpUntil([&] { return list->topLevelItemCount() == static_cast<int>(rows.size()); }));
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 65541};
  platform::MessageBoxRecorder boxes_;
  std::unique_ptr<HostRecordBuffer> host_;
  std::unique_ptr<CStrivexDlg> dlg_;
  int ended_ = 0;
};

TEST_F(StrivexDlgTest, MenuAndButtonsFollowThePort) {
  Start();
  struct Step {
    const char* action;
    bool removeDevice;
    bool openEnabled, closeEnabled;
    std::vector<std::string> boxes;
  };
  const Step steps[] = {
      {nullptr, false, false, true, {}},  // the port opened at start-up
      {"closePortAction", false, true, false, {}},
      {"openPortAction", false, false, true, {}},
      {"closePortAction", false, true, false, {}},
      // Re-opening a port that went away says so and leaves the menu as it was.
      {"openPortAction", true, true, false, {"Port: Inaccesibil"}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.action ? step.action : "start");
    if (step.removeDevice) std::filesystem::remove(dir_ / "dev" / "ttyS0");
    if (step.action) Action(step.action)->trigger();
    EXPECT_EQ(Action("openPortAction")->isEnabled(), step.openEnabled);
    EXPECT_EQ(Action("closePortAction")->isEnabled(), step.closeEnabled);
    EXPECT_EQ(boxes_.Texts(), step.boxes);
    // The serial settings follow the port: only while it is closed.
    EXPECT_EQ(Action("serialSettingsAction")->isEnabled(), step.openEnabled);
    EXPECT_TRUE(Action("databaseSettingsAction")->isEnabled());
    EXPECT_TRUE(Child<QPushButton>("createListButton")->isEnabled());
    EXPECT_TRUE(Action("exitAction")->isEnabled());
    EXPECT_TRUE(Action("aboutAction")->isEnabled());
  }
}

// Two instances on one desktop tell apart by the title, and by the bottom banner's name.
TEST_F(StrivexDlgTest, TitleAndBannerNameTheInstanceElseTheInstrument) {
  Start(1, "sala-2");
  EXPECT_EQ(dlg_->windowTitle(), "Strivex - sala-2");  // the start-up's caption did not replace it
  const QRect bar = Child<QWidget>(kBottomBarName)->geometry().translated(Child<QWidget>("clientArea")->pos());
  const QImage before = dlg_->grab(bar).toImage();
  const struct {
    const char* instance;
    const char* caption;  // as the core sets it, in Windows-1250
    QString title;
  } cases[] = {
      {"", "Strivex", "Strivex - Strivex"},
      {"", "Sal\xE3 2", QString::fromUtf8("Strivex - Sal\u0103 2")},
      {" banc-1 ", "Strivex", "Strivex - banc-1"},
      {"", " ", "Strivex"},
  };
  for (const auto& c : cases) {
    dlg_->SetInstanceName(c.instance);
    dlg_->SetCaption(c.caption);
    EXPECT_EQ(dlg_->windowTitle(), c.title);
  }
  EXPECT_NE(dlg_->grab(bar).toImage(), before);
}

TEST_F(StrivexDlgTest, OkEnterAndEscapeConfirmTheCodeAndNeverClose) {
  Start();
  const std::pair<const char*, std::function<void()>> ways[] = {
      {"OK", [&] { QTest::mouseClick(Child<QPushButton>("okButton"), Qt::LeftButton); }},
      {"Return", [&] { QTest::keyClick(Child<QLineEdit>("requestCode"), Qt::Key_Return); }},
      {"Enter", [&] { QTest::keyClick(Child<QLineEdit>("requestCode"), Qt::Key_Enter); }},
      {"Escape", [&] { QTest::keyClick(Child<QLineEdit>("requestCode"), Qt::Key_Escape); }},
  };
  for (const auto& [name, press] : ways) {
    SCOPED_TRACE(name);
    dlg_->show();
    host_->record().SetFlag(HostRecord::kWindowShown, 1);
    Child<QLineEdit>("requestCode")->setText("1021");
    press();
    PumpFor(20);
    // Without the server the typed code is taken as it is.
    EXPECT_EQ(Child<QLineEdit>("patient")->text(), "1021");
    EXPECT_TRUE(dlg_->isVisible());
    EXPECT_EQ(ended_, 0);

    Child<QLineEdit>("requestCode")->clear();
    press();
    PumpFor(20);
    EXPECT_FALSE(dlg_->isVisible());
    EXPECT_EQ(Flag(HostRecord::kWindowShown), 0);
    EXPECT_EQ(ended_, 0);
    Child<QLineEdit>("patient")->clear();
  }
}

TEST_F(StrivexDlgTest, ShowModuleMessageShowsOrHidesAndLeavesTheShownFlag) {
  Start();
  struct Case {
    uintptr_t wParam;
    bool visibleBefore;
    uint8_t shownFlag;
    bool visibleAfter;
  };
  const Case cases[] = {{0, true, 1, false}, {1, false, 0, true}, {7, true, 1, false}, {1, true, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wParam);
    dlg_->setVisible(c.visibleBefore);
    host_->record().SetFlag(HostRecord::kWindowShown, c.shownFlag);
    Post(platform::WM_SHOWMODULE, c.wParam);
    EXPECT_EQ(dlg_->isVisible(), c.visibleAfter);
    EXPECT_FALSE(dlg_->isMinimized());
    EXPECT_EQ(Flag(HostRecord::kWindowShown), c.shownFlag);
  }
}

struct CloseCase {
  const char* name;
  uint8_t closeEndsModule;
  bool posted;  // WM_CLOSE from the host instead of the close button
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class CloseTest : public StrivexDlgTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseTest, HidesOrShutsDownAsTheHostSays) {
  const CloseCase& c = GetParam();
  Start(c.closeEndsModule);
  ASSERT_EQ(Flag(HostRecord::kInitialised), 1);
  ASSERT_EQ(Flag(HostRecord::kModuleActive), 1);
  const platform::WindowHandle handle = dlg_->windowHandle();
  if (c.posted) {
    Post(platform::WM_CLOSE, 0);
  } else {
    dlg_->close();
    PumpFor(20);
  }
  if (c.closeEndsModule == 0) {
    EXPECT_FALSE(dlg_->isVisible());
    EXPECT_EQ(Flag(HostRecord::kWindowShown), 0);
    EXPECT_EQ(Flag(HostRecord::kInitialised), 1);
    EXPECT_EQ(ended_, 0);
    return;
  }
  EXPECT_EQ(ended_, 1);
  EXPECT_EQ(Flag(HostRecord::kInitialised), 0);
  EXPECT_EQ(Flag(HostRecord::kStartAck), 1);
  EXPECT_EQ(Flag(HostRecord::kModuleActive), 0);
  EXPECT_FALSE(dlg_->isVisible());
  // The window no longer takes messages.
  EXPECT_FALSE(platform::PostWindowMessage(handle, platform::WM_SHOWMODULE, 1, 0));
}

INSTANTIATE_TEST_SUITE_P(Window, CloseTest,
                         ::testing::Values(CloseCase{"ButtonHides", 0, false}, CloseCase{"ButtonEnds", 1, false},
                                           CloseCase{"PostedHides", 0, true}, CloseCase{"PostedEnds", 1, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StrivexDlgTest, RowsFromAWorkerShowAndTheirSamplesAreFreedAtShutdown) {
  Start();
  // Names are Windows-1250 bytes: 0xBA is "ş".
  AddRowsFromWorker({{1021, "Popescu Ion"}, {1022, "\xBA" "erban Ana"}});
  auto* list = Child<QTreeWidget>("receivedList");
  ASSERT_EQ(list->columnCount(), 3);
  EXPECT_EQ(list->headerItem()->text(0), "ID");
  EXPECT_EQ(list->headerItem()->text(2), "Nume");
  EXPECT_EQ(list->columnWidth(2), DialogUnits::Of(*dlg_).Scaled(210));
  EXPECT_EQ(list->topLevelItem(0)->text(0), "1021");
  EXPECT_EQ(list->topLevelItem(0)->text(1), "3/4");
  EXPECT_EQ(list->topLevelItem(1)->text(2), QString::fromUtf8("şerban Ana"));
  std::vector<ReceivedItem*> rows;
  for (int i = 0; i < 2; ++i) {
    rows.push_back(static_cast<ReceivedItem*>(list->topLevelItem(i)));
    ASSERT_NE(rows.back()->sample(), nullptr);
    EXPECT_EQ(rows.back()->sample()->requestId, 1021 + i);
  }
  Action("exitAction")->trigger();
  EXPECT_EQ(ended_, 1);
  for (ReceivedItem* row : rows) EXPECT_EQ(row->sample(), nullptr);
}

// Rows whose results wait are grey until the last one is stored, red while one is refused; a
// printout without a sample stands out; the line under the list counts what waits.
TEST_F(StrivexDlgTest, RowsShowWhatWaitsAndTheLineUnderTheListCountsIt) {
  Start();
  auto* list = Child<QTreeWidget>("receivedList");
  const struct {
    const char* id;
    const char* name;
    int64_t pending, rejected;
    bool unassigned;
  } rows[] = {{"1021", "Popescu Ion", 3, 0, false}, {"1022", "Ionescu Dan", 1, 1, false},
              {"1023", "", 0, 0, false}, {"-", "Fara ID proba", 2, 0, true}};
  std::thread worker([&] {
    int32_t index = 0;
    for (const auto& row : rows) {
      ReceivedRow added{row.id, "3/4", row.name, Sample(7, row.name)};
      added.outboxMessageId = 1;
      added.outboxSampleIndex = index++;
      added.pending = row.pending;
      added.rejected = row.rejected;
      added.unassigned = row.unassigned;
      dlg_->AddReceivedRow(std::move(added));
    }
  });
  worker.join();
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItemCount() == 4; }));
  // Waiting, refused and unassigned rows each have a colour of their own that reads on the list;
  // refused stays red; a stored row has the list's own colour.
  std::set<QRgb> marks;
  for (const int i : {0, 1, 3}) {
    const QColor colour = list->topLevelItem(i)->foreground(0).color();
    EXPECT_GE(testing::ContrastRatio(colour, list->palette().color(QPalette::Base)), 4.5) << i;
    marks.insert(colour.rgb());
  }
  EXPECT_EQ(marks.size(), 3u);
  const QColor refused = list->topLevelItem(1)->foreground(0).color();
  EXPECT_GT(refused.red(), 2 * std::max(refused.green(), refused.blue()));
  EXPECT_EQ(list->topLevelItem(2)->foreground(0).style(), Qt::NoBrush);
  // The operators' page's picture (docs/images/backlog.png): these rows, and the line as a busy
  // day shows it (the next tick shows this outbox again).
  auto* backlog = Child<QLabel>("backlogLabel");
  StatusSnapshot busy;
  busy.outboxPending = 4;
  busy.outboxRejected = 1;
  busy.outboxUnassigned = 2;
  ShowStatusLine(*backlog, BacklogLine(busy));
  testing::SaveShot(*dlg_, "backlog.png");
  EXPECT_TRUE(list->topLevelItem(3)->toolTip(0).contains(QStringLiteral("fara ID proba")));

  // The first row's last result is stored: it looks like any other.
  std::thread([&] { dlg_->SetRowBacklog(1, 0, 0, 0); }).join();
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItem(0)->foreground(0).style() == Qt::NoBrush; }));
  EXPECT_NE(list->topLevelItem(1)->foreground(0).style(), Qt::NoBrush);

  ASSERT_TRUE(PumpUntil([&] { return backlog->text().startsWith(QStringLiteral("Rezultate : - 0")); }));

  // A name the server gave later goes to its own row and sample only.
  std::thread([&] { dlg_->SetRowPatient(1, 2, "Ionescu Maria"); }).join();
  ASSERT_TRUE(PumpUntil([&] { return list->topLevelItem(2)->text(2) == "Ionescu Maria"; }));
  EXPECT_EQ(static_cast<ReceivedItem*>(list->topLevelItem(2))->sample()->patientName, "Ionescu Maria");
  EXPECT_EQ(list->topLevelItem(2)->toolTip(2), "Ionescu Maria");
  EXPECT_EQ(list->topLevelItem(1)->text(2), "Ionescu Dan");
}

TEST_F(StrivexDlgTest, DialogsOpenOnlyForWhatWasChosen) {
  Start();
  AddRowsFromWorker({{1234, "Popescu Ion"}, {1235, "Ionescu Dan"}});
  auto* list = Child<QTreeWidget>("receivedList");
  const auto doubleClickEmptyArea = [&] {
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, QPoint(5, list->viewport()->height() - 5));
  };

  list->clearSelection();
  QString code;
  EXPECT_EQ(CatchModal(doubleClickEmptyArea), std::nullopt);

  list->topLevelItem(1)->setSelected(true);
  const auto look = [&](QWidget& modal) {
    if (auto* edit = modal.findChild<QLineEdit*>("codeEdit")) code = edit->text();
  };
  EXPECT_EQ(CatchModal(doubleClickEmptyArea, look), "Informatii Analiza");
  EXPECT_EQ(code, "1235");  // the selected row, wherever the click fell

  EXPECT_EQ(CatchModal([&] { Action("aboutAction")->trigger(); }), "Despre");
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(StrivexDlgTest, InfoWithoutASampleOnlySaysSo) {
  InfoAnaliza info(nullptr);
  EXPECT_EQ(CatchModal([&] { EXPECT_EQ(info.Run(), 0); }), std::nullopt);
  EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Nu pot Afisa"});
}

enum class Hue { kRed, kGreen };

// Counts the pixels of one hue in a line's area of the panel (lines at y + 1 + 14 * i of its own
// pixels, `scale` times as large on the window); text is anti-aliased, so a hue is a strong channel
// over two weak ones.
int CountPixels(const QImage& image, const QRect& panel, double scale, int line, Hue hue) {
  // The area's corner is the panel's (x - 2, y - 2), less one pixel.
  const auto at = [&](int from, int pixels) { return from + 1 + static_cast<int>(pixels * scale); };
  int count = 0;
  for (int y = at(panel.top(), 3 + 14 * line); y < at(panel.top(), 16 + 14 * line); ++y) {
    for (int x = at(panel.left(), 12); x < at(panel.left(), 200); ++x) {
      const QColor c = image.pixelColor(x, y);
      const int strong = hue == Hue::kRed ? c.red() : c.green();
      const int weak = hue == Hue::kRed ? std::max(c.green(), c.blue()) : std::max(c.red(), c.blue());
      count += strong > 150 && weak < 80;
    }
  }
  return count;
}

TEST_F(StrivexDlgTest, PanelDrawsEachLineInTheModelsColour) {
  Start();
  auto* client = dlg_->findChild<QWidget*>("clientArea");
  ASSERT_NE(client, nullptr);
  const QRect panel = dlg_->PanelArea();
  const double scale = DialogUnits::Of(*dlg_).Scale();
  struct Case {
    const char* action;
    int line;
    Hue shown, absent;
  };
  const Case cases[] = {
      {nullptr, 0, Hue::kRed, Hue::kGreen},       // "Baza Server : - Invalida"
      {nullptr, 1, Hue::kGreen, Hue::kRed},       // "Baza Locala : - ... - Valida"
      {nullptr, 2, Hue::kGreen, Hue::kRed},       // "Port : - COM1 - Deschis"
      {nullptr, 3, Hue::kGreen, Hue::kRed},       // "Transmisie : - Astept"
      {"closePortAction", 2, Hue::kRed, Hue::kGreen},  // "Port : - COM1 - Inchis"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    if (c.action) Action(c.action)->trigger();
    const QImage image = client->grab().toImage();
    EXPECT_GT(CountPixels(image, panel, scale, c.line, c.shown), 20);
    EXPECT_EQ(CountPixels(image, panel, scale, c.line, c.absent), 0);
  }
  // The frame: grey band outside, black inside.
  const QImage image = client->grab().toImage();
  const int middle = panel.center().y();
  EXPECT_EQ(image.pixel(panel.left() + 1 + qRound(1 * scale), middle) & 0xFFFFFF, qRgb(192, 192, 192) & 0xFFFFFF);
  EXPECT_EQ(image.pixel(panel.left() + 1 + qRound(3 * scale), middle) & 0xFFFFFF, 0u);
}

TEST_F(StrivexDlgTest, ShutdownSavesTheRequestedScreenshot) {
  Start();
  AddRowsFromWorker({{1021, "Popescu Ion"}, {1022, "Ionescu Dan"}});
  const std::string shot = (dir_ / "window.png").string();
  setenv("STRIVEX_SCREENSHOT", shot.c_str(), 1);
  const QSize size = dlg_->size();
  Action("exitAction")->trigger();
  unsetenv("STRIVEX_SCREENSHOT");
  QImage saved(QString::fromStdString(shot));
  ASSERT_FALSE(saved.isNull());
  EXPECT_EQ(saved.size(), size);
  EXPECT_GE(size.width(), 578);
  // For a look at the whole window outside the test.
  if (const char* keep = std::getenv("STRIVEX_UI_KEEP_SCREENSHOT")) saved.save(QString::fromLocal8Bit(keep));
}

}  // namespace
}  // namespace strivex::ui
