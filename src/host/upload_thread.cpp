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

// A batch the outbox could not take: each result is sent once, as it always was.
void StoreFromMemory(const UploadParts& parts, const SampleRecord& sample) {
  parts.server.Run([&sample](ServerLink::Scope& link) {
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
SendOutcome SendGuarded(const UploadParts& parts, const OutboxRow& row, std::string& serverText) {
  SendOutcome outcome = SendOutcome::kRejected;
  try {
    parts.upload.CheckSendFault(row);
    outcome = SendOutboxRow(parts.server, row, serverText);
  } catch (...) {
    serverText = FailureText(std::current_exception());
    if (parts.workers.IsNew(kUploadWorker, serverText)) {
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

void RefreshBacklog(const UploadParts& parts) {
  if (parts.upload.outbox() != nullptr) parts.upload.SetBacklog(parts.upload.outbox()->Backlog());
}

// Time to the next refused row's retry, capped by the poll period.
std::chrono::milliseconds NextWait(const UploadParts& parts) {
  if (parts.upload.outbox() == nullptr) return kPollInterval;
  const std::optional<int64_t> next = parts.upload.outbox()->NextAttemptAt();
  if (!next) return kPollInterval;
  const int64_t seconds = *next - parts.upload.Now();
  if (seconds <= 0) return std::chrono::milliseconds(0);
  return std::min<std::chrono::milliseconds>(kPollInterval, std::chrono::seconds(seconds));
}

bool ServerInUse(const UploadParts& parts) {
  return !parts.shown.ServerUnavailable() && parts.server.Connected();
}

// Once a day, when a pass found nothing to send: the purge never holds up a result.
void PurgeWhenDue(const UploadParts& parts, int64_t& lastPurge) {
  const int64_t now = parts.upload.Now();
  if (parts.upload.outbox() == nullptr || now - lastPurge < kPurgePeriodSeconds) return;
  lastPurge = now;
  parts.upload.outbox()->PurgeStoredBefore(now - kStoredKeptSeconds);
}

}  // namespace

namespace {

// One row of the received list, which from now on keeps the sample. Results in the outbox get the
// row's key and counts; a batch without the outbox is stored from memory here.
void ListRow(const UploadParts& parts, const ResultBatch& batch, int32_t index, std::unique_ptr<SampleRecord> sample,
             bool unassigned) {
  ReceivedRow row;
  if (batch.outboxMessageId != 0 && parts.upload.outbox() != nullptr) {
    const SampleBacklog backlog = parts.upload.outbox()->BacklogOf(batch.outboxMessageId, index);
    row.outboxMessageId = batch.outboxMessageId;
    row.outboxSampleIndex = index;
    row.pending = backlog.pending;
    row.rejected = backlog.rejected;
  } else if (!unassigned) {
    StoreFromMemory(parts, *sample);
  }
  row.unassigned = unassigned;
  row.id = unassigned ? "-" : std::to_string(sample->requestId);
  row.date = Format("%d/%d", sample->requestDate.wDay, sample->requestDate.wMonth);
  row.name = unassigned ? "Fara ID proba" : sample->patientName;
  row.sample = std::move(sample);
  parts.shown.view()->AddReceivedRow(std::move(row));
}

}  // namespace

bool UploadHeadBatch(const UploadParts& parts, std::vector<RowPatientLookup>* lookups) {
  ResultBatch* batch = parts.upload.queue()->Head();
  if (batch == nullptr) return false;
  const bool durable = batch->outboxMessageId != 0 && parts.upload.outbox() != nullptr;
  {
    DataLogBatch log;
    int32_t index = 0;
    while (std::unique_ptr<SampleRecord> sample = batch->samples.pop_front()) {
      LogSample(log, *sample);
      // Rows are found again by their outbox key; a batch outside the outbox has none.
      if (lookups != nullptr && durable && sample->requestId > 0) {
        lookups->push_back({batch->outboxMessageId, index, sample->requestId});
      }
      ListRow(parts, *batch, index++, std::move(sample), false);
    }
    // Printouts without a sample follow, under the outbox's indexes after the samples'.
    while (std::unique_ptr<SampleRecord> printout = batch->unassigned.pop_front()) {
      log.WriteUnassigned();
      LogResults(log, *printout);
      ListRow(parts, *batch, index++, std::move(printout), true);
    }
  }
  parts.upload.queue()->RemoveHead();
  if (durable) RefreshBacklog(parts);  // the panel counts them from the moment they are listed
  if (!durable) {
    parts.upload.SetProgress(100);
    parts.shown.RequestRepaint();
  }
  return true;
}

void LookUpRowPatients(const UploadParts& parts, const std::vector<RowPatientLookup>& lookups) {
  for (const RowPatientLookup& lookup : lookups) {
    // Names never start a login: the reconnection brings the server back for the results.
    if (parts.upload.Stopping() || !ServerInUse(parts)) return;
    RequestCheck check;
    // The lookup's slot is the window's too: the statement runs under the link's lock.
    const LinkResult result = parts.server.Run([&check, &lookup](ServerLink::Scope& link) {
      check = CheckRequest(&link.session(), link.codes().investigation, lookup.requestId);
      return check.outcome != RequestCheck::Outcome::kFailed;
    });
    if (result.outcome == LinkOutcome::kConnectionLost) {
      parts.upload.serverLost().Notify();
      return;
    }
    // The number may be another request's bar code: that patient is not this sample's.
    if (check.outcome == RequestCheck::Outcome::kKnown && !check.patient.empty()) {
      parts.shown.view()->SetRowPatient(lookup.outboxMessageId, lookup.outboxSampleIndex, check.patient);
    }
  }
}

DrainResult DrainOutbox(const UploadParts& parts) {
  if (parts.upload.outbox() == nullptr) return {};
  OutboxStore& outbox = *parts.upload.outbox();
  int64_t sent = 0;
  bool lost = false;
  std::set<std::pair<int64_t, int32_t>> touched;
  std::vector<OutboxRow> assignedStored;
  const int64_t total = outbox.Backlog().pending;
  while (!lost && !parts.upload.Stopping()) {
    const std::vector<OutboxRow> due = outbox.DuePending(parts.upload.Now(), kDrainChunk);
    if (due.empty()) break;
    if (sent == 0) parts.upload.SetProgress(0);
    for (const OutboxRow& row : due) {
      if (parts.upload.Stopping()) break;
      std::string serverText;
      const SendOutcome outcome = SendGuarded(parts, row, serverText);
      if (outcome == SendOutcome::kConnectionLost) {
        lost = true;
        break;
      }
      if (!RecordOutcome(outbox, row, outcome, serverText, parts.upload.retryPolicy(), parts.upload.Now())) {
        // Sending again a row whose mark did not stick would store it twice: wait for the next pass.
        WriteErrorLogEntry(outbox.LastError());
        lost = true;
        break;
      }
      touched.emplace(row.messageId, row.sampleIndex);
      if (outcome == SendOutcome::kStored) parts.upload.MarkStored(parts.upload.Now());
      if (outcome == SendOutcome::kStored && row.assignedAt != 0) assignedStored.push_back(row);
      ++sent;
      parts.upload.SetProgress(total <= 0 ? 0 : static_cast<int32_t>(std::min<int64_t>(sent, total) * 100 / total));
    }
  }
  LogAssignedResults(assignedStored);
  for (const auto& [message, index] : touched) {
    const SampleBacklog backlog = outbox.BacklogOf(message, index);
    parts.shown.view()->SetRowBacklog(message, index, backlog.pending, backlog.rejected);
  }
  if (sent > 0) {
    parts.upload.SetProgress(100);
    parts.shown.RequestRepaint();
  }
  RefreshBacklog(parts);
  if (lost) parts.upload.serverLost().Notify();
  return {sent, lost};
}

namespace {

void UploadLoop(const UploadParts& parts) {
  RefreshBacklog(parts);
  int64_t lastPurge = parts.upload.Now();  // the start-up has just purged
  for (;;) {
    const bool stopping = parts.upload.Stopping();
    std::vector<RowPatientLookup> lookups;
    while (UploadHeadBatch(parts, &lookups)) {
    }
    // Ended first, then empty: the processing thread's last batch is queued before it ends.
    if (stopping && parts.reception.ProcessingEnded() && parts.upload.queue()->Empty()) break;
    // Every queued batch is listed first: no row waits for the server.
    if (!stopping) LookUpRowPatients(parts, lookups);
    const DrainResult drained = stopping ? DrainResult{} : DrainOutbox(parts);
    if (!stopping && drained.sent == 0) PurgeWhenDue(parts, lastPurge);
    std::chrono::milliseconds wait = kPollInterval;
    if (stopping) {
      wait = timings::kUploadStopPoll;
    } else if (!drained.stalled) {
      wait = NextWait(parts);
    }
    parts.upload.wake().WaitFor(wait);
  }
  RefreshBacklog(parts);
}

// A failed upload starts again after `backOff`, unless the stop comes first.
bool UploadPause(const UploadParts& parts, std::chrono::milliseconds backOff) {
  const auto until = std::chrono::steady_clock::now() + backOff;
  for (auto now = std::chrono::steady_clock::now(); !parts.upload.Stopping(); now = std::chrono::steady_clock::now()) {
    if (now >= until) return true;
    parts.upload.wake().WaitFor(until - now);
  }
  return false;
}

}  // namespace

void UploadThread(const UploadParts& parts) {
  parts.upload.SetFinished(false);
  WriteDataLogSessionMarker();
  // Rows pending stay in the outbox whatever happens here; the next start sends them.
  RunWorker(kUploadWorker, [&parts] { UploadLoop(parts); }, &parts.workers,
            [&parts](std::chrono::milliseconds backOff) { return UploadPause(parts, backOff); });
  parts.upload.SetFinished(true);
}

}  // namespace strivex
