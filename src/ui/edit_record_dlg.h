#pragma once
// "Edit": disk, position, cup and sample type of one entry of the work-list run. The dialog shows
// an EditRecordModel and hands its OK to it.

#include <QDialog>

#include "worklist/edit_record_model.h"

class QComboBox;
class QLineEdit;

namespace strivex::ui {

// The UI thread only, as every widget.
class EditRecordDlg : public QDialog {
  Q_OBJECT
 public:
  // The model must outlive the dialog.
  explicit EditRecordDlg(EditRecordModel& model, QWidget* parent = nullptr);

  // Runs the dialog modally; without an entry it ends at once with 0.
  int Run();
  // OK: the model takes the values, or refuses them and the dialog stays open.
  void accept() override;

 private:
  EditRecordModel& model_;
  QComboBox* disk_ = nullptr;
  QComboBox* cup_ = nullptr;
  QComboBox* sampleType_ = nullptr;
  QLineEdit* position_ = nullptr;
};

}  // namespace strivex::ui
