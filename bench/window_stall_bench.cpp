// The window thread's worst stalls: a 5 ms timer on that thread notes how long its event loop went
// without running while something keeps the server busy, and the operator keeps using the window.
// Each case is one small class: what runs meanwhile, and what the operator does between turns of
// the loop. Reported as counters p99_ms and max_ms (target p99 < 50 ms, max < 200 ms).

#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QByteArray>
#include <QPushButton>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "db/baza_de_date.h"
#include "db/silent_server.h"
#include "host/background_work.h"
#include "host/host_record.h"
#include "outbox_messages.h"
#include "platform/message_box.h"
#include "smoke.h"
#include "support/lab_cluster.h"
#include "support/loop_stalls.h"
#include "support/module_rig.h"
#include "support/temp_dir.h"
#include "ui/setari_db_dlg.h"
#include "ui/strivex_dlg.h"
#include "util/format.h"

namespace strivex {
namespace {

constexpr int kTickMs = 5;
const auto kMeasured = bench::FullOrSmoke(std::chrono::seconds(3), std::chrono::seconds(1));

void EnsureApplication() {
  if (QApplication::instance() != nullptr) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
  static int argc = 1;
  static char name[] = "strivex_bench";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  static_cast<void>(app);
}

// The server the cases make the module wait for: lets connections in, never answers. The module's
// clients take its port from PGPORT.
class MuteServer {
 public:
  MuteServer() : previous_(qgetenv("PGPORT")) { qputenv("PGPORT", QByteArray::number(silent_.port())); }
  ~MuteServer() {
    if (previous_.isNull()) {
      qunsetenv("PGPORT");
    } else {
      qputenv("PGPORT", previous_);
    }
  }
  bool ok() const { return silent_.port() != 0; }

 private:
  testing::SilentServer silent_{testing::SilentServer::kMute};
  QByteArray previous_;
};

class StallCase {
 public:
  virtual ~StallCase() = default;
  // Empty when the case is ready; otherwise why it cannot run.
  virtual std::string failure() const { return {}; }
  // What the operator does between two turns of the loop.
  virtual void Operate() {}
  // The module's stop after the measured time, in ms; none when the case does not time it.
  virtual std::optional<double> StopMs() { return std::nullopt; }
};

// "Testez Conectie" of the database settings against the mute server, pressed again whenever the
// previous test has ended.
class DialogLogin : public StallCase {
 public:
  DialogLogin()
      : dialog_({"", "127.0.0.1", "strivex_lab", "u", "p", false}, kTimeouts,
                [](const DbConnectionFields& f) { return TestDbConnectionAnswer(f, kTimeouts); },
                [this](DbDialogRun::Task task) { return workers_.Start(std::move(task)); }) {
    dialog_.show();
    test_ = dialog_.findChild<QPushButton*>("testButton");
  }
  ~DialogLogin() override {
    dialog_.reject();
    workers_.Finish();
  }
  std::string failure() const override { return mute_.ok() && test_ != nullptr ? "" : "no mute listener"; }
  void Operate() override {
    if (test_->isEnabled()) test_->click();
  }

 private:
  static constexpr DbTimeouts kTimeouts{std::chrono::seconds(1), std::chrono::seconds(1)};
  MuteServer mute_;
  platform::MessageBoxRecorder boxes_;
  BackgroundWork workers_;  // after the dialog's run: its tasks end first
  ui::SetariDbDlg dialog_;
  QPushButton* test_ = nullptr;
};

// The main window of a module whose server is the mute one: the reconnection logs in again and
// again (1 s each), while the operator confirms request codes.
class Reconnection : public StallCase {
 public:
  Reconnection() {
    rig_.UseServer("Driver={SQL Server}; Server=127.0.0.1; Network=; Database=strivex_lab; Uid=u;Pwd=p");
    {
      BazaDeDate local;
      local.DeschidBazaLocala(rig_.LocalPath(), "", 1);
      local.SQLCommand("INSERT INTO Medianex_Init (Proprietate, Valoare) VALUES ('Timeout Conectare', '1')", 0);
    }
    window_ = std::make_unique<ui::CStrivexDlg>(host_.record());
    window_->StartModule();  // its own login fails first, on this thread: not measured
  }
  ~Reconnection() override {
    window_->findChild<QAction*>("exitAction")->trigger();
    window_.reset();
  }
  std::string failure() const override { return mute_.ok() ? "" : "no mute listener"; }
  void Operate() override {
    window_->SetRequestCodeText(std::to_string(1021 + (++typed_ % 5)));
    window_->accept();
  }

