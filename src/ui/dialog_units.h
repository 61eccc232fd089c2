#pragma once
// The dialogs were laid out in dialog units of an 8-point sans: 1.5 pixels across, 1.625 down.

#include <QRect>
#include <cmath>

namespace strivex::ui {

inline int AcrossUnits(int units) { return static_cast<int>(std::lround(units * 1.5)); }
inline int DownUnits(int units) { return static_cast<int>(std::lround(units * 1.625)); }

inline QRect FromDialogUnits(int x, int y, int width, int height) {
  return QRect(AcrossUnits(x), DownUnits(y), AcrossUnits(width), DownUnits(height));
}

}  // namespace strivex::ui
