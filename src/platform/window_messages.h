#pragma once
// Window handles and posted messages between the host and the module, as the host has always
// reached the module's window: a 32-bit handle in the host record and messages posted to it. Lives
// in libmedianex-platform.so, shared by host and module like a system library.

#include <cstdint>
#include <functional>

namespace strivex::platform {

// The 32-bit handle the host record carries at offset 0.
using WindowHandle = uint32_t;

// Ends the module (or, when the host record's offset 74 is 0, only hides its window).
inline constexpr uint32_t WM_CLOSE = 0x0010;
// Shows the module's window (wParam 1) or hides it (any other wParam).
inline constexpr uint32_t WM_SHOWMODULE = 2524;

// Called on the poster's thread; the window queues the work to its own thread.
using WindowMessageHandler = std::function<void(uint32_t message, uintptr_t wParam, intptr_t lParam)>;

// A new handle (never 0) for a window that receives messages through `handler`.
WindowHandle RegisterWindow(WindowMessageHandler handler);
// Forgets the handle: later posts to it fail (a delivery already under way still runs).
void UnregisterWindow(WindowHandle handle);

// Delivers the message to the window's handler; false for an unknown handle.
bool PostWindowMessage(WindowHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam);

}  // namespace strivex::platform
