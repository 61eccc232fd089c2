#include "assign_check.h"

#include <string>

#include "console.h"
#include "db/baza_de_date.h"
#include "escape.h"
#include "host/request_code.h"
#include "host/startup_steps.h"
#include "util/format.h"

namespace strivex::cli {

namespace {

constexpr const char* kForceHint = "; nothing assigned (--force assigns without the check)";

std::string Reason(const RequestCheck& check, int32_t machine, int32_t requestId) {
  using Outcome = RequestCheck::Outcome;
  switch (check.outcome) {
    case Outcome::kKnown: return {};
    case Outcome::kUnknown: return Format("request %d is not known to the server for machine %d", requestId, machine);
    case Outcome::kOtherRequest:
      return Format("%d is the bar code of request %d, not a request number", requestId, check.foundRequest);
    case Outcome::kNoServer:
    case Outcome::kServerBusy: return "the server is not connected";
    case Outcome::kNoInvestigation:
      return Format("machine %d has no investigation on the server to match requests against", machine);
    case Outcome::kFailed: break;
  }
  return "the lookup failed: " + EscapeField(check.error);
}

}  // namespace

bool ServerKnowsRequest(const SessionTarget& server, std::span<const int32_t> machines, int32_t requestId) {
  BazaDeDate db;
  if (!server.connect) {
    PrintError("assign", Format("request %d cannot be checked without the server (--connect CONNSTR)%s",
                                requestId, kForceHint));
    return false;
  }
  if (!OpenSession(db, server)) {
    PrintError("assign", Format("request %d cannot be checked without the server%s", requestId, kForceHint));
    return false;
  }
  for (const int32_t machine : machines) {
    CodeLists codes;
    LoadCodeLists(db, machine, codes);
    const std::string reason = Reason(CheckRequest(&db, codes.investigation, requestId), machine, requestId);
    if (!reason.empty()) {
      PrintError("assign", reason + kForceHint);
      db.InchidConectie();
      return false;
    }
  }
  db.InchidConectie();
  return true;
}

}  // namespace strivex::cli
