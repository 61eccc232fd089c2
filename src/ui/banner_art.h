#pragma once
// The module's own artwork, drawn at start-up: the two 965 x 48 banners of the main window and
// the window icon.

#include <QIcon>
#include <QImage>

namespace strivex::ui {

inline constexpr int kBannerWidth = 965;
inline constexpr int kBannerHeight = 48;

QImage TopBanner();     // shown at (1, 1)
QImage BottomBanner();  // shown at (1, 312)
QIcon WindowIcon();

}  // namespace strivex::ui
