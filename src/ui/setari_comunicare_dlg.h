#pragma once
// "Setari Comunicatie": shows the serial settings model's lists and hands the operator's choice
// back to it.

#include <QDialog>

#include "settings/declared_fields.h"
#include "settings/serial_settings_model.h"

class QCheckBox;
class QComboBox;

namespace strivex {
class ModuleCore;
}

namespace strivex::ui {

// The UI thread only, as every widget.
class SetariComunicareDlg : public QDialog {
  Q_OBJECT
 public:
  // Runs the model's opening (its message boxes included) and shows its lists; `model` must
  // outlive the dialog.
  explicit SetariComunicareDlg(SetariComunicare& model, QWidget* parent = nullptr);

  // OK: the lists' texts and the check box go to the model.
  void accept() override;
  // The port list is read-only when the administrator declared the port (MarkDeclared).
  void ShowDeclared(const DeclaredFields& declared);

 private:
  QComboBox* AddList(const char* objectName, const ComboState& state);

  SetariComunicare& model_;
  QComboBox* port_ = nullptr;
  QComboBox* baudRate_ = nullptr;
  QComboBox* byteSize_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* stopBits_ = nullptr;
  QCheckBox* save_ = nullptr;
};

// Menu "Setari" / "Comunicatie": the dialog with the window's current settings and the ports
// present; a confirmed choice is kept for the next "Deschid Port" and written to the local
// database. The caller allows it only while the port is closed.
void RunSerialSettings(ModuleCore& core, QWidget* parent);

}  // namespace strivex::ui
