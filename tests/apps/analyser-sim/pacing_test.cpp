#include "pacing.h"

#include <gtest/gtest.h>

namespace strivex::sim {
namespace {

using std::chrono::nanoseconds;

struct FormatCase {
  uint32_t baud;
  uint8_t dataBits;
  uint8_t parity;
  uint8_t stopBits;
  double bits;            // per character
  nanoseconds character;  // line time of one character
  size_t burst;
};

class PacingTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PacingTest, CharacterTimeFollowsTheFormat) {
  const FormatCase& c = GetParam();
  const LineFormat line{c.baud, c.dataBits, c.parity, c.stopBits};
  EXPECT_DOUBLE_EQ(BitsPerCharacter(line), c.bits);
  EXPECT_EQ(CharacterTime(line), c.character);
  EXPECT_EQ(BurstSize(line), c.burst);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PacingTest,
    ::testing::Values(FormatCase{9600, 8, NOPARITY, ONESTOPBIT, 10, nanoseconds(1'041'667), 9},
                      FormatCase{9600, 7, EVENPARITY, ONESTOPBIT, 10, nanoseconds(1'041'667), 9},
                      FormatCase{4800, 7, ODDPARITY, TWOSTOPBITS, 11, nanoseconds(2'291'667), 4},
                      FormatCase{1200, 5, NOPARITY, ONE5STOPBITS, 7.5, nanoseconds(6'250'000), 1},
                      FormatCase{115200, 8, MARKPARITY, TWOSTOPBITS, 12, nanoseconds(104'167), 96},
                      FormatCase{300, 8, SPACEPARITY, ONESTOPBIT, 11, nanoseconds(36'666'667), 1}));

TEST(PacingTest, LongReportsDoNotAccumulateRounding) {
  const LineFormat line{9600, 8, NOPARITY, ONESTOPBIT};
  EXPECT_EQ(TransmitTime(line, 960), std::chrono::seconds(1));
  EXPECT_EQ(TransmitTime(line, 9'600'000), std::chrono::seconds(10'000));
  EXPECT_EQ(TransmitTime(line, 0), nanoseconds(0));
}

}  // namespace
}  // namespace strivex::sim
