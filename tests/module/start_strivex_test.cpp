// The built libstrivex.so as a host sees it: loaded with dlopen, started through its one export,
// driven by window messages and observed through the host record. The window runs offscreen; its
// visibility is asked of Qt on the module's UI thread.

#include <dlfcn.h>
#include <stdlib.h>

#include <QApplication>
#include <QDialog>
#include <QMetaObject>
#include <QWidget>

#include <gtest/gtest.h>

#include <barrier>
#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

#include "db/baza_de_date.h"
#include "host/host_record.h"
#include "platform/window_messages.h"
#include "support/module_rig.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::WaitFor;
using StartFunction = uint8_t (*)(uint8_t*);

StartFunction LoadModule() {
  void* module = dlopen(STRIVEX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return nullptr;
  return reinterpret_cast<StartFunction>(dlsym(module, "StartStrivex"));
}

// The module's windows that are on screen, counted on the UI thread that owns them.
int VisibleDialogs() {
  int visible = 0;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
          if (qobject_cast<QDialog*>(widget) != nullptr && widget->isVisible()) ++visible;
        }
      },
      Qt::BlockingQueuedConnection);
  return visible;
}

class StartStrivexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    start_ = LoadModule();
    ASSERT_NE(start_, nullptr) << dlerror();
  }

  void TearDown() override {
    for (auto& record : records_) EndModule(*record);
  }

  std::string LocalPath() const { return rig_.LocalPath(); }

  // A record of a host that keeps the server away (offset 71) and lets the close button hide.
  HostRecord NewRecord() {
    records_.push_back(std::make_unique<HostRecordBuffer>(5, "Strivex", LocalPath(), 0));
    HostRecord record = records_.back()->record();
    record.SetFlag(HostRecord::kServerUnavailable, 1);
    return record;
  }

  // Starts and waits for the window's start-up.
  HostRecord StartInitialised() {
    HostRecord record = NewRecord();
    EXPECT_EQ(start_(record.bytes()), 1);
    EXPECT_TRUE(WaitFor([&] { return record.Flag(HostRecord::kInitialised) == 1; }, 20s));
    return record;
  }

  static bool Post(HostRecord& record, uint32_t message, uintptr_t wParam) {
    return platform::PostWindowMessage(record.WindowHandle(), message, wParam, 0);
  }

  // The close button of a host that lets it end the module, and the module's last word.
  static bool EndModule(HostRecord& record) {
    if (record.Flag(HostRecord::kModuleActive) == 0) return true;
    record.SetFlag(HostRecord::kCloseEndsModule, 1);
    Post(record, platform::WM_CLOSE, 0);
    return WaitFor([&] { return record.Flag(HostRecord::kModuleActive) == 0; }, 20s);
  }
  static bool EndModule(HostRecordBuffer& buffer) {
    HostRecord record = buffer.record();
    return EndModule(record);
  }

  testing::TempDir dir_;
  testing::ScopedCurrentDir cwd_{dir_.path()};
  testing::ModuleRig rig_{dir_.path(), 5};
  StartFunction start_ = nullptr;
  std::vector<std::unique_ptr<HostRecordBuffer>> records_;
};

TEST_F(StartStrivexTest, AcknowledgesTheWindowObjectThenTheStartUpFillsTheRecord) {
  HostRecord record = NewRecord();
  record.SetFlag(HostRecord::kStartAck, 9);  // cleared by the start, then set by the UI thread
  ASSERT_EQ(start_(record.bytes()), 1);
  EXPECT_EQ(record.Flag(HostRecord::kStartAck), 1);

  ASSERT_TRUE(WaitFor([&] { return record.Flag(HostRecord::kInitialised) == 1; }, 20s));
  EXPECT_NE(record.WindowHandle(), 0u);
  EXPECT_EQ(record.Flag(HostRecord::kModuleActive), 1);
  EXPECT_EQ(record.Flag(HostRecord::kWindowShown), 1);
  EXPECT_EQ(record.Flag(HostRecord::kServerUnavailable), 1);
  EXPECT_EQ(VisibleDialogs(), 1);
}

