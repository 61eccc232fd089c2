#include <gtest/gtest.h>

#include <cstring>

#include "serial/line_settings.h"
#include "serial/port_names.h"
#include "serial/port_serial.h"
#include "serial/reader_thread.h"
#include "serial/termios_mapping.h"

namespace strivex {
namespace {

TEST(LineSettings, StartupValuesFillTheFixedFields) {
  const LineSettings dcb = StartupLineSettings(19200, 7, ODDPARITY, TWOSTOPBITS);
  EXPECT_EQ(dcb.DCBlength, 28u);
  EXPECT_EQ(dcb.BaudRate, 19200u);
  EXPECT_EQ(dcb.ByteSize, 7);
  EXPECT_EQ(dcb.Parity, ODDPARITY);
  EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
  EXPECT_EQ(dcb.fBinary, 1u);
  EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_ENABLE);
  EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_ENABLE);
  EXPECT_EQ(dcb.XonLim, 2048);
  EXPECT_EQ(dcb.XoffLim, 512);
  EXPECT_EQ(dcb.XonChar, 17);
  EXPECT_EQ(dcb.XoffChar, 19);
  EXPECT_EQ(dcb.fParity + dcb.fOutxCtsFlow + dcb.fOutxDsrFlow + dcb.fOutX + dcb.fInX +
                dcb.fDummy2 + dcb.fAbortOnError + dcb.fNull + dcb.fErrorChar,
            0u);
}

TEST(LineSettings, BitFieldsKeepTheirWidths) {
  LineSettings dcb;
  PortSerial::Configure(dcb, 9600, 8, 0, 0, 1, 28, 1, 0, 0, /*fDtrControl=*/2, 0, 0, 0, 0, 0, 0,
                        /*fRtsControl=*/3, 0, /*fDummy2=*/0x1FFFF, 0, 0, 0, 0, 0, 0, 0, 0, 0);
  EXPECT_EQ(dcb.fDtrControl, 2u);
  EXPECT_EQ(dcb.fRtsControl, 3u);
  EXPECT_EQ(dcb.fDummy2, 0x1FFFFu);
  EXPECT_EQ(dcb.fParity, 1u);
}

TEST(TermiosMapping, CharacterFormat) {
  const struct {
    uint8_t bits, parity, stop;
    tcflag_t size, parityFlags;
    bool twoStop;
  } cases[] = {
      {8, NOPARITY, ONESTOPBIT, CS8, 0, false},
      {7, ODDPARITY, ONESTOPBIT, CS7, PARENB | PARODD, false},
      {7, EVENPARITY, TWOSTOPBITS, CS7, PARENB, true},
      {8, MARKPARITY, ONESTOPBIT, CS8, PARENB | PARODD | CMSPAR, false},
      {8, SPACEPARITY, ONE5STOPBITS, CS8, PARENB | CMSPAR, true},
      {5, NOPARITY, ONESTOPBIT, CS5, 0, false},
      {6, EVENPARITY, ONESTOPBIT, CS6, PARENB, false},
  };
  for (const auto& c : cases) {
    termios tio{};
    tio.c_cflag = CRTSCTS | PARENB | CSTOPB;  // left-overs of a previous owner must go
    tio.c_iflag = IXON | IXOFF | ICRNL;
    ASSERT_TRUE(MapLineSettings(StartupLineSettings(9600, c.bits, c.parity, c.stop), tio));
    EXPECT_EQ(tio.c_cflag & CSIZE, c.size);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR), c.parityFlags);
    EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStop);
    EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD), CLOCAL | CREAD);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | ICRNL), 0u);
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(tio.c_oflag & OPOST, 0u);
  }
}

TEST(TermiosMapping, RejectsSettingsNoLineTakes) {
  const LineSettings bad[] = {
      StartupLineSettings(0, 8, NOPARITY, ONESTOPBIT),
      StartupLineSettings(9600, 4, NOPARITY, ONESTOPBIT),
      StartupLineSettings(9600, 9, NOPARITY, ONESTOPBIT),
      StartupLineSettings(9600, 8, 5, ONESTOPBIT),
      StartupLineSettings(9600, 8, NOPARITY, 3),
  };
  for (const LineSettings& dcb : bad) {
    termios tio{};
    EXPECT_FALSE(MapLineSettings(dcb, tio));
  }
}

