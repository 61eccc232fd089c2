#pragma once
// Every period, time-out and retry rule of the module in one place. Each value is behaviour the
// laboratory sees (how soon a result is stored, when a message ends, how often the server is
// tried), so a change here is a change of behaviour, never a tuning detail. Tests that need other
// values override them through RetryPolicy and ReconnectPolicy, whose defaults come from here.

#include <chrono>
#include <cstdint>

namespace strivex::timings {

using std::chrono::days;
using std::chrono::hours;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

// ---- the laboratory server ---------------------------------------------------------------------

// Connecting and logging in: a server that does not answer must not hold the start-up or the
// reconnection's lock for long. Drivers count whole seconds.
inline constexpr milliseconds kLoginTimeout{5000};
// Each statement (relayed: each reply): a hung server ends as a lost connection, not a hung thread.
inline constexpr milliseconds kStatementTimeout{30000};
// The first reconnection attempt after a loss: soon, as most losses are short.
inline constexpr milliseconds kReconnectFirst{1000};
// The back-off doubles up to this, so a server down for hours is not hammered.
inline constexpr milliseconds kReconnectLongest{30000};
// While the background reconnection keeps failing the same way, "_acterr.log" gets the first
// failure, then one line this often with how many more there were: an administrator sees that
// the outage goes on without 2,880 identical entries a day.
inline constexpr minutes kRepeatedFailureSummary{10};
// How often a connected session is looked at when nobody reports it lost.
inline constexpr milliseconds kServerWatchPeriod{2000};
// Work on the server running longer than this shows as "Nu raspunde" on the panel: a result's
// statement takes milliseconds, so the operator learns of a frozen server long before the
// statement time-out gives the statement up.
inline constexpr milliseconds kServerOverdue{5000};
// The stop lets a statement in flight finish for this long, then cuts it: a server that answers
// is done in milliseconds, and a cut statement may still be stored when the server wakes, then
// be sent again.
inline constexpr milliseconds kStopGrace{1000};
// Each connection's driver runs in a process of its own. After a deadline or a stop it is asked to
// cancel its call (SQLCancel, so that a live server stops the statement rather than run it to its
// end) and gets this long to do so before the process is killed.
inline constexpr milliseconds kDriverCancelGrace{500};
// A login gets this long past the driver's own time-out (whole seconds), which should speak first
// with its own words.
inline constexpr milliseconds kDriverLoginGrace{1000};

// A session's statements that change slots run one at a time; a second caller looks again this
// often (a statement takes milliseconds, so the wait is short, and a tighter loop only burns a core).
inline constexpr milliseconds kSessionBusyRetry{10};
// The request lookups of the window wait this long for the session another thread holds: past a
// login's own limit (kLoginTimeout), so a reconnection that ends in time is waited for, and an
// operator is never kept longer.
inline constexpr milliseconds kLookupSessionWait{6000};

// ---- the analyser's serial line ----------------------------------------------------------------

// One read waits at most this long, so the reader notices a stop within about a second.
inline constexpr milliseconds kSerialReadTimeout{1000};
// A message ends after more than this many whole seconds of line silence (about five seconds
// after its last byte with one-second reads): the analyser's pauses inside a report are shorter.
inline constexpr int64_t kSilenceSeconds = 3;
// A read that ends with nothing sooner than this after it began, on a line that says it hung up,
// means the device went away: a live line answers only after the read's time-out (kSerialReadTimeout).
inline constexpr milliseconds kHungUpReadWithin{900};
// The processing thread's last look for the reader's end at a stop: the reader wakes it just
// before it ends, so these steps only bound a missed wake.
inline constexpr milliseconds kReaderEndPoll{20};
// A reader whose port is closed looks again this often.
inline constexpr milliseconds kClosedPortPause{500};
// A port whose device went away is opened again this often, until it comes back.
inline constexpr milliseconds kPortReopenPeriod{2000};
// The panel's outbox counts are read from the file at most this often: the window ticks five times
// a second, and a read is most of what an idle window costs.
inline constexpr milliseconds kPanelBacklogPeriod{1000};
// A work-list frame that could not be written is tried again this often.
inline constexpr milliseconds kFrameResendPeriod{500};

// Result-shaped lines outside a block that were not kept are told to the operator at most this
// often, with their count: an analyser whose printout header has such lines would otherwise raise
// a notice per report. "_acterr.log" still gets every message's lines.
inline constexpr minutes kOutsideLinesNotice{10};

// ---- the module's threads (upper bounds: work and stops wake them at once) ----------------------

// The processing thread's look at the receive state.
inline constexpr milliseconds kProcessingPoll{200};
// The upload thread's look at the result queue and the outbox; a result reaches the server at
// most this long after it was interpreted.
inline constexpr milliseconds kUploadPoll{2000};
// A stopping upload thread looks again this soon for the processing thread's last batch, which
// follows within one of the processing thread's looks.
inline constexpr milliseconds kUploadStopPoll{50};
// The shutdown's look at the threads it waits for.
inline constexpr milliseconds kShutdownPoll{200};
// The status panel's repaint.
inline constexpr milliseconds kStatusRepaint{200};
// The status file in the working directory is rewritten when something changed, at most this
// often: monitoring looks every few seconds at best, and a busy module must not write (and fsync)
// five times a second. A file older than a few of these whose module's process is gone means the
// module stopped without saying so.
inline constexpr milliseconds kStatusFilePeriod{2000};

// A worker whose body failed in a way nobody expected, and whose work can go on (the upload, the
// reconnection, the status file), starts again after this: soon, as results wait, yet not in a
// tight loop when the failure comes back at once.
inline constexpr milliseconds kWorkerRestartPause{2000};

// A lock wait with a deadline polls the lock this often (the timed lock's pthread call is not seen
// by the thread sanitizer); such waits are short, so the step is too.
inline constexpr milliseconds kLockPollStep{1};
// At the process's exit the window's thread gets this long to close its boxes and end Qt;
// past it the process ends at once rather than free what that thread still uses.
inline constexpr seconds kUiThreadEnd{20};

// ---- the host program and the command line ------------------------------------------------------

// A second start of an instance asks the running host: it may hold the lock but still be loading
// its module for this long before it listens; the connection is tried again this often meanwhile.
inline constexpr seconds kInstanceConnectPatience{5};
inline constexpr milliseconds kInstanceConnectRetry{100};
// The relay closes a connection that has not greeted this long after it came, so silent ones
// cannot hold the slots; a request once begun must arrive whole within the second (an idle client
// between requests waits as long as it likes). Both are the defaults of the relay's options.
inline constexpr seconds kRelayGreetingTimeout{5};
inline constexpr seconds kRelayRequestTimeout{60};
// "strivex-cli receive" looks at the line this often while it listens.
inline constexpr milliseconds kCliReceivePoll{200};

// ---- the outbox of results ---------------------------------------------------------------------

// A row the server refused is tried this many more times (a laboratory may fix a code table in
// the meantime), then kept as rejected, out of the way of the rows behind it.
inline constexpr int32_t kRefusedRowRetries = 3;
// Between two tries of a refused row: far apart, so a fix has time to happen.
inline constexpr seconds kRefusedRowRetryDelay{60};
// An outbox call, an open included, waits this long for another connection's write (the module's
// threads, strivex-cli outbox, a second process opening the file) before it fails as busy.
inline constexpr milliseconds kOutboxBusyWait{5000};
// SQLite does not wait to switch a new file to write-ahead logging while another connection holds
// it; the switch is tried again this often within kOutboxBusyWait.
inline constexpr milliseconds kOutboxWalSwitchRetry{10};
// Stored rows stay this long for audit, then go.
inline constexpr seconds kStoredRowsKept = days{30};
// At start-up and at most this often while a module runs (a module may run for months).
inline constexpr seconds kStoredRowsPurgePeriod = hours{24};

}  // namespace strivex::timings
