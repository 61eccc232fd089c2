#include "db/baza_de_date.h"
#include "host/module_core.h"
#include "host/server_switch.h"

namespace strivex {

bool ModuleCore::SwitchServer(const DbConnectionFields& fields, std::string* notice) {
  if (!serverSession_ || !localSession_) return false;
  // Waits for a reconnection's login in progress (bounded by its login time; the reconnection
  // never waits for the window).
  bool connected = false;
  context_.server.Run(
      [&](ServerLink::Scope& link) {
        connected = SwitchServerLocked(context_.shown, context_.reception, link, *localSession_, fields);
        if (!connected && notice != nullptr) *notice = link.session().lastNotice();
        return true;
      },
      ServerLink::Needs::kAlways);
  {
    MutexLock lock(serverShownMutex_);
    serverShown_ = fields;
  }
  context_.shown.RequestRepaint();
  context_.upload.wake().Notify();
  return connected;
}

DbDialogAnswer ModuleCore::SwitchServerForDialog(const DbConnectionFields& fields) {
  DbDialogAnswer answer;
  std::string notice;
  answer.connected = SwitchServer(fields, &notice);
  if (!notice.empty()) answer.boxes.push_back(notice);
  return answer;
}

DbConnectionFields ModuleCore::ServerFields() const {
  MutexLock lock(serverShownMutex_);
  return serverShown_;
}

}  // namespace strivex
