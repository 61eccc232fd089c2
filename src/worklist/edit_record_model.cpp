#include "worklist/edit_record_model.h"

#include <optional>

#include "platform/message_box.h"
#include "util/combo_search.h"
#include "util/format.h"
#include "util/text_scan.h"
#include "worklist/work_list_choices.h"
#include "worklist/work_list_frame.h"

namespace strivex {

namespace {

constexpr size_t kPositionChars = 100;

bool Within(int index, const std::vector<std::string>& items) {
  return index >= 0 && index < static_cast<int>(items.size());
}

}  // namespace

EditRecordModel::EditRecordModel(SampleRecord* entry) : entry_(entry) {
  if (entry_ == nullptr) return;
  cupIndex_ = SelectByPrefix(CupTypeNames(), entry_->cupTypeText, 0);
  diskIndex_ = SelectByPrefix(DiskNames(), Format("%d", entry_->disk), 0);
  sampleTypeIndex_ = SelectByPrefix(SampleTypeNames(), entry_->sampleType, 0);
  idText_ = Format("%d", entry_->requestId);
  nameText_ = entry_->patientName;
  positionText_ = Format("%d", entry_->position);
}

bool EditRecordModel::Ok(int diskIndex, int cupIndex, int sampleTypeIndex, const std::string& positionText) {
  if (entry_ == nullptr) return true;
  SampleRecord& entry = *entry_;
  const std::string oldCupText = entry.cupTypeText;
  const std::string oldSampleType = entry.sampleType;
  const int32_t oldCup = entry.cupType;
  const int32_t oldPosition = entry.position;
  const int32_t oldDisk = entry.disk;

  if (Within(cupIndex, CupTypeNames())) {
    entry.cupType = cupIndex + 1;
    entry.cupTypeText = CupTypeNames()[static_cast<size_t>(cupIndex)];
  } else {
    entry.cupType = kCupNone;
  }
  if (Within(sampleTypeIndex, SampleTypeNames())) {
    entry.sampleType = SampleTypeNames()[static_cast<size_t>(sampleTypeIndex)];
  }
  entry.position = ParseDecimal(std::string_view(positionText).substr(0, kPositionChars));
  entry.disk = Within(diskIndex, DiskNames()) ? diskIndex + 1 : 0;

  const std::optional<std::string> problem = WorkListFrameProblem(entry, GetLocalTime());
  if (!problem) return true;
  entry.cupTypeText = oldCupText;
  entry.sampleType = oldSampleType;
  entry.cupType = oldCup;
  entry.position = oldPosition;
  entry.disk = oldDisk;
  platform::MessageBox(*problem);
  return false;
}

}  // namespace strivex
