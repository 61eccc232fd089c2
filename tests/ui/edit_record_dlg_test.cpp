// The entry editor on Qt's offscreen platform: OK goes through its model.

#include "ui/edit_record_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "platform/message_box.h"
#include "worklist/work_list_requests.h"

namespace strivex::ui {
namespace {

TEST(EditRecordDlgTest, ShowsTheEntryAndOkWritesThroughTheModel) {
  auto entry = testing::MakeRequest({1021, "Pop Ion", "URINE", {"BIL"}});
  entry->disk = 2;
  entry->position = 5;
  entry->cupTypeText = "Standard Cup";
  entry->cupType = 1;
  EditRecordModel model(entry.get());
  EditRecordDlg dialog(model);
  EXPECT_EQ(dialog.windowTitle(), "Edit");
  auto* disk = dialog.findChild<QComboBox*>("diskCombo");
  auto* cup = dialog.findChild<QComboBox*>("cupCombo");
  auto* sampleType = dialog.findChild<QComboBox*>("sampleTypeCombo");
  auto* position = dialog.findChild<QLineEdit*>("positionEdit");
  ASSERT_TRUE(disk && cup && sampleType && position);
  EXPECT_EQ(dialog.findChild<QLineEdit*>("idEdit")->text(), "1021");
  EXPECT_EQ(dialog.findChild<QLineEdit*>("nameEdit")->text(), "Pop Ion");
  EXPECT_EQ(disk->currentText(), "2");
  EXPECT_EQ(cup->currentText(), "Standard Cup in Tube");
  EXPECT_EQ(sampleType->currentIndex(), -1);
  EXPECT_EQ(position->text(), "5");

  dialog.show();
  platform::MessageBoxRecorder boxes;
  position->setText("100");
  dialog.findChild<QPushButton*>("okButton")->click();
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(entry->position, 5);

  position->setText("12");
  dialog.findChild<QPushButton*>("okButton")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(entry->position, 12);
  EXPECT_EQ(entry->disk, 2);
  EXPECT_EQ(entry->cupType, 4);
  EXPECT_EQ(entry->sampleType, "URINE");
}

TEST(EditRecordDlgTest, WithoutAnEntryItEndsAtOnce) {
  EditRecordModel model(nullptr);
  EditRecordDlg dialog(model);
  EXPECT_EQ(dialog.Run(), 0);
}

}  // namespace
}  // namespace strivex::ui
