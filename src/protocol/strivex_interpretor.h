#pragma once
// Turns one message of the analyser's printed report (the text received up to a silence of the
// line) into samples with one "S_TRV" analysis each and one result per measured parameter.

#include <cstdint>
#include <span>
#include <string_view>

#include "protocol/records.h"
#include "protocol/translation.h"

namespace strivex {

// One interpreter a message, used by one thread (the processing thread, or a tool).
class StrivexInterpretor {
 public:
  // Lines longer than this end the interpretation as if the text ended there.
  static constexpr int32_t kLineLimit = 300;

  StrivexInterpretor() = default;
  virtual ~StrivexInterpretor() = default;
  StrivexInterpretor(const StrivexInterpretor&) = delete;
  StrivexInterpretor& operator=(const StrivexInterpretor&) = delete;

  // Interprets `text` (the reception buffer; a NUL byte ends the text, as it always has). While
  // `knownRequestId` is not 0, "Pacient" lines do not identify samples. `modifierId` is accepted
  // and has no effect. Returns 1 when at least one sample was found, else 0; the samples stay in
  // this interpreter until taken (and are freed with it otherwise).
  uint8_t Interpret(std::string_view text, int32_t knownRequestId, int32_t modifierId,
                    std::span<const TranslationEntry> translations);

  // The samples found so far, still owned by the interpreter.
  const SampleList& Samples() const { return samples_; }
  // Hands the samples over; the interpreter is then empty.
  SampleList TakeSamples() { return std::move(samples_); }

 private:
  bool InterpretLines(std::string_view text, int32_t knownRequestId,
                      std::span<const TranslationEntry> translations);

  SampleList samples_;
};

}  // namespace strivex
