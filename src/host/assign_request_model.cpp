#include "host/assign_request_model.h"

#include <charconv>

#include "util/format.h"

namespace strivex {

namespace {

std::string_view Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string Describe(int32_t requestId, const RequestCheck& check) {
  using Outcome = RequestCheck::Outcome;
  switch (check.outcome) {
    case Outcome::kKnown: return Format(kAssignPatient, check.patient.c_str());
    case Outcome::kUnknown: return Format(kAssignUnknown, requestId);
    case Outcome::kOtherRequest: return Format(kAssignOtherRequest, requestId, check.foundRequest);
    case Outcome::kNoServer: return kAssignNoServer;
    case Outcome::kServerBusy: return kAssignServerBusy;
    case Outcome::kNoInvestigation: return kAssignNoInvestigation;
    case Outcome::kFailed: break;
  }
  return Format(kAssignLookupFailed, check.error.c_str());
}

}  // namespace

std::optional<int32_t> AssignRequestModel::Edit(std::string_view text) {
  confirmed_ = false;
  requested_.reset();
  patient_.clear();
  status_.clear();
  const std::string_view digits = Trimmed(text);
  if (digits.empty()) return std::nullopt;
  int32_t value = 0;
  const char* end = digits.data() + digits.size();
  const auto [stop, ec] = std::from_chars(digits.data(), end, value, 10);
  if (ec != std::errc() || stop != end || value <= 0) {
    status_ = kAssignInvalid;
    return std::nullopt;
  }
  requested_ = value;
  status_ = kAssignSearching;
  return value;
}

void AssignRequestModel::Answer(int32_t requestId, const RequestCheck& check) {
  if (requested_ != requestId) return;
  // A request without a patient's name shows the operator nothing to confirm against.
  const bool named = !Trimmed(check.patient).empty();
  confirmed_ = check.outcome == RequestCheck::Outcome::kKnown && named;
  if (confirmed_) patient_ = check.patient;
  status_ = confirmed_ || check.outcome != RequestCheck::Outcome::kKnown ? Describe(requestId, check)
                                                                        : Format(kAssignUnknown, requestId);
}

}  // namespace strivex
