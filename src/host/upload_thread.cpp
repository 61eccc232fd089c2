#include "host/upload_thread.h"

#include <chrono>
#include <exception>
#include <set>
#include <utility>

#include "db/baza_de_date.h"
#include "host/host_record.h"
#include "host/module_view.h"
#include "host/request_code.h"
#include "host/result_queue.h"
#include "host/result_sender.h"
#include "outbox/outbox_store.h"
#include "serial/receive_context.h"
#include "util/format.h"
#include "util/log_files.h"
#include "util/timings.h"
#include "util/worker_failure.h"

namespace strivex {

namespace {

constexpr auto kPollInterval = timings::kUploadPoll;
constexpr size_t kDrainChunk = 200;

int64_t Now(const ModuleContext& context) { return context.unixClock ? context.unixClock() : UnixNow(); }

// A batch the outbox could not take: each result is sent once, as it always was.
void StoreFromMemory(ModuleContext& context, const SampleRecord& sample) {
  context.server.Run([&sample](ServerLink::Scope& link) {
    for (const GroupRecord& group : sample.groups) {
      for (const ResultRecord& result : group.results) {
        const CodeIds ids = MapCodes(link.codes().investigation, group.analysisCode, result.parameterCode);
        link.session().SQLCommand(ResultStatement(sample.requestId, link.machineIds().result, ids, result.value,
                                                  result.secondMarker),
                                  0);
      }
    }
    return true;
  });
}

void LogResults(DataLogBatch& log, const SampleRecord& sample) {
  for (const GroupRecord& group : sample.groups) {
    for (const ResultRecord& result : group.results) log.WriteResult(result.parameterCode, result.value);
  }
}

void LogSample(DataLogBatch& log, const SampleRecord& sample) {
  log.WriteSample(sample.requestId);
  LogResults(log, sample);
}

// Assigned printouts were logged without a sample when they arrived; once the server stored
// them under their request, they get the lines every stored sample has, once.
void LogAssignedResults(const std::vector<OutboxRow>& stored) {
  if (stored.empty()) return;
  DataLogBatch log;
  const OutboxRow* sample = nullptr;
  for (const OutboxRow& row : stored) {
    if (sample == nullptr || row.messageId != sample->messageId || row.sampleIndex != sample->sampleIndex) {
      sample = &row;
      log.WriteSample(row.requestId);
    }
    log.WriteResult(row.parameterCode, row.value);
  }
}

// One row's send. A failure nobody expected in its handling counts as the server's refusal, under
// the retry rules, with the failure's text: the row ends rejected instead of failing every pass.
SendOutcome SendGuarded(ModuleContext& context, const OutboxRow& row, std::string& serverText) {
  SendOutcome outcome = SendOutcome::kRejected;
  try {
    if (context.sendFault) context.sendFault(row);
    outcome = SendOutboxRow(context, row, serverText);
  } catch (...) {
    serverText = FailureText(std::current_exception());
    if (context.workers.IsNew(kUploadWorker, serverText)) {
      WriteErrorLogEntry(Format("Firul upload: eroare neasteptata la rezultatul %lld (cerere %d, %s): %s",
                                static_cast<long long>(row.id), row.requestId, row.parameterCode.c_str(),
                                serverText.c_str()));
    }
    return SendOutcome::kRejected;
  }
  if (outcome == SendOutcome::kRejected) {
    WriteErrorLogEntry(Format("Rezultatul %lld (cerere %d, %s) refuzat de server: %s", static_cast<long long>(row.id),
                              row.requestId, row.parameterCode.c_str(), serverText.c_str()));
  }
  return outcome;
}

void RefreshBacklog(ModuleContext& context) {
  if (context.outbox == nullptr) return;
  const OutboxStats stats = context.outbox->Backlog();
  context.outboxPending.store(stats.pending);
  context.outboxRejected.store(stats.rejected);
  context.outboxUnassigned.store(stats.unassigned);
  context.outboxOtherMachines.store(stats.otherMachines);
}

bool ProcessingEnded(const ModuleContext& context) {
  return context.receive == nullptr || context.receive->state.load() == RX_CONSUMER_DONE;
}

// Time to the next refused row's retry, capped by the poll period.
std::chrono::milliseconds NextWait(ModuleContext& context) {
  if (context.outbox == nullptr) return kPollInterval;
  const std::optional<int64_t> next = context.outbox->NextAttemptAt();
  if (!next) return kPollInterval;
  const int64_t seconds = *next - Now(context);
  if (seconds <= 0) return std::chrono::milliseconds(0);
  return std::min<std::chrono::milliseconds>(kPollInterval, std::chrono::seconds(seconds));
}

bool ServerInUse(const ModuleContext& context) {
  const bool unavailable = context.host != nullptr && context.host->Flag(HostRecord::kServerUnavailable) != 0;
  return !unavailable && context.server.Connected();
}

// Once a day, when a pass found nothing to send: the purge never holds up a result.
void PurgeWhenDue(ModuleContext& context, int64_t& lastPurge) {
  const int64_t now = Now(context);
  if (context.outbox == nullptr || now - lastPurge < kPurgePeriodSeconds) return;
  lastPurge = now;
  context.outbox->PurgeStoredBefore(now - kStoredKeptSeconds);
}

}  // namespace

namespace {

// One row of the received list, which from now on keeps the sample. Results in the outbox get the
// row's key and counts; a batch without the outbox is stored from memory here.
void ListRow(ModuleContext& context, const ResultBatch& batch, int32_t index, std::unique_ptr<SampleRecord> sample,
             bool unassigned) {
  ReceivedRow row;
  if (batch.outboxMessageId != 0 && context.outbox != nullptr) {
    const SampleBacklog backlog = context.outbox->BacklogOf(batch.outboxMessageId, index);
    row.outboxMessageId = batch.outboxMessageId;
    row.outboxSampleIndex = index;
    row.pending = backlog.pending;
    row.rejected = backlog.rejected;
  } else if (!unassigned) {
    StoreFromMemory(context, *sample);
  }
  row.unassigned = unassigned;
  row.id = unassigned ? "-" : std::to_string(sample->requestId);
  row.date = Format("%d/%d", sample->requestDate.wDay, sample->requestDate.wMonth);
  row.name = unassigned ? "Fara ID proba" : sample->patientName;
  row.sample = std::move(sample);
  context.view->AddReceivedRow(std::move(row));
}

}  // namespace

bool UploadHeadBatch(ModuleContext& context, std::vector<RowPatientLookup>* lookups) {
  ResultBatch* batch = context.resultQueue->Head();
  if (batch == nullptr) return false;
  const bool durable = batch->outboxMessageId != 0 && context.outbox != nullptr;
  {
    DataLogBatch log;
    int32_t index = 0;
    while (std::unique_ptr<SampleRecord> sample = batch->samples.pop_front()) {
      LogSample(log, *sample);
      // Rows are found again by their outbox key; a batch outside the outbox has none.
      if (lookups != nullptr && durable && sample->requestId > 0) {
        lookups->push_back({batch->outboxMessageId, index, sample->requestId});
      }
      ListRow(context, *batch, index++, std::move(sample), false);
    }
    // Printouts without a sample follow, under the outbox's indexes after the samples'.
    while (std::unique_ptr<SampleRecord> printout = batch->unassigned.pop_front()) {
      log.WriteUnassigned();
      LogResults(log, *printout);
      ListRow(context, *batch, index++, std::move(printout), true);
    }
  }
  context.resultQueue->RemoveHead();
  if (durable) RefreshBacklog(context);  // the panel counts them from the moment they are listed
  if (!durable) {
    context.uploadProgress.store(100);
    context.statusRepaint.store(1);
  }
  return true;
}

void LookUpRowPatients(ModuleContext& context, const std::vector<RowPatientLookup>& lookups) {
  for (const RowPatientLookup& lookup : lookups) {
    // Names never start a login: the reconnection brings the server back for the results.
    if (context.uploadStop.load() != 0 || !ServerInUse(context)) return;
    RequestCheck check;
    // The lookup's slot is the window's too: the statement runs under the link's lock.
    const LinkResult result = context.server.Run([&check, &lookup](ServerLink::Scope& link) {
      check = CheckRequest(&link.session(), link.codes().investigation, lookup.requestId);
      return check.outcome != RequestCheck::Outcome::kFailed;
    });
    if (result.outcome == LinkOutcome::kConnectionLost) {
      context.serverLost.Notify();
      return;
    }
    // The number may be another request's bar code: that patient is not this sample's.
    if (check.outcome == RequestCheck::Outcome::kKnown && !check.patient.empty()) {
      context.view->SetRowPatient(lookup.outboxMessageId, lookup.outboxSampleIndex, check.patient);
    }
  }
}

DrainResult DrainOutbox(ModuleContext& context) {
  if (context.outbox == nullptr) return {};
  OutboxStore& outbox = *context.outbox;
  int64_t sent = 0;
  bool lost = false;
  std::set<std::pair<int64_t, int32_t>> touched;
  std::vector<OutboxRow> assignedStored;
  const int64_t total = outbox.Backlog().pending;
  while (!lost && context.uploadStop.load() == 0) {
    const std::vector<OutboxRow> due = outbox.DuePending(Now(context), kDrainChunk);
    if (due.empty()) break;
    if (sent == 0) context.uploadProgress.store(0);
    for (const OutboxRow& row : due) {
      if (context.uploadStop.load() != 0) break;
      std::string serverText;
      const SendOutcome outcome = SendGuarded(context, row, serverText);
      if (outcome == SendOutcome::kConnectionLost) {
        lost = true;
        break;
      }
      if (!RecordOutcome(outbox, row, outcome, serverText, context.retryPolicy, Now(context))) {
        // Sending again a row whose mark did not stick would store it twice: wait for the next pass.
        WriteErrorLogEntry(outbox.LastError());
        lost = true;
        break;
      }
      touched.emplace(row.messageId, row.sampleIndex);
      if (outcome == SendOutcome::kStored) context.lastStoredAt.store(Now(context));
      if (outcome == SendOutcome::kStored && row.assignedAt != 0) assignedStored.push_back(row);
      ++sent;
      context.uploadProgress.store(total <= 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(sent, total) * 100 / total));
    }
  }
  LogAssignedResults(assignedStored);
  for (const auto& [message, index] : touched) {
    const SampleBacklog backlog = outbox.BacklogOf(message, index);
    context.view->SetRowBacklog(message, index, backlog.pending, backlog.rejected);
  }
  if (sent > 0) {
    context.uploadProgress.store(100);
    context.statusRepaint.store(1);
  }
  RefreshBacklog(context);
  if (lost) context.serverLost.Notify();
  return {sent, lost};
}

