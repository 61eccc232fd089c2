// The request-code confirmation of the main window: the operator types a request number (or bar
// code) and the module shows whose it is; the number goes to the interpreter with the next message.
// The check of the request unassigned results are given asks the same statement.

#include "host/request_code.h"

#include <charconv>

#include "db/baza_de_date.h"
#include "host/module_core.h"
#include "host/module_view.h"
#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr size_t kRequestCodeLimit = 100;
constexpr int kLookupSlot = 8;

// Each of the five runs of six tabs is part of the statement the laboratory has always received.
constexpr char kPatientLookup[] =
    "select cast(lr.id as varchar(10)) + ' - ' + p.LastName+' ' + p.FirstName as patient from "
    "l_requests lr \t\t\t\t\t\tleft join patients p on p.id=lr.patientid\t\t\t\t\t\tleft join "
    "l_request_details lrd on lrd.requestid=lr.id\t\t\t\t\t\tleft join l_investigations inv on "
    "inv.id=lrd.investigationid\t\t\t\t\t\tleft join l_investigations inv2 on "
    "inv.itemid=inv2.itemid\t\t\t\t\t\twhere (lr.id=%ld or lr.externalbarcodeid=%d) and "
    "inv2.id=%ld\t\t\t\t\t\torder by case when lr.externalbarcodeid=%d then 0 else 1 end";

constexpr char kNameSeparator[] = " - ";

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

void ModuleCore::ConfirmRequestCode() {
  const std::string typed = view_.RequestCodeText().substr(0, kRequestCodeLimit);
  if (typed.empty()) {
    view_.HideWindow();
    host_.SetFlag(HostRecord::kWindowShown, 0);
    return;
  }
  const int32_t requestId = ParseDecimal(typed);
  context_.requestId.store(requestId);
  // The number is already the one the next message goes to: the field must not keep naming the
  // previous patient while the server is asked, nor when it cannot answer (no server, no
  // investigation of this instrument to match requests against, a statement that failed).
  view_.SetPatientText(typed);
  if (!context_.server.Connected()) return;
  // The statement runs on a worker: the window never waits for the server or a login in progress.
  confirmLookup_.Begin(requestId, [this](int32_t id, const RequestCheck& check) {
    view_.Post([this, id, check] { ShowRequestAnswer(id, check); });
  });
}

void ModuleCore::ShowRequestAnswer(int32_t requestId, const RequestCheck& check) {
  if (shutDown_ || context_.requestId.load() != requestId) return;
  switch (check.outcome) {
    case RequestCheck::Outcome::kKnown:
    case RequestCheck::Outcome::kOtherRequest:
      // As the statement names it: the request found, then the patient.
      view_.SetPatientText(Format("%d%s%s", check.foundRequest, kNameSeparator, check.patient.c_str()));
      view_.SetRequestCodeText("");
      break;
    case RequestCheck::Outcome::kUnknown: {
      int32_t expected = requestId;
      context_.requestId.compare_exchange_strong(expected, 0);
      view_.SetPatientText("0");
      break;
    }
    default:
      break;  // the typed number stays, as shown
  }
}

}  // namespace strivex
