#pragma once
// "Atribui cererea...": the request field of a printout without a sample identifier, the server's
// answer under it, and OK only once the answer names the request's patient (AssignRequestModel).

#include <QDialog>

#include "host/assign_request_model.h"
#include "host/request_lookup_runner.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace strivex::ui {

// The UI thread only, as every widget.
class AssignRequestDlg : public QDialog {
  Q_OBJECT
 public:
  // Every request typed is looked up through `lookup`, which must outlive the answers it gives.
  explicit AssignRequestDlg(RequestLookupRunner& lookup, QWidget* parent = nullptr);

  // After OK: the confirmed request and its patient.
  const AssignRequestModel& model() const { return model_; }
  // OK ends the dialog only for a confirmed request.
  void accept() override;

 private:
  void OnEdited(const QString& text);
  void OnAnswer(int32_t requestId, const RequestCheck& check);
  void Show();

  RequestLookupRunner& lookup_;
  AssignRequestModel model_;
  QLineEdit* request_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace strivex::ui
