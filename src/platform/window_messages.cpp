#include "platform/window_messages.h"

#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace strivex::platform {

namespace {

struct Registry {
  std::mutex mutex;
  // Shared so a message in flight keeps its handler alive while the window unregisters.
  std::unordered_map<WindowHandle, std::shared_ptr<const WindowMessageHandler>> windows;
  WindowHandle last = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

WindowHandle RegisterWindow(WindowMessageHandler handler) {
  auto shared = std::make_shared<const WindowMessageHandler>(std::move(handler));
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  // Handles are not reused while a window holds them; 0 means "no window" to the host.
  do ++registry.last;
  while (registry.last == 0 || registry.windows.contains(registry.last));
  registry.windows.emplace(registry.last, std::move(shared));
  return registry.last;
}

void UnregisterWindow(WindowHandle handle) {
  std::shared_ptr<const WindowMessageHandler> handler;
  Registry& registry = TheRegistry();
  {
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(handle);
    if (found == registry.windows.end()) return;
    handler = std::move(found->second);
    registry.windows.erase(found);
  }
  // The handler's captures are released here, outside the lock.
}

bool PostWindowMessage(WindowHandle handle, uint32_t message, uintptr_t wParam, intptr_t lParam) {
  std::shared_ptr<const WindowMessageHandler> handler;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto found = registry.windows.find(handle);
    if (found == registry.windows.end()) return false;
    handler = found->second;
  }
  // Outside the lock: a handler may register or post itself.
  if (*handler) (*handler)(message, wParam, lParam);
  return true;
}

}  // namespace strivex::platform
