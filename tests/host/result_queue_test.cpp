#include "host/result_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace strivex {
namespace {

// The processing thread appends while the upload thread removes the head: nothing may be lost or
// reordered.
TEST(ResultQueue, AppendsWhileTheHeadIsRemovedAreKept) {
  ResultQueue queue;
  constexpr int kBatches = 2000;
  std::atomic<bool> producing{true};
  std::thread producer([&] {
    for (int i = 0; i < kBatches; ++i) {
      SampleList samples;
      samples.emplace_back(i);
      queue.Append(std::move(samples));
    }
    producing = false;
  });
  std::vector<int> seen;
  while (producing || !queue.Empty()) {
    if (ResultBatch* head = queue.Head()) {
      seen.push_back(head->samples.head()->requestId);
      queue.RemoveHead();
    }
  }
  producer.join();
  ASSERT_EQ(seen.size(), static_cast<size_t>(kBatches));
  for (int i = 0; i < kBatches; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace strivex
