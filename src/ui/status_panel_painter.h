#pragma once
// Draws the status panel the core's model produced, at (x, y) of the window's client area.

#include <QRect>

#include "host/status_panel.h"

class QPainter;

namespace strivex::ui {

// The area the panel covers, frame included.
QRect StatusPanelRect(int x, int y);

// Draws the four lines and, when set, the red "R" mark; the UI thread, inside a paint event.
void PaintStatusPanel(QPainter& painter, int x, int y, const StatusPanel& panel);

}  // namespace strivex::ui
