// medianex-relay: serves relayed database sessions for instrument interfaces that cannot reach
// the laboratory database themselves.

#include <exception>
#include <new>
#include <string_view>
#include <vector>

#include "log.h"
#include "options.h"
#include "server.h"

int main(int argc, char* argv[]) {
  using namespace strivex::relay;
  try {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedOptions parsed = ParseOptions(args);
    if (parsed.options.help)
      return PrintLine(kUsage.substr(0, kUsage.size() - 1)) ? kExitOk : kExitFailure;
    if (parsed.options.version) return strivex::app::PrintVersionLine("medianex-relay") ? kExitOk : kExitFailure;
    if (!parsed.ok()) {
      LogLine(parsed.error);
      return kExitUsage;
    }
    LogLine(AllowedKeysLine(parsed.options));
    return RunServer(parsed.options);
  } catch (const std::bad_alloc&) {
    LogLine("out of memory");
  } catch (const std::exception& e) {
    LogLine(e.what());
  } catch (...) {
    LogLine("unexpected failure");
  }
  return kExitFailure;
}
