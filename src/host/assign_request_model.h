#pragma once
// "Atribui cererea..." without its widgets: the request an operator gives a printout without a
// sample identifier is confirmed only once the server has named that very request's patient.
// Results stored under a wrong request go to another patient's file, so a number the server does
// not know, a bar code of another request, or no answer at all leave OK disabled.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/request_code.h"

namespace strivex {

// What the dialog says under the request field.
inline constexpr const char* kAssignSearching = "Caut cererea...";
inline constexpr const char* kAssignPatient = "Pacient: %s";
inline constexpr const char* kAssignInvalid = "Numarul cererii nu este valid";
inline constexpr const char* kAssignUnknown = "Cererea %d nu este cunoscuta pe server";
inline constexpr const char* kAssignOtherRequest = "Codul %d este codul de bare al cererii %d";
inline constexpr const char* kAssignNoServer = "Serverul nu este conectat: cererea nu poate fi verificata";
inline constexpr const char* kAssignServerBusy = "Serverul nu raspunde: cererea nu poate fi verificata";
inline constexpr const char* kAssignNoInvestigation =
    "Aparatul nu are investigatii pe server: cererea nu poate fi verificata";
inline constexpr const char* kAssignLookupFailed = "Cererea nu a putut fi cautata pe server: %s";

// The window's thread only.
class AssignRequestModel {
 public:
  // The field now holds `text`. Returns the request to look up when it is one (1 to 2^31-1);
  // until its answer OK stays disabled.
  std::optional<int32_t> Edit(std::string_view text);
  // The server's answer about `requestId`; an answer about a number the field no longer holds is
  // ignored.
  void Answer(int32_t requestId, const RequestCheck& check);

  // OK stores the results under requestId(): only for the request the server named.
  bool okEnabled() const { return confirmed_; }
  int32_t requestId() const { return requested_.value_or(0); }
  // The confirmed request's patient, as the received list names it; empty until confirmed.
  const std::string& patient() const { return patient_; }
  // The line under the field.
  const std::string& status() const { return status_; }

 private:
  std::optional<int32_t> requested_;
  bool confirmed_ = false;
  std::string patient_;
  std::string status_;
};

}  // namespace strivex
