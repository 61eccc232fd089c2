#include "ui/dialog_placement.h"

#include <QLayout>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace strivex::ui {

void PlaceOverOwner(QWidget& dialog) {
  QWidget* owner = dialog.parentWidget() != nullptr ? dialog.parentWidget()->window() : nullptr;
  if (owner == nullptr) return;
  if (dialog.layout() != nullptr) dialog.adjustSize();
  const QWidget* bar = owner->findChild<QWidget*>(QLatin1String(kBottomBarName));
  const int barTop = owner->mapToGlobal(QPoint(0, bar != nullptr ? bar->mapTo(owner, QPoint(0, 0)).y() : owner->height())).y();
  const QRect screen = owner->screen()->availableGeometry();
  const QSize size = dialog.size();
  int x = owner->frameGeometry().center().x() - size.width() / 2;
  int y = barTop - size.height();
  // Where the screen is too small, the dialog stays whole on it rather than clear of the bar.
  x = std::clamp(x, screen.left(), std::max(screen.left(), screen.right() + 1 - size.width()));
  y = std::clamp(y, screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height()));
  dialog.move(x, y);
}

}  // namespace strivex::ui
