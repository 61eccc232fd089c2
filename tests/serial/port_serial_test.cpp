// The serial layer on pseudo-terminals, in real time: the silence rule makes these tests take
// several seconds each, so they run in parallel. The rule itself is checked on a set clock first.

#include "serial/port_serial.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "serial/arbitrary_baud.h"
#include "serial/message_pump.h"
#include "serial/reader_thread.h"
#include "support/pty_pair.h"
#include "support/wait_for.h"

namespace strivex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::PtyPair;
using testing::WaitFor;

const LineSettings kSettings = StartupLineSettings(9600, 8, NOPARITY, ONESTOPBIT);

TEST(SilenceRule, CompletesAfterMoreThanThreeWholeSeconds) {
  const struct {
    std::vector<int64_t> emptyReads;
    int completesAt;  // index of the read that completes, -1 for none
  } cases[] = {
      {{100, 101, 102, 103, 104}, 4},  // marked at 100, 104 - 100 > 3
      {{100, 103, 103}, -1},
      {{100, 100, 100, 104}, 3},       // extra empty reads within a second change nothing
      {{50, 60}, 1},                   // a long gap completes at the next empty read
  };
  for (const auto& c : cases) {
    SilenceRule rule;
    int completed = -1;
    for (size_t i = 0; i < c.emptyReads.size() && completed < 0; ++i) {
      if (rule.OnEmptyRead(c.emptyReads[i])) completed = static_cast<int>(i);
    }
    EXPECT_EQ(completed, c.completesAt);
  }
  SilenceRule rule;
  rule.OnEmptyRead(10);
  rule.Clear();  // a byte arrived: the count starts again
  EXPECT_FALSE(rule.OnEmptyRead(20));
  EXPECT_TRUE(rule.OnEmptyRead(24));
}

class PortSerialTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(port_.Open(pty_.slavePath(), kSettings)); }
  void TearDown() override {
    context_.stop.store(1);
    if (readerStarted_) FinishConsumer(context_);
    port_.Close();
  }

  void StartReader() {
    port_.StartReader(context_);
    readerStarted_ = true;
  }

  bool WaitComplete(std::chrono::milliseconds timeout = 10s) {
    return WaitFor([&] { return context_.state.load() == RX_COMPLETE; }, timeout);
  }

  // Serves the complete message and returns it (the next reader is armed).
  std::string Take() {
    std::string message;
    ServeCompleteMessage(port_, context_, [&](std::string_view m) { message.assign(m); });
    return message;
  }

  platform::MessageBoxRecorder boxes_;
  PtyPair pty_;
  PortSerial port_;
  ReceiveContext context_;
  bool readerStarted_ = false;
};

TEST_F(PortSerialTest, ShortPausesKeepOneMessageAndALongOneSplits) {
  StartReader();
  pty_.Write("ID proba:1\r\n");
  // A pause the reader has seen as the start of a silence, but shorter than the rule.
  ASSERT_TRUE(WaitFor([&] { return context_.state.load() == RX_SILENCE; }, 3s));
  pty_.Write(" A 1\r\n");
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Take(), "ID proba:1\r\n A 1\r\n");

  pty_.Write("ID proba:2\r\n");
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Take(), "ID proba:2\r\n");
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(PortSerialTest, SingleByteCompletesAboutFiveSecondsLater) {
  StartReader();
  const auto sent = Clock::now();
  pty_.Write("X");
  ASSERT_TRUE(WaitFor([&] { return context_.state.load() == RX_RECEIVING ||
                                   context_.state.load() == RX_SILENCE; }, 3s));
  ASSERT_TRUE(WaitComplete());
  const auto waited = Clock::now() - sent;
  EXPECT_GE(waited, 3s);  // more than three whole seconds of silence
  EXPECT_LE(waited, 7s);
  EXPECT_EQ(context_.length.load(), 1);
  EXPECT_EQ(context_.data[1], '\0');  // terminated for readers of the text
  EXPECT_EQ(Take(), "X");
}

TEST_F(PortSerialTest, NulBytesAreStoredAndCounted) {
  StartReader();
  const std::string bytes("A\0B\0", 4);
  pty_.Write(bytes);
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(context_.length.load(), 4);
  EXPECT_EQ(Take(), bytes);
}

