#pragma once
// The four-line status panel: what it says, in which colours, and when it needs painting. The
// window only draws what this returns.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace strivex {

// A colour of the panel's texts.
struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kGreen{0, 255, 0};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kGrey{192, 192, 192};

// What the panel looks at, taken at one moment.
struct StatusSnapshot {
  int32_t receiveState = 0;
  int32_t receiveLength = 0;
  bool queueEmpty = true;
  int32_t progress = 0;
  uint8_t receivingIndicator = 0;
  uint8_t statusRepaint = 0;
  uint8_t serverUnavailable = 0;
  bool serverOverdue = false;  // work on the server has run past timings::kServerOverdue
  std::string serverAddress;
  std::string serverDatabase;
  std::string localDatabase;
  std::string portName;
  bool portOpen = false;
  bool portLost = false;  // wanted open, its device gone
  int32_t workListReading = 0;
  uint32_t secondsOfDay = 0;
  int64_t outboxPending = 0;
  int64_t outboxRejected = 0;
  int64_t outboxUnassigned = 0;
  int64_t outboxOtherMachines = 0;  // rows of other instruments in this folder's outbox
  bool outboxFailed = false;
  int64_t framesWaiting = 0;  // work-list frames not yet on the line
  bool framesSending = false;
};

// One line of the panel.
struct StatusLine {
  StatusLine() = default;
  StatusLine(std::string shown, Rgb lineColour) : text(std::move(shown)), colour(lineColour) {}

  std::string text;
  Rgb colour;
  // The bytes of `text` (a path or a device) the window may cut in their middle when the line
  // does not fit; none when `cutLength` is 0.
  size_t cutFrom = 0;
  size_t cutLength = 0;
  // The line uncut, for its tooltip; empty when `text` is whole.
  std::string whole;
};

// What one paint draws, and what it changes in the shared state.
struct StatusPanel {
  std::array<StatusLine, 4> lines;  // at x + 10, y + 1/15/29/43, font size 8
  bool mark = false;                // red disc and "R %d" at x + 158, y + 14, font size 7
  std::string markText;
  // What painting changes in the shared state.
  std::optional<uint8_t> receivingIndicator;  // new value
  bool statusRepaint = false;                 // the flag's value after painting
  std::optional<int32_t> progress;            // written back when it was out of range
};

// "Rezultate : - N de trimis[, M respinse][, K fara proba][, J ale altui aparat]", or the outbox's
// failure.
StatusLine BacklogLine(const StatusSnapshot& now);

// "Lista de lucru : - trimit, N de trimis" while frames go out, "... N asteapta portul" while the
// port is closed; empty when no frame waits.
StatusLine WorkListLine(const StatusSnapshot& now);

// The panel's memory between paints; the window's thread only.
class StatusPanelModel {
 public:
  // When not forced, a paint is skipped while nothing the panel shows has changed.
  bool NeedsPaint(const StatusSnapshot& now, bool forced) const;
  // The panel for `now`; remembers what it showed and the "Citesc" timing.
  StatusPanel Paint(const StatusSnapshot& now);

 private:
  struct Seen {
    int32_t receiveState = 0;
    uint8_t receivingIndicator = 0;
    uint8_t serverUnavailable = 0;
    bool serverOverdue = false;
    std::string serverAddress;
    std::string serverDatabase;
    std::string portName;
    bool portOpen = false;
    bool portLost = false;
    int64_t outboxPending = 0;
    int64_t outboxRejected = 0;
    int64_t outboxUnassigned = 0;
    int64_t outboxOtherMachines = 0;
    bool outboxFailed = false;
    friend bool operator==(const Seen&, const Seen&) = default;
  };
  static Seen SeenOf(const StatusSnapshot& now);
  StatusLine ServerLine(const StatusSnapshot& now, bool& repaint);

  Seen last_;
  uint32_t previousPaint_ = 0;  // t0, seconds of the day
  uint32_t readingStart_ = 0;   // ts
  bool readingHeld_ = false;
};

}  // namespace strivex
