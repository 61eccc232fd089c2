#include "ui/about_dlg.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/banner_art.h"
#include "ui/dialog_buttons.h"

namespace strivex::ui {

About::About(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Despre"));
  setObjectName(QStringLiteral("aboutDialog"));
  auto* frame = new QGroupBox(QStringLiteral("Medianex 1.0"), this);
  auto* inFrame = new QVBoxLayout(frame);
  inFrame->addWidget(new QLabel(QStringLiteral("Modul:"), frame));
  inFrame->addWidget(new QLabel(QStringLiteral("Interfata Strivex"), frame));
  inFrame->addSpacing(8);
  // No maker's contact is published with the module.
  inFrame->addWidget(new QLabel(QStringLiteral("Email : -"), frame));
  inFrame->addWidget(new QLabel(QStringLiteral("Telefon: -"), frame));
  inFrame->addWidget(new QLabel(QStringLiteral("Fax: -"), frame));

  auto* icon = new QLabel(this);
  icon->setPixmap(WindowIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);

  QPushButton* ok = NewAcceptButton(this);

  auto* top = new QHBoxLayout;
  top->addWidget(icon);
  top->addWidget(frame, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons);
}

}  // namespace strivex::ui
