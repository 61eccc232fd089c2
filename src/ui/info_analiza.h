#pragma once
// "Informatii Analiza": one received sample, read-only.

#include <QDialog>

#include "settings/analysis_info_model.h"

namespace strivex {
struct SampleRecord;
}

namespace strivex::ui {

// The UI thread only, as every widget.
class InfoAnaliza : public QDialog {
  Q_OBJECT
 public:
  // `sample` is only read, and only while the dialog is built; it is not owned.
  explicit InfoAnaliza(const SampleRecord* sample, QWidget* parent = nullptr);

  // Runs the dialog modally; without a sample it only says "Nu pot Afisa".
  int Run();

 private:
  AnalysisInfo info_;
};

}  // namespace strivex::ui
