#pragma once
// "ListaLucru": the operator composes the analyser's run from the laboratory's requests. The
// dialog shows a ListaLucruModel and forwards the operator's events to it.

#include <QDialog>
#include <QImage>
#include <functional>

#include "ui/dialog_units.h"
#include "worklist/lista_lucru_model.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace strivex::ui {

// The UI thread only, as every widget.
class ListaLucruDlg : public QDialog {
  Q_OBJECT
 public:
  // The model must outlive the dialog.
  explicit ListaLucruDlg(ListaLucruModel& model, QWidget* parent = nullptr);

  // "Doar netrimise": `read` is asked for the requests again, unsent only or all; the box waits
  // for ShowRequests. Without a reader the box is hidden.
  void SetRequestReader(std::function<void(bool unsentOnly)> read);
  // A new read of the requests arrived: they replace the left list; the run stays.
  void ShowRequests(const SampleList& requests);

  // OK and Enter: a typed request id is added, otherwise the run is confirmed.
  void accept() override;
  // "Anulez", Escape and the close button drop the run.
  void reject() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // What a control does when the dialog is wider than drawn: stays, follows the run's side when it
  // stands on it, widens with the run's list, or stays centred.
  enum class Reach { kStays, kFollows, kWidens, kCentred };
  QRect Place(int x, int y, int width, int height, Reach reach = Reach::kFollows) const;
  void BuildControls();
  QTreeWidget* NewList(const char* name, const QRect& where, const QStringList& columns, const QList<int>& widths);
  QPushButton* NewButton(const char* text, const char* name, const QRect& where);
  // Shows the model again; the run's selection stays on `currentRow` when it still exists.
  void Refresh(int currentRow);
  void RefreshMarker();
  int SelectedRequest() const;
  int SelectedCurrent() const;
  void OnModify();

  ListaLucruModel& model_;
  DialogUnits units_;  // of the dialog's font
  int wider_ = 0;      // pixels added to the run's list
  QImage topBanner_;
  QImage bottomBanner_;
  QTreeWidget* requestList_ = nullptr;
  QTreeWidget* currentList_ = nullptr;
  QComboBox* cup_ = nullptr;
  QComboBox* disk_ = nullptr;
  QLineEdit* position_ = nullptr;
  QLineEdit* requestId_ = nullptr;
  QPushButton* modify_ = nullptr;
  QCheckBox* unsentOnly_ = nullptr;
  std::function<void(bool)> readRequests_;
};

}  // namespace strivex::ui
