#include "ui/window_fit.h"

#include <algorithm>

namespace strivex::ui {

AxisFit::AxisFit(const DialogUnits& units, Axis axis, int length, std::span<const Span> spans, int room)
    : units_(units), axis_(axis), length_(length) {
  int excess = std::max(0, Pixels(length) - room);
  for (const Span& span : spans) {
    const int give = std::clamp(Pixels(span.to - span.from) - Pixels(span.keep), 0, excess);
    if (give > 0) narrowed_.push_back({span, give});
    excess -= give;
  }
}

int AxisFit::Pixels(int units) const { return axis_ == Axis::kAcross ? units_.Across(units) : units_.Down(units); }

int AxisFit::At(int at) const {
  int pixels = Pixels(at);
  for (const Narrowed& n : narrowed_) {
    // A span gives up its pixels evenly along it, so what lies inside it moves in proportion.
    const int into = std::clamp(at, n.span.from, n.span.to) - n.span.from;
    pixels -= n.pixels * into / (n.span.to - n.span.from);
  }
  return pixels;
}

QRect FitRect(const AxisFit& across, const AxisFit& down, int x, int y, int width, int height) {
  const int left = across.At(x);
  const int top = down.At(y);
  return QRect(left, top, across.At(x + width) - left, down.At(y + height) - top);
}

}  // namespace strivex::ui
