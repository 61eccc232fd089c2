#include "util/local_time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace strivex {
namespace {

TEST(LocalTime, ScopedClocksNestAndRestore) {
  LocalTime outer;
  outer.wYear = 2024;
  LocalTime inner;
  inner.wYear = 2030;
  {
    ScopedClock a(outer);
    EXPECT_EQ(GetLocalTime(), outer);
    {
      ScopedClock b(inner);
      EXPECT_EQ(GetLocalTime(), inner);
    }
    EXPECT_EQ(GetLocalTime(), outer);
  }
  const LocalTime now = GetLocalTime();
  EXPECT_GE(now.wYear, 2024);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
  EXPECT_GE(now.wDay, 1);
  EXPECT_LE(now.wDay, 31);
}

TEST(LocalTime, ClockIsSafeToReadFromManyThreads) {
  std::atomic<int> calls{0};
  ScopedClock clock([&calls] {
    ++calls;
    return LocalTime{};
  });
  std::vector<std::thread> readers;
  for (int i = 0; i < 4; ++i) {
    readers.emplace_back([] {
      for (int j = 0; j < 1000; ++j) GetLocalTime();
    });
  }
  for (auto& t : readers) t.join();
  EXPECT_EQ(calls.load(), 4000);
}

}  // namespace
}  // namespace strivex
