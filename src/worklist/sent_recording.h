#pragma once
// What the frame sender records once a frame is on the line: its analyses in the laboratory's
// work_list_sent, so a work list of the unsent only leaves them out.

#include "worklist/frame_queue.h"
#include "worklist/work_list_server.h"

namespace strivex {

// Records the frame's analyses on the server under the instrument's machine id. The frame is
// sent either way: a server that is not connected, or a refusal, is logged to _acterr.log with
// the request and the reason. The frame sender's thread.
void RecordSentFrame(WorkListServer& server, const QueuedFrame& frame);

}  // namespace strivex
