#include "host/request_code.h"

#include <charconv>

#include "db/baza_de_date.h"
#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr int kLookupSlot = 8;

// Each of the five runs of six tabs is part of the statement the laboratory has always received.
constexpr char kPatientLookup[] =
    "select cast(lr.id as varchar(10)) + ' - ' + p.LastName+' ' + p.FirstName as patient from "
    "l_requests lr \t\t\t\t\t\tleft join patients p on p.id=lr.patientid\t\t\t\t\t\tleft join "
    "l_request_details lrd on lrd.requestid=lr.id\t\t\t\t\t\tleft join l_investigations inv on "
    "inv.id=lrd.investigationid\t\t\t\t\t\tleft join l_investigations inv2 on "
    "inv.itemid=inv2.itemid\t\t\t\t\t\twhere (lr.id=%ld or lr.externalbarcodeid=%d) and "
    "inv2.id=%ld\t\t\t\t\t\torder by case when lr.externalbarcodeid=%d then 0 else 1 end";

}  // namespace

std::optional<std::string> LookupRequestPatient(BazaDeDate& server, int32_t code, int32_t investigationId) {
  const std::string statement =
      Format(kPatientLookup, static_cast<long>(code), code, static_cast<long>(investigationId), code);
  if (!server.GetRecords(statement, kLookupSlot)) return std::nullopt;
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
