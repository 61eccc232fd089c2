#pragma once
// How long the calling thread's event loop went without running, as an operator feels it: a short
// timer on that thread records the gaps between its ticks, from its start until it is destroyed.

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <vector>

namespace strivex::testing {

class LoopStalls {
 public:
  explicit LoopStalls(int periodMs = 5) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(periodMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      const qint64 now = clock_.nsecsElapsed();
      gapsMs_.push_back(static_cast<double>(now - last_) / 1e6);
      last_ = now;
    });
    clock_.start();
    timer_.start();
  }

  // The longest gap so far, counting the one still open.
  double MaxMs() const {
    const double open = static_cast<double>(clock_.nsecsElapsed() - last_) / 1e6;
    return std::max(open, gapsMs_.empty() ? 0.0 : *std::max_element(gapsMs_.begin(), gapsMs_.end()));
  }
  // The gap that `fraction` of the ticks came within (0.99: the 99th percentile).
  double PercentileMs(double fraction) const {
    if (gapsMs_.empty()) return MaxMs();
    std::vector<double> sorted = gapsMs_;
    std::sort(sorted.begin(), sorted.end());
    return sorted[std::min(sorted.size() - 1, static_cast<size_t>(fraction * static_cast<double>(sorted.size())))];
  }
  size_t Ticks() const { return gapsMs_.size(); }

 private:
  QTimer timer_;
  QElapsedTimer clock_;
  qint64 last_ = 0;
  std::vector<double> gapsMs_;
};

}  // namespace strivex::testing