 private:
  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  MuteServer mute_;
  platform::MessageBoxRecorder boxes_;
  testing::ModuleRig rig_{dir_.path(), 5};
  HostRecordBuffer host_{5, "Strivex", rig_.LocalPath(), 1};
  std::unique_ptr<ui::CStrivexDlg> window_;
  int typed_ = 0;
};

// The main window of a module whose server (a cluster of its own) froze while a result was being
// stored: the upload waits in a statement, the operator confirms request codes; then "Iesire".
class FrozenServer : public StallCase {
 public:
  FrozenServer() {
    try {
      lab_ = std::make_unique<testing::LabCluster>();
    } catch (const std::exception& error) {
      failure_ = error.what();
      return;
    }
    env_ = std::make_unique<testing::ScopedEnvironment>(lab_->Environment());
    rig_.UseServer(lab_->ConnectionString());
    window_ = std::make_unique<ui::CStrivexDlg>(host_.record());
    window_->StartModule();
    lab_->Freeze();
    rig_.pty().Write(bench::ReportPage(1021, 1));
    // The report ends with the line's silence; the upload is in its statement soon after.
    auto* received = window_->findChild<QTreeWidget*>("receivedList");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (received->topLevelItemCount() == 0 && std::chrono::steady_clock::now() < until) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    if (received->topLevelItemCount() == 0) failure_ = "the report was not received";
  }
  ~FrozenServer() override {
    if (window_) StopMs();
    if (lab_) lab_->Thaw();
  }
  std::string failure() const override { return failure_; }
  void Operate() override {
    window_->SetRequestCodeText(std::to_string(1021 + (++typed_ % 5)));
    window_->accept();
  }
  std::optional<double> StopMs() override {
    if (!window_) return std::nullopt;
    const auto start = std::chrono::steady_clock::now();
    window_->findChild<QAction*>("exitAction")->trigger();
    window_.reset();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }

 private:
  std::string failure_;
  std::unique_ptr<testing::LabCluster> lab_;
  std::unique_ptr<testing::ScopedEnvironment> env_;
  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  platform::MessageBoxRecorder boxes_;
  testing::ModuleRig rig_{dir_.path(), 5};
  HostRecordBuffer host_{5, "Strivex", rig_.LocalPath(), 1};
  std::unique_ptr<ui::CStrivexDlg> window_;
  int typed_ = 0;
};

template <class Case>
void BM_WindowStall(benchmark::State& state) {
  EnsureApplication();
  double p99 = 0;
  double worst = 0;
  for (auto _ : state) {
    Case meanwhile;
    if (const std::string why = meanwhile.failure(); !why.empty()) {
      state.SkipWithError(why.c_str());
      return;
    }
    const testing::LoopStalls stalls(kTickMs);
    const auto until = std::chrono::steady_clock::now() + kMeasured;
    while (std::chrono::steady_clock::now() < until) {
      meanwhile.Operate();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    p99 = std::max(p99, stalls.PercentileMs(0.99));
    worst = std::max(worst, stalls.MaxMs());
    if (const std::optional<double> stop = meanwhile.StopMs()) state.counters["stop_ms"] = *stop;
  }
  state.counters["p99_ms"] = p99;
  state.counters["max_ms"] = worst;
}

BENCHMARK_TEMPLATE(BM_WindowStall, DialogLogin)->Name("BM_WindowStall/dialog_login")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WindowStall, Reconnection)->Name("BM_WindowStall/reconnection")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_WindowStall, FrozenServer)->Name("BM_WindowStall/frozen_server")->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace strivex
