#pragma once
// The window of the desktop entry when it cannot start an instance at once: the instances to
// choose from, or, with none, where to write one. The module's banner and icon, so the operator
// knows whose window it is.

#include <QDialog>
#include <QString>
#include <QStringList>

class QListWidget;

namespace strivex::ui {

class InstanceChooserDlg : public QDialog {
  Q_OBJECT
 public:
  // With `names`: a list to choose from (OK or a double click starts the one marked). Without:
  // `message` and an OK button alone.
  InstanceChooserDlg(const QStringList& names, const QString& message, QWidget* parent = nullptr);
  // The instance marked when the list was accepted; empty with no list.
  QString chosen() const;

 private:
  QListWidget* list_ = nullptr;
};

}  // namespace strivex::ui
