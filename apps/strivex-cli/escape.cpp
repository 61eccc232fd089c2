#include "escape.h"

namespace strivex::cli {

void AppendEscaped(std::string& out, std::string_view field) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    switch (byte) {
      case '\\':
        out += "\\\\";
        continue;
      case '\t':
        out += "\\t";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\n':
        out += "\\n";
        continue;
      default:
        break;
    }
    if (byte >= 0x20 && byte <= 0x7E) {
      out += c;
    } else {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
}

std::string EscapeField(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  AppendEscaped(out, field);
  return out;
}

}  // namespace strivex::cli
