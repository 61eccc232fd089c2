#include "ui/setari_comunicare_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "host/module_core.h"
#include "serial/port_list.h"
#include "ui/dialog_placement.h"
#include "ui/dialog_buttons.h"
#include "ui/declared_field.h"
#include "ui/text_codec.h"

namespace strivex::ui {

SetariComunicareDlg::SetariComunicareDlg(SetariComunicare& model, QWidget* parent)
    : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("Setari Comunicatie"));
  setObjectName(QStringLiteral("setariComunicare"));
  model_.Initialize();

  port_ = AddList("portList", model_.port);
  baudRate_ = AddList("baudRateList", model_.baudRate);
  byteSize_ = AddList("byteSizeList", model_.byteSize);
  parity_ = AddList("parityList", model_.parity);
  stopBits_ = AddList("stopBitsList", model_.stopBits);
  save_ = new QCheckBox(QStringLiteral("Salvez Setari"), this);
  save_->setObjectName(QStringLiteral("saveCheck"));
  save_->setChecked(model_.save);

  QPushButton* ok = NewAcceptButton(this);
  QPushButton* cancel = NewRejectButton(this);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Port"), port_);
  form->addRow(QStringLiteral("Baud Rate"), baudRate_);
  form->addRow(QStringLiteral("Byte Size"), byteSize_);
  form->addRow(QStringLiteral("Parity"), parity_);
  form->addRow(QStringLiteral("StopBits"), stopBits_);
  form->addRow(save_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addLayout(buttons);
}

QComboBox* SetariComunicareDlg::AddList(const char* objectName, const ComboState& state) {
  // No edit field: only listed entries can be chosen.
  auto* list = new QComboBox(this);
  list->setObjectName(QString::fromLatin1(objectName));
  list->setEditable(false);
  for (const std::string& item : state.items) list->addItem(FromLocal8(item));
  list->setCurrentIndex(state.selected);
  return list;
}

void SetariComunicareDlg::accept() {
  model_.Confirm(ToLocal8(port_->currentText()), ToLocal8(baudRate_->currentText()),
                 ToLocal8(byteSize_->currentText()), ToLocal8(parity_->currentText()),
                 ToLocal8(stopBits_->currentText()), save_->isChecked());
  QDialog::accept();
}

void SetariComunicareDlg::ShowDeclared(const DeclaredFields& declared) {
  MarkDeclared(port_, declared, kDeclaredPort);
}

void RunSerialSettings(ModuleCore& core, QWidget* parent) {
  BazaDeDate* local = core.localSession();
  if (local == nullptr || core.port().IsOpen()) return;
  SetariComunicare model(CurrentSerialChoice(core.port().PortName(), core.lineSettings()), ListPresentSerialPorts());
  SetariComunicareDlg dialog(model, parent);
  dialog.ShowDeclared(DeclaredFields::Read(*local));
  PlaceOverOwner(dialog);
  if (dialog.exec() != QDialog::Accepted || !model.Confirmed()) return;
  core.SetLineSettings(
      ApplySerialChoice(model.choice(), core.port(), core.lineSettings(), *local, core.localMachineId()));
}

}  // namespace strivex::ui
