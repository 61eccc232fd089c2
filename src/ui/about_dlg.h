#pragma once
// "Despre": the module's name and contact lines.

#include <QDialog>

namespace strivex::ui {

class About : public QDialog {
  Q_OBJECT
 public:
  // Builds the dialog; the caller runs it modally on the UI thread.
  explicit About(QWidget* parent = nullptr);
};

}  // namespace strivex::ui
