#pragma once
// What the upload thread works with in a test: a result queue, a recording view and an outbox.

#include "host/module_context.h"
#include "host/recording_view.h"
#include "host/result_queue.h"

namespace strivex::testing {

struct UploadRig {
  explicit UploadRig(OutboxStore* outbox) {
    context.upload.Attach(&queue, outbox);
    context.shown.Attach(&view, nullptr);
  }
  UploadRig(const UploadRig&) = delete;
  UploadRig& operator=(const UploadRig&) = delete;

  ResultQueue queue;
  RecordingView view;
  ModuleContext context;
};

}  // namespace strivex::testing
