#include "host/read_model.h"

#include "host/host_record.h"

namespace strivex {

bool ReadModel::ServerUnavailable() const {
  return host_ != nullptr && host_->Flag(HostRecord::kServerUnavailable) != 0;
}

void ReadModel::SetServerUnavailable(bool unavailable) {
  if (host_ != nullptr) host_->SetFlag(HostRecord::kServerUnavailable, unavailable ? 1 : 0);
}

}  // namespace strivex
