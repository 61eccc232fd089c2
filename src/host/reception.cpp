#include "host/reception.h"

#include "serial/receive_context.h"

namespace strivex {

void Reception::SetInstrument(std::string name, int32_t localMachineId) {
  MutexLock lock(mutex_);
  instrumentName_ = std::move(name);
  localMachineId_ = localMachineId;
}

std::string Reception::instrumentName() const {
  MutexLock lock(mutex_);
  return instrumentName_;
}

int32_t Reception::localMachineId() const {
  MutexLock lock(mutex_);
  return localMachineId_;
}

bool Reception::ProcessingEnded() const {
  return receive_ == nullptr || receive_->state.load() == RX_CONSUMER_DONE;
}

}  // namespace strivex