TEST_F(StartStrivexTest, OfTwoSimultaneousStartsOnlyOneProceeds) {
  HostRecord first = NewRecord();
  HostRecord second = NewRecord();
  first.SetFlag(HostRecord::kStartAck, 7);
  second.SetFlag(HostRecord::kStartAck, 7);
  // The first start in a process builds Qt, so the other call comes while it waits.
  std::barrier together(2);
  uint8_t results[2] = {};
  std::thread a([&] {
    together.arrive_and_wait();
    results[0] = start_(first.bytes());
  });
  std::thread b([&] {
    together.arrive_and_wait();
    results[1] = start_(second.bytes());
  });
  a.join();
  b.join();
  ASSERT_EQ(results[0] + results[1], 1) << int(results[0]) << " " << int(results[1]);
  HostRecord& started = results[0] == 1 ? first : second;
  HostRecord& refused = results[0] == 1 ? second : first;
  EXPECT_EQ(started.Flag(HostRecord::kStartAck), 1);
  EXPECT_EQ(refused.Flag(HostRecord::kStartAck), 7);  // a refused call touches nothing
  ASSERT_TRUE(WaitFor([&] { return started.Flag(HostRecord::kInitialised) == 1; }, 20s));
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(refused.Flag(HostRecord::kInitialised), 0);
  EXPECT_EQ(VisibleDialogs(), 1);

  // The refusal left nothing behind: the next start goes through.
  ASSERT_TRUE(EndModule(started));
  EXPECT_EQ(start_(refused.bytes()), 1);
  EXPECT_TRUE(WaitFor([&] { return refused.Flag(HostRecord::kInitialised) == 1; }, 20s));
}

TEST_F(StartStrivexTest, ShowModuleMessageShowsAndHidesWithoutTouchingTheShownFlag) {
  HostRecord record = StartInitialised();
  ASSERT_TRUE(Post(record, platform::WM_SHOWMODULE, 0));
  EXPECT_TRUE(WaitFor([] { return VisibleDialogs() == 0; }, 5s));
  EXPECT_EQ(record.Flag(HostRecord::kWindowShown), 1);
  EXPECT_EQ(record.Flag(HostRecord::kModuleActive), 1);  // hiding ends nothing

  ASSERT_TRUE(Post(record, platform::WM_SHOWMODULE, 1));
  EXPECT_TRUE(WaitFor([] { return VisibleDialogs() == 1; }, 5s));
  ASSERT_TRUE(Post(record, platform::WM_SHOWMODULE, 2));  // anything but 1 hides
  EXPECT_TRUE(WaitFor([] { return VisibleDialogs() == 0; }, 5s));
  EXPECT_EQ(record.Flag(HostRecord::kWindowShown), 1);
}

TEST_F(StartStrivexTest, CloseButtonHidesOrEndsTheModuleAsOffset74Says) {
  HostRecord record = StartInitialised();
  ASSERT_TRUE(Post(record, platform::WM_CLOSE, 0));
  ASSERT_TRUE(WaitFor([&] { return record.Flag(HostRecord::kWindowShown) == 0; }, 5s));
  EXPECT_TRUE(WaitFor([] { return VisibleDialogs() == 0; }, 5s));
  EXPECT_EQ(record.Flag(HostRecord::kInitialised), 1);
  EXPECT_EQ(record.Flag(HostRecord::kModuleActive), 1);

  ASSERT_TRUE(Post(record, platform::WM_SHOWMODULE, 1));
  EXPECT_TRUE(WaitFor([] { return VisibleDialogs() == 1; }, 5s));
  record.SetFlag(HostRecord::kStartAck, 0);  // to see the shutdown's own acknowledgement
  record.SetFlag(HostRecord::kCloseEndsModule, 1);
  ASSERT_TRUE(Post(record, platform::WM_CLOSE, 0));
  ASSERT_TRUE(WaitFor([&] { return record.Flag(HostRecord::kModuleActive) == 0; }, 20s));
  EXPECT_EQ(record.Flag(HostRecord::kInitialised), 0);
  EXPECT_EQ(record.Flag(HostRecord::kStartAck), 1);
  EXPECT_TRUE(WaitFor([] { return VisibleDialogs() == 0; }, 5s));
}

TEST_F(StartStrivexTest, AStartAfterAShutdownReusesTheUiThread) {
  HostRecord first = StartInitialised();
  const auto firstHandle = first.WindowHandle();
  ASSERT_TRUE(EndModule(first));
  // The dialog goes away with its handle, the UI thread stays.
  EXPECT_TRUE(WaitFor([&] { return !platform::PostWindowMessage(firstHandle, 0, 0, 0); }, 5s));

  HostRecord second = StartInitialised();
  EXPECT_EQ(second.Flag(HostRecord::kModuleActive), 1);
  EXPECT_NE(second.WindowHandle(), firstHandle);
  EXPECT_EQ(VisibleDialogs(), 1);
  ASSERT_TRUE(EndModule(second));
  EXPECT_EQ(second.Flag(HostRecord::kInitialised), 0);
  EXPECT_EQ(second.Flag(HostRecord::kStartAck), 1);
}

TEST(StrivexExports, OnlyStartStrivexIsExported) {
  const auto nm = testing::RunProcess("/usr/bin/nm", {"-D", "--defined-only", STRIVEX_MODULE_PATH});
  ASSERT_EQ(nm.exitCode, 0) << nm.err;
  std::vector<std::string> names;
  std::istringstream lines(nm.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) names.push_back(line.substr(line.rfind(' ') + 1));
  }
  EXPECT_EQ(names, std::vector<std::string>{"StartStrivex"});
}

}  // namespace
}  // namespace strivex
