#pragma once
// How the host tells the module which instance it runs, so that the window can say so: the
// environment, because the host record's layout has no room for it.

namespace strivex {

// Set by strivex-host --instance NAME before it starts the module; unset without an instance.
inline constexpr const char* kInstanceVariable = "STRIVEX_INSTANCE";

}  // namespace strivex
