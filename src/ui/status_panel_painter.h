#pragma once
// Draws the status panel the core's model produced, at (x, y) of the window's client area.

#include <QPoint>
#include <QRect>
#include <QString>

#include "host/status_panel.h"

class QLabel;
class QPainter;

namespace strivex::ui {

// The area the panel covers, frame included.
QRect StatusPanelRect(int x, int y);

// Draws the four lines and, when set, the red "R" mark; the UI thread, inside a paint event.
// A line too wide for the panel has its path or device cut in the middle.
void PaintStatusPanel(QPainter& painter, int x, int y, const StatusPanel& panel);

// The line under `point` of a panel drawn at (x, y), or -1.
int StatusPanelLineAt(const QPoint& point, int x, int y);
// What a line says in full: its tooltip.
QString StatusLineToolTip(const StatusLine& line);
// The line as the panel draws it.
QString ShownStatusLine(const StatusLine& line);

// Shows a status line in one of the window's labels, amber or red when someone must wait or act;
// each readable on white and on the dialogs' light grey.
void ShowStatusLine(QLabel& label, const StatusLine& line);

}  // namespace strivex::ui
