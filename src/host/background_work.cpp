#include "host/background_work.h"

#include <algorithm>
#include <system_error>

#include "util/worker_failure.h"

namespace strivex {

bool BackgroundWork::Start(std::function<void()> task) {
  std::vector<Task> ended;
  bool started = false;
  {
    MutexLock lock(mutex_);
    if (finished_) return false;
    // Threads whose task has returned: joining them costs nothing.
    const auto running = std::partition(tasks_.begin(), tasks_.end(), [](const Task& t) { return !t.done->load(); });
    std::move(running, tasks_.end(), std::back_inserter(ended));
    tasks_.erase(running, tasks_.end());
    auto done = std::make_shared<std::atomic<bool>>(false);
    try {
      tasks_.push_back({std::thread([task = std::move(task), done] {
                          RunTask(kBackgroundWorker, task);
                          done->store(true);
                        }),
                        done});
      started = true;
    } catch (const std::system_error&) {
      started = false;
    }
  }
  for (Task& t : ended) t.thread.join();
  return started;
}

void BackgroundWork::Finish() {
  std::vector<Task> all;
  {
    MutexLock lock(mutex_);
    finished_ = true;
    all.swap(tasks_);
  }
  for (Task& t : all) t.thread.join();
}

}  // namespace strivex
