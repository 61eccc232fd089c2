#include "worklist/frame_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "serial/line_settings.h"
#include "serial/port_serial.h"
#include "support/pty_pair.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using testing::PtyPair;
using testing::WaitFor;

const LineSettings kSettings = StartupLineSettings(9600, 8, NOPARITY, ONESTOPBIT);

QueuedFrame Frame(int32_t id, std::string codes) {
  return {"\x02W10000" + std::to_string(id) + codes + "\x03\r\n", id, {codes}};
}

std::string OnTheWire(const QueuedFrame& frame) {
  const std::vector<char> bytes = FrameWithCheckByte(frame.frame.data(), static_cast<int32_t>(frame.frame.size()));
  return {bytes.begin(), bytes.end()};
}

class FrameSenderTest : public ::testing::Test {
 protected:
  std::vector<int32_t> Sent() {
    std::lock_guard lock(mutex_);
    return sent_;
  }

  PtyPair pty_;
  PortSerial port_;
  FrameQueue queue_;
  std::mutex mutex_;
  std::vector<int32_t> sent_;
  FrameSender sender_{queue_, port_,
                      [this](const QueuedFrame& frame) {
                        std::lock_guard lock(mutex_);
                        sent_.push_back(frame.requestId);
                      },
                      20ms};
  platform::MessageBoxRecorder boxes_;
};

// Frames confirmed while the port is closed wait, in order, and go out once it opens; nothing is
// reported as sent before it is on the wire.
TEST_F(FrameSenderTest, FramesWaitForTheOpenPortAndLeaveInOrder) {
  ASSERT_TRUE(sender_.Start());
  const std::vector<QueuedFrame> run = {Frame(1021, "BILUBG"), Frame(1022, "GLU"), Frame(1023, "")};
  queue_.Append(run);
  sender_.Wake();
  std::this_thread::sleep_for(100ms);  // a window in which nothing may leave
  EXPECT_EQ(queue_.Size(), 3u);
  EXPECT_TRUE(Sent().empty());

  ASSERT_TRUE(port_.Open(pty_.slavePath(), kSettings));
  std::string expected;
  for (const QueuedFrame& frame : run) expected += OnTheWire(frame);
  EXPECT_EQ(pty_.Read(expected.size(), 5s), expected);
  ASSERT_TRUE(WaitFor([&] { return queue_.Size() == 0 && Sent().size() == 3; }, 5000ms));
  EXPECT_EQ(Sent(), (std::vector<int32_t>{1021, 1022, 1023}));

  // A later run goes out behind it, without waiting for a retry period.
  queue_.Append({Frame(1024, "KET")});
  sender_.Wake();
  EXPECT_EQ(pty_.Read(OnTheWire(Frame(1024, "KET")).size(), 5s), OnTheWire(Frame(1024, "KET")));
  sender_.Stop();
  EXPECT_TRUE(boxes_.Texts().empty());  // a closed port is not an operator's error here
}

// A stop leaves what was not written in the queue.
TEST_F(FrameSenderTest, StopKeepsUnsentFrames) {
  ASSERT_TRUE(sender_.Start());
  queue_.Append({Frame(7, "A"), Frame(8, "B")});
  sender_.Wake();
  sender_.Stop();
  EXPECT_EQ(queue_.Size(), 2u);
  EXPECT_TRUE(Sent().empty());
}

}  // namespace
}  // namespace strivex
