#pragma once
// What the analysis information dialog shows for one received sample: its request code, the
// patient and one row per result. The dialog only reads the sample.

#include <optional>
#include <string>
#include <vector>

namespace strivex {

struct SampleRecord;

// One row of the dialog's list: an analysis or result and its state.
struct AnalysisInfoRow {
  std::string analysis;  // "Tip Analiza" column
  std::string state;     // "Stare" column
  friend bool operator==(const AnalysisInfoRow&, const AnalysisInfoRow&) = default;
};

// Everything the dialog shows.
struct AnalysisInfo {
  std::string code;         // "Cod Analiza"
  std::string patientName;  // "Nume Pacient"
  std::vector<AnalysisInfoRow> rows;
  // Set when there is nothing to show; the dialog says it and closes.
  std::optional<std::string> error;
};

// What the dialog shows for `sample` (null gives `error`); reads the sample only, on the window's
// thread that owns the received list.
AnalysisInfo BuildAnalysisInfo(const SampleRecord* sample);

}  // namespace strivex
