#pragma once
// The buttons that close a dialog, named so the tests can find them.

#include <QDialog>
#include <QPushButton>

namespace strivex::ui {

// The default button: it accepts the dialog. Its object name is "okButton".
QPushButton* NewAcceptButton(QDialog* dialog, const QString& text = QStringLiteral("OK"));
// It rejects the dialog. Its object name is "cancelButton".
QPushButton* NewRejectButton(QDialog* dialog, const QString& text = QStringLiteral("Cancel"));

}  // namespace strivex::ui
