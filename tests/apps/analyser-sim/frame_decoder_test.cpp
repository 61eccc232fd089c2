#include "frame_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_bytes.h"
#include "frame_text.h"

namespace strivex::sim {
namespace {

using strivex::testing::FrameBytes;
using strivex::testing::FrameFields;
using strivex::testing::FrameWithoutCheck;

// Every event as its output line, so whole sequences compare in one assertion.
std::vector<std::string> Lines(const std::vector<FrameEvent>& events) {
  std::vector<std::string> lines;
  int number = 0;
  for (const FrameEvent& event : events) {
    if (const auto* frame = std::get_if<Frame>(&event)) {
      lines.push_back(FrameLine(++number, *frame));
    } else {
      lines.push_back(GarbageLine(std::get<Garbage>(event)));
    }
  }
  return lines;
}

std::vector<std::string> DecodeInPieces(const std::string& bytes, size_t pieceSize) {
  FrameDecoder decoder;
  std::vector<FrameEvent> events;
  for (size_t at = 0; at < bytes.size(); at += pieceSize)
    decoder.Feed(std::string_view(bytes).substr(at, pieceSize), events);
  decoder.Finish(events);
  return Lines(events);
}

const std::string kGoodLine =
    "frame 1: request 1021 disk 2 position 05 sample-type 2 cup 3 analyses 002 codes BILUBG "
    "date 1903061407 check ok";

TEST(FrameDecoderTest, GoodFrameGivesItsFields) {
  EXPECT_EQ(DecodeInPieces(FrameBytes(), 4096), std::vector<std::string>{kGoodLine});
}

TEST(FrameDecoderTest, FrameKeepsItsBytesWithoutTheCheckByte) {
  FrameDecoder decoder;
  std::vector<FrameEvent> events;
  decoder.Feed("x" + FrameBytes() + FrameBytes({}, 1), events);
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(std::get<Frame>(events[1]).bytes, FrameWithoutCheck({}));
  EXPECT_EQ(std::get<Frame>(events[2]).bytes, FrameWithoutCheck({}));
}

TEST(FrameDecoderTest, BadCheckByteIsReportedWithBothValues) {
  const std::string good = FrameBytes();
  const auto want = static_cast<uint8_t>(good.back());
  FrameDecoder decoder;
  std::vector<FrameEvent> events;
  decoder.Feed(FrameBytes({}, 0x41), events);
  ASSERT_EQ(events.size(), 1u);
  const Frame& frame = std::get<Frame>(events[0]);
  EXPECT_FALSE(frame.CheckOk());
  EXPECT_EQ(frame.checkWant, want);
  EXPECT_EQ(frame.checkGot, want ^ 0x41);
  char expected[64];
  std::snprintf(expected, sizeof expected, "check BAD (got 0x%02x, want 0x%02x)", want ^ 0x41,
                want);
  EXPECT_TRUE(FrameLine(1, frame).ends_with(expected)) << FrameLine(1, frame);
}

TEST(FrameDecoderTest, GarbageAroundFramesIsReportedInOrder) {
  FrameFields second;
  second.requestId = "77";
  second.codes = "GLU";
  second.count = "001";
  const std::string stream = "ab\\" + FrameBytes() + "\r\n" + FrameBytes(second) + "\xb5";
  const std::vector<std::string> expected = {
      "garbage 3 bytes: ab\\\\", kGoodLine, "garbage 2 bytes: \\r\\n",
      "frame 2: request 77 disk 2 position 05 sample-type 2 cup 3 analyses 001 codes GLU "
      "date 1903061407 check ok",
      "garbage 1 bytes: \\xb5"};
  EXPECT_EQ(DecodeInPieces(stream, stream.size()), expected);
}

TEST(FrameDecoderTest, FramesSplitAcrossReadsDecodeAsInOnePiece) {
  const std::string stream = FrameBytes() + FrameBytes({}, 1) + FrameBytes();
  const std::vector<std::string> whole = DecodeInPieces(stream, stream.size());
  ASSERT_EQ(whole.size(), 3u);
  for (size_t piece : {1u, 2u, 7u, 70u, 71u, 72u}) {
    SCOPED_TRACE(piece);
    EXPECT_EQ(DecodeInPieces(stream, piece), whole);
  }
}

TEST(FrameDecoderTest, CheckByteThatLooksLikeStartOrEndByteStaysTheCheckByte) {
  for (const char lookalike : {'\x02', '\x03'}) {
    // Pick two code letters so the check byte comes out as `lookalike`.
    FrameFields fields;
    for (char first = ' '; first <= '~' && FrameBytes(fields).back() != lookalike; ++first) {
      for (char second = 'A'; second <= 'Z'; ++second) {
        fields.codes = std::string("BILU") + first + second;
        if (FrameBytes(fields).back() == lookalike) break;
      }
    }
    ASSERT_EQ(FrameBytes(fields).back(), lookalike);
    const std::vector<std::string> lines = DecodeInPieces(FrameBytes(fields) + FrameBytes(), 1);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with("check ok")) << lines[0];
    EXPECT_EQ(lines[1], "frame 2" + kGoodLine.substr(7));
  }
}

TEST(FrameDecoderTest, EntryWithoutDiskOrCupIsStillAFrame) {
  FrameFields fields;
  fields.disk = "0";
  fields.cup = "0";
  const std::vector<std::string> lines = DecodeInPieces(FrameBytes(fields), 4096);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("disk 0 position 05 sample-type 2 cup 0"), std::string::npos) << lines[0];
  EXPECT_TRUE(lines[0].ends_with("check ok")) << lines[0];
}

