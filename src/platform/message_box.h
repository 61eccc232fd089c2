#pragma once
// Modal message boxes with one OK button. The core only says what to show; whoever owns the
// screen installs the handler (the module a Qt one that blocks until the operator closes the box,
// tests a recording one). Without a handler the text goes to standard error.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace strivex::platform {

// Shows one text and returns when it was acknowledged; called on the caller's thread.
using MessageBoxHandler = std::function<void(const std::string& text)>;

// Shows `text` and returns when the box is closed. The window's thread only: a worker that waited
// for the operator would hold up whatever the window waits for (worker notices go through the
// view's NotifyOperator). Debug builds abort on a call from another thread.
void MessageBox(std::string_view text);

// For the host's own thread, which is not the window's and must not wait for it: hands `text` to
// the handler, which shows it on the window's thread without holding up the caller (before any
// window exists, on this thread: nothing else can be waiting then).
void PostMessageBox(std::string_view text);

// The thread boxes are shown on, set by whoever owns the screen (and by the test doubles, to the
// thread that made them); unset, any thread may. Returns the previous one.
std::thread::id SetWindowThread(std::thread::id window);

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
  std::thread::id previousWindow_;
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
