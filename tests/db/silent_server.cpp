#include "db/silent_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace strivex::testing {

SilentServer::SilentServer(Kind kind, const char* host, uint16_t port)
    : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  socklen_t size = sizeof address;
  // A backlog of 0 still queues one connection; with it queued, Linux drops further SYNs.
  if (!listener_.valid() || ::inet_pton(AF_INET, host, &address.sin_addr) != 1 || ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      ::listen(listener_.get(), kind == kFull ? 0 : 16) != 0 ||
      ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    return;
  }
  if (kind == kFull) {
    filler_ = UniqueFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (::connect(filler_.get(), reinterpret_cast<const sockaddr*>(&address), size) != 0) return;
  }
  port_ = ntohs(address.sin_port);
}

}  // namespace strivex::testing
