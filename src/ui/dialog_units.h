#pragma once
// The windows are laid out in dialog units: a quarter of the font's average letter across, an
// eighth of its height down. In the 8-point sans they were drawn for that is 1.5 by 1.625 pixels;
// a larger font, or a denser screen's larger font, makes every window larger with it.

#include <QFont>
#include <QRect>
#include <QWidget>

namespace strivex::ui {

class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  // The units of the font `widget` shows its texts in.
  static DialogUnits Of(const QWidget& widget) { return DialogUnits(widget.font()); }

  int Across(int units) const;
  int Down(int units) const;
  QRect Rect(int x, int y, int width, int height) const;
  // Pixel coordinates of the old fixed drawing (banners, status panel, list columns) grow with the
  // font's height: 1 in the font the windows were drawn for.
  double Scale() const { return scale_; }
  int Scaled(int pixels) const;

 private:
  double across_;
  double down_;
  double scale_;
};

}  // namespace strivex::ui