TEST_F(PortSerialTest, VanishedDeviceKeepsThePartialMessageUntilReopened) {
  StartReader();
  pty_.Write("AB");
  ASSERT_TRUE(WaitFor([&] { return context_.length.load() == 2; }, 3s));
  pty_.CloseMaster();
  ASSERT_TRUE(WaitFor([&] { return !port_.IsOpen(); }, 3s)) << "device loss not noticed";
  EXPECT_TRUE(port_.ReaderRunning());
  EXPECT_NE(context_.state.load(), RX_COMPLETE);

  PtyPair replacement;
  ASSERT_TRUE(port_.Open(replacement.slavePath(), kSettings));
  replacement.Write("CD");
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Take(), "ABCD");
  EXPECT_TRUE(boxes_.Texts().empty());
  port_.Close();  // before `replacement` goes
}

TEST_F(PortSerialTest, ClosedPortIdlesAndResumesOnTheSamePort) {
  StartReader();
  pty_.Write("AB");
  ASSERT_TRUE(WaitFor([&] { return context_.length.load() == 2; }, 3s));
  ASSERT_TRUE(port_.Close());
  EXPECT_FALSE(port_.Close());  // nothing left to close
  pty_.Write("CD");             // waits in the line until the port is open again
  // Nothing to wait for: the reader must stay away from the line for a while.
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(context_.length.load(), 2);
  EXPECT_EQ(pty_.Unread(), 2u);
  ASSERT_TRUE(port_.Open(pty_.slavePath(), kSettings));
  ASSERT_TRUE(WaitComplete());
  EXPECT_EQ(Take(), "ABCD");
}

TEST_F(PortSerialTest, StopWhileSilentEndsTheReaderWithinASecond) {
  StartReader();
  // The reader's wait on the line shows nowhere; give it time to get there.
  std::this_thread::sleep_for(300ms);
  const auto asked = Clock::now();
  context_.stop.store(1);
  ASSERT_TRUE(WaitFor([&] { return context_.finished.load() == 1; }, 3s));
  EXPECT_LE(Clock::now() - asked, 1500ms);
  EXPECT_FALSE(port_.ReaderRunning());
  EXPECT_EQ(context_.state.load(), RX_IDLE);
}

TEST_F(PortSerialTest, StopRequestedWhileAMessageIsServedIsNotLost) {
  StartReader();
  pty_.Write("M");
  ASSERT_TRUE(WaitComplete());
  ServeCompleteMessage(port_, context_, [&](std::string_view) { context_.stop.store(1); });
  // The reader armed after the message sees the stop at once.
  ASSERT_TRUE(WaitFor([&] { return context_.finished.load() == 1; }, 2s));
  FinishConsumer(context_);
  EXPECT_EQ(context_.state.load(), RX_CONSUMER_DONE);
  EXPECT_EQ(context_.capacity.load(), 0);
}

TEST_F(PortSerialTest, LongMessageGrowsTheBuffer) {
  StartReader();
  std::string big(250000, 'x');
  for (size_t i = 0; i < big.size(); i += 100) big[i] = '\r';
  pty_.Write(big);
  ASSERT_TRUE(WaitComplete(20s));
  EXPECT_EQ(context_.capacity.load(), 400000);  // 100,000 bytes, doubled twice
  EXPECT_EQ(Take(), big);
}

TEST_F(PortSerialTest, SecondOpenOfOnePortFailsQuietly) {
  PortSerial other;
  EXPECT_FALSE(other.Open(pty_.slavePath(), kSettings));
  EXPECT_FALSE(other.IsOpen());
  port_.Close();
  EXPECT_TRUE(other.Open(pty_.slavePath(), kSettings));
  other.Close();
  EXPECT_TRUE(boxes_.Texts().empty());
}