TEST(TermiosMapping, RatesOfTheSettingsList) {
  for (uint32_t rate : {110u, 300u, 600u, 1200u, 2400u, 4800u, 9600u, 19200u, 38400u, 57600u,
                        115200u}) {
    termios tio{};
    ASSERT_TRUE(StandardSpeed(rate).has_value()) << rate;
    MapLineSettings(StartupLineSettings(rate, 8, NOPARITY, ONESTOPBIT), tio);
    EXPECT_EQ(cfgetospeed(&tio), *StandardSpeed(rate)) << rate;
    EXPECT_EQ(cfgetispeed(&tio), *StandardSpeed(rate)) << rate;
  }
  for (uint32_t rate : {14400u, 56000u, 128000u, 256000u}) {
    EXPECT_FALSE(StandardSpeed(rate).has_value()) << rate;
  }
}

TEST(TermiosMapping, ReadsReturnAfterOneByteOrOneSecond) {
  termios tio{};
  MapReadTimeout(tio);
  EXPECT_EQ(tio.c_cc[VMIN], 0);
  EXPECT_EQ(tio.c_cc[VTIME], 10);
}

TEST(PortNames, MapToDevicePaths) {
  const struct {
    const char* name;
    const char* device;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},       {"com1", "/dev/ttyS0"},       {"Com12", "/dev/ttyS11"},
      {"ttyUSB0", "/dev/ttyUSB0"},  {"ttyACM3", "/dev/ttyACM3"},  {"/dev/pts/4", "/dev/pts/4"},
      {"./port", "./port"},         {"COM0", "/dev/COM0"},        {"COMX", "/dev/COMX"},
      {"COM", "/dev/COM"},          {"com1a", "/dev/com1a"},
      {"ttyusb0", "/dev/ttyUSB0"},  {"TTYACM12", "/dev/ttyACM12"}, {"ttys1", "/dev/ttyS1"},
      {"ttyusb", "/dev/ttyusb"},    {"ttyusb0x", "/dev/ttyusb0x"}, {"pts/3", "pts/3"},
  };
  for (const auto& c : cases) EXPECT_EQ(DevicePathForPort(c.name), c.device) << c.name;
}

TEST(FrameCheck, XorOfEveryByteAfterTheFirst) {
  const struct {
    std::string frame;
    uint8_t check;
  } cases[] = {
      {"\x02" "AB", 'A' ^ 'B'},
      {"\x02" "AA", 0},  // bytes that cancel out still give a check byte, 0
      {"\xFF" "\x01", 1},
      {std::string("\x02W10000" "1021          0", 22) + "\x03\r\n",
       static_cast<uint8_t>([] {
         const std::string body = std::string("W10000" "1021          0", 21) + "\x03\r\n";
         uint8_t x = 0;
         for (char c : body) x ^= static_cast<uint8_t>(c);
         return x;
       }())},
  };
  for (const auto& c : cases) {
    const std::vector<char> sent =
        FrameWithCheckByte(c.frame.data(), static_cast<int32_t>(c.frame.size()));
    ASSERT_EQ(sent.size(), c.frame.size() + 1);
    EXPECT_EQ(std::string(sent.data(), c.frame.size()), c.frame);
    EXPECT_EQ(static_cast<uint8_t>(sent.back()), c.check);
  }
}

TEST(FrameCheck, CopyStopsAtNulAndShortFramesAreSafe) {
  const std::vector<char> sent = FrameWithCheckByte("\x02" "A\0B", 4);
  EXPECT_EQ(std::string(sent.data(), sent.size()), std::string("\x02" "A\0\0" "A", 5));
  EXPECT_EQ(FrameWithCheckByte("\x02", 1), (std::vector<char>{'\x02', '\0'}));
  EXPECT_EQ(FrameWithCheckByte("", 0), (std::vector<char>{'\0'}));
}

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

}  // namespace
}  // namespace strivex
