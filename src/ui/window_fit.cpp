#include "ui/window_fit.h"

#include <algorithm>

namespace strivex::ui {

AcrossFit::AcrossFit(const DialogUnits& units, int width, std::span<const Span> spans, int room)
    : units_(units), width_(width) {
  int excess = std::max(0, units.Across(width) - room);
  for (const Span& span : spans) {
    const int give = std::clamp(units.Across(span.to - span.from) - units.Across(span.keep), 0, excess);
    if (give > 0) narrowed_.push_back({span, give});
    excess -= give;
  }
}

int AcrossFit::X(int x) const {
  int pixels = units_.Across(x);
  for (const Narrowed& n : narrowed_) {
    // A span gives up its pixels evenly along it, so what lies inside it moves in proportion.
    const int into = std::clamp(x, n.span.from, n.span.to) - n.span.from;
    pixels -= n.pixels * into / (n.span.to - n.span.from);
  }
  return pixels;
}

QRect AcrossFit::Rect(int x, int y, int width, int height) const {
  const int left = X(x);
  return QRect(left, units_.Down(y), X(x + width) - left, units_.Down(height));
}

}  // namespace strivex::ui
