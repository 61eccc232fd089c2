#pragma once
// printf-style formatting into a std::string: the system's messages, log lines and statements are
// defined as printf formats, and keeping them as such keeps them recognisable.

#include <string>

namespace strivex {

// The printf result as a string; any thread.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace strivex
