#include "util/serial_executor.h"

#include <system_error>
#include <utility>

namespace strivex {

bool SerialExecutor::Token::StopRequested() const {
  MutexLock lock(owner_.mutex_);
  return owner_.stopping_;
}

bool SerialExecutor::Token::Ending() const {
  MutexLock lock(owner_.mutex_);
  return owner_.ending_;
}

bool SerialExecutor::Token::WaitFor(std::chrono::nanoseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  MutexLock lock(owner_.mutex_);
  while (!owner_.woken_ && !owner_.ending_) {
    if (owner_.changed_.wait_until(owner_.mutex_, deadline) == std::cv_status::timeout) break;
  }
  owner_.woken_ = false;
  return !owner_.ending_;
}

bool SerialExecutor::Token::SleepFor(std::chrono::nanoseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (WaitFor(deadline - std::chrono::steady_clock::now())) {
    if (std::chrono::steady_clock::now() >= deadline) return true;
  }
  return false;
}

bool SerialExecutor::Post(Task task, std::string* refusal) {
  std::thread ended;
  bool posted = true;
  {
    MutexLock lock(mutex_);
    if (ending_) {
      if (refusal != nullptr) *refusal = "the executor has ended";
      return false;
    }
    queue_.push_back(std::move(task));
    if (!running_) {
      ended = std::move(thread_);
      try {
        thread_ = std::thread([this] { Run(); });
        running_ = true;
      } catch (const std::system_error& error) {
        queue_.pop_back();
        if (refusal != nullptr) *refusal = error.what();
        posted = false;
      }
    }
  }
  // It said it ends before running_ went false: joining it costs nothing.
  if (ended.joinable()) ended.join();
  return posted;
}

void SerialExecutor::Wake() {
  {
    MutexLock lock(mutex_);
    woken_ = true;
  }
  changed_.notify_all();
}

void SerialExecutor::Drain() {
  std::thread thread;
  {
    MutexLock lock(mutex_);
    // While it runs, a task posted meanwhile joins its queue; after, one starts a new thread.
    thread = std::move(thread_);
  }
  if (thread.joinable()) thread.join();
}

void SerialExecutor::Finish() { End(false); }

void SerialExecutor::Stop() { End(true); }

void SerialExecutor::End(bool stop) {
  std::deque<Task> dropped;
  std::thread thread;
  {
    MutexLock lock(mutex_);
    ending_ = true;
    if (stop) {
      stopping_ = true;
      dropped.swap(queue_);
    }
    thread = std::move(thread_);
  }
  changed_.notify_all();
  // Each task is bounded by its own deadlines and looks at its token in its waits.
  if (thread.joinable()) thread.join();
}

void SerialExecutor::Run() {
  const Token token(*this);
  for (;;) {
    Task task;
    {
      MutexLock lock(mutex_);
      if (queue_.empty() || stopping_) {
        running_ = false;
        return;
      }
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    RunTask(worker_, [&] { task(token); });
  }
}

}  // namespace strivex
