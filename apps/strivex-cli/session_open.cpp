#include "session_open.h"

#include "console.h"
#include "db/baza_de_date.h"
#include "db/server_address.h"
#include "escape.h"
#include "option_text.h"

namespace strivex::cli {

namespace {

bool Open(BazaDeDate& db, const SessionTarget& target) {
  if (target.local) return db.DeschidBazaLocala(*target.local, target.password, 1);
  if (target.relay) {
    db.serverAddress = *target.relay;
    return db.DeschidConectie(target.connect.value_or(""), 0);
  }
  return db.DeschidConectie(target.connect.value_or(""), 1);
}

void PrintDriverWords(const BazaDeDate& db) {
  if (!db.LastErrorDetail().empty()) PrintError("driver", EscapeField(db.LastErrorDetail()));
}

}  // namespace

std::string RelayAddressProblem(std::string_view value) {
  if (value.empty()) return "empty address";
  AddressProblem problem = AddressProblem::kNone;
  if (ParseServerAddress(value, AddressForm::kRelay, &problem)) return {};
  return Quoted(value) + ": " + AddressProblemText(problem);
}

bool OpenSession(BazaDeDate& db, const SessionTarget& target) {
  if (Open(db, target)) return true;
  // A failed relayed open is not logged: the session's own words say why (the socket's or the
  // resolver's reason), not the operator's Romanian notice.
  const std::string message = db.LastErrorMessage();
  const std::string reason = db.lastErrorText();
  PrintError("open", !message.empty() ? EscapeField(message)
                     : !reason.empty() ? EscapeField(reason)
                                       : "the database could not be opened");
  PrintDriverWords(db);
  return false;
}

void PrintSessionError(const BazaDeDate& db, const char* what) {
  if (db.LastErrorMessage().empty()) return;
  PrintError(what, EscapeField(db.LastErrorMessage()));
  PrintDriverWords(db);
}

}  // namespace strivex::cli
