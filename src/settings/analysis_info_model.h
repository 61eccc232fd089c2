#pragma once
// What the analysis information dialog shows for one received sample: its request code, the
// patient and one row per result. The dialog only reads the sample.

#include <optional>
#include <string>
#include <vector>

namespace strivex {

struct SampleRecord;

struct AnalysisInfoRow {
  std::string analysis;  // "Tip Analiza" column
  std::string state;     // "Stare" column
  friend bool operator==(const AnalysisInfoRow&, const AnalysisInfoRow&) = default;
};

struct AnalysisInfo {
  std::string code;         // "Cod Analiza"
  std::string patientName;  // "Nume Pacient"
  std::vector<AnalysisInfoRow> rows;
  // Set when there is nothing to show; the dialog says it and closes.
  std::optional<std::string> error;
};

AnalysisInfo BuildAnalysisInfo(const SampleRecord* sample);

}  // namespace strivex
