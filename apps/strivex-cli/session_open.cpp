#include "session_open.h"

#include "console.h"
#include "db/baza_de_date.h"
#include "escape.h"

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

bool OpenSession(BazaDeDate& db, const SessionTarget& target) {
  if (Open(db, target)) return true;
  // A failed relayed open is not logged; its notice for the operator is the reason here.
  const std::string message = db.LastErrorMessage();
  const std::string notice = db.lastNotice();
  PrintError("open", !message.empty() ? EscapeField(message)
                     : !notice.empty() ? EscapeField(notice)
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
