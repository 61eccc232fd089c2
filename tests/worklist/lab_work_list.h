#pragma once
// Work-list rows of a machine id no other test process uses, on the development laboratory
// server (skipped without it, unless STRIVEX_REQUIRE_LAB_DB=1), removed before and after a test.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "platform/message_box.h"
#include "protocol/records.h"
#include "support/temp_dir.h"

namespace strivex::testing {

// One WORK_LIST row; a texts or date that is not given is NULL.
struct WorkListRow {
  int32_t requestId;
  std::optional<std::string> sampleCode;
  std::optional<std::string> patient;
  std::string analysisCode;
  std::optional<std::string> date;  // 'YYYY-MM-DD hh:mm'
};

// Inserts the rows for `machineId` in one statement, in the given order.
void InsertWorkList(BazaDeDate& db, int32_t machineId, const std::vector<WorkListRow>& rows);

// A sample as one line: "id|patient|sample type|code/type copy,...|YYYY-MM-DD hh:mm:ss (day)".
std::string Describe(const SampleRecord& sample);
std::vector<std::string> Describe(const SampleList& list);

// The work_list_sent rows of a machine as "request code", in request and code order.
std::vector<std::string> SentRows(BazaDeDate& db, int32_t machineId);

class LabWorkListTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  void RemoveRows();
  std::string ErrorLog() const { return ReadFile(dir_ / "_acterr.log"); }

  TempDir dir_;
  ScopedCurrentDir cwd_{dir_.path()};  // sessions write _acterr.log by bare name
  platform::MessageBoxRecorder boxes_;
  BazaDeDate db_;
  int32_t machine_ = 0;
};

}  // namespace strivex::testing
