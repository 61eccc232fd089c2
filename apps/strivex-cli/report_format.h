#pragma once
// The interpreted samples as text lines for the operator and for scripts:
//   <request id> TAB <analysis code> TAB <parameter code> TAB <value> LF   one per result
//   <request id> TAB <analysis code> LF                                  a group without results
// in list order, then the results that belong to no sample, in their order:
//   - TAB - TAB <parameter code> TAB <value> LF
// Text fields are escaped (escape.h), so every line holds exactly one record.

#include <cstdio>
#include <string>

#include "protocol/records.h"

namespace strivex::cli {

// All lines in one string. `unassigned` holds the interpreter's pseudo-samples; only their
// results are printed.
std::string FormatReport(const SampleList& samples, const SampleList& unassigned = SampleList());

// Streams the same lines to `out` in large chunks, so a big report never sits in memory twice.
// False when writing fails.
bool WriteReport(std::FILE* out, const SampleList& samples,
                 const SampleList& unassigned = SampleList());

}  // namespace strivex::cli
