// "Creez Lista": the work list is read on a worker, then the ListaLucru dialog composes the run
// and its frames join the frame queue.

#include <QMetaObject>
#include <QPointer>
#include <QPushButton>

#include "platform/message_box.h"
#include "ui/dialog_placement.h"
#include "ui/lista_lucru_dlg.h"
#include "ui/strivex_dlg.h"
#include "worklist/lista_lucru_model.h"
#include "worklist/work_list_service.h"

namespace strivex::ui {

namespace {

constexpr const char* kReadFailed = "Lista de lucru nu a putut fi citita de pe server: ";

// The read that ended becomes the service's list; the operator is told when it failed.
void TakeRead(WorkListService& workList) {
  const WorkListRead read = workList.FinishRead();
  if (!read.ok) platform::MessageBox(kReadFailed + read.error);
}

}  // namespace

void CStrivexDlg::OnCreateList() {
  // The window keeps painting while the requests arrive; the button waits for the read.
  const bool started = core_.workList().BeginRead(false, [this] {
    QMetaObject::invokeMethod(this, [this] { OnWorkListRead(); }, Qt::QueuedConnection);
  });
  if (started) createListButton_->setEnabled(false);
}

void CStrivexDlg::OnWorkListRead() {
  WorkListService& workList = core_.workList();
  TakeRead(workList);
  ListaLucruModel model(workList.list(), workList.nextPosition(), workList.currentDisk());
  ListaLucruDlg dialog(model, this);
  QPointer<ListaLucruDlg> shown(&dialog);
  dialog.SetRequestReader([this, &workList, shown](bool unsentOnly) {
    const bool started = workList.BeginRead(unsentOnly, [this, &workList, shown] {
      QMetaObject::invokeMethod(
          this,
          [&workList, shown] {
            TakeRead(workList);
            if (shown) shown->ShowRequests(workList.list());
          },
          Qt::QueuedConnection);
    });
    if (!started && shown) shown->ShowRequests(workList.list());  // the box comes back
  });
  PlaceOverOwner(dialog);
  dialog.exec();
  // A read the dialog asked for may still run: it must not outlive the list it fills.
  workList.JoinRead();
  if (model.confirmed()) workList.Queue(model.TakeFrames(), model.nextPosition(), model.currentDisk());
  createListButton_->setEnabled(true);
}

}  // namespace strivex::ui
