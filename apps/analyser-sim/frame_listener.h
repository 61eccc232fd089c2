#pragma once
// Reads what the module sends, on its own thread while the reports go out, and prints every
// frame and every run of other bytes as it completes. Counts the frames with a correct check
// byte and makes each one known through an eventfd, so a wait can watch for it with poll.

#include <atomic>
#include <thread>

#include "frame_decoder.h"
#include "frame_file.h"
#include "util/unique_fd.h"

namespace strivex::sim {

class FrameListener {
 public:
  // `frameFile`, when given, receives every frame with a correct check byte; it must outlive
  // the listener. Throws std::system_error without eventfds.
  explicit FrameListener(int deviceFd, FrameFile* frameFile = nullptr);
  // Stops the thread if it still runs.
  ~FrameListener();
  FrameListener(const FrameListener&) = delete;
  FrameListener& operator=(const FrameListener&) = delete;

  // Starts the reading thread; throws std::system_error when it cannot.
  void Start();
  // Ends the thread; bytes of an unfinished frame are printed as garbage.
  void Stop();

  // Frames with a correct check byte so far; any thread.
  int GoodFrames() const { return goodFrames_.load(); }
  // Readable after a good frame; reading it resets it.
  int GoodFrameEvent() const { return goodFrameEvent_.get(); }

 private:
  void Run();
  void Report(const std::vector<FrameEvent>& events);

  int device_;
  FrameFile* frameFile_;
  UniqueFd quit_;
  UniqueFd goodFrameEvent_;
  FrameDecoder decoder_;
  int frames_ = 0;
  std::atomic<int> goodFrames_{0};
  std::thread thread_;
};

}  // namespace strivex::sim
