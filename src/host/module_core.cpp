#include "host/module_core.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "db/baza_de_date.h"
#include "db/connection_string.h"
#include "host/module_view.h"
#include "host/processing_thread.h"
#include "host/server_reconnector.h"
#include "host/startup_steps.h"
#include "host/status_file_writer.h"
#include "host/upload_thread.h"
#include "outbox/outbox_store.h"
#include "platform/message_box.h"
#include "util/format.h"
#include "util/log_files.h"
#include "util/timings.h"

namespace strivex {

namespace {

constexpr char kLocalPassword[] = "quomar";
constexpr auto kShutdownPoll = timings::kShutdownPoll;
constexpr const char* kOutboxUnavailable =
    "Nu pot deschide %s: %s. Rezultatele sunt trimise serverului o singura data, fara reluare.";

template <class Condition>
void WaitUntil(Condition done) {
  while (!done()) std::this_thread::sleep_for(kShutdownPoll);
}

// Waits for `done`, but no longer than `atMost`.
template <class Condition>
void WaitAtMost(Condition done, std::chrono::milliseconds atMost) {
  const auto until = std::chrono::steady_clock::now() + atMost;
  for (auto now = std::chrono::steady_clock::now(); !done() && now < until; now = std::chrono::steady_clock::now()) {
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kShutdownPoll, until - now));
  }
}

}  // namespace

ModuleCore::ModuleCore(HostRecord host, ModuleView& view, SteadyClock clock)
    : host_(host),
      view_(view),
      logNotice_([&view](const std::string& notice) { view.NotifyOperator(notice); }),
      context_(clock),
      portReopen_(timings::kPortReopenPeriod, clock),
      panelBacklogRead_(timings::kPanelBacklogPeriod, clock) {
  context_.workers.SetNotify([&view](const std::string& notice) { view.NotifyOperator(notice); });
  receive_.workers = &context_.workers;
}

ModuleCore::~ModuleCore() {
  if (!shutDown_ && (processing_.joinable() || upload_.joinable())) {
    // A window destroyed without the shutdown still must not leave threads behind.
    context_.upload.RequestStop();
    receive_.RequestStop();
    context_.upload.wake().Notify();
    context_.server.Abort();
  }
  if (reconnector_) reconnector_->Stop();
  workList_.StopSending();
  JoinWorkers();
  background_.Finish();
}

void ModuleCore::OpenSessions() {
  localSession_ = std::make_unique<BazaDeDate>();
  serverSession_ = std::make_unique<BazaDeDate>();
  const std::string localPath = host_.LocalDatabasePath();
  localSession_->database = localPath;
  localSession_->DeschidBazaLocala(localPath, kLocalPassword, 1);

  ServerSettings server;
  ReadServerSettings(*localSession_, server);
  // The mode is kept in the session's own flag only.
  serverSession_->direct.store(server.directConect);
  serverSession_->SetTimeouts(server.timeouts);
  context_.reception.SetInstrument(host_.InstrumentName(), ReadLocalMachineId(*localSession_, host_.InstrumentName()));

  const DbConnectionFields fields{server.serverAddress, server.databaseName, server.userName,
                                  server.password,      server.directConect,  server.serverPort,
                                  server.tdsVersion,    server.clientCharset};
  serverSession_->SetServerFields(fields);
  {
    MutexLock lock(serverShownMutex_);
    serverShown_ = fields;
  }
  serverConnection_ = SqlServerConnectionString(fields);
  serverChosenByHost_ = host_.Flag(HostRecord::kServerUnavailable) != 0;
  context_.server.SetMachineIds({host_.MachineId(), 0});  // results get the id once the server answered
  if (!serverChosenByHost_) {
    if (serverSession_->DeschidConectie(serverConnection_, server.directConect)) {
      serverSession_->password = server.password;
      serverSession_->user = server.userName;
      context_.server.SetMachineIds({host_.MachineId(), host_.MachineId()});
    } else {
      // Why a relayed open failed comes first, as the operator has always seen it. Notices, not
      // boxes: an unattended PC must not hold the start (and every result) until someone clicks;
      // the reconnection brings the server in once it answers.
      if (const std::string notice = serverSession_->lastNotice(); !notice.empty()) view_.NotifyOperator(notice);
      view_.NotifyOperator("Nu pot accesa baza de date de pe server !");
      host_.SetFlag(HostRecord::kServerUnavailable, 1);
    }
  }
}

void ModuleCore::OpenOutbox() {
  std::string error;
  outbox_ = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kCreate, error);
  if (!outbox_) {
    WriteErrorLogEntry(error);
    context_.upload.MarkOutboxFailed(true);
    platform::MessageBox(Format(kOutboxUnavailable, kOutboxFileName, error.c_str()));
    return;
  }
  context_.upload.MarkOutboxFailed(false);
  // The host's machine id, known even when the server is not: rows are this instrument's.
  if (!outbox_->SetOwner(host_.MachineId())) WriteErrorLogEntry(outbox_->LastError());
  outbox_->PurgeStoredBefore(UnixNow() - kStoredKeptSeconds);
  // The panel counts on a connection of its own: never behind the upload thread, which may be
  // waiting on the server, nor from what that thread last published.
  panelOutbox_ = OutboxStore::Open(kOutboxFileName, OutboxStore::OpenMode::kExisting, error);
  if (panelOutbox_) panelOutbox_->SetOwner(host_.MachineId());
}

