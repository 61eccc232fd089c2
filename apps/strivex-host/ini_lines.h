#pragma once
// The lines of a small INI file as the host's instance files use them: "key = value", blank lines,
// comments from '#' or ';' at the start of a line. Sections are not used: every key is the
// instance's, so a "[...]" line is a mistake to point at rather than a grouping to guess.

#include <string>
#include <string_view>
#include <vector>

namespace strivex::host_app {

struct IniSetting {
  int line = 0;  // 1-based, for the error text
  std::string key;
  std::string value;  // blanks around it removed; may be empty
};

struct IniLines {
  std::vector<IniSetting> settings;  // in the file's order
  int errorLine = 0;                 // 0: the text is usable
  std::string error;                 // why line `errorLine` is not
};

IniLines ParseIniLines(std::string_view text);

}  // namespace strivex::host_app
