#include "ui/setari_db_dlg.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPushButton>
#include <QVBoxLayout>

#include "db/baza_de_date.h"
#include "host/module_core.h"
#include "platform/message_box.h"
#include "ui/dialog_placement.h"
#include "ui/dialog_buttons.h"
#include "ui/declared_field.h"
#include "ui/text_codec.h"

namespace strivex::ui {

namespace {

// Queued to the application, not to the dialog, which a worker must not touch: the attempt's
// ticket tells whether the dialog still waits for the answer.
void PostToWindow(DbDialogRun::Task task) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

}  // namespace

SetariDbDlg::SetariDbDlg(const DbDialogFields& fields, const DbTimeouts& timeouts, Apply apply,
                         DbDialogRun::StartTask start, QWidget* parent)
    : QDialog(parent), timeouts_(timeouts), apply_(std::move(apply)), run_(std::move(start), PostToWindow) {
  setWindowTitle(QStringLiteral("SetariDB"));
  setObjectName(QStringLiteral("setariDb"));

  local_ = AddEdit("localDatabaseEdit", fields.localDatabase);
  address_ = AddEdit("serverAddressEdit", fields.serverAddress);
  database_ = AddEdit("serverDatabaseEdit", fields.database);
  user_ = AddEdit("userEdit", fields.user);
  password_ = AddEdit("passwordEdit", fields.password);
  password_->setEchoMode(QLineEdit::Password);
  port_ = AddEdit("serverPortEdit", fields.serverPort);
  tdsVersion_ = AddEdit("tdsVersionEdit", fields.tdsVersion);
  clientCharset_ = AddEdit("clientCharsetEdit", fields.clientCharset);
  relayed_ = new QCheckBox(QStringLiteral("Folosesc ServMedianex"), this);
  relayed_->setObjectName(QStringLiteral("relayedCheck"));
  relayed_->setChecked(fields.relayed);

  auto* frame = new QGroupBox(QStringLiteral("Setari Baze de date"), this);
  auto* grid = new QGridLayout(frame);
  const std::pair<const char*, QLineEdit*> rows[] = {{"Baza de date locala", local_},
                                                     {"Adresa Server", address_},
                                                     {"Baza de date de pe server", database_},
                                                     {"Utilizator", user_},
                                                     {"Parola", password_},
                                                     {"Port", port_},
                                                     {"Versiune TDS", tdsVersion_},
                                                     {"Set caractere", clientCharset_}};
  int row = 0;
  for (const auto& [label, edit] : rows) {
    grid->addWidget(new QLabel(QString::fromLatin1(label), frame), row, 0);
    grid->addWidget(edit, row++, 1);
  }
  grid->addWidget(relayed_, row, 1);
  local_->setMinimumWidth(260);

  test_ = new QPushButton(QStringLiteral("Testez Conectie"), this);
  test_->setObjectName(QStringLiteral("testButton"));
  connect(test_, &QPushButton::clicked, this, &SetariDbDlg::TestConnection);
  ok_ = NewAcceptButton(this);
  QPushButton* cancel = NewRejectButton(this);
  busy_ = new QLabel(this);
  busy_->setObjectName(QStringLiteral("busyLabel"));

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(test_);
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame);
  layout->addWidget(busy_);
  layout->addLayout(buttons);
}

QLineEdit* SetariDbDlg::AddEdit(const char* objectName, const std::string& text) {
  auto* edit = new QLineEdit(FromLocal8(text), this);
  edit->setObjectName(QString::fromLatin1(objectName));
  return edit;
}

DbDialogFields SetariDbDlg::Fields() const {
  return {ToLocal8(local_->text()),      ToLocal8(address_->text()),    ToLocal8(database_->text()),
          ToLocal8(user_->text()),       ToLocal8(password_->text()),   relayed_->isChecked(),
          ToLocal8(port_->text()),       ToLocal8(tdsVersion_->text()), ToLocal8(clientCharset_->text())};
}

bool SetariDbDlg::FieldsUsable() {
  const std::string problem = DbDialogProblem(Fields());
  if (!problem.empty()) platform::MessageBox(problem);
  return problem.empty();
}

void SetariDbDlg::ShowDeclared(const DeclaredFields& declared) {
  const std::pair<QWidget*, const char*> fields[] = {{address_, "Adresa Server"},
                                                     {database_, "Baza de date"},
                                                     {user_, "Utilizator"},
                                                     {password_, "Parola"},
                                                     {port_, "Port Server"},
                                                     {tdsVersion_, "Versiune TDS"},
                                                     {clientCharset_, "Set Caractere"},
                                                     {relayed_, "DirectConect"}};
  for (const auto& [field, property] : fields) MarkDeclared(field, declared, property);
}

void SetariDbDlg::ShowState() {
  const bool idle = run_.running() == DbDialogRun::Attempt::kNone;
  for (QWidget* widget : std::initializer_list<QWidget*>{address_, database_, user_, password_, port_, tdsVersion_,
                                                                 clientCharset_, relayed_, test_, ok_}) {
    widget->setEnabled(idle);
  }
  busy_->setText(FromLocal8(run_.BusyText()));
  if (idle) {
    unsetCursor();
  } else {
    setCursor(Qt::BusyCursor);
  }
}

void SetariDbDlg::Answered(const DbDialogAnswer& answer) {
  ShowState();
  for (const std::string& box : answer.boxes) platform::MessageBox(box);
}

void SetariDbDlg::TestConnection() {
  if (!FieldsUsable()) return;
  const DbConnectionFields fields = FieldsForTest(Fields());
  const DbTimeouts timeouts = timeouts_;
  const bool started = run_.Begin(
      DbDialogRun::Attempt::kTest, [fields, timeouts] { return TestDbConnectionAnswer(fields, timeouts); },
      [this](const DbDialogAnswer& answer) { Answered(answer); });
  if (!started && run_.running() == DbDialogRun::Attempt::kNone) platform::MessageBox(kConnectionTestFailed);
  ShowState();
}

void SetariDbDlg::accept() {
  if (!apply_) {
    QDialog::accept();
    return;
  }
  if (!FieldsUsable()) return;
  const DbConnectionFields fields = FieldsForSaving(Fields());
  run_.Begin(
      DbDialogRun::Attempt::kApply, [apply = apply_, fields] { return apply(fields); },
      [this](const DbDialogAnswer& answer) {
        Answered(answer);
        QDialog::accept();
      });
  ShowState();
}

void SetariDbDlg::reject() {
  run_.Abandon();
  ShowState();
  QDialog::reject();
}

void RunDatabaseSettings(ModuleCore& core, QWidget* parent) {
  BazaDeDate* server = core.serverSession();
  BazaDeDate* local = core.localSession();
  if (server == nullptr || local == nullptr) return;
  // The worker's switch uses the module, whose end waits for it.
  const auto apply = [&core](const DbConnectionFields& fields) { return core.SwitchServerForDialog(fields); };
  const auto start = [&core](DbDialogRun::Task task) { return core.background().Start(std::move(task)); };
  SetariDbDlg dialog(DbDialogFieldsFrom(core.ServerFields(), local->database), server->Timeouts(), apply, start,
                     parent);
  dialog.ShowDeclared(DeclaredFields::Read(*local));
  PlaceOverOwner(dialog);
  dialog.exec();
}

}  // namespace strivex::ui
