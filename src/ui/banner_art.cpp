#include "ui/banner_art.h"

#include <QColor>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

namespace strivex::ui {

namespace {

// Colours of a urine test strip's pads, the one motif of the artwork.
const QColor kPads[] = {QColor(236, 214, 92), QColor(120, 176, 92), QColor(214, 128, 64),
                        QColor(150, 90, 160), QColor(86, 148, 196), QColor(222, 170, 120)};

void DrawStrip(QPainter& painter, const QRectF& area) {
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(250, 250, 246));
  painter.drawRoundedRect(area, 2, 2);
  const qreal pad = area.height() * 0.7;
  const qreal gap = (area.width() - pad * 6) / 7;
  for (int i = 0; i < 6; ++i) {
    painter.setBrush(kPads[i]);
    painter.drawRect(QRectF(area.left() + gap + i * (pad + gap), area.center().y() - pad / 2, pad, pad));
  }
}

QImage Banner(const QColor& from, const QColor& to, double scale) {
  QImage image(qRound(kBannerWidth * scale), qRound(kBannerHeight * scale), QImage::Format_RGB32);
  QPainter painter(&image);
  painter.scale(scale, scale);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, kBannerWidth, 0);
  fill.setColorAt(0, from);
  fill.setColorAt(1, to);
  painter.fillRect(image.rect(), fill);
  painter.fillRect(QRect(0, kBannerHeight - 3, kBannerWidth, 3), QColor(255, 255, 255, 60));
  return image;
}

}  // namespace

QImage TopBanner(double scale) {
  QImage image = Banner(QColor(18, 52, 96), QColor(64, 132, 180), scale);
  QPainter painter(&image);
  painter.scale(scale, scale);
  painter.setRenderHint(QPainter::Antialiasing);
  DrawStrip(painter, QRectF(12, 14, 92, 20));
  QFont title(QStringLiteral("Liberation Sans"));
  title.setPixelSize(26);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(QRect(118, 0, 160, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Strivex"));
  QFont sub(QStringLiteral("Liberation Sans"));
  sub.setPixelSize(11);
  painter.setFont(sub);
  painter.setPen(QColor(210, 228, 240));
  painter.drawText(QRect(120, 30, 240, 16), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("Interfata analizor de urina"));
  return image;
}

QImage BottomBanner(double scale, int textRight, const QString& name, int textWidth) {
  QImage image = Banner(QColor(64, 132, 180), QColor(18, 52, 96), scale);
  QPainter painter(&image);
  painter.scale(scale, scale);
  painter.setRenderHint(QPainter::Antialiasing);
  // The window's buttons sit on the middle of this banner: the motif stays at the ends.
  DrawStrip(painter, QRectF(14, 16, 92, 16));
  QFont label(QStringLiteral("Liberation Sans"));
  label.setPixelSize(12);
  label.setBold(true);
  painter.setFont(label);
  painter.setPen(QColor(230, 240, 248));
  const QRect room(textRight - std::max(0, textWidth), 0, std::max(0, textWidth), kBannerHeight);
  painter.drawText(room, Qt::AlignRight | Qt::AlignVCenter,
                   painter.fontMetrics().elidedText(name, Qt::ElideRight, room.width()));
  return image;
}

QIcon WindowIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(18, 52, 96));
  painter.drawRoundedRect(QRectF(0, 0, 32, 32), 6, 6);
  painter.setBrush(QColor(250, 250, 246));
  painter.drawRect(QRectF(12, 2, 8, 28));
  for (int i = 0; i < 4; ++i) {
    painter.setBrush(kPads[i]);
    painter.drawRect(QRectF(13, 4 + i * 6.5, 6, 5));
  }
  return QIcon(pixmap);
}

}  // namespace strivex::ui
