#pragma once
// The main window across a screen narrower than it was drawn for: named spans of its dialog units
// give up pixels, in their order, down to what each must keep, before anything is cut.

#include <QRect>
#include <span>
#include <vector>

#include "ui/dialog_units.h"

namespace strivex::ui {

class AcrossFit {
 public:
  // Dialog units [from, to) that may narrow down to `keep` units.
  struct Span {
    int from;
    int to;
    int keep;
  };
  // `width` units of the window into `room` pixels; spans earlier in `spans` narrow first.
  AcrossFit(const DialogUnits& units, int width, std::span<const Span> spans, int room);

  // Where the unit `x` lands, in pixels: as drawn left of every narrowed span.
  int X(int x) const;
  QRect Rect(int x, int y, int width, int height) const;
  // The window's width in pixels; more than the room only when the spans could not give enough.
  int Width() const { return X(width_); }

 private:
  struct Narrowed {
    Span span;
    int pixels;  // given up across the span
  };
  const DialogUnits& units_;
  int width_;
  std::vector<Narrowed> narrowed_;
};

}  // namespace strivex::ui
