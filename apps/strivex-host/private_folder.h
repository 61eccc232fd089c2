#pragma once
// The folders an instance's host makes for itself: its working directory (logs, outbox, local
// database, status file) and the folder of its log rotation, owner-only from the start.

#include <string>

namespace strivex::host_app {

// Makes `path` and its missing parents 0700, whatever the umask; folders that exist stay as they
// are (an administrator may have shared one on purpose). Why it cannot, or empty.
std::string MakePrivateFolder(const std::string& path);

}  // namespace strivex::host_app
