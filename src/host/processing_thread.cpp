#include "host/processing_thread.h"

#include <chrono>
#include <thread>

#include "host/module_view.h"
#include "host/result_queue.h"
#include "protocol/strivex_interpretor.h"
#include "serial/message_pump.h"
#include "serial/port_serial.h"
#include "settings/code_translation.h"
#include "util/log_files.h"

namespace strivex {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(200);

void ProcessMessage(ModuleContext& context, int32_t modifierId, std::string_view message) {
  AppendRawLog(message);
  StrivexInterpretor interpretor;
  if (interpretor.Interpret(message, context.requestId.load(), modifierId, context.translations) != 1) {
    return;  // nothing found: the message is only in the raw log
  }
  context.requestId.store(0);
  context.view->SetPatientText("");
  SampleList samples = interpretor.TakeSamples();
  if (!samples.empty()) context.resultQueue->Append(std::move(samples));
}

}  // namespace

void ProcessingThread(ModuleContext& context) {
  ReceiveContext& receive = *context.receive;
  CodeTranslations codes = LoadCodeTranslations(CodeTranslationFileName(context.instrumentName));
  context.translations = std::move(codes.translations);
  context.port->StartReader(receive);

  while (receive.stop.load() == 0) {
    ServeCompleteMessage(*context.port, receive, [&](std::string_view message) {
      ProcessMessage(context, codes.modifierId, message);
    });
    std::this_thread::sleep_for(kPollInterval);
  }
  FinishConsumer(receive);
  context.translations.clear();
}

}  // namespace strivex
