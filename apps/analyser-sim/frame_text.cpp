#include "frame_text.h"

namespace strivex::sim {

namespace {

constexpr char kHex[] = "0123456789abcdef";

std::string Hex(uint8_t byte) { return {'0', 'x', kHex[byte >> 4], kHex[byte & 0x0F]}; }

}  // namespace

std::string EscapeBytes(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (byte >= 0x20 && byte <= 0x7E) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string FrameLine(int number, const Frame& frame) {
  std::string line = "frame " + std::to_string(number) + ": request " +
                     EscapeBytes(frame.requestId) + " disk " + frame.disk + " position " +
                     frame.position + " sample-type " + frame.sampleType + " cup " + frame.cup +
                     " analyses " + frame.analysisCount + " codes " + EscapeBytes(frame.codes) +
                     " date " + frame.date + " check ";
  if (frame.CheckOk()) return line + "ok";
  return line + "BAD (got " + Hex(frame.checkGot) + ", want " + Hex(frame.checkWant) + ")";
}

std::string GarbageLine(const Garbage& garbage) {
  return "garbage " + std::to_string(garbage.bytes.size()) +
         " bytes: " + EscapeBytes(garbage.bytes);
}

}  // namespace strivex::sim