namespace {

void UploadLoop(ModuleContext& context) {
  RefreshBacklog(context);
  int64_t lastPurge = Now(context);  // the start-up has just purged
  for (;;) {
    const bool stopping = context.uploadStop.load() != 0;
    std::vector<RowPatientLookup> lookups;
    while (UploadHeadBatch(context, &lookups)) {
    }
    // Ended first, then empty: the processing thread's last batch is queued before it ends.
    if (stopping && ProcessingEnded(context) && context.resultQueue->Empty()) break;
    // Every queued batch is listed first: no row waits for the server.
    if (!stopping) LookUpRowPatients(context, lookups);
    const DrainResult drained = stopping ? DrainResult{} : DrainOutbox(context);
    if (!stopping && drained.sent == 0) PurgeWhenDue(context, lastPurge);
    std::chrono::milliseconds wait = kPollInterval;
    if (stopping) {
      wait = std::chrono::milliseconds(50);
    } else if (!drained.stalled) {
      wait = NextWait(context);
    }
    context.uploadWake.WaitFor(wait);
  }
  RefreshBacklog(context);
}

// A failed upload starts again after `backOff`, unless the stop comes first.
bool UploadPause(ModuleContext& context, std::chrono::milliseconds backOff) {
  const auto until = std::chrono::steady_clock::now() + backOff;
  for (auto now = std::chrono::steady_clock::now(); context.uploadStop.load() == 0; now = std::chrono::steady_clock::now()) {
    if (now >= until) return true;
    context.uploadWake.WaitFor(until - now);
  }
  return false;
}

}  // namespace

void UploadThread(ModuleContext& context) {
  context.uploadFinished.store(0);
  WriteDataLogSessionMarker();
  // Rows pending stay in the outbox whatever happens here; the next start sends them.
  RunWorker(kUploadWorker, [&context] { UploadLoop(context); }, &context.workers,
            [&context](std::chrono::milliseconds backOff) { return UploadPause(context, backOff); });
  context.uploadFinished.store(1);
}

}  // namespace strivex
