#include "platform/message_box.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <utility>

namespace strivex::platform {

namespace {

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}

MessageBoxHandler& Installed() {
  static MessageBoxHandler handler;
  return handler;
}

std::atomic<std::thread::id>& WindowThread() {
  static std::atomic<std::thread::id> window{};
  return window;
}

// A box asked for by a thread other than the window's is a bug, however rarely its path runs.
void CheckWindowThread(std::string_view text) {
#ifndef NDEBUG
  const std::thread::id window = WindowThread().load();
  if (window == std::thread::id{} || window == std::this_thread::get_id()) return;
  std::fprintf(stderr, "Strivex: message box off the window's thread: %.*s\n", static_cast<int>(text.size()),
               text.data());
  std::abort();
#else
  (void)text;
#endif
}

void ShowOnStandardError(const std::string& text) {
  std::fprintf(stderr, "Strivex: %s\n", text.c_str());
}

}  // namespace

void MessageBox(std::string_view text) {
  CheckWindowThread(text);
  PostMessageBox(text);
}

void PostMessageBox(std::string_view text) {
  MessageBoxHandler handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = Installed();
  }
  // Called outside the lock: a box blocks until the operator closes it.
  const std::string owned(text);
  if (handler) {
    handler(owned);
  } else {
    ShowOnStandardError(owned);
  }
}

std::thread::id SetWindowThread(std::thread::id window) { return WindowThread().exchange(window); }

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  std::lock_guard lock(HandlerMutex());
  return std::exchange(Installed(), std::move(handler));
}

struct MessageBoxRecorder::Shared {
  mutable std::mutex mutex;
  std::vector<std::string> texts;
};

MessageBoxRecorder::MessageBoxRecorder()
    : shared_(std::make_shared<Shared>()), previousWindow_(SetWindowThread(std::this_thread::get_id())) {
  previous_ = SetMessageBoxHandler([shared = shared_](const std::string& text) {
    std::lock_guard lock(shared->mutex);
    shared->texts.push_back(text);
  });
}

MessageBoxRecorder::~MessageBoxRecorder() {
  SetMessageBoxHandler(std::move(previous_));
  SetWindowThread(previousWindow_);
}

std::vector<std::string> MessageBoxRecorder::Texts() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->texts;
}

struct DeferredMessageBoxes::Shared {
  std::mutex mutex;
  std::vector<std::string> texts;
};

DeferredMessageBoxes::DeferredMessageBoxes() : shared_(std::make_shared<Shared>()) {
  previous_ = SetMessageBoxHandler([shared = shared_](const std::string& text) {
    std::lock_guard lock(shared->mutex);
    shared->texts.push_back(text);
  });
}

DeferredMessageBoxes::~DeferredMessageBoxes() { Flush(); }

void DeferredMessageBoxes::Flush() {
  if (flushed_) return;
  flushed_ = true;
  SetMessageBoxHandler(previous_);
  std::vector<std::string> texts;
  {
    std::lock_guard lock(shared_->mutex);
    texts.swap(shared_->texts);
  }
  for (const std::string& text : texts) MessageBox(text);
}

}  // namespace strivex::platform
