// The work-list dialog on Qt's offscreen platform: it shows its model and hands the operator's
// clicks to it.

#include "ui/lista_lucru_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include "ui/edit_record_dlg.h"
#include "ui_test_support.h"
#include "worklist/work_list_requests.h"

namespace strivex::ui {
namespace {

template <class T>
T* Child(QWidget& dialog, const char* name) {
  T* child = dialog.findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(child, nullptr) << name;
  return child;
}

QStringList ColumnTexts(QTreeWidget* list, int column) {
  QStringList texts;
  for (int i = 0; i < list->topLevelItemCount(); ++i) texts << list->topLevelItem(i)->text(column);
  return texts;
}

// Runs the dialog as the window does and tells whether the operator confirmed a run.
bool RunDialog(ListaLucruModel& model) {
  ListaLucruDlg dialog(model, nullptr);
  dialog.exec();
  return model.confirmed();
}

TEST(ListaLucruDlgTest, OpensWithTheModelsListsAndChoices) {
  const SampleList requests = testing::MakeRequests({{11, "Ana", "URINA", {"BIL"}}, {12, "\xBA" "erban", "", {"GLU"}}});
  ListaLucruModel model(requests, 7, 3);
  ListaLucruDlg dialog(model);
  EXPECT_EQ(dialog.windowTitle(), "ListaLucru");
  auto* requestList = Child<QTreeWidget>(dialog, "requestList");
  EXPECT_EQ(ColumnTexts(requestList, 0), (QStringList{"    12", "    11"}));
  EXPECT_EQ(ColumnTexts(requestList, 1), (QStringList{QString::fromUtf8("şerban"), "Ana"}));
  EXPECT_EQ(requestList->topLevelItem(0)->toolTip(1), QString::fromUtf8("şerban"));  // cut names read whole
  auto* currentList = Child<QTreeWidget>(dialog, "currentList");
  ASSERT_EQ(currentList->columnCount(), 7);
  const QStringList headers = {" ", "Nr", "ID", "Disc/Pos", "Recip", "Nume", "Tip Proba"};
  const int widths[] = {12, 25, 50, 58, 50, 210, 65};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(currentList->headerItem()->text(i), headers[i]);
    EXPECT_EQ(currentList->columnWidth(i), DialogUnits::Of(dialog).Scaled(widths[i]));
  }
  EXPECT_EQ(Child<QComboBox>(dialog, "cupCombo")->currentText(), "Tube");
  EXPECT_EQ(Child<QComboBox>(dialog, "diskCombo")->currentText(), "3");
  EXPECT_EQ(Child<QLineEdit>(dialog, "positionEdit")->text(), "7");
  EXPECT_FALSE(Child<QPushButton>(dialog, "modifyButton")->isEnabled());
  // The pictures are drawn under the controls.
  const QImage shot = dialog.grab().toImage();
  EXPECT_NE(shot.pixelColor(5, 5), QColor(Qt::white));
}

TEST(ListaLucruDlgTest, AddThenOkHandsTheFramesOver) {
  const SampleList requests = testing::MakeRequests({{11, "Ana", "URINA", {"BIL"}}, {12, "Bogdan", "SERUM", {"GLU"}}});
  ListaLucruModel model(requests, 4, 1);
  QStringList currentIds;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<ListaLucruDlg*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    auto* requestList = Child<QTreeWidget>(*dialog, "requestList");
    Child<QComboBox>(*dialog, "diskCombo")->setCurrentIndex(1);
    requestList->setCurrentItem(requestList->topLevelItem(1));
    Child<QPushButton>(*dialog, "addButton")->click();
    currentIds = ColumnTexts(Child<QTreeWidget>(*dialog, "currentList"), 3);
    EXPECT_EQ(Child<QLineEdit>(*dialog, "positionEdit")->text(), "5");
    EXPECT_EQ(ColumnTexts(requestList, 0), QStringList{"    12"});
    Child<QPushButton>(*dialog, "okButton")->click();
  });
  EXPECT_TRUE(RunDialog(model));
  EXPECT_EQ(currentIds, QStringList{"2/4"});
  const std::vector<QueuedFrame> frames = model.TakeFrames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].requestId, 11);
  EXPECT_EQ(model.nextPosition(), 5);
  EXPECT_EQ(model.currentDisk(), 2);
}

TEST(ListaLucruDlgTest, ModificIsOfferedWhileTheRunHasTheFocusAndEditsTheSelectedEntry) {
  const SampleList requests = testing::MakeRequests({{11, "Ana", "URINA", {"BIL"}}});
  ListaLucruModel model(requests, 4, 1);
  QString rowAfterEdit;
  bool enabledWithFocus = false;
  bool enabledAfterFocusLeft = true;
  QTimer::singleShot(0, [&] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    auto* requestList = Child<QTreeWidget>(*dialog, "requestList");
    auto* currentList = Child<QTreeWidget>(*dialog, "currentList");
    auto* modify = Child<QPushButton>(*dialog, "modifyButton");
    requestList->setCurrentItem(requestList->topLevelItem(0));
    Child<QPushButton>(*dialog, "addButton")->click();
    currentList->setCurrentItem(currentList->topLevelItem(0));
    currentList->setFocus();
    testing::PumpFor(20);
    enabledWithFocus = modify->isEnabled();
    Child<QLineEdit>(*dialog, "positionEdit")->setFocus();
    testing::PumpFor(20);
    enabledAfterFocusLeft = modify->isEnabled();
    currentList->setFocus();
    testing::PumpFor(20);
    QTimer::singleShot(0, [&] {
      auto* editor = qobject_cast<EditRecordDlg*>(QApplication::activeModalWidget());
      ASSERT_NE(editor, nullptr);
      editor->findChild<QLineEdit*>("positionEdit")->setText("12");
      editor->findChild<QPushButton*>("okButton")->click();
    });
    modify->click();
    rowAfterEdit = currentList->topLevelItem(0)->text(3);
    Child<QPushButton>(*dialog, "cancelButton")->click();
  });
  RunDialog(model);
  EXPECT_TRUE(enabledWithFocus);
  EXPECT_FALSE(enabledAfterFocusLeft);
  EXPECT_EQ(rowAfterEdit, "1/12");
}

TEST(ListaLucruDlgTest, CancelConfirmsNothing) {
  const SampleList requests = testing::MakeRequests({{11, "Ana", "URINA", {"BIL"}}});
  ListaLucruModel model(requests, 4, 1);
  QTimer::singleShot(0, [&] {
    auto* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    auto* requestList = Child<QTreeWidget>(*dialog, "requestList");
    requestList->setCurrentItem(requestList->topLevelItem(0));
    Child<QPushButton>(*dialog, "addButton")->click();
    Child<QPushButton>(*dialog, "cancelButton")->click();
  });
  EXPECT_FALSE(RunDialog(model));
  EXPECT_EQ(model.entryCount(), 0u);
}

}  // namespace
}  // namespace strivex::ui
