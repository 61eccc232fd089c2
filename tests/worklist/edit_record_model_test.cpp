#include "worklist/edit_record_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_box.h"
#include "worklist/work_list_requests.h"

namespace strivex {
namespace {

struct Values {
  int32_t disk;
  int32_t position;
  std::string cupText;
  int32_t cup;
  std::string sampleType;
};

// -2 in an index keeps what the dialog opened with.
constexpr int kAsShown = -2;

struct EditCase {
  const char* name;
  Values before;
  int diskShown, cupShown, typeShown;  // the lists' selections as the dialog opens
  int disk, cup, type;                 // the operator's choices
  std::string position;
  Values after;
};

class EditRecordModelTest : public ::testing::TestWithParam<EditCase> {};

std::unique_ptr<SampleRecord> Entry(const Values& values) {
  auto entry = testing::MakeRequest({1021, "Pop Ion", values.sampleType, {"BIL", "UBG"}});
  entry->disk = values.disk;
  entry->position = values.position;
  entry->cupTypeText = values.cupText;
  entry->cupType = values.cup;
  return entry;
}

TEST_P(EditRecordModelTest, OpensWithThePrefixSearchAndWritesBackOnOk) {
  const EditCase& c = GetParam();
  auto entry = Entry(c.before);
  EditRecordModel model(entry.get());
  EXPECT_EQ(model.diskIndex(), c.diskShown);
  EXPECT_EQ(model.cupIndex(), c.cupShown);
  EXPECT_EQ(model.sampleTypeIndex(), c.typeShown);
  EXPECT_EQ(model.idText(), "1021");
  EXPECT_EQ(model.nameText(), "Pop Ion");
  EXPECT_EQ(model.positionText(), std::to_string(c.before.position));

  const auto pick = [](int chosen, int shown) { return chosen == kAsShown ? shown : chosen; };
  EXPECT_TRUE(model.Ok(pick(c.disk, c.diskShown), pick(c.cup, c.cupShown), pick(c.type, c.typeShown),
                       c.position.empty() ? model.positionText() : c.position));
  EXPECT_EQ(entry->disk, c.after.disk);
  EXPECT_EQ(entry->position, c.after.position);
  EXPECT_EQ(entry->cupTypeText, c.after.cupText);
  EXPECT_EQ(entry->cupType, c.after.cup);
  EXPECT_EQ(entry->sampleType, c.after.sampleType);
  EXPECT_EQ(entry->requestId, 1021);
  EXPECT_EQ(entry->patientName, "Pop Ion");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EditRecordModelTest,
    ::testing::Values(
        EditCase{"inserted_entry_keeps_disk_0", {0, 0, "", 0, "URINA"}, -1, 1, 1, kAsShown, kAsShown, kAsShown,
                 "", {0, 0, "Micro Cup", 2, "URINA"}},
        EditCase{"urine_is_not_in_the_list_and_stays", {1, 3, "Tube", 3, "URINE"}, 0, 2, -1, kAsShown,
                 kAsShown, kAsShown, "", {1, 3, "Tube", 3, "URINE"}},
        EditCase{"urina_stays_urina", {1, 3, "Tube", 3, "URINA"}, 0, 2, 1, kAsShown, kAsShown, kAsShown, "",
                 {1, 3, "Tube", 3, "URINA"}},
        EditCase{"standard_cup_opens_as_standard_cup_in_tube", {2, 4, "Standard Cup", 1, "SERUM"}, 1, 3, 0,
                 kAsShown, kAsShown, kAsShown, "", {2, 4, "Standard Cup in Tube", 4, "SERUM"}},
        EditCase{"only_pos_changed", {2, 5, "Tube", 3, "URINA"}, 1, 2, 1, kAsShown, kAsShown, kAsShown, "12",
                 {2, 12, "Tube", 3, "URINA"}},
        EditCase{"no_cup_chosen_keeps_its_text_with_number_0", {3, 5, "Tube", 3, "URINA"}, 2, 2, 1, kAsShown,
                 -1, kAsShown, "", {3, 5, "Tube", 0, "URINA"}},
        EditCase{"every_value_chosen", {1, 5, "Tube", 3, "URINA"}, 0, 2, 1, 2, 4, 0, "7",
                 {3, 7, "Micro Cup in Tube", 5, "SERUM"}},
        EditCase{"pos_without_digits_is_0", {1, 5, "Tube", 3, "URINA"}, 0, 2, 1, kAsShown, kAsShown, kAsShown,
                 "x", {1, 0, "Tube", 3, "URINA"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EditRecordModelRefusalTest, ValuesTheFrameCannotCarryAreRefusedAndTheEntryKept) {
  const std::pair<std::string, std::string> cases[] = {
      {"100", "Cererea 1021: pozitia 100 nu incape in lista (0-99)"},
      {std::string(150, '9'), "Cererea 1021: pozitia 2147483647 nu incape in lista (0-99)"},
  };
  for (const auto& [position, message] : cases) {
    platform::MessageBoxRecorder boxes;
    auto entry = Entry({2, 5, "Tube", 3, "URINA"});
    EditRecordModel model(entry.get());
    EXPECT_FALSE(model.Ok(0, 0, 0, position));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{message});
    EXPECT_EQ(entry->disk, 2);
    EXPECT_EQ(entry->position, 5);
    EXPECT_EQ(entry->cupType, 3);
    EXPECT_EQ(entry->cupTypeText, "Tube");
    EXPECT_EQ(entry->sampleType, "URINA");
  }
}

TEST(EditRecordModelRefusalTest, WithoutAnEntryThereIsNothingToEdit) {
  EditRecordModel model(nullptr);
  EXPECT_FALSE(model.hasEntry());
  EXPECT_TRUE(model.Ok(0, 0, 0, "5"));
}

}  // namespace
}  // namespace strivex
