#pragma once
// The runtime folder Qt keeps its sockets in when the session names none: one per user that
// every start reuses, never a fresh one per start (those piled up in /tmp). No Qt here.

#include <sys/types.h>

#include <string>

namespace strivex::module {

struct RuntimeDir {
  std::string path;   // the folder to use; empty when none is fit
  std::string error;  // why the per-user folder cannot be used, or empty
};

// `fromEnvironment` ($XDG_RUNTIME_DIR, or null) when it is an absolute path; else
// `base`/strivex-runtime-UID, made 0700 when missing, and used only when it is a real folder that
// `uid` owns (one that others can enter is made 0700 again).
RuntimeDir ChooseRuntimeDir(const char* fromEnvironment, uid_t uid, const std::string& base = "/tmp");

}  // namespace strivex::module
