#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace strivex::platform {
namespace {

TEST(MessageBox, RecorderCapturesFromAllThreadsAndRestoresPrevious) {
  std::vector<std::string> outer;
  auto previous = SetMessageBoxHandler([&outer](const std::string& text) { outer.push_back(text); });
  {
    MessageBoxRecorder recorder;
    for (int i = 0; i < 4; ++i) MessageBox("Portul e inchis");
    EXPECT_EQ(recorder.Texts(), std::vector<std::string>(4, "Portul e inchis"));
#ifndef NDEBUG
    // The recorder's thread stands for the window's: a worker asking for a box is a bug.
    EXPECT_DEATH(std::thread([] { MessageBox("Portul e inchis"); }).join(), "off the window's thread");
#endif
    // The host's thread posts instead: handed over, not a fault.
    std::thread([] { PostMessageBox("Directorul"); }).join();
    EXPECT_EQ(recorder.Texts().back(), "Directorul");
  }
  MessageBox("after");
  EXPECT_EQ(outer, std::vector<std::string>{"after"});
  SetMessageBoxHandler(std::move(previous));
}

TEST(MessageBox, HandlerMayShowAnotherBox) {
  // A handler runs outside the registry's lock, so a box raised while one is shown cannot deadlock.
  MessageBoxRecorder recorder;
  auto previous = SetMessageBoxHandler(nullptr);
  std::vector<std::string> seen;
  SetMessageBoxHandler([&](const std::string& text) {
    seen.push_back(text);
    if (text == "first") MessageBox("second");
  });
  MessageBox("first");
  EXPECT_EQ(seen, (std::vector<std::string>{"first", "second"}));
  SetMessageBoxHandler(std::move(previous));
}

}  // namespace
}  // namespace strivex::platform
