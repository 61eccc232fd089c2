#include "ui/instance_chooser_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/banner_art.h"
#include "ui/dialog_buttons.h"
#include "ui/dialog_units.h"

namespace strivex::ui {

InstanceChooserDlg::InstanceChooserDlg(const QStringList& names, const QString& message, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("instanceChooser"));
  setWindowTitle(QStringLiteral("Strivex"));
  setWindowIcon(WindowIcon());
  const DialogUnits units = DialogUnits::Of(*this);

  // The banner's left part: the strip and the product's name, as over the main window.
  const QImage banner = TopBanner(units.Scale());
  auto* top = new QLabel(this);
  top->setPixmap(QPixmap::fromImage(banner.copy(0, 0, units.Scaled(300), banner.height())));

  auto* text = new QLabel(names.isEmpty() ? message : QStringLiteral("Alegeti instrumentul:"), this);
  text->setObjectName(QStringLiteral("chooserText"));
  text->setTextInteractionFlags(Qt::TextSelectableByMouse);  // the paths can be copied

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, units.Down(7));
  layout->addWidget(top);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(units.Across(7), units.Down(4), units.Across(7), 0);
  body->addWidget(text);
  if (!names.isEmpty()) {
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("instanceList"));
    list_->addItems(names);
    list_->setCurrentRow(0);
    list_->setMinimumHeight(units.Down(12) * std::min<int>(static_cast<int>(names.size()), 8));
    connect(list_, &QListWidget::itemActivated, this, &QDialog::accept);
    body->addWidget(list_);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(NewAcceptButton(this, names.isEmpty() ? QStringLiteral("OK") : QStringLiteral("Pornesc")));
  if (!names.isEmpty()) buttons->addWidget(NewRejectButton(this, QStringLiteral("Renunt")));
  body->addLayout(buttons);
  layout->addLayout(body);
}

QString InstanceChooserDlg::chosen() const {
  const QListWidgetItem* item = list_ != nullptr ? list_->currentItem() : nullptr;
  return item != nullptr ? item->text() : QString();
}

}  // namespace strivex::ui
