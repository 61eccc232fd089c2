#pragma once
// The laboratory's server keeps texts in Windows-1250 and refuses bytes that code page leaves
// undefined; the analyser prints UTF-8. Result values are brought to the server's code page here.

#include <optional>
#include <string>
#include <string_view>

namespace strivex {

// `utf8` in Windows-1250, when it is well-formed UTF-8 (no overlong forms, surrogates or code
// points beyond U+10FFFF); no value otherwise. The Romanian letters with comma below (ș ț Ș Ț),
// which the code page lacks, become the cedilla letters it has (ş ţ Ş Ţ); any other character it
// lacks becomes '?'.
std::optional<std::string> Utf8ToWindows1250(std::string_view utf8);

// A result value as the server takes it: ASCII as is; well-formed UTF-8 converted as above; any
// other bytes are taken as Windows-1250 already and kept, except the five byte values the code
// page leaves undefined (0x81, 0x83, 0x88, 0x90, 0x98), which become '?'.
void ToServerCodePage(std::string& value);

}  // namespace strivex
