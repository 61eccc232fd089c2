#pragma once
// Result-shaped lines outside a block that the interpreter did not keep (a header or footer line
// of the printout, or a report cut before its closing line). The operator hears of them at most
// once per timings::kOutsideLinesNotice, with how many came since the notice before: an analyser
// whose printout header has such lines must not raise a notice per report. "_acterr.log" gets
// every message's lines. The processing thread only.

#include <cstdint>
#include <optional>
#include <string>

#include "util/steady_clock.h"
#include "util/timings.h"

namespace strivex {

// The first notice, and the later ones (lines since the notice before).
inline constexpr const char* kOutsideLinesFirst =
    "%lld linii in forma de rezultat, din afara unui bloc de rezultate, nu au fost preluate; pot "
    "fi antetul sau subsolul raportului. Le gasiti in _acterr.log.";
inline constexpr const char* kOutsideLinesSince =
    "Inca %lld linii in forma de rezultat, din afara unui bloc de rezultate, nu au fost preluate "
    "de la avizul precedent. Le gasiti in _acterr.log.";
// "_acterr.log", one entry a message: this line, then each line not kept on its own line.
inline constexpr const char* kOutsideLinesEntry =
    "Linii in forma de rezultat, din afara unui bloc de rezultate, nepreluate:";

class OutsideLinesNotice {
 public:
  explicit OutsideLinesNotice(SteadyClock clock = RealSteadyClock())
      : pacer_(timings::kOutsideLinesNotice, std::move(clock)) {}

  // Counts a message's `lines` not kept; the operator's notice when one is due.
  std::optional<std::string> Count(size_t lines);

 private:
  // The first notice goes out at once, however long ago the machine started.
  Pacer pacer_;
  bool told_ = false;
  int64_t sinceNotice_ = 0;
};

}  // namespace strivex
