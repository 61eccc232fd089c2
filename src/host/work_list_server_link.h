#pragma once
// The work list's server is the module's ServerLink: one statement at a time with the upload and
// the reconnection, under the host's machine id.

#include "host/server_link.h"
#include "worklist/work_list_server.h"

namespace strivex {

class LinkedWorkListServer : public WorkListServer {
 public:
  // `link` must outlive this.
  explicit LinkedWorkListServer(ServerLink& link) : link_(link) {}

  ServerAnswer Run(const Work& work) override;

 private:
  ServerLink& link_;
};

}  // namespace strivex
