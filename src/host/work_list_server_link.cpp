#include "host/work_list_server_link.h"

namespace strivex {

namespace {

constexpr const char* kNotConnected = "serverul nu este conectat";

}  // namespace

ServerAnswer LinkedWorkListServer::Run(const Work& work) {
  const LinkResult result = link_.Run(
      [&work](ServerLink::Scope& scope) { return work(scope.session(), scope.machineIds().host); });
  if (result.outcome == LinkOutcome::kApplied) return {true, {}};
  return {false, result.serverText.empty() ? kNotConnected : result.serverText};
}

}  // namespace strivex
