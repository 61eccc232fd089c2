#include "ui/status_panel_painter.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include "ui/text_codec.h"

namespace strivex::ui {

namespace {

constexpr int kLineSize = 8;
constexpr int kMarkSize = 7;
constexpr int kLineOffsets[] = {1, 15, 29, 43};

QColor ToColor(const Rgb& rgb) { return QColor(rgb.r, rgb.g, rgb.b); }

// The panel was laid out for "Microsoft Sans Serif", which Linux does not have; Liberation Sans
// (fonts-liberation2) is the metric-compatible sans. Size n was a cell height of n + 2 pixels.
QFont PanelFont(int size) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPixelSize(size + 2);
  font.setWeight(QFont::Normal);
  font.setStyleHint(QFont::SansSerif, QFont::PreferQuality);
  return font;
}

// Text on an opaque black background, anchored at its top-left corner.
void DrawText(QPainter& painter, int x, int y, const std::string& text, const Rgb& colour, int size) {
  const QFont font = PanelFont(size);
  const QFontMetrics metrics(font);
  const QString shown = FromLocal8(text);
  painter.setFont(font);
  painter.fillRect(QRect(x, y, metrics.horizontalAdvance(shown), metrics.height()), Qt::black);
  painter.setPen(ToColor(colour));
  painter.drawText(x, y + metrics.ascent(), shown);
}

}  // namespace

QRect StatusPanelRect(int x, int y) { return QRect(QPoint(x - 2, y - 2), QPoint(x + 202, y + 62)); }

void PaintStatusPanel(QPainter& painter, int x, int y, const StatusPanel& panel) {
  painter.save();
  // Rectangles and the disc keep the device's default black outline, right and bottom edges
  // excluded, as the panel has always been drawn.
  painter.setPen(QPen(Qt::black, 0));
  painter.setBrush(ToColor(kGrey));
  painter.drawRect(QRect(QPoint(x - 2, y - 2), QPoint(x + 201, y + 61)).adjusted(0, 0, -1, -1));
  painter.setBrush(ToColor(kBlack));
  painter.drawRect(QRect(QPoint(x, y), QPoint(x + 199, y + 59)).adjusted(0, 0, -1, -1));
  if (panel.mark) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(ToColor(kRed));
    painter.drawEllipse(QRect(QPoint(x + 165, y + 30), QPoint(x + 184, y + 49)));
    painter.setRenderHint(QPainter::Antialiasing, false);
    DrawText(painter, x + 158, y + 14, panel.markText, kRed, kMarkSize);
  }
  for (size_t i = 0; i < panel.lines.size(); ++i) {
    DrawText(painter, x + 10, y + kLineOffsets[i], panel.lines[i].text, panel.lines[i].colour, kLineSize);
  }
  painter.restore();
}

}  // namespace strivex::ui
