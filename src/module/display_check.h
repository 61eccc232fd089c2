#pragma once
// Whether Qt can start a window system here. Qt aborts the whole process when its platform
// plugin cannot connect, and the host must survive a headless installation, so the module looks
// first and falls back to the offscreen platform. No Qt here.

#include <string>

namespace strivex::module {

// Whether an X server answers at `display` (":0", "unix:1.0", "host:2"): the local socket in
// `socketDir` (abstract or on disk) or TCP port 6000+n for a remote host.
bool XDisplayReachable(const std::string& display, const std::string& socketDir = "/tmp/.X11-unix");

// Prepares the environment before QApplication: QT_QPA_PLATFORM=offscreen when neither X,
// Wayland nor an explicit platform can serve (said once on standard error), and a private
// XDG_RUNTIME_DIR when none is set (ChooseRuntimeDir). Returns whether the offscreen fallback was chosen.
bool PrepareQtPlatform();

}  // namespace strivex::module
