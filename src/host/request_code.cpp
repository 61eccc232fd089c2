#include "host/request_code.h"

#include <charconv>

#include "db/baza_de_date.h"
#include "db/lab_statements.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kLookupSlot = 8;

}  // namespace

std::optional<std::string> LookupRequestPatient(BazaDeDate& server, int32_t code, int32_t investigationId) {
  if (!server.GetRecords(RequestPatientQuery(code, investigationId), kLookupSlot)) return std::nullopt;
  std::string patient = server.ValoareColoana("patient", kLookupSlot).ToText();
  server.InchidTabel(kLookupSlot);
  return patient;
}

RequestCheck JudgeLookup(int32_t requestId, const std::string& answer) {
  RequestCheck check;
  check.outcome = RequestCheck::Outcome::kUnknown;
  const size_t separator = answer.find(kNameSeparator);
  if (separator == std::string::npos) return check;
  int32_t found = 0;
  const char* end = answer.data() + separator;
  const auto [stop, ec] = std::from_chars(answer.data(), end, found, 10);
  if (ec != std::errc() || stop != end || found <= 0) return check;
  check.foundRequest = found;
  check.patient = answer.substr(separator + sizeof kNameSeparator - 1);
  check.outcome = found == requestId ? RequestCheck::Outcome::kKnown : RequestCheck::Outcome::kOtherRequest;
  return check;
}

RequestCheck CheckRequest(BazaDeDate* server, const std::vector<InvestigationCodeEntry>& codes, int32_t requestId) {
  RequestCheck check;
  if (server == nullptr || server->connected.load() != 1) return check;
  if (codes.empty()) {
    check.outcome = RequestCheck::Outcome::kNoInvestigation;
    return check;
  }
  const std::optional<std::string> answer = LookupRequestPatient(*server, requestId, codes.front().investigationId);
  if (!answer) {
    check.outcome = RequestCheck::Outcome::kFailed;
    check.error = server->lastErrorText();
    return check;
  }
  return JudgeLookup(requestId, *answer);
}

}  // namespace strivex
