#include "ui/setari_db_dlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "db/baza_de_date.h"
#include "host/module_core.h"
#include "platform/message_box.h"
#include "ui/dialog_buttons.h"
#include "ui/text_codec.h"

namespace strivex::ui {

SetariDbDlg::SetariDbDlg(const DbDialogFields& fields, const DbTimeouts& timeouts, Apply apply, QWidget* parent)
    : QDialog(parent), timeouts_(timeouts), apply_(std::move(apply)) {
  setWindowTitle(QStringLiteral("SetariDB"));
  setObjectName(QStringLiteral("setariDb"));

  local_ = AddEdit("localDatabaseEdit", fields.localDatabase);
  address_ = AddEdit("serverAddressEdit", fields.serverAddress);
  database_ = AddEdit("serverDatabaseEdit", fields.database);
  user_ = AddEdit("userEdit", fields.user);
  password_ = AddEdit("passwordEdit", fields.password);
  password_->setEchoMode(QLineEdit::Password);
  relayed_ = new QCheckBox(QStringLiteral("Folosesc ServMedianex"), this);
  relayed_->setObjectName(QStringLiteral("relayedCheck"));
  relayed_->setChecked(fields.relayed);

  auto* frame = new QGroupBox(QStringLiteral("Setari Baze de date"), this);
  auto* grid = new QGridLayout(frame);
  const std::pair<const char*, QLineEdit*> rows[] = {{"Baza de date locala", local_},
                                                     {"Adresa Server", address_},
                                                     {"Baza de date de pe server", database_},
                                                     {"Utilizator", user_},
                                                     {"Parola", password_}};
  int row = 0;
  for (const auto& [label, edit] : rows) {
    grid->addWidget(new QLabel(QString::fromLatin1(label), frame), row, 0);
    grid->addWidget(edit, row++, 1);
  }
  grid->addWidget(relayed_, row, 1);
  local_->setMinimumWidth(260);

  auto* test = new QPushButton(QStringLiteral("Testez Conectie"), this);
  test->setObjectName(QStringLiteral("testButton"));
  connect(test, &QPushButton::clicked, this, &SetariDbDlg::TestConnection);
  QPushButton* ok = NewAcceptButton(this);
  QPushButton* cancel = NewRejectButton(this);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(test);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addLayout(buttons);
}

QLineEdit* SetariDbDlg::AddEdit(const char* objectName, const std::string& text) {
  auto* edit = new QLineEdit(FromLocal8(text), this);
  edit->setObjectName(QString::fromLatin1(objectName));
  return edit;
}

DbDialogFields SetariDbDlg::Fields() const {
  return {ToLocal8(local_->text()), ToLocal8(address_->text()), ToLocal8(database_->text()),
          ToLocal8(user_->text()),  ToLocal8(password_->text()), relayed_->isChecked()};
}

void SetariDbDlg::Busy(const std::function<void()>& work) {
  setEnabled(false);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  work();
  QApplication::restoreOverrideCursor();
  setEnabled(true);
}

void SetariDbDlg::TestConnection() {
  const DbConnectionFields fields = FieldsForTest(Fields());
  std::string outcome;
  Busy([&] { outcome = TestDbConnection(fields, timeouts_); });
  platform::MessageBox(outcome);
}

void SetariDbDlg::accept() {
  const DbConnectionFields fields = FieldsForSaving(Fields());
  if (apply_) Busy([&] { apply_(fields); });
  QDialog::accept();
}

void RunDatabaseSettings(ModuleCore& core, QWidget* parent) {
  BazaDeDate* server = core.serverSession();
  BazaDeDate* local = core.localSession();
  if (server == nullptr || local == nullptr) return;
  SetariDbDlg dialog(DbDialogFieldsFrom(*server, *local), server->Timeouts(),
                     [&core](const DbConnectionFields& fields) { return core.SwitchServer(fields); }, parent);
  dialog.exec();
}

}  // namespace strivex::ui
