#pragma once
// The analyser's work-list frame: one per entry of a confirmed run. The layout is fixed by the
// analyser; a field that would not fit is refused before the frame is built, never shifted.

#include <optional>
#include <string>

#include "protocol/records.h"
#include "util/local_time.h"

namespace strivex {

// The analyser's sample-type digit: '2' for urine ("URINA", "URINE", "UREE", any case), '1' for
// serum and for anything else.
char WorkListSampleTypeDigit(const std::string& sampleType);

// The analysis codes of the entry's groups, in order, joined without separator.
std::string JoinedAnalysisCodes(const SampleRecord& entry);

// Why the entry's frame would not fit its fields (position over 99, more than 999 analyses, codes
// over 229 characters, a year outside 2000-2099, a negative value), as the operator is told; none
// when it fits.
std::optional<std::string> WorkListFrameProblem(const SampleRecord& entry, const LocalTime& at);

// The frame for `entry` confirmed at `at`: STX "W10000" id ... codes ETX CR LF, without the check
// byte the port appends. The entry must fit (see WorkListFrameProblem).
std::string BuildWorkListFrame(const SampleRecord& entry, const LocalTime& at);

// The frame with bytes outside 0x20-0x7E written as \xHH, for logs and the command line.
std::string VisibleFrameText(const std::string& frame);

}  // namespace strivex
