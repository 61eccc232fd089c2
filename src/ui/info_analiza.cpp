#include "ui/info_analiza.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "ui/dialog_placement.h"
#include "ui/dialog_buttons.h"
#include "ui/text_codec.h"

namespace strivex::ui {

InfoAnaliza::InfoAnaliza(const SampleRecord* sample, QWidget* parent)
    : QDialog(parent), info_(BuildAnalysisInfo(sample)) {
  setWindowTitle(QStringLiteral("Informatii Analiza"));
  setObjectName(QStringLiteral("infoAnaliza"));

  auto* code = new QLineEdit(FromLocal8(info_.code), this);
  code->setObjectName(QStringLiteral("codeEdit"));
  code->setReadOnly(true);
  auto* patient = new QLineEdit(FromLocal8(info_.patientName), this);
  patient->setObjectName(QStringLiteral("patientEdit"));
  patient->setReadOnly(true);

  auto* list = new QTreeWidget(this);
  list->setObjectName(QStringLiteral("resultList"));
  list->setRootIsDecorated(false);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list->setHeaderLabels({QStringLiteral("Tip Analiza"), QStringLiteral("Stare")});
  list->header()->setStretchLastSection(false);
  list->setColumnWidth(0, 200);
  list->setColumnWidth(1, 98);
  for (const AnalysisInfoRow& row : info_.rows) {
    new QTreeWidgetItem(list, {FromLocal8(row.analysis), FromLocal8(row.state)});
  }
  list->setMinimumWidth(200 + 98 + 2 * list->frameWidth());

  QPushButton* ok = NewAcceptButton(this);

  auto* fields = new QGridLayout;
  fields->addWidget(new QLabel(QStringLiteral("Cod Analiza"), this), 0, 0);
  fields->addWidget(code, 0, 1);
  fields->addWidget(new QLabel(QStringLiteral("Nume Pacient"), this), 1, 0);
  fields->addWidget(patient, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addWidget(list, 1);
  layout->addLayout(buttons);
}

int InfoAnaliza::Run() {
  if (info_.error) {
    platform::MessageBox(*info_.error);
    return 0;
  }
  PlaceOverOwner(*this);
  return exec();
}

}  // namespace strivex::ui
