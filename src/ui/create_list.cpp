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

namespace strivex::ui {

namespace {

constexpr const char* kReadFailed = "Lista de lucru nu a putut fi citita de pe server: ";

}  // namespace

void CStrivexDlg::OnCreateList() {
  // The window keeps painting while the requests arrive; the button waits for the read.
  const bool started = core_.workListRunner().Begin(false, [this] {
    QMetaObject::invokeMethod(this, [this] { OnWorkListRead(); }, Qt::QueuedConnection);
  });
  if (started) createListButton_->setEnabled(false);
}

void CStrivexDlg::OnWorkListRead() {
  const WorkListRead read = core_.workListRunner().Finish();
  if (!read.ok) platform::MessageBox(kReadFailed + read.error);
  ModuleContext& context = core_.context();
  ListaLucruModel model(context.workList, context.nextPosition, context.currentDisk);
  ListaLucruDlg dialog(model, this);
  QPointer<ListaLucruDlg> shown(&dialog);
  dialog.SetRequestReader([this, shown](bool unsentOnly) {
    const bool started = core_.workListRunner().Begin(unsentOnly, [this, shown] {
      QMetaObject::invokeMethod(
          this,
          [this, shown] {
            const WorkListRead again = core_.workListRunner().Finish();
            if (!again.ok) platform::MessageBox(kReadFailed + again.error);
            if (shown) shown->ShowRequests(core_.context().workList);
          },
          Qt::QueuedConnection);
    });
    if (!started && shown) shown->ShowRequests(core_.context().workList);  // the box comes back
  });
  PlaceOverOwner(dialog);
  dialog.exec();
  // A read the dialog asked for may still run: it must not outlive the list it fills.
  core_.workListRunner().Join();
  if (model.confirmed()) core_.QueueWorkList(model.TakeFrames(), model.nextPosition(), model.currentDisk());
  createListButton_->setEnabled(true);
}

}  // namespace strivex::ui
