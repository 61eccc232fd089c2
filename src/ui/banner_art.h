#pragma once
// The module's own artwork, drawn at start-up: the two 965 x 48 banners of the main window and
// the window icon.

#include <QIcon>
#include <QImage>

namespace strivex::ui {

// Both banners' size in pixels.
inline constexpr int kBannerWidth = 965;
inline constexpr int kBannerHeight = 48;

QImage TopBanner();     // drawn anew on each call; shown at (1, 1)
QImage BottomBanner();  // drawn anew on each call; shown at (1, 312)
QIcon WindowIcon();     // the window's icon; needs a QGuiApplication

}  // namespace strivex::ui
