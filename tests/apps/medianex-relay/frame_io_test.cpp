// Frames and greetings read from a real socket pair, including cut and hostile streams.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frame_io.h"
#include "request_pairer.h"
#include "test_client.h"
#include "util/unique_fd.h"

namespace strivex::relay {
namespace {

using strivex::testing::FrameBytes;
using strivex::testing::GreetingBytes;

// The server reads from `reader`; the test writes `bytes` and then closes its end.
class SocketPair {
 public:
  SocketPair() {
    int fds[2] = {-1, -1};
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    reader_ = UniqueFd(fds[0]);
    writer_ = UniqueFd(fds[1]);
  }

  int reader() const { return reader_.get(); }
  void Write(const std::string& bytes) {
    EXPECT_EQ(::write(writer_.get(), bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void WriteAndClose(const std::string& bytes) {
    Write(bytes);
    writer_.Reset();
  }

 private:
  UniqueFd reader_;
  UniqueFd writer_;
};

// What one reader gives, frame after frame, up to the first status other than kOk.
struct Reads {
  std::vector<std::pair<int32_t, std::string>> frames;
  RelayReadStatus end = RelayReadStatus::kOk;
  bool operator==(const Reads&) const = default;
};

void PrintTo(const Reads& r, std::ostream* os) {
  for (const auto& [number, text] : r.frames) *os << number << ":'" << text.substr(0, 20) << "' ";
  *os << "end " << static_cast<int>(r.end);
}

Reads ReadUntilEnd(int fd) {
  RelayFrameReader reader(fd);
  Reads reads;
  RelayFrame frame;
  while ((reads.end = reader.Next(frame)) == RelayReadStatus::kOk) reads.frames.emplace_back(frame.number, frame.text);
  return reads;
}

TEST(RelayFrames, ReadsWholeFramesAndNamesWhatWentWrong) {
  const std::string longest(1999, 'a');
  std::string many;  // more than one buffer's worth, so frames straddle the refills
  Reads manyReads{{}, RelayReadStatus::kClosed};
  for (int32_t i = 0; i < 40; ++i) {
    const std::string text(static_cast<size_t>(1 + i * 97 % 1999), static_cast<char>('a' + i % 26));
    many += FrameBytes(i, text);
    manyReads.frames.emplace_back(i, text);
  }
  const struct {
    const char* name;
    std::string bytes;
    Reads reads;
  } cases[] = {
      {"whole", FrameBytes(7, "SQLCommand"), {{{7, "SQLCommand"}}, RelayReadStatus::kClosed}},
      {"longest", FrameBytes(-5, longest), {{{-5, longest}}, RelayReadStatus::kClosed}},
      {"a value and its status together", FrameBytes(4, "3;7") + FrameBytes(4, "\x01"),
       {{{4, "3;7"}, {4, "\x01"}}, RelayReadStatus::kClosed}},
      {"many", many, manyReads},
      {"nothing", "", {{}, RelayReadStatus::kClosed}},
      {"half header", std::string("\x01\x00\x00", 3), {{}, RelayReadStatus::kTruncated}},
      {"half text", FrameBytes(3, "abcdef").substr(0, 11), {{}, RelayReadStatus::kTruncated}},
      {"whole then half", FrameBytes(1, "x") + FrameBytes(2, "yz").substr(0, 9),
       {{{1, "x"}}, RelayReadStatus::kTruncated}},
      {"zero length", FrameBytes(3, ""), {{}, RelayReadStatus::kBadLength}},
      {"negative length", std::string("\x01\x00\x00\x00\xFF\xFF\xFF\xFF", 8), {{}, RelayReadStatus::kBadLength}},
      {"too long", FrameBytes(1, std::string(2000, 'a')), {{}, RelayReadStatus::kBadLength}},
      {"good then too long", FrameBytes(1, "x") + FrameBytes(2, std::string(2000, 'a')),
       {{{1, "x"}}, RelayReadStatus::kBadLength}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SocketPair pair;
    pair.WriteAndClose(c.bytes);
    EXPECT_EQ(ReadUntilEnd(pair.reader()), c.reads);
  }
}

// The peer may hand a frame over in any pieces, down to single bytes.
TEST(RelayFrames, FramesArrivingByteByByteReadWhole) {
  SocketPair pair;
  const std::string bytes = FrameBytes(9, "ValoareColoana") + FrameBytes(9, "2;n,8");
  std::thread writer([&] {
    for (char c : bytes) {
      pair.Write(std::string(1, c));
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    pair.WriteAndClose("");
  });
  const Reads reads = ReadUntilEnd(pair.reader());
  writer.join();
  EXPECT_EQ(reads, (Reads{{{9, "ValoareColoana"}, {9, "2;n,8"}}, RelayReadStatus::kClosed}));
}

TEST(RelayFrames, GreetingIsExactlyOneHundredBytes) {
  SocketPair pair;
  pair.WriteAndClose(GreetingBytes("PC") + FrameBytes(1, "x"));
  std::string greeting;
  ASSERT_EQ(ReadGreeting(pair.reader(), greeting), RelayReadStatus::kOk);
  EXPECT_EQ(greeting.size(), 100u);
  EXPECT_EQ(ReadUntilEnd(pair.reader()), (Reads{{{1, "x"}}, RelayReadStatus::kClosed}));

  SocketPair cut;
  cut.WriteAndClose(GreetingBytes("PC").substr(0, 60));
  EXPECT_EQ(ReadGreeting(cut.reader(), greeting), RelayReadStatus::kTruncated);
}

// The relay's bounds: how long the first byte may take, and the rest of a frame once it began.
TEST(RelayFrames, BoundedReadsTimeOutOnlyWhereTold) {
  using std::chrono::milliseconds;
  const std::string frame = FrameBytes(4, "SQLCommand");
  const struct {
    const char* name;
    std::string bytes;
    milliseconds firstByte;
    RelayReadStatus status;
  } cases[] = {
      {"nothing, first byte bounded", "", milliseconds(100), RelayReadStatus::kTimedOut},
      {"half a header", frame.substr(0, 3), milliseconds(-1), RelayReadStatus::kTimedOut},
      {"half a text", frame.substr(0, 12), milliseconds(-1), RelayReadStatus::kTimedOut},
      {"a whole frame", frame, milliseconds(100), RelayReadStatus::kOk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SocketPair pair;
    pair.Write(c.bytes);
    RelayFrameReader reader(pair.reader());
    RelayFrame read;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(reader.Next(read, c.firstByte, milliseconds(200)), c.status);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  }
  SocketPair greeting;
  greeting.Write(GreetingBytes("PC").substr(0, 30));
  std::string text;
  EXPECT_EQ(ReadGreeting(greeting.reader(), text, milliseconds(100)), RelayReadStatus::kTimedOut);
}

TEST(RelayFrames, WriteAllFailsOnceThePeerIsGone) {
  SocketPair pair;
  pair.WriteAndClose("");
  EXPECT_EQ(WriteAll(pair.reader(), "abc"), WriteStatus::kFailed);
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