// What Send puts on the wire: the frame up to a NUL (zeros after it), then byte 1 XOR every later
// byte.
TEST_F(PortSerialTest, SendAppendsTheCheckByte) {
  const std::string workList = std::string("\x02W10000" "1021          0", 22) + "\x03\r\n";
  const uint8_t workListCheck = [&] {
    uint8_t x = 0;
    for (size_t i = 1; i < workList.size(); ++i) x ^= static_cast<uint8_t>(workList[i]);
    return x;
  }();
  const struct {
    std::string frame;
    int32_t length;
    std::string wire;
  } cases[] = {
      {"\x02" "AB", 3, std::string("\x02" "AB") + char('A' ^ 'B')},
      {"\x02" "AA", 3, std::string("\x02" "AA\0", 4)},  // bytes that cancel out: check byte 0
      {"\xFF" "\x01", 2, "\xFF\x01\x01"},
      {workList, static_cast<int32_t>(workList.size()), workList + char(workListCheck)},
      {std::string("\x02" "A\0B", 4), 4, std::string("\x02" "A\0\0" "A", 5)},  // copy stops at a NUL
      {"\x02", 1, std::string("\x02\0", 2)},
      {"", 0, std::string(1, '\0')},
  };
  for (const auto& c : cases) {
    port_.Send(c.frame.data(), c.length, /*synchronous=*/true);
    EXPECT_EQ(pty_.Read(c.wire.size(), 2s), c.wire) << c.frame.size();
  }

  // Asynchronous sends go out whole and in order.
  for (char id : {'1', '2', '3'}) {
    const std::string f = std::string("\x02") + id + "\x03";
    port_.Send(f.data(), 3, /*synchronous=*/false);
  }
  EXPECT_EQ(pty_.Read(12, 2s), std::string("\x02" "1\x03" "2\x02" "2\x03" "1\x02" "3\x03" "0", 12));
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(PortSerialTest, SendOnAClosedPortWritesNothing) {
  port_.Close();
  EXPECT_EQ(port_.Send("\x02" "AB", 3, true), "Portul e inchis");
  EXPECT_TRUE(boxes_.Texts().empty());  // the caller shows it, on its own thread's terms
  EXPECT_EQ(pty_.Read(1, 300ms), "");
}

TEST(PortSerialOpen, MissingDeviceFailsWithoutAMessage) {
  platform::MessageBoxRecorder boxes;
  PortSerial port;
  EXPECT_FALSE(port.Open("/dev/strivex-no-such-port", kSettings));
  EXPECT_FALSE(port.Open("COM200", kSettings));
  EXPECT_EQ(port.PortName(), "COM200");  // kept for a later re-open
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST(PortSerialOpen, RefusedSettingsAreReportedAndReleaseThePort) {
  const LineSettings refused[] = {
      StartupLineSettings(0, 8, NOPARITY, ONESTOPBIT),
      StartupLineSettings(9600, 4, NOPARITY, ONESTOPBIT),
      StartupLineSettings(9600, 9, NOPARITY, ONESTOPBIT),
      StartupLineSettings(9600, 8, 5, ONESTOPBIT),
      StartupLineSettings(9600, 8, NOPARITY, 3),
  };
  PtyPair pty;
  for (const LineSettings& dcb : refused) {
    platform::MessageBoxRecorder boxes;
    PortSerial port;
    std::string reason, notice;
    EXPECT_FALSE(port.Open(pty.slavePath(), dcb, reason, notice));
    EXPECT_EQ(notice, "Eroare 22 la la setare parametrii specificati in DCB");
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(port.Open(pty.slavePath(), kSettings));  // nothing was left holding it
  }
}

// A pseudo-terminal keeps the rate, the stop bits, raw mode, the flow control and the read
// time-out (not the data bits or parity, and it has no modem lines; none of that may fail an
// open). Each open starts from a line a previous owner left cooked, echoing and flow-controlled.
TEST(PortSerialOpen, PseudoTerminalReadsBackTheSettings) {
  const struct {
    uint32_t baud;
    uint8_t bits, parity, stop;
  } cases[] = {
      {110, 7, NOPARITY, ONESTOPBIT},       {300, 8, ODDPARITY, TWOSTOPBITS},
      {600, 7, EVENPARITY, ONE5STOPBITS},   {1200, 8, MARKPARITY, ONESTOPBIT},
      {2400, 7, SPACEPARITY, TWOSTOPBITS},  {4800, 8, NOPARITY, ONESTOPBIT},
      {9600, 7, ODDPARITY, ONESTOPBIT},     {14400, 8, EVENPARITY, TWOSTOPBITS},
      {19200, 7, MARKPARITY, ONE5STOPBITS}, {38400, 8, SPACEPARITY, ONESTOPBIT},
      {56000, 7, NOPARITY, ONESTOPBIT},     {57600, 8, ODDPARITY, TWOSTOPBITS},
      {115200, 7, EVENPARITY, ONESTOPBIT},  {128000, 8, MARKPARITY, ONESTOPBIT},
      {256000, 7, SPACEPARITY, ONE5STOPBITS},
  };
  platform::MessageBoxRecorder boxes;
  PtyPair pty;
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.baud << " " << int(c.parity) << " " << int(c.stop));
    {
      const int previous = open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY);
      ASSERT_GE(previous, 0);
      termios cooked{};
      ASSERT_EQ(tcgetattr(previous, &cooked), 0);
      cooked.c_lflag |= ICANON | ECHO | ISIG;
      cooked.c_iflag |= IXON | IXOFF | ICRNL;
      cooked.c_oflag |= OPOST;
      cooked.c_cflag |= CRTSCTS;
      cooked.c_cflag = c.stop == ONESTOPBIT ? cooked.c_cflag | CSTOPB : cooked.c_cflag & ~CSTOPB;
      cooked.c_cc[VMIN] = 1;
      cooked.c_cc[VTIME] = 0;
      ASSERT_EQ(tcsetattr(previous, TCSANOW, &cooked), 0);
      close(previous);
    }
    PortSerial port;
    ASSERT_TRUE(port.Open(pty.slavePath(), StartupLineSettings(c.baud, c.bits, c.parity, c.stop)));
    termios tio{};
    ASSERT_EQ(tcgetattr(port.NativeHandle(), &tio), 0);
    EXPECT_EQ(ReadBaud(port.NativeHandle()), c.baud);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stop != ONESTOPBIT);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
    EXPECT_EQ(tio.c_cc[VMIN], 0);  // a read returns after one byte or one second of silence
    EXPECT_EQ(tio.c_cc[VTIME], 10);
  }
  EXPECT_TRUE(boxes.Texts().empty());
}

