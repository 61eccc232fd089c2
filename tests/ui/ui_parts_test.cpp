// The window's helpers: the code page at the Qt boundary and the Qt message box.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <atomic>
#include <thread>

#include "platform/message_box.h"
#include "ui/message_box_qt.h"
#include "ui/text_codec.h"
#include "ui_test_support.h"

namespace strivex::ui {
namespace {

TEST(TextCodecTest, WindowsCodePageBothWays) {
  const std::pair<std::string, const char*> cases[] = {
      {"Popescu Ion", "Popescu Ion"},
      {"\xBA" "erban \xFE" "ara", "şerban ţara"},
      {"5 \xB5l", "5 µl"},
      {"\xAA\xDE\xC3", "ŞŢĂ"},
      {"", ""},
  };
  for (const auto& [bytes, text] : cases) {
    EXPECT_EQ(FromLocal8(bytes), QString::fromUtf8(text));
    EXPECT_EQ(ToLocal8(QString::fromUtf8(text)), bytes);
  }
}

class QtMessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override { previous_ = platform::SetMessageBoxHandler(ShowQtMessageBox); }
  void TearDown() override { platform::SetMessageBoxHandler(previous_); }
  platform::MessageBoxHandler previous_;
};

TEST_F(QtMessageBoxTest, WorkerQueuesTheBoxOnTheUiThreadAndGoesOn) {
  std::atomic<bool> returned{false};
  QString shown;
  bool returnedWhileOpen = true;
  int ticksOpen = 0;
  // The box runs its own loop on this thread: it is looked at and closed from a timer.
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    shown = box->text();
    if (++ticksOpen < 10) return;
    returnedWhileOpen = returned;
    box->done(0);
  });
  watcher.start();
  std::thread worker([&] {
    ui::ShowQtMessageBox("Port: Inaccesibil");
    returned = true;
  });
  EXPECT_TRUE(testing::PumpUntil([&] { return ticksOpen >= 10; }));
  worker.join();
  EXPECT_EQ(shown, "Port: Inaccesibil");
  EXPECT_TRUE(returnedWhileOpen) << "a worker waited for the operator";
}

TEST_F(QtMessageBoxTest, UiThreadShowsItDirectly) {
  QString shown;
  const auto title = testing::CatchModal([] { platform::MessageBox("Nu pot Afisa"); },
                                         [&](QWidget& modal) { shown = static_cast<QMessageBox&>(modal).text(); });
  EXPECT_TRUE(title.has_value());
  EXPECT_EQ(shown, "Nu pot Afisa");
}

TEST(QtMessageBoxInstallTest, KeepsAHandlerAlreadyInstalled) {
  platform::MessageBoxRecorder recorder;
  InstallQtMessageBoxHandler();
  platform::MessageBox("Port: Inaccesibil");
  EXPECT_EQ(recorder.Texts(), std::vector<std::string>{"Port: Inaccesibil"});
}

}  // namespace
}  // namespace strivex::ui
