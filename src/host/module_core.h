#pragma once
// The module without its window: start-up, the worker threads, the port commands of the menu, the
// request-code confirmation, the status panel's data and the orderly shutdown. The main window
// owns one and implements the view it talks to.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "host/background_work.h"
#include "host/host_record.h"
#include "host/module_context.h"
#include "host/port_outage_log.h"
#include "host/request_lookup_runner.h"
#include "host/result_queue.h"
#include "host/serial_settings.h"
#include "host/status_file.h"
#include "host/status_panel.h"
#include "host/work_list_server_link.h"
#include "serial/line_settings.h"
#include "serial/port_serial.h"
#include "serial/receive_context.h"
#include "settings/db_dialog_run.h"
#include "settings/db_settings_model.h"
#include "util/log_files.h"
#include "util/steady_clock.h"
#include "util/thread_annotations.h"
#include "worklist/work_list_service.h"

namespace strivex {

class BazaDeDate;
class ModuleView;
class OutboxStore;
class ServerReconnector;
class StatusFileWriter;
class WorkingDirectoryLock;

// Every member is for the main window's thread, unless it says otherwise.
class ModuleCore {
 public:
  // Keeps `host` (a view of the host's record) and `view`, which must outlive the core. `clock`
  // times the module's rate limits and the server's overdue work; tests set one.
  ModuleCore(HostRecord host, ModuleView& view, SteadyClock clock = RealSteadyClock());
  // Stops and joins the workers if the shutdown did not run.
  ~ModuleCore();
  ModuleCore(const ModuleCore&) = delete;
  ModuleCore& operator=(const ModuleCore&) = delete;

  // Everything the main window's initialisation does but drawing: settings, sessions, code
  // lists, the port, the worker threads, the caption. Failures are shown as message boxes ("Nu
  // pot accesa baza de date de pe server !", ...) and the start goes on without that part.
  void Initialize(uint32_t windowHandle);
  // Stops the workers (blocks until the last queued batch is stored), closes the port and the
  // sessions, frees the list's samples and tells the host; the window then ends.
  void ShutdownModule();
  // All of ShutdownModule but telling the host, for a window that has more to tear down first:
  // the host may end its process as soon as it is told.
  void StopModule();

  // Keeps the working directory's lock until the shutdown has closed the outbox and the logs.
  void HoldWorkingDirectory(std::shared_ptr<WorkingDirectoryLock> folder) { folder_ = std::move(folder); }

  // "Deschid Port": false when the port cannot be opened (the window says "Port: Inaccesibil").
  bool OpenPort();
  // "Inchid Port": closes the port; the reader idles until it is opened again. Also ends the
  // re-opening of a port whose device went away.
  void ClosePort();
  // The device of a port the operator wants open went away: it is re-opened every 2 s meanwhile.
  bool PortLost() const { return portWanted_.load() && !port_.IsOpen(); }
  // OK, Enter or Escape in the main window: an empty field hides the window; otherwise the
  // number becomes the request id and PACIENT shows it, then, once a worker has asked the server,
  // the patient found ("0" when none). Returns at once.
  void ConfirmRequestCode();
  // Looks up the confirmed request codes (its worker answers through the view's Post).
  RequestLookupRunner& requestCodeLookup() { return confirmLookup_; }

  // The database settings' OK: reconnects the server session with `fields` under the server lock
  // (waiting for a reconnection's login in progress), finds the machine id again, writes the
  // settings for the next start, then wakes the upload thread. True when the server answered;
  // `notice` (when given) gets what the operator is to be told of a failed relayed open. A worker
  // runs it (it waits for logins); it shows nothing itself.
  bool SwitchServer(const DbConnectionFields& fields, std::string* notice = nullptr);
  // SwitchServer as the database settings' OK runs it on a worker: its outcome and boxes.
  DbDialogAnswer SwitchServerForDialog(const DbConnectionFields& fields);
  // The server connection's fields as the database settings show them: the start's, or the last
  // switch's. Any thread.
  DbConnectionFields ServerFields() const;
  // Runs the window's hand-offs (the database settings' logins); the shutdown waits for them.
  BackgroundWork& background() { return background_; }

  // Gives a printout without a usable sample identifier (a received row marked unassigned) the
  // request `requestId`; its results are then stored like any other. False when the id is not a
  // positive number, there is no outbox, or the printout was already assigned. Window's thread.
  bool AssignPrintout(int64_t outboxMessageId, int32_t outboxSampleIndex, int32_t requestId);
  // "Atribui cererea...": asks the server about the request off the window's thread.
  RequestLookupRunner& requestLookup() { return requestLookup_; }

