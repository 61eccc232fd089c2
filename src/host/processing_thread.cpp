#include "host/processing_thread.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "host/module_view.h"
#include "host/result_queue.h"
#include "outbox/outbox_store.h"
#include "protocol/strivex_interpretor.h"
#include "serial/message_cuts.h"
#include "serial/message_pump.h"
#include "serial/port_serial.h"
#include "settings/code_translation.h"
#include "util/format.h"
#include "util/log_files.h"
#include "util/timings.h"

namespace strivex {

namespace {

constexpr auto kPollInterval = timings::kProcessingPoll;
constexpr const char* kOutboxFailed =
    "Rezultatele nu pot fi salvate in %s: %s. Ele sunt trimise serverului o singura data, fara reluare.";

// Commits the message's results before anything else happens to them; 0 when the outbox cannot
// take them (the operator hears of it once per run, the error log each time).
int64_t CommitToOutbox(const ProcessingParts& parts, const SampleList& samples, const SampleList& unassigned) {
  OutboxStore* outbox = parts.upload.outbox();
  if (outbox == nullptr) return 0;
  std::string error;
  if (const auto id = outbox->AddMessage(samples, unassigned, GetLocalTime(), error)) return *id;
  WriteErrorLogEntry(error);
  if (!parts.upload.MarkOutboxFailed(true)) {
    parts.shown.view()->NotifyOperator(Format(kOutboxFailed, outbox->path().c_str(), error.c_str()));
  }
  return 0;
}

// A torn line as the log and the window show it: printable bytes, the start of a long one.
std::string Printable(std::string_view text) {
  constexpr size_t kShown = 60;
  std::string shown(text.substr(0, kShown));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  }
  if (text.size() > kShown) shown += "...";
  return shown;
}

// Each torn line once in "_acterr.log" and once to the operator, who can read the strip again.
// The request named is the sample open where the line was, else the operator's confirmed one.
void TellTornLine(const ProcessingParts& parts, std::string_view text, int32_t openRequestId,
                  int32_t confirmedRequestId) {
  if (text.empty()) return;  // the end of a line the previous message held and told
  const int32_t request = openRequestId != 0 ? openRequestId : confirmedRequestId;
  const std::string line = Printable(text);
  const std::string notice = request != 0 ? Format(kTornLineOfRequest, line.c_str(), request)
                                          : Format(kTornLine, line.c_str());
  WriteErrorLogEntry(notice);
  parts.shown.view()->NotifyOperator(notice);
}

// Result-shaped lines outside a block that were not kept: all of a message's in one
// "_acterr.log" entry, the operator now and then with their count.
void TellOutsideLines(const ProcessingParts& parts, const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::string entry = kOutsideLinesEntry;
  for (const std::string& line : lines) entry += "\n\"" + Printable(line) + "\"";
  WriteErrorLogEntry(entry);
  if (const auto notice = parts.reception.outsideLines().Count(lines.size())) {
    parts.shown.view()->NotifyOperator(*notice);
  }
}

void ProcessMessage(const ProcessingParts& parts, int32_t modifierId, std::string_view message,
                    const MessageCuts& cuts) {
  AppendRawLog(message);
  // Torn lines go with their line ends, so the lines around them read as they were sent. Where
  // one was, and wherever the device went, bytes may be missing.
  const std::vector<TornLine> torn = TornLines(message, cuts);
  std::vector<size_t> gaps;
  for (const TornLine& line : torn) gaps.push_back(OffsetWithout(torn, line.begin));
  for (const int32_t loss : cuts.losses) gaps.push_back(OffsetWithout(torn, static_cast<size_t>(loss)));
  std::sort(gaps.begin(), gaps.end());
  gaps.erase(std::unique(gaps.begin(), gaps.end()), gaps.end());
  const std::string kept = torn.empty() ? std::string() : WithoutLines(message, torn);

  const int32_t confirmedRequestId = parts.reception.requestId();
  StrivexInterpretor interpretor;
  interpretor.GapsAt(gaps);
  const uint8_t found = interpretor.Interpret(torn.empty() ? message : std::string_view(kept),
                                              confirmedRequestId, modifierId, parts.reception.translations());
  for (const TornLine& line : torn) {
    const auto at = std::lower_bound(gaps.begin(), gaps.end(), OffsetWithout(torn, line.begin));
    const size_t index = static_cast<size_t>(at - gaps.begin());
    const std::vector<int32_t>& open = interpretor.OpenRequests();
    TellTornLine(parts, message.substr(line.begin, line.textEnd - line.begin),
                 index < open.size() ? open[index] : 0, confirmedRequestId);
  }
  TellOutsideLines(parts, interpretor.Told());
  if (found != 1) return;  // nothing found: the message is only in the raw log
  SampleList samples = interpretor.TakeSamples();
  SampleList unassigned = interpretor.TakeUnassigned();
  // The operator's confirmed request goes with the message's samples; a printout without any (a
  // control run) leaves it for the next one.
  if (!samples.empty()) {
    parts.reception.SetRequestId(0);
    parts.shown.view()->SetPatientText("");
  }
  parts.shown.MarkReceived(parts.upload.Now());
  const int64_t outboxId = CommitToOutbox(parts, samples, unassigned);
  parts.upload.queue()->Append(std::move(samples), outboxId, std::move(unassigned));
  parts.upload.wake().Notify();
}

}  // namespace

void ProcessingThread(const ProcessingParts& parts) {
  ReceiveContext& receive = *parts.reception.receive();
  // A worker: the operator hears of it through the window, which this thread never waits for.
  const auto notify = [&parts](const std::string& notice) { parts.shown.view()->NotifyOperator(notice); };
  bool readerStarted = false;
  const auto body = [&] {
    CodeTranslations codes = LoadCodeTranslations(CodeTranslationFileName(parts.reception.instrumentName()));
    if (!codes.failure.empty()) notify(codes.failure);
    parts.reception.translations() = std::move(codes.translations);
    readerStarted = true;  // started or, failing, marked finished: either way not waited for in vain
    if (!parts.reception.port()->StartReader(receive)) notify(kNoThreadNotice);

    const auto process = [&](std::string_view message, const MessageCuts& cuts) {
      ProcessMessage(parts, codes.modifierId, message, cuts);
    };
    while (receive.stop.load() == 0) {
      ServeCompleteMessage(*parts.reception.port(), receive, process, notify);
      parts.reception.WatchPort();
      receive.changed.WaitFor(kPollInterval);
    }
    // Bytes received before the stop still reach the raw log and, as far as they make samples,
    // the outbox.
    FinishConsumer(receive, process);
  };
  if (!RunWorker(kProcessingWorker, body, &parts.workers)) {
    // Nothing interprets any more: the reader ends, and what it holds reaches the raw log at
    // least; the upload and the shutdown see the reception done.
    receive.RequestStop();
    if (!readerStarted) receive.finished.store(1);  // no reader to wait for
    FinishConsumer(receive, [](std::string_view message, const MessageCuts&) { AppendRawLog(message); });
  }
  parts.reception.translations().clear();
  parts.upload.wake().Notify();
}

}  // namespace strivex
