#pragma once
// The work-list entry editor without its widgets: what "Edit" shows for one entry of the run and
// what its OK writes back. The request id and the patient name are only shown.

#include <string>

#include "protocol/records.h"

namespace strivex {

// The window's thread only; the entry must outlive the model.
class EditRecordModel {
 public:
  // `entry` may be null: the dialog then ends at once.
  explicit EditRecordModel(SampleRecord* entry);

  bool hasEntry() const { return entry_ != nullptr; }
  // Selected indices of Disc, Recipient and Tip Proba as the dialog opens; -1 none.
  int diskIndex() const { return diskIndex_; }
  int cupIndex() const { return cupIndex_; }
  int sampleTypeIndex() const { return sampleTypeIndex_; }
  // ID, Nume and Pos as the dialog opens.
  const std::string& idText() const { return idText_; }
  const std::string& nameText() const { return nameText_; }
  const std::string& positionText() const { return positionText_; }

  // OK with the lists' selected indices (-1 none) and the Pos text. When the entry's frame would
  // not fit the new values the operator is told, the entry keeps its values and the dialog stays
  // open (false).
  bool Ok(int diskIndex, int cupIndex, int sampleTypeIndex, const std::string& positionText);

 private:
  SampleRecord* entry_;
  int diskIndex_ = -1;
  int cupIndex_ = -1;
  int sampleTypeIndex_ = -1;
  std::string idText_;
  std::string nameText_;
  std::string positionText_;
};

}  // namespace strivex
