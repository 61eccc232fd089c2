#pragma once
// The module without its window: start-up, the worker threads, the port commands of the menu, the
// request-code confirmation, the status panel's data and the orderly shutdown. The main window
// owns one and implements the view it talks to.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "host/host_record.h"
#include "host/module_context.h"
#include "host/result_queue.h"
#include "host/serial_settings.h"
#include "host/status_panel.h"
#include "serial/line_settings.h"
#include "serial/port_serial.h"
#include "serial/receive_context.h"

namespace strivex {

class BazaDeDate;
class ModuleView;
class OutboxStore;
class ServerReconnector;

class ModuleCore {
 public:
  ModuleCore(HostRecord host, ModuleView& view);
  ~ModuleCore();
  ModuleCore(const ModuleCore&) = delete;
  ModuleCore& operator=(const ModuleCore&) = delete;

  // Everything the main window's initialisation does but drawing: settings, sessions, code
  // lists, the port, the worker threads, the caption.
  void Initialize(uint32_t windowHandle);
  // Stops the workers, closes the port and the sessions and tells the host; the window then ends.
  void ShutdownModule();

  // "Deschid Port": false when the port cannot be opened (the window says "Port: Inaccesibil").
  bool OpenPort();
  // "Inchid Port": also ends the re-opening of a port whose device went away.
  void ClosePort();
  // The device of a port the operator wants open went away: it is re-opened every 2 s meanwhile.
  bool PortLost() const { return portWanted_.load() && !port_.IsOpen(); }
  // OK, Enter or Escape in the main window.
  void ConfirmRequestCode();

  StatusSnapshot StatusNow(uint32_t secondsOfDay) const;
  // Writes back what painting the panel changed (indicator, repaint flag, clamped progress).
  void ApplyPanelEffects(const StatusPanel& panel);

  ModuleContext& context() { return context_; }
  HostRecord& host() { return host_; }
  const SerialSettings& serialSettings() const { return serial_; }
  LineSettings& lineSettings() { return dcb_; }
  PortSerial& port() { return port_; }
  BazaDeDate* localSession() const { return localSession_.get(); }
  BazaDeDate* serverSession() const { return serverSession_.get(); }
  OutboxStore* outbox() const { return outbox_.get(); }
  bool ShutDown() const { return shutDown_; }

 private:
  void OpenSessions();
  void OpenOutbox();
  // On the processing thread.
  void WatchPort();
  void StartWorkers();
  void JoinWorkers();

  HostRecord host_;
  ModuleView& view_;
  uint8_t directConect_ = 1;
  BazaDeDate* activeSession_ = nullptr;
  std::unique_ptr<BazaDeDate> localSession_;
  std::unique_ptr<BazaDeDate> serverSession_;
  SerialSettings serial_;
  LineSettings dcb_;
  ResultQueue queue_;
  ReceiveContext receive_;
  PortSerial port_;
  ModuleContext context_;
  std::unique_ptr<OutboxStore> outbox_;
  std::string serverConnection_;
  bool serverChosenByHost_ = false;  // the host said the server is unavailable: no reconnection
  std::string serverAddress_;
  std::string serverDatabase_;
  std::unique_ptr<ServerReconnector> reconnector_;
  std::atomic<bool> portWanted_{false};
  std::chrono::steady_clock::time_point lastPortTry_{};
  std::thread processing_;
  std::thread upload_;
  bool shutDown_ = false;
};

}  // namespace strivex
