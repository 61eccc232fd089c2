#pragma once
// Work-list frames as the module puts them on the line, built field by field for the tests.

#include <cstdint>
#include <string>

namespace strivex::testing {

struct FrameFields {
  std::string requestId = "1021";
  std::string date = "1903061407";
  std::string disk = "2";
  std::string position = "05";
  std::string sampleType = "2";
  std::string cup = "3";
  std::string count = "002";
  std::string codes = "BILUBG";
};

// STX through LF, without the check byte.
inline std::string FrameWithoutCheck(const FrameFields& f) {
  std::string request = f.requestId;
  request.resize(14, ' ');
  return "\x02W10000" + request + "0" + std::string(18, ' ') + f.date + f.disk + f.position +
         f.sampleType + "3" + f.cup + "00100001" + f.count + f.codes + "\x03\r\n";
}

inline uint8_t CheckFor(const std::string& frameWithoutCheck) {
  uint8_t check = 0;
  for (size_t i = 1; i < frameWithoutCheck.size(); ++i)
    check ^= static_cast<uint8_t>(frameWithoutCheck[i]);
  return check;
}

// `checkFlip` is XORed into the correct check byte (non-zero gives a bad frame).
inline std::string FrameBytes(const FrameFields& f = {}, uint8_t checkFlip = 0) {
  const std::string frame = FrameWithoutCheck(f);
  return frame + static_cast<char>(CheckFor(frame) ^ checkFlip);
}

}  // namespace strivex::testing
