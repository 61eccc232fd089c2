#pragma once
// The module's own artwork, drawn at start-up: the two 965 x 48 banners of the main window and
// the window icon.

#include <QIcon>
#include <QImage>
#include <QString>

namespace strivex::ui {

// Both banners' size in pixels, at scale 1.
inline constexpr int kBannerWidth = 965;
inline constexpr int kBannerHeight = 48;

// Drawn anew on each call, `scale` times as large (a larger font or a denser screen); shown at
// (1, 1). The bottom banner's `name` ends `textRight` pixels (at scale 1) from its left, so that it
// ends where the window does, and takes at most `textWidth` of them; a longer name is cut.
QImage TopBanner(double scale = 1);
QImage BottomBanner(double scale = 1, int textRight = 560, const QString& name = QStringLiteral("Strivex"),
                    int textWidth = 120);
QIcon WindowIcon();     // the window's icon; needs a QGuiApplication

}  // namespace strivex::ui
