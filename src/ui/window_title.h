#pragma once
// Which instrument a window serves, so that two instances on one desktop tell apart: the instance
// name when the host gave one, else the instrument's name.

#include <string>
#include <string_view>

namespace strivex::ui {

// The name the window shows of itself; empty when neither is known.
std::string InstanceLabel(std::string_view instance, std::string_view instrument);
// "Strivex - LABEL", or "Strivex" without a label.
std::string WindowTitle(std::string_view label);

}  // namespace strivex::ui
