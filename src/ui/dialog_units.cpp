#include "ui/dialog_units.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <cmath>

namespace strivex::ui {

namespace {

// The line height of the font the windows were drawn for.
constexpr double kDrawnLineHeight = 13;

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average of the alphabet's letters, rounded as the dialogs' base units always were.
  const int alphabet =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int letter = std::max(1, (alphabet / 26 + 1) / 2);
  const int height = std::max(1, metrics.height());
  across_ = letter / 4.0;
  down_ = height / 8.0;
  // Never smaller than drawn: a small font must not squeeze the fixed artwork.
  scale_ = std::max(1.0, height / kDrawnLineHeight);
}

int DialogUnits::Across(int units) const { return static_cast<int>(std::lround(units * across_)); }
int DialogUnits::Down(int units) const { return static_cast<int>(std::lround(units * down_)); }

QRect DialogUnits::Rect(int x, int y, int width, int height) const {
  return QRect(Across(x), Down(y), Across(width), Down(height));
}

int DialogUnits::Scaled(int pixels) const { return static_cast<int>(std::lround(pixels * scale_)); }

}  // namespace strivex::ui
