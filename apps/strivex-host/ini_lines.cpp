#include "ini_lines.h"

namespace strivex::host_app {

namespace {

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

IniLines ParseIniLines(std::string_view text) {
  IniLines result;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const size_t equals = line.find('=');
    std::string why;
    if (line.front() == '[') {
      why = "sections are not used; write key = value";
    } else if (equals == std::string_view::npos) {
      why = "expected key = value";
    } else if (Trim(line.substr(0, equals)).empty()) {
      why = "no key before '='";
    }
    if (!why.empty()) {
      result.errorLine = number;
      result.error = std::move(why);
      return result;
    }
    result.settings.push_back(
        {number, std::string(Trim(line.substr(0, equals))), std::string(Trim(line.substr(equals + 1)))});
  }
  return result;
}

}  // namespace strivex::host_app