struct BrokenCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;  // empty: all of `bytes` as one garbage line
};

void PrintTo(const BrokenCase& c, std::ostream* os) { *os << c.name; }

std::string Broken(std::string FrameFields::*field, std::string value) {
  FrameFields fields;
  fields.*field = std::move(value);
  return FrameBytes(fields);
}

std::string GarbageOf(const std::string& bytes) { return GarbageLine({bytes, ""}); }

// A good frame with one byte of its fixed layout changed; `at` counts from STX.
std::string WithByte(size_t at, char byte) {
  std::string frame = FrameWithoutCheck({});
  frame[at] = byte;
  return frame + static_cast<char>(strivex::testing::CheckFor(frame));
}

// A frame whose body breaks the layout is not a frame, however good its check byte.
std::vector<BrokenCase> BrokenCases() {
  std::string wrongCommand = FrameBytes();
  wrongCommand[2] = 'X';
  return {
      {"WrongCommand", wrongCommand, {}},
      {"SampleType3", Broken(&FrameFields::sampleType, "3"), {}},
      {"Cup6", Broken(&FrameFields::cup, "6"), {}},
      {"LetterInDate", Broken(&FrameFields::date, "19030614O7"), {}},
      {"Month13", Broken(&FrameFields::date, "1913061407"), {}},
      {"Day00", Broken(&FrameFields::date, "1903001407"), {}},
      {"Hour24", Broken(&FrameFields::date, "1903062407"), {}},
      {"Minute60", Broken(&FrameFields::date, "1903061460"), {}},
      {"OneDigitPosition", Broken(&FrameFields::position, "5"), {}},
      {"NoZeroAfterRequestId", WithByte(21, '1'), {}},
      {"NoSpaceBeforeDate", WithByte(39, 'x'), {}},
      {"No3AfterSampleType", WithByte(54, '4'), {}},
      {"FlagsChanged", WithByte(59, '1'), {}},
      {"EmptyRequestId", Broken(&FrameFields::requestId, ""), {}},
      {"SpaceInsideRequestId", Broken(&FrameFields::requestId, "10 21"), {}},
      {"TwoDigitCount", Broken(&FrameFields::count, "02"), {}},
      {"ShortBody", FrameBytes().substr(0, 40) + "\x03\r\nc", {}},
      {"UnfinishedAtTheEnd", FrameWithoutCheck({}), {}},
      {"NoCrLfAfterEnd", "\x02W10000\x03xy", {GarbageOf("\x02W10000\x03"), GarbageOf("xy")}},
      {"StartByteAgainBeforeEnd", "\x02W1" + FrameBytes(), {GarbageOf("\x02W1"), kGoodLine}},
  };
}

class BrokenFrameTest : public ::testing::TestWithParam<BrokenCase> {};

TEST_P(BrokenFrameTest, IsReportedAsGarbage) {
  const BrokenCase& c = GetParam();
  const std::vector<std::string> lines =
      c.lines.empty() ? std::vector<std::string>{GarbageOf(c.bytes)} : c.lines;
  EXPECT_EQ(DecodeInPieces(c.bytes, 4096), lines);
  EXPECT_EQ(DecodeInPieces(c.bytes, 1), lines);
}

INSTANTIATE_TEST_SUITE_P(Layout, BrokenFrameTest, ::testing::ValuesIn(BrokenCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameDecoderTest, NoiseIsHeldUntilAPauseButAnUnfinishedFrameIsNot) {
  FrameDecoder decoder;
  std::vector<FrameEvent> events;
  decoder.Feed("no", events);
  decoder.Feed("ise", events);
  EXPECT_TRUE(events.empty());
  decoder.Pause(events);
  const std::string frame = FrameBytes();
  decoder.Feed(frame.substr(0, 30), events);
  decoder.Pause(events);
  decoder.Feed(frame.substr(30), events);
  EXPECT_EQ(Lines(events), (std::vector<std::string>{GarbageOf("noise"), kGoodLine}));
}

TEST(FrameDecoderTest, EndlessBytesAfterStartByteAreGivenUp) {
  FrameDecoder decoder;
  std::vector<FrameEvent> events;
  decoder.Feed("\x02" + std::string(10000, 'A'), events);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(std::get<Garbage>(events[0]).bytes.size(), 10001u);
}

}  // namespace
}  // namespace strivex::sim
