// analyser-sim: plays the urine strip analyser on a serial line, for trying the instrument
// interface without an instrument.

#include <exception>
#include <new>
#include <string_view>
#include <vector>

#include "console.h"
#include "options.h"
#include "program_output.h"
#include "simulator.h"

int main(int argc, char* argv[]) {
  using namespace strivex::sim;
  try {
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const ParsedOptions parsed = ParseOptions(args);
    if (parsed.options.help)
      return PrintLine(kUsage.substr(0, kUsage.size() - 1)) ? kExitOk : kExitFailure;
    if (parsed.options.version) return strivex::app::PrintVersionLine(kProgramName) ? kExitOk : kExitFailure;
    if (!parsed.ok()) {
      Log(parsed.error);
      return kExitFailure;
    }
    return RunSimulator(parsed.options);
  } catch (const std::bad_alloc&) {
    Log("out of memory");
  } catch (const std::exception& e) {
    Log(e.what());
  } catch (...) {
    Log("unexpected failure");
  }
  return kExitFailure;
}
