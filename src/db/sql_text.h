#pragma once
// Texts placed between single quotes in a statement: every quote inside is doubled, so a value
// such as O'Brien is stored as it is instead of ending the literal early.

#include <string>
#include <string_view>

namespace strivex {

// The text with every ' doubled, ready to stand between single quotes.
std::string EscapeSqlText(std::string_view text);

}  // namespace strivex