// A real UART or USB adapter keeps what a pseudo-terminal drops. Set STRIVEX_TEST_SERIAL_DEVICE
// to a free port (nothing needs to be connected) to check the settings the device accepted.
TEST(PortSerialDevice, RealLineKeepsTheSettings) {
  const char* device = std::getenv("STRIVEX_TEST_SERIAL_DEVICE");
  if (device == nullptr || *device == '\0') GTEST_SKIP() << "STRIVEX_TEST_SERIAL_DEVICE not set";
  const struct {
    uint32_t baud;
    uint8_t bits, parity, stop;
    tcflag_t size, parityFlags;
  } cases[] = {
      {9600, 8, NOPARITY, ONESTOPBIT, CS8, 0},
      {19200, 7, EVENPARITY, TWOSTOPBITS, CS7, PARENB},
      {4800, 7, ODDPARITY, ONESTOPBIT, CS7, PARENB | PARODD},
      {14400, 8, MARKPARITY, ONESTOPBIT, CS8, PARENB | PARODD | CMSPAR},
  };
  platform::MessageBoxRecorder boxes;
  for (const auto& c : cases) {
    PortSerial port;
    ASSERT_TRUE(port.Open(device, StartupLineSettings(c.baud, c.bits, c.parity, c.stop)));
    termios tio{};
    ASSERT_EQ(tcgetattr(port.NativeHandle(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.stop != ONESTOPBIT);
    EXPECT_EQ(tio.c_cc[VMIN], 0);
    EXPECT_EQ(tio.c_cc[VTIME], 10);
    EXPECT_EQ(ReadBaud(port.NativeHandle()), c.baud);
  }
  EXPECT_TRUE(boxes.Texts().empty());
}

}  // namespace
}  // namespace strivex

namespace strivex {
namespace {

// Hostile input on the real reader: random binary with NUL and 0xC2 bytes and a megabyte without
// a line end, never silent for longer than the limit of one message. The first message stops at
// the limit, the next holds the rest, every byte arrives once and in order, and the buffer never
// outgrows the limit.
TEST_F(PortSerialTest, ALineThatNeverFallsSilentIsCutAtTheMessageLimitAndLosesNothing) {
  std::string bytes(static_cast<size_t>(kMessageLimit) + 3 * 1024 * 1024, '\0');
  uint32_t state = 12345;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  std::fill_n(bytes.begin() + 1000, 1024 * 1024, 'A');  // a megabyte without a line end
  bytes[10] = '\0';
  bytes[11] = '\xC2';
  StartReader();
  std::thread analyser([&] { pty_.Write(bytes); });
  ASSERT_TRUE(WaitComplete(120s));
  EXPECT_LE(context_.capacity.load(), kMessageLimit + 10);
  const std::string first = Take();
  ASSERT_TRUE(WaitComplete(120s));
  const std::string second = Take();
  analyser.join();
  EXPECT_EQ(first.size(), static_cast<size_t>(kMessageLimit));
  EXPECT_EQ(first.size() + second.size(), bytes.size());
  EXPECT_TRUE(first + second == bytes) << "bytes lost, repeated or reordered";
}

}  // namespace
}  // namespace strivex
