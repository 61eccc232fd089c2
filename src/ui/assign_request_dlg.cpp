#include "ui/assign_request_dlg.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/dialog_buttons.h"
#include "ui/text_codec.h"

namespace strivex::ui {

AssignRequestDlg::AssignRequestDlg(RequestLookupRunner& lookup, QWidget* parent)
    : QDialog(parent), lookup_(lookup) {
  setWindowTitle(QStringLiteral("Rezultate fara ID proba"));
  setObjectName(QStringLiteral("assignRequest"));
  request_ = new QLineEdit(this);  // empty: Enter alone must not pick a request
  request_->setObjectName(QStringLiteral("requestEdit"));
  request_->setMaxLength(10);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("statusLabel"));
  status_->setMinimumWidth(360);
  status_->setWordWrap(true);
  ok_ = NewAcceptButton(this);
  QPushButton* cancel = NewRejectButton(this, QStringLiteral("Anulez"));
  connect(request_, &QLineEdit::textEdited, this, &AssignRequestDlg::OnEdited);

  auto* field = new QHBoxLayout;
  field->addWidget(new QLabel(QStringLiteral("ID proba (cererea):"), this));
  field->addWidget(request_, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(field);
  layout->addWidget(status_);
  layout->addLayout(buttons);
  Show();
}

void AssignRequestDlg::accept() {
  if (model_.okEnabled()) QDialog::accept();
}

void AssignRequestDlg::OnEdited(const QString& text) {
  const std::optional<int32_t> wanted = model_.Edit(ToLocal8(text));
  Show();
  if (!wanted) return;
  // The answer comes on the lookup's worker; it reaches this dialog on the window's thread, or
  // nothing when the dialog is gone by then.
  QPointer<AssignRequestDlg> self(this);
  lookup_.Begin(*wanted, [self](int32_t requestId, const RequestCheck& check) {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [self, requestId, check] {
          if (self) self->OnAnswer(requestId, check);
        },
        Qt::QueuedConnection);
  });
}

void AssignRequestDlg::OnAnswer(int32_t requestId, const RequestCheck& check) {
  model_.Answer(requestId, check);
  Show();
}

void AssignRequestDlg::Show() {
  status_->setText(FromLocal8(model_.status()));
  ok_->setEnabled(model_.okEnabled());
}

}  // namespace strivex::ui
