#pragma once
// "SetariDB": shows the database settings model's fields, tests a connection, and hands OK's
// fields to whoever reconnects the module.

#include <QDialog>
#include <functional>

#include "db/db_engine.h"
#include "settings/db_settings_model.h"

class QCheckBox;
class QLineEdit;

namespace strivex {
class ModuleCore;
}

namespace strivex::ui {

// The UI thread only, as every widget.
class SetariDbDlg : public QDialog {
  Q_OBJECT
 public:
  // What OK does with the fields (true when the server answered).
  using Apply = std::function<bool(const DbConnectionFields&)>;

  // `timeouts`: the server session's, which the connections of the dialog bound (see
  // DialogTimeouts).
  SetariDbDlg(const DbDialogFields& fields, const DbTimeouts& timeouts, Apply apply, QWidget* parent = nullptr);

  // What the edits and the check box hold now.
  DbDialogFields Fields() const;
  // "Testez Conectie".
  void TestConnection();
  // OK: the fields are applied, then the dialog ends with OK whatever the server said.
  void accept() override;

 private:
  QLineEdit* AddEdit(const char* objectName, const std::string& text);
  // Runs `work` with the window's wait cursor and the buttons disabled; the login it waits for is
  // bounded to a few seconds.
  void Busy(const std::function<void()>& work);

  DbTimeouts timeouts_;
  Apply apply_;
  QLineEdit* local_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* database_ = nullptr;
  QLineEdit* user_ = nullptr;
  QLineEdit* password_ = nullptr;
  QCheckBox* relayed_ = nullptr;
};

// Menu "Setari" / "Baza de date": the dialog over the module's sessions; OK reconnects the server
// session (ModuleCore::SwitchServer).
void RunDatabaseSettings(ModuleCore& core, QWidget* parent);

}  // namespace strivex::ui
