#include "ui/edit_record_dlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>

#include "ui/dialog_placement.h"
#include "ui/dialog_buttons.h"
#include "ui/dialog_units.h"
#include "ui/text_codec.h"
#include "worklist/work_list_choices.h"

namespace strivex::ui {

EditRecordDlg::EditRecordDlg(EditRecordModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowTitle(QStringLiteral("Edit"));
  setObjectName(QStringLiteral("editRecord"));
  const DialogUnits units = DialogUnits::Of(*this);
  setFixedSize(units.Rect(0, 0, 414, 78).size());

  auto* frame = new QGroupBox(this);
  frame->setGeometry(units.Rect(7, 7, 400, 64));

  // Each control under its label, the labels in one row.
  const auto place = [this, &units](QWidget* control, const char* name, const char* label, int x, int width) {
    auto* shown = new QLabel(QString::fromLatin1(label), this);
    shown->setGeometry(units.Rect(x, 17, width, 10));
    control->setObjectName(QString::fromLatin1(name));
    const QRect where = units.Rect(x, 29, width, 12);
    control->setGeometry(where.x(), where.y(), where.width(), std::max(where.height(), control->sizeHint().height()));
  };
  const auto edit = [this](const std::string& text, bool readOnly) {
    auto* shown = new QLineEdit(FromLocal8(text), this);
    shown->setReadOnly(readOnly);
    return shown;
  };
  const auto combo = [this](const std::vector<std::string>& items, int selected) {
    auto* list = new QComboBox(this);
    for (const std::string& item : items) list->addItem(FromLocal8(item));
    list->setCurrentIndex(selected);
    return list;
  };

  QLineEdit* id = edit(model_.idText(), true);
  place(id, "idEdit", "ID", 15, 28);
  disk_ = combo(DiskNames(), model_.diskIndex());
  place(disk_, "diskCombo", "Disc", 52, 23);
  position_ = edit(model_.positionText(), false);
  position_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), position_));
  place(position_, "positionEdit", "Pos", 88, 28);
  cup_ = combo(CupTypeNames(), model_.cupIndex());
  place(cup_, "cupCombo", "Recipient", 127, 82);
  QLineEdit* name = edit(model_.nameText(), true);
  place(name, "nameEdit", "Nume", 213, 121);
  sampleType_ = combo(SampleTypeNames(), model_.sampleTypeIndex());
  place(sampleType_, "sampleTypeCombo", "Tip Proba", 344, 52);

  NewAcceptButton(this)->setGeometry(units.Rect(110, 52, 75, 14));
  QPushButton* cancel = NewRejectButton(this, QStringLiteral("Anulez"));
  cancel->setGeometry(units.Rect(208, 52, 71, 14));
  cancel->setAutoDefault(false);
}

int EditRecordDlg::Run() {
  if (!model_.hasEntry()) return 0;
  PlaceOverOwner(*this);
  return exec();
}

void EditRecordDlg::accept() {
  if (model_.Ok(disk_->currentIndex(), cup_->currentIndex(), sampleType_->currentIndex(),
                ToLocal8(position_->text()))) {
    QDialog::accept();
  }
}

}  // namespace strivex::ui
