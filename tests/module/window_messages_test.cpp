// The window registry that host and module share: handles, delivery, and handlers that act on
// the registry themselves or race with the window going away.

#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <thread>
#include <vector>

namespace strivex::platform {
namespace {

using namespace std::chrono_literals;

TEST(WindowMessages, HandlesAreNonZeroDistinctAndDeliverTheirArguments) {
  std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>> got;
  const WindowHandle first = RegisterWindow([&](uint32_t m, uintptr_t w, intptr_t l) { got.emplace_back(m, w, l); });
  const WindowHandle second = RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);

  EXPECT_TRUE(PostWindowMessage(first, WM_SHOWMODULE, 1, -5));
  EXPECT_TRUE(PostWindowMessage(first, WM_CLOSE, 0, 0));
  EXPECT_EQ(got, (std::vector<std::tuple<uint32_t, uintptr_t, intptr_t>>{{WM_SHOWMODULE, 1, -5}, {WM_CLOSE, 0, 0}}));

  UnregisterWindow(first);
  EXPECT_FALSE(PostWindowMessage(first, WM_CLOSE, 0, 0));
  EXPECT_EQ(got.size(), 2u);
  EXPECT_TRUE(PostWindowMessage(second, WM_CLOSE, 0, 0));  // the other window is untouched
  UnregisterWindow(second);
  UnregisterWindow(second);  // twice is harmless
}

TEST(WindowMessages, UnknownHandlesAreRefused) {
  EXPECT_FALSE(PostWindowMessage(0, WM_CLOSE, 0, 0));
  EXPECT_FALSE(PostWindowMessage(0xFFFFFFF0u, WM_CLOSE, 0, 0));
}

TEST(WindowMessages, HandlerMayUseTheRegistryItself) {
  // Called outside the registry's lock: a window closing itself on a message must not deadlock.
  WindowHandle self = 0;
  WindowHandle other = 0;
  self = RegisterWindow([&](uint32_t message, uintptr_t, intptr_t) {
    if (message == WM_CLOSE) {
      other = RegisterWindow([](uint32_t, uintptr_t, intptr_t) {});
      UnregisterWindow(self);
    }
  });
  EXPECT_TRUE(PostWindowMessage(self, WM_CLOSE, 0, 0));
  EXPECT_NE(other, 0u);
  EXPECT_FALSE(PostWindowMessage(self, WM_CLOSE, 0, 0));
  UnregisterWindow(other);
}

TEST(WindowMessages, UnregisteringDuringADeliveryKeepsTheHandlerAlive) {
  std::promise<void> entered;
  std::promise<void> release;
  auto released = release.get_future().share();
  auto alive = std::make_shared<int>(42);
  std::atomic<int> seen{0};
  const WindowHandle handle = RegisterWindow([&, alive, released](uint32_t, uintptr_t, intptr_t) {
    entered.set_value();
    released.wait();
    seen = *alive;  // the captures must still exist
  });
  std::thread poster([&] { PostWindowMessage(handle, WM_SHOWMODULE, 1, 0); });
  entered.get_future().wait();
  UnregisterWindow(handle);  // does not wait for the delivery
  std::weak_ptr<int> watch = alive;
  alive.reset();
  EXPECT_FALSE(watch.expired());
  release.set_value();
  poster.join();
  EXPECT_EQ(seen.load(), 42);
  EXPECT_TRUE(watch.expired());
}

TEST(WindowMessages, ConcurrentWindowsGetEveryMessageOnce) {
  constexpr int kThreads = 4;
  constexpr int kMessages = 500;
  std::vector<std::atomic<int>> counts(kThreads);
  std::vector<std::thread> threads;
  std::vector<WindowHandle> handles(kThreads);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      handles[t] = RegisterWindow([&, t](uint32_t, uintptr_t w, intptr_t) { counts[t] += static_cast<int>(w); });
      for (int i = 0; i < kMessages; ++i) PostWindowMessage(handles[t], WM_SHOWMODULE, 1, 0);
      UnregisterWindow(handles[t]);
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(std::set<WindowHandle>(handles.begin(), handles.end()).size(), static_cast<size_t>(kThreads));
  for (auto& count : counts) EXPECT_EQ(count.load(), kMessages);
}

}  // namespace
}  // namespace strivex::platform
