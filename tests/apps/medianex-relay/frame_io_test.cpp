// Frames and greetings read from a real socket pair, including cut and hostile streams.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "frame_io.h"
#include "request_pairer.h"
#include "test_client.h"

namespace strivex::relay {
namespace {

using strivex::testing::FrameBytes;
using strivex::testing::GreetingBytes;

// The server reads from `reader`; the test writes `bytes` and then closes its end.
class SocketPair {
 public:
  SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds_), 0); }
  ~SocketPair() {
    for (int fd : fds_)
      if (fd >= 0) ::close(fd);
  }
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;

  int reader() const { return fds_[0]; }
  void WriteAndClose(const std::string& bytes) {
    EXPECT_EQ(::write(fds_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    ::close(fds_[1]);
    fds_[1] = -1;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(RelayFrames, EncodesLittleEndianNumberAndLength) {
  EXPECT_EQ(EncodeFrame(1, "0;"), std::string("\x01\x00\x00\x00\x02\x00\x00\x00" "0;", 10));
  EXPECT_EQ(EncodeFrame(-2, std::string(1, '\0')),
            std::string("\xFE\xFF\xFF\xFF\x01\x00\x00\x00\x00", 9));
  EXPECT_EQ(EncodeFrame(0x01020304, "x"), std::string("\x04\x03\x02\x01\x01\x00\x00\x00x", 9));
}

struct ReadCase {
  const char* name;
  std::string bytes;
  ReadStatus status;
  int32_t number;
  std::string text;
};

TEST(RelayFrames, ReadsWholeFramesAndNamesWhatWentWrong) {
  const ReadCase cases[] = {
      {"whole", FrameBytes(7, "SQLCommand"), ReadStatus::kOk, 7, "SQLCommand"},
      {"longest", FrameBytes(-5, std::string(1999, 'a')), ReadStatus::kOk, -5, std::string(1999, 'a')},
      {"nothing", "", ReadStatus::kClosed, 0, ""},
      {"half header", std::string("\x01\x00\x00", 3), ReadStatus::kTruncated, 0, ""},
      {"half text", FrameBytes(3, "abcdef").substr(0, 11), ReadStatus::kTruncated, 0, ""},
      {"zero length", FrameBytes(3, ""), ReadStatus::kBadLength, 0, ""},
      {"negative length", std::string("\x01\x00\x00\x00\xFF\xFF\xFF\xFF", 8), ReadStatus::kBadLength, 0, ""},
      {"too long", FrameBytes(1, std::string(2000, 'a')), ReadStatus::kBadLength, 0, ""},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    SocketPair pair;
    pair.WriteAndClose(c.bytes);
    const FrameRead read = ReadFrame(pair.reader());
    EXPECT_EQ(read.status, c.status);
    if (c.status != ReadStatus::kOk) continue;
    EXPECT_EQ(read.frame.number, c.number);
    EXPECT_EQ(read.frame.text, c.text);
  }
}

TEST(RelayFrames, GreetingNameEndsAtTheFirstNul) {
  EXPECT_EQ(GreetingName(GreetingBytes("LAB01")), "LAB01");
  EXPECT_EQ(GreetingName(GreetingBytes("")), "");
  EXPECT_EQ(GreetingName(std::string(100, 'x')), std::nullopt);
  EXPECT_EQ(GreetingName("Medianex Server;Nam"), std::nullopt);
}

TEST(RelayFrames, GreetingIsExactlyOneHundredBytes) {
  SocketPair pair;
  pair.WriteAndClose(GreetingBytes("PC") + FrameBytes(1, "x"));
  std::string greeting;
  ASSERT_EQ(ReadGreeting(pair.reader(), greeting), ReadStatus::kOk);
  EXPECT_EQ(greeting.size(), 100u);
  const FrameRead next = ReadFrame(pair.reader());
  EXPECT_EQ(next.status, ReadStatus::kOk);
  EXPECT_EQ(next.frame.text, "x");

  SocketPair cut;
  cut.WriteAndClose(GreetingBytes("PC").substr(0, 60));
  EXPECT_EQ(ReadGreeting(cut.reader(), greeting), ReadStatus::kTruncated);
}

TEST(RelayFrames, WriteAllFailsOnceThePeerIsGone) {
  SocketPair pair;
  pair.WriteAndClose("");
  EXPECT_FALSE(WriteAll(pair.reader(), "abc"));
}

TEST(RelayPairing, InterleavedRequestsPairByNumber) {
  RequestPairer pairer;
  EXPECT_FALSE(pairer.Add({1, "SQLCommand"}));
  EXPECT_FALSE(pairer.Add({2, "NextElementTabel"}));
  EXPECT_EQ(pairer.Pending(), 2u);
  const auto second = pairer.Add({2, "1;4"});
  ASSERT_TRUE(second);
  EXPECT_EQ(second->command, "NextElementTabel");
  EXPECT_EQ(second->arguments, "1;4");
  const auto first = pairer.Add({1, "2;0;select 1"});
  ASSERT_TRUE(first);
  EXPECT_EQ(first->number, 1);
  EXPECT_EQ(first->command, "SQLCommand");
  EXPECT_EQ(pairer.Pending(), 0u);
  // A number used again starts a new request.
  EXPECT_FALSE(pairer.Add({1, "InchidConectie"}));
  EXPECT_EQ(pairer.Add({1, "0;"})->command, "InchidConectie");
}

}  // namespace
}  // namespace strivex::relay
