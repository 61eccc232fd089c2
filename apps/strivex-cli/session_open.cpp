#include "session_open.h"

#include <vector>

#include "console.h"
#include "db/baza_de_date.h"
#include "escape.h"
#include "platform/message_box.h"

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
  bool opened = false;
  std::vector<std::string> boxes;
  {
    // A failed relayed open explains itself only in a message box; it becomes the reason here.
    const platform::MessageBoxRecorder recorder;
    opened = Open(db, target);
    boxes = recorder.Texts();
  }
  if (opened) return true;
  const std::string message = db.LastErrorMessage();
  PrintError("open", !message.empty() ? EscapeField(message)
                     : !boxes.empty() ? EscapeField(boxes.front())
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
