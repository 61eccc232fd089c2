#include "host/upload_thread.h"

#include <chrono>
#include <exception>
#include <thread>

#include "db/baza_de_date.h"
#include "db/sql_text.h"
#include "host/module_view.h"
#include "host/result_queue.h"
#include "serial/receive_context.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(2000);
constexpr auto kStopCheck = std::chrono::milliseconds(100);

// The first entry with the code; analysis codes against investigation codes, parameter codes
// against every detail code of the list.
void MapCodes(const std::vector<InvestigationCodeEntry>& codes, SampleRecord& sample) {
  for (GroupRecord& group : sample.groups) {
    for (const InvestigationCodeEntry& entry : codes) {
      if (entry.investigationCode == group.analysisCode) {
        group.investigationId = entry.investigationId;
        break;
      }
    }
    for (ResultRecord& result : group.results) {
      for (const InvestigationCodeEntry& entry : codes) {
        if (entry.detailCode == result.parameterCode) {
          result.detailId = entry.detailId;
          break;
        }
      }
    }
  }
}

// Stores the sample's results; returns the number stored so far (k).
int StoreSample(ModuleContext& context, SampleRecord& sample, DataLogBatch& log, int done, int total) {
  log.WriteSample(sample.requestId);
  MapCodes(context.investigationCodes, sample);
  for (GroupRecord& group : sample.groups) {
    for (ResultRecord& result : group.results) {
      log.WriteResult(result.parameterCode, result.value);
      const std::string statement =
          Format(" exec L_RESULT_INSERT %d,%d,%d,%d,'%s','%s',1 ", sample.requestId,
                 context.resultMachineId, group.investigationId, result.detailId,
                 EscapeSqlText(result.value).c_str(), EscapeSqlText(result.secondMarker).c_str());
      if (context.serverSession != nullptr && context.serverSession->connected.load() == 1) {
        context.serverSession->SQLCommand(statement, 0);
      }
      ++done;
      context.uploadProgress.store(total == 0 ? 0 : static_cast<int32_t>(int64_t{done} * 100 / total));
    }
  }
  return done;
}

bool ProcessingEnded(const ModuleContext& context) {
  return context.receive == nullptr || context.receive->state.load() == RX_CONSUMER_DONE;
}

}  // namespace

bool UploadHeadBatch(ModuleContext& context) {
  ResultBatch* batch = context.resultQueue->Head();
  if (batch == nullptr) return false;
  context.uploadProgress.store(0);
  {
    DataLogBatch log;
    const SampleRecord& first = *batch->samples.head();
    const int total = first.resultCount;
    const std::string name = first.patientName;
    const std::string date = Format("%d/%d", first.requestDate.wDay, first.requestDate.wMonth);
    int done = 0;
    // Each sample leaves the batch for its row of the received list, which keeps it.
    while (std::unique_ptr<SampleRecord> sample = batch->samples.pop_front()) {
      done = StoreSample(context, *sample, log, done, total);
      ReceivedRow row;
      row.id = std::to_string(sample->requestId);
      row.date = date;
      row.name = name;
      row.sample = std::move(sample);
      context.view->AddReceivedRow(std::move(row));
    }
  }
  context.resultQueue->RemoveHead();
  context.uploadProgress.store(100);
  context.statusRepaint.store(1);
  return true;
}

namespace {

// The pause between passes: 2 s, cut short by a stop request; 100 ms while stopping.
void Pause(const ModuleContext& context) {
  auto slept = std::chrono::milliseconds(0);
  do {
    std::this_thread::sleep_for(kStopCheck);
    slept += kStopCheck;
  } while (slept < kPollInterval && context.uploadStop.load() == 0);
}

}  // namespace

void UploadThread(ModuleContext& context) {
  context.uploadFinished.store(0);
  try {
    WriteDataLogSessionMarker();
    for (;;) {
      const bool stopping = context.uploadStop.load() != 0;
      if (stopping && context.resultQueue->Empty() && ProcessingEnded(context)) break;
      if (UploadHeadBatch(context) && stopping) continue;  // store what is left without pausing
      Pause(context);
    }
  } catch (const std::exception&) {
    // An unexpected failure ends the thread like a stop does.
  }
  context.uploadFinished.store(1);
}

}  // namespace strivex
