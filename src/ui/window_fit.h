#pragma once
// The main window on a screen smaller than it was drawn for: along each axis, spans of its dialog
// units give up pixels, in their order, down to what each must keep, before anything is cut.

#include <QRect>
#include <span>
#include <vector>

#include "ui/dialog_units.h"

namespace strivex::ui {

class AxisFit {
 public:
  enum class Axis { kAcross, kDown };
  // Dialog units [from, to) that may narrow down to `keep` units.
  struct Span {
    int from;
    int to;
    int keep;
  };
  // `length` units along `axis` into `room` pixels; spans earlier in `spans` narrow first.
  AxisFit(const DialogUnits& units, Axis axis, int length, std::span<const Span> spans, int room);

  // Where the unit `at` lands, in pixels: as drawn before every narrowed span.
  int At(int at) const;
  // The whole length in pixels; more than the room only when the spans could not give enough.
  int Length() const { return At(length_); }

 private:
  struct Narrowed {
    Span span;
    int pixels;  // given up along the span
  };
  int Pixels(int units) const;

  const DialogUnits& units_;
  Axis axis_;
  int length_;
  std::vector<Narrowed> narrowed_;
};

// A control's rectangle in dialog units, placed by both axes' fits.
QRect FitRect(const AxisFit& across, const AxisFit& down, int x, int y, int width, int height);

}  // namespace strivex::ui