void ModuleCore::Initialize(uint32_t windowHandle) {
  // Boxes wait until the serial line is open and read: the analyser does not wait for anyone.
  platform::DeferredMessageBoxes boxes;
  host_.SetWindowHandle(windowHandle);
  host_.SetFlag(HostRecord::kInitialised, 1);
  host_.SetFlag(HostRecord::kModuleActive, 1);
  host_.SetFlag(HostRecord::kWindowShown, 1);
  OpenSessions();
  OpenOutbox();
  statusFile_ = std::make_unique<StatusFileWriter>(kStatusFileName, timings::kStatusFilePeriod, &context_.workers,
                                                   context_.steadyClock);

  serial_ = SerialSettings{};
  ReadSerialSettings(*localSession_, context_.reception.localMachineId(), serial_);
  if (serverSession_->connected.load() == 1) {
    CodeLists codes;
    LoadCodeLists(*serverSession_, host_.MachineId(), codes);
    context_.server.SetCodes(std::move(codes));
  }
  SetLineSettings(StartupLineSettings(serial_.baudRate, serial_.byteSize, serial_.parity, serial_.stopBits));
  if (const PortOpenOutcome port = portOutage_.Open(port_, serial_.portName, lineSettings()); port.opened) {
    portWanted_.store(true);
  } else {
    if (!port.notice.empty()) platform::MessageBox(port.notice);
    view_.SetMenuState(MenuState::kPortClosed);
  }

  receive_.stop.store(0);
  receive_.ReleaseBuffer();
  receive_.state.store(RX_IDLE);

  context_.reception.SetRequestId(0);
  context_.reception.Attach(&port_, &receive_);
  context_.reception.SetPortWatch([this] { WatchPort(); });
  context_.upload.ClearStop();
  context_.upload.SetFinished(true);
  context_.upload.Attach(&queue_, outbox_.get());
  context_.shown.SetReceivingIndicator(0);
  context_.shown.Attach(&view_, &host_);
  context_.server.Attach(serverSession_.get());
  StartWorkers();
  workList_.StartSending();
  if (!serverChosenByHost_) {
    const bool told = serverSession_->connected.load() != 1;  // the start-up's box tells of it
    reconnector_ = std::make_unique<ServerReconnector>(
        context_.ForReconnection(), serverConnection_, serverSession_->direct.load(), told);
    reconnector_->Start();
  }
  view_.SetCaption(host_.InstrumentName());
  // The status file from the first moment, the start-up's failures included, whatever box the
  // start then shows.
  StatusNow(0);
  boxes.Flush();
}

void ModuleCore::StartWorkers() {
  try {
    processing_ = std::thread(ProcessingThread,
                              context_.ForProcessing());
  } catch (const std::system_error&) {
    receive_.state.store(RX_CONSUMER_DONE);  // nothing will consume: the shutdown must not wait
  }
  try {
    upload_ = std::thread(UploadThread, context_.ForUpload());
  } catch (const std::system_error&) {
    // Not reported; the shutdown finds the finished flag still set.
  }
}

void ModuleCore::JoinWorkers() {
  if (processing_.joinable()) processing_.join();
  if (upload_.joinable()) upload_.join();
}

void ModuleCore::ShutdownModule() {
  StopModule();
  AnnounceModuleEnd(host_);
}

void ModuleCore::StopModule() {
  // A server that is down is not waited for: what is pending stays in the outbox for the next start.
  if (reconnector_) reconnector_->RequestStop();
  context_.upload.RequestStop();
  receive_.RequestStop();
  context_.upload.wake().Notify();
  WaitUntil([&] { return receive_.state.load() == RX_CONSUMER_DONE || !processing_.joinable(); });
  // The last batch and a statement in flight on a server that answers are done within the grace;
  // on one that does not, the statement is cut and its result stays pending in the outbox. Logins
  // and reads in flight are cut with it.
  WaitAtMost([&] { return context_.upload.Finished(); }, timings::kStopGrace);
  context_.server.Abort();
  WaitUntil([&] { return context_.upload.Finished(); });
  JoinWorkers();
  workList_.JoinRead();
  requestLookup_.Join();
  confirmLookup_.Join();
  background_.Finish();
  if (reconnector_) reconnector_->Stop();
  reconnector_.reset();
  workList_.Close();
  portWanted_.store(false);  // closed by the stop, not lost
  if (port_.IsOpen()) port_.Close();
  if (auto file = std::move(statusFile_)) {
    ModuleStatus last = StatusFileNow(StatusNow(0));  // the outbox's counts while it is open
    last.stopped = true;
    file->Finish(std::move(last));
  }
  view_.DeleteListItems();
  context_.upload.SetOutbox(nullptr);
  panelOutbox_.reset();
  outbox_.reset();
  serverSession_.reset();
  localSession_.reset();
  context_.server.Attach(nullptr);
  context_.server.SetCodes({});
  queue_.Clear();
  shutDown_ = true;
  folder_.reset();  // the next module may take the folder
}

