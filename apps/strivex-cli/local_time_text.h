#pragma once
// The times tools print to administrators.

#include <cstdint>
#include <string>

namespace strivex::cli {

// Unix seconds (the outbox's and the status file's times) as "YYYY-MM-DD HH:MM:SS", local time.
std::string LocalTimeText(int64_t unixSeconds);

}  // namespace strivex::cli
