#include "host/processing_thread.h"

#include <chrono>

#include "host/module_view.h"
#include "host/result_queue.h"
#include "outbox/outbox_store.h"
#include "protocol/strivex_interpretor.h"
#include "serial/message_pump.h"
#include "serial/port_serial.h"
#include "settings/code_translation.h"
#include "util/format.h"
#include "util/log_files.h"

namespace strivex {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(200);
constexpr const char* kOutboxFailed =
    "Rezultatele nu pot fi salvate in %s: %s. Ele sunt trimise serverului o singura data, fara reluare.";

// Commits the message's results before anything else happens to them; 0 when the outbox cannot
// take them (the operator hears of it once per run, the error log each time).
int64_t CommitToOutbox(ModuleContext& context, const SampleList& samples, const SampleList& unassigned) {
  if (context.outbox == nullptr) return 0;
  std::string error;
  if (const auto id = context.outbox->AddMessage(samples, unassigned, GetLocalTime(), error)) return *id;
  WriteErrorLogEntry(error);
  if (context.outboxFailed.exchange(1) == 0) {
    context.view->NotifyOperator(Format(kOutboxFailed, context.outbox->path().c_str(), error.c_str()));
  }
  return 0;
}

void ProcessMessage(ModuleContext& context, int32_t modifierId, std::string_view message) {
  AppendRawLog(message);
  StrivexInterpretor interpretor;
  if (interpretor.Interpret(message, context.requestId.load(), modifierId, context.translations) != 1) {
    return;  // nothing found: the message is only in the raw log
  }
  SampleList samples = interpretor.TakeSamples();
  SampleList unassigned = interpretor.TakeUnassigned();
  // The operator's confirmed request goes with the message's samples; a printout without any (a
  // control run) leaves it for the next one.
  if (!samples.empty()) {
    context.requestId.store(0);
    context.view->SetPatientText("");
  }
  const int64_t outboxId = CommitToOutbox(context, samples, unassigned);
  context.resultQueue->Append(std::move(samples), outboxId, std::move(unassigned));
  context.uploadWake.Notify();
}

}  // namespace

void ProcessingThread(ModuleContext& context) {
  ReceiveContext& receive = *context.receive;
  CodeTranslations codes = LoadCodeTranslations(CodeTranslationFileName(context.instrumentName));
  context.translations = std::move(codes.translations);
  context.port->StartReader(receive);

  const auto process = [&](std::string_view message) { ProcessMessage(context, codes.modifierId, message); };
  while (receive.stop.load() == 0) {
    ServeCompleteMessage(*context.port, receive, process);
    if (context.watchPort) context.watchPort();
    receive.changed.WaitFor(kPollInterval);
  }
  // Bytes received before the stop still reach the raw log and, as far as they make samples,
  // the outbox.
  FinishConsumer(receive, process);
  context.translations.clear();
  context.uploadWake.Notify();
}

}  // namespace strivex
