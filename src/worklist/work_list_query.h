#pragma once
// The instrument's pending requests from the laboratory's WORK_LIST (or the view vWORK_LIST): one
// SampleRecord per request, in ascending request order, with one GroupRecord per requested
// analysis in the order of the rows.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "db/lab_statements.h"
#include "protocol/records.h"

namespace strivex {

class BazaDeDate;

// Reads the work list of `machineId` into `out` (emptied first) through result-set slot 9.
// True when it was read, even empty; false for a null session or a table that cannot be opened.
// A missing table or view (error 3127) makes it drop and create vWORK_LIST once and try again.
// Only one query runs at a time in the process: a call while another runs returns true at once
// and leaves `out` alone. The caller keeps other threads off the session meanwhile.
// `requestIds`, when given, limits the list to those requests.
bool WorkListQuery(BazaDeDate* session, int32_t machineId, SampleList& out,
                   std::optional<Date> from, std::optional<Date> to, bool useView,
                   bool unsentOnly, const std::vector<int32_t>* requestIds);

}  // namespace strivex