  // What the status panel shows now; `secondsOfDay` is the panel's clock. Also offers it to the
  // status file, whose worker writes it when it changed.
  StatusSnapshot StatusNow(uint32_t secondsOfDay) const;
  // Writes back what painting the panel changed (indicator, repaint flag, clamped progress).
  void ApplyPanelEffects(const StatusPanel& panel);

  // "Creez Lista": the list read, where the next run starts, the frames on their way to the line.
  WorkListService& workList() { return workList_; }

  // The parts the workers are handed; tests look at them through this. The window is given what
  // it uses (the lookups, the work list, the background work), never these.
  ModuleContext& context() { return context_; }
  // The host's record.
  HostRecord& host() { return host_; }
  // The instrument's MACHINES id in the local database, low 16 bits (read at the start).
  int32_t localMachineId() const { return context_.reception.localMachineId(); }
  // The serial settings read at the start.
  const SerialSettings& serialSettings() const { return serial_; }
  // The block the port is opened with ("Deschid Port" and the re-opening of a lost port reuse
  // it); the window changes it while the processing thread may be re-opening the port.
  LineSettings lineSettings() const EXCLUDES(dcbMutex_);
  void SetLineSettings(const LineSettings& dcb) EXCLUDES(dcbMutex_);
  // The analyser's port.
  PortSerial& port() { return port_; }
  // The local settings session; null before Initialize and after the shutdown.
  BazaDeDate* localSession() const { return localSession_.get(); }
  // The laboratory's session (connected or not); null before Initialize and after the shutdown.
  BazaDeDate* serverSession() const { return serverSession_.get(); }
  // The result outbox; null when it could not be opened.
  OutboxStore* outbox() const { return outbox_.get(); }
  // Whether ShutdownModule has run.
  bool ShutDown() const { return shutDown_; }

 private:
  void OpenSessions();
  void OpenOutbox();
  // On the processing thread.
  void WatchPort();
  // The window's thread: the lookup's answer about `requestId`, unless another code or a message
  // has changed the request id since.
  void ShowRequestAnswer(int32_t requestId, const RequestCheck& check);
  void StartWorkers();
  void JoinWorkers();
  // The status file's content for the panel's `now`.
  ModuleStatus StatusFileNow(const StatusSnapshot& now) const;

  HostRecord host_;
  ModuleView& view_;
  ScopedLogFailureHandler logNotice_;  // a log that cannot be written is shown in the window
  std::unique_ptr<BazaDeDate> localSession_;
  std::unique_ptr<BazaDeDate> serverSession_;
  SerialSettings serial_;
  mutable Mutex dcbMutex_;
  LineSettings dcb_ GUARDED_BY(dcbMutex_);
  ResultQueue queue_;
  ReceiveContext receive_;
  PortSerial port_;
  PortOutageLog portOutage_;  // every open of port_ goes through it
  ModuleContext context_;
  std::unique_ptr<OutboxStore> outbox_;
  std::unique_ptr<OutboxStore> panelOutbox_;  // the same file, read by the window's thread only
  std::string serverConnection_;
  bool serverChosenByHost_ = false;  // the host said the server is unavailable: no reconnection
  mutable Mutex serverShownMutex_;  // the switch's worker writes, the panel and the dialog read
  DbConnectionFields serverShown_ GUARDED_BY(serverShownMutex_);
  std::unique_ptr<ServerReconnector> reconnector_;
  std::atomic<bool> portWanted_{false};
  Pacer portReopen_;  // the processing thread's
  // The window's thread's, like panelOutbox_: the counts the panel shows, read at most this often.
  mutable Pacer panelBacklogRead_;
  mutable OutboxStats panelBacklog_;
  std::thread processing_;
  std::thread upload_;
  std::unique_ptr<StatusFileWriter> statusFile_;
  LinkedWorkListServer workListServer_{context_.server};
  WorkListService workList_{workListServer_, port_, &context_.workers};
  RequestLookupRunner requestLookup_{context_.server};
  RequestLookupRunner confirmLookup_{context_.server};
  BackgroundWork background_;  // after the sessions: its tasks use them
  bool shutDown_ = false;
  std::shared_ptr<WorkingDirectoryLock> folder_;
};

}  // namespace strivex
