#pragma once
// Modal message boxes with one OK button. The core only says what to show; whoever owns the
// screen installs the handler (the module a Qt one that blocks until the operator closes the box,
// tests a recording one). Without a handler the text goes to standard error.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace strivex::platform {

// Shows one text and returns when it was acknowledged; called on the caller's thread.
using MessageBoxHandler = std::function<void(const std::string& text)>;

// Shows `text` and returns when the box is closed; any thread (the Qt handler waits for the UI
// thread, so never call it from a thread the UI thread is waiting for).
void MessageBox(std::string_view text);

// Installs `handler` (an empty one restores the standard-error default); returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Records every message box shown while it lives, from any thread.
class MessageBoxRecorder {
 public:
  // Installs itself as the handler.
  MessageBoxRecorder();
  // Puts the previous handler back.
  ~MessageBoxRecorder();
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  // The texts shown so far, in order.
  std::vector<std::string> Texts() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  MessageBoxHandler previous_;
};

// Holds back every message box asked for while it lives (from any thread; the callers do not
// wait) and shows them, in order, through the previous handler at Flush or at its end: the
// start-up opens the serial line before any box can keep the operator's eyes, and the analyser's
// bytes, waiting.
class DeferredMessageBoxes {
 public:
  DeferredMessageBoxes();
  ~DeferredMessageBoxes();
  DeferredMessageBoxes(const DeferredMessageBoxes&) = delete;
  DeferredMessageBoxes& operator=(const DeferredMessageBoxes&) = delete;

  void Flush();

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  MessageBoxHandler previous_;
  bool flushed_ = false;
};

}  // namespace strivex::platform