LineSettings ModuleCore::lineSettings() const {
  MutexLock lock(dcbMutex_);
  return dcb_;
}

void ModuleCore::SetLineSettings(const LineSettings& dcb) {
  MutexLock lock(dcbMutex_);
  dcb_ = dcb;
}

bool ModuleCore::OpenPort() {
  if (const PortOpenOutcome port = portOutage_.Open(port_, port_.PortName(), lineSettings()); !port.opened) {
    if (!port.notice.empty()) platform::MessageBox(port.notice);
    return false;
  }
  portWanted_.store(true);
  view_.SetMenuState(MenuState::kPortOpen);
  workList_.PortOpened();
  return true;
}

void ModuleCore::WatchPort() {
  if (!PortLost() || !portReopen_.Due()) return;
  // The partial message stays with the reader, which goes on with the same buffer once it reads.
  const PortOpenOutcome port = portOutage_.Open(port_, port_.PortName(), lineSettings());
  if (port.opened && !portWanted_.load()) port_.Close();  // closed meanwhile
  // The processing thread's: told once per outage, without waiting for the window.
  if (port.noticeIsNew) view_.NotifyOperator(port.notice);
}

void ModuleCore::ClosePort() {
  portWanted_.store(false);
  port_.Close();
  view_.SetMenuState(MenuState::kPortClosed);
}

bool ModuleCore::AssignPrintout(int64_t outboxMessageId, int32_t outboxSampleIndex, int32_t requestId) {
  if (requestId <= 0 || outbox_ == nullptr) return false;
  if (outbox_->AssignPrintout(outboxMessageId, outboxSampleIndex, requestId, kAssignedInWindow) == 0) return false;
  context_.upload.SetUnassigned(outbox_->Backlog().unassigned);
  context_.upload.wake().Notify();
  return true;
}

StatusSnapshot ModuleCore::StatusNow(uint32_t secondsOfDay) const {
  StatusSnapshot now;
  now.receiveState = receive_.state.load();
  now.receiveLength = receive_.length.load();
  now.queueEmpty = queue_.Empty();
  now.progress = context_.upload.progress();
  now.receivingIndicator = context_.shown.receivingIndicator();
  now.statusRepaint = context_.shown.repaint();
  now.serverUnavailable = host_.Flag(HostRecord::kServerUnavailable);
  if (serverSession_) {
    MutexLock lock(serverShownMutex_);
    now.serverAddress = serverShown_.serverAddress;
    now.serverDatabase = serverShown_.database;
  }
  if (panelOutbox_) {
    if (panelBacklogRead_.Due()) panelBacklog_ = panelOutbox_->Backlog();
    const OutboxStats& backlog = panelBacklog_;
    now.outboxPending = backlog.pending;
    now.outboxRejected = backlog.rejected;
    now.outboxUnassigned = backlog.unassigned;
    now.outboxOtherMachines = backlog.otherMachines;
  } else {
    const OutboxStats backlog = context_.upload.backlog();
    now.outboxPending = backlog.pending;
    now.outboxRejected = backlog.rejected;
    now.outboxUnassigned = backlog.unassigned;
    now.outboxOtherMachines = backlog.otherMachines;
  }
  now.serverOverdue = context_.server.Overdue(context_.steadyClock());
  now.outboxFailed = context_.upload.OutboxFailed();
  if (localSession_) now.localDatabase = localSession_->database;
  now.portName = port_.PortName();
  now.portOpen = port_.IsOpen();
  now.portLost = PortLost();
  now.workListReading = workList_.Reading() ? 1 : 0;
  now.framesWaiting = static_cast<int64_t>(workList_.FramesWaiting());
  now.framesSending = workList_.Sending();
  now.secondsOfDay = secondsOfDay;
  if (statusFile_) statusFile_->Offer(StatusFileNow(now));
  return now;
}

ModuleStatus ModuleCore::StatusFileNow(const StatusSnapshot& now) const {
  ModuleStatus status;
  status.instrument = context_.reception.instrumentName();
  status.machineId = host_.MachineId();
  FillFromPanel(now, status);
  status.lastReceivedAt = context_.shown.lastReceivedAt();
  status.lastStoredAt = context_.upload.lastStoredAt();
  status.pid = ::getpid();
  status.stoppedWorkers = context_.workers.StoppedWorkers();
  return status;
}

void ModuleCore::ApplyPanelEffects(const StatusPanel& panel) {
  context_.shown.SetRepaint(panel.statusRepaint);
  if (panel.receivingIndicator) context_.shown.SetReceivingIndicator(*panel.receivingIndicator);
  if (panel.progress) context_.upload.SetProgress(*panel.progress);
}

}  // namespace strivex
