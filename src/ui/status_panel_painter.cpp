#include "ui/status_panel_painter.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QPainter>
#include <QPen>
#include <algorithm>
#include <iterator>

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

// The line's lower-right limit: the black area's edge, less a margin as wide as the left one's half.
constexpr int kLineRight = 195;
constexpr int kLineLeft = 10;
constexpr int kLineHeight = 14;

// `path` within `room` pixels: whole, or cut in its middle before its last component (the file or
// the device), which is cut itself only when nothing else is left to cut.
QString ElideKeepingName(const QString& path, const QFontMetrics& metrics, int room) {
  if (metrics.horizontalAdvance(path) <= room) return path;
  const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (slash > 0) {
    const QString name = path.mid(slash);
    const int left = room - metrics.horizontalAdvance(name);
    const QString head = metrics.elidedText(path.left(slash), Qt::ElideMiddle, left);
    if (!head.isEmpty()) return head + name;
  }
  return metrics.elidedText(path, Qt::ElideMiddle, room);
}

// The line as it fits in `room` pixels: its cuttable part cut, the rest kept.
QString FittedLine(const StatusLine& line, const QFontMetrics& metrics, int room) {
  const QString whole = FromLocal8(line.text);
  if (line.cutLength == 0 || metrics.horizontalAdvance(whole) <= room) return whole;
  const QString head = FromLocal8(line.text.substr(0, line.cutFrom));
  const QString value = FromLocal8(line.text.substr(line.cutFrom, line.cutLength));
  const QString tail = FromLocal8(line.text.substr(line.cutFrom + line.cutLength));
  const int left = room - metrics.horizontalAdvance(head) - metrics.horizontalAdvance(tail);
  return head + ElideKeepingName(value, metrics, std::max(left, 0)) + tail;
}

// Text on an opaque black background, anchored at its top-left corner.
void DrawText(QPainter& painter, int x, int y, const QString& shown, const Rgb& colour, int size) {
  const QFont font = PanelFont(size);
  const QFontMetrics metrics(font);
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
    DrawText(painter, x + 158, y + 14, FromLocal8(panel.markText), kRed, kMarkSize);
  }
  for (size_t i = 0; i < panel.lines.size(); ++i) {
    DrawText(painter, x + kLineLeft, y + kLineOffsets[i], ShownStatusLine(panel.lines[i]), panel.lines[i].colour,
             kLineSize);
  }
  painter.restore();
}

int StatusPanelLineAt(const QPoint& point, int x, int y) {
  for (int i = 0; i < static_cast<int>(std::size(kLineOffsets)); ++i) {
    if (QRect(x + kLineLeft, y + kLineOffsets[i], kLineRight - kLineLeft, kLineHeight).contains(point)) return i;
  }
  return -1;
}

QString StatusLineToolTip(const StatusLine& line) { return FromLocal8(line.whole.empty() ? line.text : line.whole); }

QString ShownStatusLine(const StatusLine& line) {
  return FittedLine(line, QFontMetrics(PanelFont(kLineSize)), kLineRight - kLineLeft);
}

void ShowStatusLine(QLabel& label, const StatusLine& line) {
  const QString text = FromLocal8(line.text);
  if (text == label.text()) return;
  label.setText(text);
  label.setToolTip(text);
  // Green on white does not read: waiting is amber, refused is red, all stored is plain; each at
  // least 4.5:1 against white and against the dialog's light grey.
  const QColor colour = line.colour == kRed      ? QColor(0xc0, 0x00, 0x00)
                        : line.colour == kYellow ? QColor(0x8a, 0x53, 0x00)
                                                 : QColor(Qt::black);
  QPalette palette = label.palette();
  palette.setColor(QPalette::WindowText, colour);
  label.setPalette(palette);
}

}  // namespace strivex::ui
