#include "ui/window_title.h"

namespace strivex::ui {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string InstanceLabel(std::string_view instance, std::string_view instrument) {
  const std::string_view chosen = Trimmed(instance).empty() ? Trimmed(instrument) : Trimmed(instance);
  return std::string(chosen);
}

std::string WindowTitle(std::string_view label) {
  return label.empty() ? std::string("Strivex") : "Strivex - " + std::string(label);
}

}  // namespace strivex::ui
