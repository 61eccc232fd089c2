#pragma once
// Waiting in tests for something another thread or process does, instead of sleeping a guessed
// time: the wait ends as soon as the condition holds, and the deadline is only the failure case.

#include <chrono>
#include <thread>

namespace strivex::testing {

// Checks `condition` every 10 ms until it holds or `timeout` has passed; returns its last value.
template <class Condition>
bool WaitFor(Condition&& condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace strivex::testing
