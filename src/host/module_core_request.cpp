// The request-code confirmation of the main window: the operator types a request number (or bar
// code) and the module shows whose it is; the number goes to the interpreter with the next message.

#include "host/module_core.h"
#include "host/module_view.h"
#include "host/request_code.h"
#include "util/format.h"
#include "util/text_scan.h"

namespace strivex {

void ModuleCore::ConfirmRequestCode() {
  const std::string typed = view_.RequestCodeText().substr(0, kRequestCodeLimit);
  if (typed.empty()) {
    view_.HideWindow();
    host_.SetFlag(HostRecord::kWindowShown, 0);
    return;
  }
  const int32_t requestId = ParseDecimal(typed);
  context_.reception.SetRequestId(requestId);
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
  if (shutDown_ || context_.reception.requestId() != requestId) return;
  switch (check.outcome) {
    case RequestCheck::Outcome::kKnown:
    case RequestCheck::Outcome::kOtherRequest:
      // As the statement names it: the request found, then the patient.
      view_.SetPatientText(Format("%d%s%s", check.foundRequest, kNameSeparator, check.patient.c_str()));
      view_.SetRequestCodeText("");
      break;
    case RequestCheck::Outcome::kUnknown: {
      context_.reception.ClearRequestId(requestId);
      view_.SetPatientText("0");
      break;
    }
    default:
      break;  // the typed number stays, as shown
  }
}

}  // namespace strivex
