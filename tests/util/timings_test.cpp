#include "util/timings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "host/server_reconnector.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;

TEST(Timings, DefaultBackOffDoublesFromOneSecondUpToThirty) {
  const std::vector<std::chrono::milliseconds> expected = {1s, 2s, 4s, 8s, 16s, 30s, 30s};
  std::vector<std::chrono::milliseconds> delays{ReconnectPolicy{}.first};
  while (delays.size() < expected.size()) delays.push_back(NextReconnectDelay(delays.back(), ReconnectPolicy{}));
  EXPECT_EQ(delays, expected);
}

}  // namespace
}  // namespace strivex
