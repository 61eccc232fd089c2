#pragma once
// Stands in for the main window: records what the module asks of it, from any thread.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "host/module_view.h"

namespace strivex::testing {

class RecordingView : public ModuleView {
 public:
  void SetPatientText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    patientTexts_.push_back(text);
  }
  void AddReceivedRow(ReceivedRow row) override {
    std::lock_guard lock(mutex_);
    rows_.push_back(std::move(row));
  }
  void SetRowBacklog(int64_t message, int32_t sample, int64_t pending, int64_t rejected) override {
    std::lock_guard lock(mutex_);
    for (ReceivedRow& row : rows_) {
      if (row.outboxMessageId == message && row.outboxSampleIndex == sample) {
        row.pending = pending;
        row.rejected = rejected;
      }
    }
  }
  void SetRowPatient(int64_t message, int32_t sample, const std::string& name) override {
    std::lock_guard lock(mutex_);
    for (ReceivedRow& row : rows_) {
      if (row.outboxMessageId == message && row.outboxSampleIndex == sample) row.name = name;
    }
  }
  void NotifyOperator(const std::string& text) override {
    std::lock_guard lock(mutex_);
    notices_.push_back(text);
  }
  // No window thread here: the call runs at once, on the caller's thread.
  void Post(std::function<void()> call) override { call(); }
  std::string RequestCodeText() override {
    std::lock_guard lock(mutex_);
    return requestCode_;
  }
  void SetRequestCodeText(const std::string& text) override {
    std::lock_guard lock(mutex_);
    requestCode_ = text;
  }
  void SetMenuState(MenuState state) override {
    std::lock_guard lock(mutex_);
    menuStates_.push_back(state);
  }
  void SetCaption(const std::string& caption) override {
    std::lock_guard lock(mutex_);
    caption_ = caption;
  }
  void HideWindow() override {
    std::lock_guard lock(mutex_);
    ++hides_;
  }
  void DeleteListItems() override {
    std::lock_guard lock(mutex_);
    for (ReceivedRow& row : rows_) row.sample.reset();
    ++deletes_;
  }

  std::vector<std::string> PatientTexts() const {
    std::lock_guard lock(mutex_);
    return patientTexts_;
  }
  size_t RowCount() const {
    std::lock_guard lock(mutex_);
    return rows_.size();
  }
  // id, date, name and request id of the attached sample, per row.
  std::vector<std::vector<std::string>> Rows() const {
    std::lock_guard lock(mutex_);
    std::vector<std::vector<std::string>> out;
    for (const ReceivedRow& row : rows_) {
      out.push_back({row.id, row.date, row.name,
                     row.sample ? std::to_string(row.sample->requestId) : std::string("-")});
    }
    return out;
  }
  // Results of each row not yet stored, and refused.
  std::vector<std::pair<int64_t, int64_t>> Backlogs() const {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<int64_t, int64_t>> out;
    for (const ReceivedRow& row : rows_) out.emplace_back(row.pending, row.rejected);
    return out;
  }
  std::vector<std::string> Notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
  }
  std::vector<MenuState> MenuStates() const {
    std::lock_guard lock(mutex_);
    return menuStates_;
  }
  std::string Caption() const {
    std::lock_guard lock(mutex_);
    return caption_;
  }
  int Hides() const {
    std::lock_guard lock(mutex_);
    return hides_;
  }
  int Deletes() const {
    std::lock_guard lock(mutex_);
    return deletes_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> patientTexts_;
  std::vector<ReceivedRow> rows_;
  std::vector<std::string> notices_;
  std::string requestCode_;
  std::vector<MenuState> menuStates_;
  std::string caption_;
  int hides_ = 0;
  int deletes_ = 0;
};

}  // namespace strivex::testing
