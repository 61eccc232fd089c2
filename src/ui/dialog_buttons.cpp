#include "ui/dialog_buttons.h"

namespace strivex::ui {

QPushButton* NewAcceptButton(QDialog* dialog, const QString& text) {
  auto* button = new QPushButton(text, dialog);
  button->setObjectName(QStringLiteral("okButton"));
  button->setDefault(true);
  QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::accept);
  return button;
}

QPushButton* NewRejectButton(QDialog* dialog, const QString& text) {
  auto* button = new QPushButton(text, dialog);
  button->setObjectName(QStringLiteral("cancelButton"));
  QObject::connect(button, &QPushButton::clicked, dialog, &QDialog::reject);
  return button;
}

}  // namespace strivex::ui
