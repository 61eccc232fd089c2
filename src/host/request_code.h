#pragma once
// The laboratory's answer to a request number or bar code: the one statement the main window's
// request code and the assignment of unassigned results both ask the server with.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/server_link.h"

namespace strivex {

class BazaDeDate;

// What of the request-code field is read, and what separates the request from the patient in
// the lookup's answer.
inline constexpr size_t kRequestCodeLimit = 100;
inline constexpr char kNameSeparator[] = " - ";

// "N - LAST FIRST" for the request whose number or external bar code is `code` (the bar code
// first) and that names an analysis of the investigation's item; empty when none does; nullopt
// when the statement failed. The caller holds the session's lock.
std::optional<std::string> LookupRequestPatient(BazaDeDate& server, int32_t code, int32_t investigationId);

// What the server says of the request results are about to be stored under.
struct RequestCheck {
  enum class Outcome {
    kKnown,            // the request itself: patient set
    kUnknown,          // no such request (or none with a patient) for this instrument
    kOtherRequest,     // the number is another request's bar code: foundRequest, patient set
    kNoServer,         // no connected session
    kServerBusy,       // the session stayed busy (a login) past the lookup's wait
    kNoInvestigation,  // the instrument has no investigation to match requests against
    kFailed,           // the statement failed: error
  };
  Outcome outcome = Outcome::kNoServer;
  int32_t foundRequest = 0;
  std::string patient;  // the name part of the answer
  std::string error;
};

// Asks `server` (null or disconnected: kNoServer) about `requestId` with the instrument's first
// investigation. The caller holds the session's lock.
RequestCheck CheckRequest(BazaDeDate* server, const std::vector<InvestigationCodeEntry>& codes, int32_t requestId);

// Reads the lookup's answer for `requestId`: the number before " - " must be that request.
RequestCheck JudgeLookup(int32_t requestId, const std::string& answer);

}  // namespace strivex
