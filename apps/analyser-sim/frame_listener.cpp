#include "frame_listener.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <system_error>
#include <variant>

#include "console.h"
#include "frame_text.h"

namespace strivex::sim {

namespace {

// Bytes outside frames are shown after this much silence.
constexpr int kQuietMilliseconds = 100;

// How long to look away from a line that has no reader on its far end (a pty reports hang-up
// without pause then).
constexpr int kIdleMilliseconds = 50;

UniqueFd MakeEvent() {
  UniqueFd fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
  if (!fd.valid()) throw std::system_error(errno, std::generic_category(), "eventfd");
  return fd;
}

void Signal(int event) {
  const uint64_t one = 1;
  // Only fails when the counter is near overflow, and then it is readable anyway.
  [[maybe_unused]] const ssize_t written = write(event, &one, sizeof one);
}

}  // namespace

FrameListener::FrameListener(int deviceFd, FrameFile* frameFile)
    : device_(deviceFd), frameFile_(frameFile), quit_(MakeEvent()), goodFrameEvent_(MakeEvent()) {}

FrameListener::~FrameListener() { Stop(); }

void FrameListener::Start() {
  thread_ = std::thread([this] { Run(); });
}

void FrameListener::Stop() {
  if (!thread_.joinable()) return;
  Signal(quit_.get());
  thread_.join();
  std::vector<FrameEvent> events;
  decoder_.Finish(events);
  Report(events);
}

void FrameListener::Run() {
  std::vector<FrameEvent> events;
  char buffer[4096];
  for (;;) {
    pollfd fds[2] = {{quit_.get(), POLLIN, 0}, {device_, POLLIN, 0}};
    const int ready = poll(fds, 2, kQuietMilliseconds);
    if (ready < 0) {
      if (errno == EINTR) continue;
      Log(std::string("reading the line stopped: ") + std::strerror(errno));
      return;
    }
    if (fds[0].revents != 0) return;
    bool quiet = ready == 0;
    if (!quiet) {
      const ssize_t count = (fds[1].revents & POLLIN) ? read(device_, buffer, sizeof buffer) : 0;
      if (count > 0) {
        decoder_.Feed(std::string_view(buffer, static_cast<size_t>(count)), events);
      } else if (count == 0 || (errno != EAGAIN && errno != EINTR)) {
        // Hang-up or EIO: a pty whose far end is closed, which reports so without pause.
        quiet = true;
        poll(fds, 1, kIdleMilliseconds);
      }
    }
    if (quiet) decoder_.Pause(events);
    Report(events);
    events.clear();
  }
}

void FrameListener::Report(const std::vector<FrameEvent>& events) {
  for (const FrameEvent& event : events) {
    if (const auto* frame = std::get_if<Frame>(&event)) {
      PrintLine(FrameLine(++frames_, *frame));
      if (frame->CheckOk()) {
        // In the file before the count goes up: a wait for the frames then finds them there.
        if (frameFile_ != nullptr) frameFile_->Write(*frame);
        goodFrames_.fetch_add(1);
        Signal(goodFrameEvent_.get());
      }
    } else {
      const auto& garbage = std::get<Garbage>(event);
      Log("not a frame (" + garbage.reason + ")");
      PrintLine(GarbageLine(garbage));
    }
  }
}

}  // namespace strivex::sim
