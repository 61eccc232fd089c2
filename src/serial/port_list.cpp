#include "serial/port_list.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <exception>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <tuple>
#include <utility>

#include "serial/port_names.h"

namespace strivex {

namespace {

namespace fs = std::filesystem;

// Sort rank of the families: COM ports first, as operators know them.
enum class Family { kOnBoard = 0, kUsbSerial = 1, kUsbModem = 2 };

struct Candidate {
  Family family;
  uint32_t number;
  std::string entry;  // the sysfs entry name, also the /dev name
};

// COMn maps back to ttyS(n-1) only for up to four digits.
constexpr uint32_t kLastComNumber = 9999;

// The decimal number the kernel appends: digits only and no leading zero, so "ttyS01" (which
// would not map back from its COM name) is not taken for ttyS1.
std::optional<uint32_t> EntryNumber(std::string_view digits) {
  if (digits.empty() || digits.size() > 9 || (digits.size() > 1 && digits.front() == '0'))
    return std::nullopt;
  uint32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

std::optional<Candidate> Classify(const std::string& entry) {
  static constexpr std::pair<std::string_view, Family> kPrefixes[] = {
      {"ttyUSB", Family::kUsbSerial},
      {"ttyACM", Family::kUsbModem},
      {"ttyS", Family::kOnBoard},
  };
  for (const auto& [prefix, family] : kPrefixes) {
    if (!entry.starts_with(prefix)) continue;
    const auto number = EntryNumber(std::string_view(entry).substr(prefix.size()));
    if (!number) return std::nullopt;
    return Candidate{family, *number, entry};
  }
  return std::nullopt;
}

// The UART type the kernel reports; 0 (unknown) also when the file is missing, unreadable or not
// a number.
long UartType(const fs::path& entryDir) {
  std::ifstream in(entryDir / "type");
  long type = 0;
  if (!(in >> type)) return 0;
  return type;
}

bool IsPresent(const fs::path& entryDir, const Candidate& candidate) {
  std::error_code error;
  if (!fs::exists(entryDir / "device", error)) return false;
  if (candidate.family != Family::kOnBoard) return true;
  return candidate.number + 1 <= kLastComNumber && UartType(entryDir) > 0;
}

SerialPortInfo Describe(const Candidate& candidate) {
  SerialPortInfo info;
  info.name = candidate.family == Family::kOnBoard ? "COM" + std::to_string(candidate.number + 1)
                                                   : candidate.entry;
  info.device = "/dev/" + candidate.entry;
  return info;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::filesystem::path& sysClassTty) {
  try {
    std::vector<Candidate> found;
    std::error_code error;
    for (fs::directory_iterator it(sysClassTty, error), end; !error && it != end;
         it.increment(error)) {
      const std::optional<Candidate> candidate = Classify(it->path().filename().string());
      if (candidate && IsPresent(it->path(), *candidate)) found.push_back(*candidate);
    }
    std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
      return std::tie(a.family, a.number) < std::tie(b.family, b.number);
    });
    std::vector<SerialPortInfo> ports;
    ports.reserve(found.size());
    for (const Candidate& candidate : found) ports.push_back(Describe(candidate));
    return ports;
  } catch (const std::exception&) {
    // Only allocation fails here; the dialog then simply offers no ports.
    return {};
  }
}

std::vector<SerialPortInfo> ListSerialPortsById(const std::filesystem::path& byIdDir) {
  try {
    std::vector<SerialPortInfo> ports;
    std::error_code error;
    for (fs::directory_iterator it(byIdDir, error), end; !error && it != end; it.increment(error)) {
      std::error_code gone;
      const fs::path device = fs::canonical(it->path(), gone);  // a dangling link: unplugged
      if (!gone) ports.push_back({it->path().string(), device.string()});
    }
    std::sort(ports.begin(), ports.end(),
              [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.name < b.name; });
    return ports;
  } catch (const std::exception&) {
    return {};
  }
}

std::vector<SerialPortInfo> ListPresentSerialPorts() {
  std::vector<SerialPortInfo> ports = ListSerialPorts();
  for (SerialPortInfo& port : ListSerialPortsById(fs::path(DeviceDirectory()) / "serial" / "by-id"))
    ports.push_back(std::move(port));
  return ports;
}

}  // namespace strivex
