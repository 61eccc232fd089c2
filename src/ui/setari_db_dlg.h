#pragma once
// "SetariDB": shows the database settings model's fields, tests a connection, and hands OK's
// fields to whoever reconnects the module. Both logins run on a worker (DbDialogRun); meanwhile the
// dialog says it is busy and Cancel lets the attempt go.

#include <QDialog>
#include <functional>

#include "db/db_engine.h"
#include "settings/db_dialog_run.h"
#include "settings/db_settings_model.h"
#include "settings/declared_fields.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace strivex {
class ModuleCore;
}

namespace strivex::ui {

// The UI thread only, as every widget.
class SetariDbDlg : public QDialog {
  Q_OBJECT
 public:
  // What OK does with the fields, on a worker; its boxes are shown on the window's thread.
  using Apply = std::function<DbDialogAnswer(const DbConnectionFields&)>;

  // `timeouts`: the server session's, which the connections of the dialog bound (see
  // DialogTimeouts). `start` runs the logins on a worker (it must outlive any it started).
  SetariDbDlg(const DbDialogFields& fields, const DbTimeouts& timeouts, Apply apply, DbDialogRun::StartTask start,
              QWidget* parent = nullptr);

  // What the edits and the check box hold now.
  DbDialogFields Fields() const;
  // The fields the administrator declared become read-only (MarkDeclared).
  void ShowDeclared(const DeclaredFields& declared);
  // "Testez Conectie": starts the test; its boxes come when it ends.
  void TestConnection();
  // OK: starts applying the fields; the dialog ends with OK once they are, whatever the server said.
  void accept() override;
  // Cancel, also while a login runs: the dialog ends at once and the attempt's answer is dropped.
  // OK's switch, once started, still ends on its worker (the module's session was already closed).
  void reject() override;

 private:
  QLineEdit* AddEdit(const char* objectName, const std::string& text);
  // Shows the edits' problem in a box and says false, or says true when they can be used.
  bool FieldsUsable();
  // Shows whether an attempt runs: its text, and everything but Cancel disabled meanwhile.
  void ShowState();
  // The attempt's answer, on the window's thread.
  void Answered(const DbDialogAnswer& answer);

  DbTimeouts timeouts_;
  Apply apply_;
  DbDialogRun run_;
  QLabel* busy_ = nullptr;
  QPushButton* test_ = nullptr;
  QPushButton* ok_ = nullptr;
  QLineEdit* local_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* database_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QLineEdit* port_ = nullptr;
  QLineEdit* tdsVersion_ = nullptr;
  QLineEdit* clientCharset_ = nullptr;
  QCheckBox* relayed_ = nullptr;
};

// Menu "Setari" / "Baza de date": the dialog over the module's sessions; OK reconnects the server
// session (ModuleCore::SwitchServer).
void RunDatabaseSettings(ModuleCore& core, QWidget* parent);

}  // namespace strivex::ui
