#pragma once
// Report fields are printed one per tab-separated column, one result per line, so the bytes that
// would break that layout (and anything a terminal could misread) are written as escapes.

#include <string>
#include <string_view>

namespace strivex::cli {

// Appends `field` to `out`: printable ASCII as is except the backslash ("\\"), tab, CR and LF as
// "\t", "\r", "\n", every other byte as "\xHH" with lower-case hex digits.
void AppendEscaped(std::string& out, std::string_view field);

// `field` escaped as AppendEscaped does.
std::string EscapeField(std::string_view field);

}  // namespace strivex::cli
