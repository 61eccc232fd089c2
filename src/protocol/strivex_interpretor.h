#pragma once
// Turns one message of the analyser's printed report (the text received up to a silence of the
// line) into samples with one "S_TRV" analysis each and one result per measured parameter.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/records.h"
#include "protocol/translation.h"

namespace strivex {

// One interpreter a message, used by one thread (the processing thread, or a tool).
//
// Samples are opened by identifier lines ("ID proba:", "Sample ID:", and "Pacient:" while the
// last identifier value read, at first the known request id, reads as 0) whose value is a
// positive 32-bit number. Results are the lines of a result block (opened by a line whose key
// begins with '-', closed by the next such line or an identifier line) and belong to the sample
// opened last. An identifier line with an unusable value (no digits, 0, negative, or beyond
// 2147483647) and a report's closing line (key beginning with '=') end the current sample: the
// results behind them, up to the next usable identifier, are unassigned. Printouts printed back
// to back arrive as one message, and one without a readable identifier (a quality control, a
// misread label) must not be stored under the patient before it.
//
// Lines in the analyser's result form (a space, then a code) outside a block make runs. A run ends
// at the next identifier line, '-' line, '=' line or the message's end; other lines (text, empty
// or over-long ones) neither start nor end it. A run ended by a '=' line is a block whose opening
// line never arrived (the rest of a report whose start went to an earlier message, or a torn
// dashed line) and becomes one unassigned printout, whatever came before it. Any other run may be
// a header or footer line of the printout: it is not kept but told (Told()), so the caller can
// say so. A message cut by the line's silence thus changes the fate of no line but those of the
// one run the cut splits.
class StrivexInterpretor {
 public:
  // Longer lines are skipped; the interpretation goes on behind their line end.
  static constexpr int32_t kLineLimit = 300;

  StrivexInterpretor() = default;
  virtual ~StrivexInterpretor() = default;
  StrivexInterpretor(const StrivexInterpretor&) = delete;
  StrivexInterpretor& operator=(const StrivexInterpretor&) = delete;

  // Interprets `text` (the reception buffer; NUL bytes in it are line noise and dropped first).
  // While `knownRequestId` is not 0, "Pacient" lines do not identify samples. `modifierId` is
  // accepted and has no effect. Returns 1 when at least one sample or one unassigned result was
  // found, else 0. Values are translated, cleared of the UTF-8 lead byte 0xC2 and then brought to
  // the server's code page (protocol/code_page.h). The samples and the unassigned results stay in
  // this interpreter until taken (and are freed with it otherwise).
  uint8_t Interpret(std::string_view text, int32_t knownRequestId, int32_t modifierId,
                    std::span<const TranslationEntry> translations);

  // The samples found so far, still owned by the interpreter.
  const SampleList& Samples() const { return samples_; }
  // Hands the samples over; the interpreter's samples are then empty.
  SampleList TakeSamples() { return std::move(samples_); }

  // Tells the next Interpret where in its text (ascending offsets) bytes may be missing: a torn
  // line was left out there, or the device went away. The bytes behind a gap may be another
  // transmission's (a new report's header), so up to the end of the block open there only lines
  // in the result form are taken as its results.
  void GapsAt(std::vector<size_t> offsets) { gaps_ = std::move(offsets); }
  // The request of the sample open at each gap of the last Interpret: 0 when none.
  const std::vector<int32_t>& OpenRequests() const { return openRequests_; }

  // Unassigned results, one pseudo-sample per printout (a run of result lines between two
  // sample boundaries): requestId 0, its groups and results as the interpreter builds them for a
  // sample (same analysis code "S_TRV", same translation and code-page rules), in order.
  const SampleList& Unassigned() const { return unassigned_; }
  // Hands the unassigned results over; the interpreter's unassigned list is then empty.
  SampleList TakeUnassigned() { return std::move(unassigned_); }

  // The result-shaped lines outside a block that the last Interpret did not keep, as they came.
  const std::vector<std::string>& Told() const { return told_; }

 private:
  void InterpretLines(std::string_view text, int32_t knownRequestId,
                      std::span<const TranslationEntry> translations, std::span<const size_t> gaps);

  SampleList samples_;
  SampleList unassigned_;
  std::vector<std::string> told_;
  std::vector<size_t> gaps_;
  std::vector<int32_t> openRequests_;
};

}  // namespace strivex
