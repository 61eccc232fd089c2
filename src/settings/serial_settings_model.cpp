#include "settings/serial_settings_model.h"

#include <array>

#include "db/baza_de_date.h"
#include "db/local_statements.h"
#include "platform/message_box.h"
#include "serial/line_settings.h"
#include "serial/port_serial.h"
#include "util/combo_search.h"
#include "util/text_scan.h"

namespace strivex {

namespace {

constexpr std::array<const char*, 15> kBaudRates = {"110",   "300",   "600",   "1200",  "2400",
                                                    "4800",  "9600",  "14400", "19200", "38400",
                                                    "56000", "57600", "115200", "128000", "256000"};
// Indexed by value; the lists show them sorted.
constexpr std::array<const char*, 5> kParityTexts = {"No parity", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 3> kStopBitsTexts = {"1 stop bit", "1.5 stop bits", "2 stop bits"};
constexpr char kBadParity[] = "Invalid default seting for parity";
constexpr char kBadStopBits[] = "Invalid default seting for StopBits";

// The whole list is searched from its top, as a list's own prefix search does.
constexpr int kWholeList = -1;

ComboState Filled(std::vector<std::string> items, const std::string& prefix) {
  ComboState combo{std::move(items), -1};
  combo.selected = SelectByPrefix(combo.items, prefix, kWholeList);
  return combo;
}

template <size_t N>
std::vector<std::string> Texts(const std::array<const char*, N>& texts) {
  return {texts.begin(), texts.end()};
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

// The ports found, and the stored one even when its device is absent (an unplugged adapter's
// setting is then kept, not replaced by whatever the list starts with). It goes first, so the
// prefix search cannot pick a longer name before it (COM10 for a missing COM1).
std::vector<std::string> PortItems(const std::vector<SerialPortInfo>& present, const std::string& stored) {
  std::vector<std::string> items;
  bool listed = stored.empty();
  for (const SerialPortInfo& port : present) {
    listed = listed || EqualsIgnoringCase(port.name, stored);
    items.push_back(port.name);
  }
  if (!listed) items.insert(items.begin(), stored);
  return items;
}

// The value whose text equals `text` exactly; `current` when none does.
template <size_t N>
int32_t ValueOfText(const std::array<const char*, N>& texts, const std::string& text, int32_t current) {
  for (size_t value = 0; value < N; ++value) {
    if (text == texts[value]) return static_cast<int32_t>(value);
  }
  return current;
}

template <size_t N>
std::string TextOfValue(const std::array<const char*, N>& texts, int32_t value) {
  return value >= 0 && static_cast<size_t>(value) < N ? texts[static_cast<size_t>(value)] : "";
}

// A number list read back; with nothing selected the current value stays (a stored 0 baud would
// only make the next "Deschid Port" fail).
int32_t NumberOrCurrent(const std::string& text, int32_t current) {
  return text.empty() ? current : ParseDecimal(text);
}

}  // namespace

std::string ComboState::SelectedText() const {
  return selected >= 0 && static_cast<size_t>(selected) < items.size() ? items[static_cast<size_t>(selected)] : "";
}

std::string ParityText(int32_t parity) { return TextOfValue(kParityTexts, parity); }

std::string StopBitsText(int32_t stopBits) { return TextOfValue(kStopBitsTexts, stopBits); }

SetariComunicare::SetariComunicare(SerialChoice current, std::vector<SerialPortInfo> present)
    : choice_(std::move(current)), present_(std::move(present)) {}

void SetariComunicare::Initialize() {
  save = true;
  confirmed_ = false;
  port = Filled(PortItems(present_, choice_.portName), choice_.portName);
  baudRate = Filled(Texts(kBaudRates), std::to_string(choice_.baudRate));
  byteSize = Filled({"7", "8"}, std::to_string(choice_.byteSize));
  const std::vector<std::string> parities = {"Even", "Mark", "No parity", "Odd", "Space"};
  if (ParityText(choice_.parity).empty()) platform::MessageBox(kBadParity);
  parity = Filled(parities, ParityText(choice_.parity));
  const std::vector<std::string> stops = {"1 stop bit", "1.5 stop bits", "2 stop bits"};
  if (StopBitsText(choice_.stopBits).empty()) platform::MessageBox(kBadStopBits);
  stopBits = Filled(stops, StopBitsText(choice_.stopBits));
}

void SetariComunicare::Confirm(const std::string& portText, const std::string& baudText,
                               const std::string& byteText, const std::string& parityText,
                               const std::string& stopBitsText, bool saveChecked) {
  // The lists have no edit field: the port text is always a listed name, taken whole (cutting a
  // "ttyACM100" to eight characters would name another device).
  if (!portText.empty()) choice_.portName = portText;
  choice_.baudRate = NumberOrCurrent(baudText, choice_.baudRate);
  choice_.byteSize = NumberOrCurrent(byteText, choice_.byteSize);
  choice_.stopBits = ValueOfText(kStopBitsTexts, stopBitsText, choice_.stopBits);
  choice_.parity = ValueOfText(kParityTexts, parityText, choice_.parity);
  save = saveChecked;
  confirmed_ = true;
}

void SetariComunicare::ConfirmSelections() {
  Confirm(port.SelectedText(), baudRate.SelectedText(), byteSize.SelectedText(), parity.SelectedText(),
          stopBits.SelectedText(), save);
}

std::vector<std::string> SerialSettingsStatements(const SerialChoice& choice, int32_t localMachineId) {
  const std::string stopText = StopBitsText(choice.stopBits);
  if (stopText.empty()) platform::MessageBox(kBadStopBits);
  const std::string parityText = ParityText(choice.parity);
  if (parityText.empty()) platform::MessageBox(kBadParity);
  return {
      MachineSettingUpdate("Port", choice.portName, localMachineId),
      MachineSettingUpdate("Baud Rate", std::to_string(choice.baudRate), localMachineId),
      MachineSettingUpdate("Byte Size", std::to_string(choice.byteSize), localMachineId),
      MachineSettingUpdate("Stop Bits", stopText, localMachineId),
      MachineSettingUpdate("Parity", parityText, localMachineId),
  };
}

LineSettings ApplySerialChoice(const SerialChoice& choice, PortSerial& port, LineSettings dcb, BazaDeDate& local,
                       int32_t localMachineId) {
  port.SetPortName(choice.portName);
  dcb.BaudRate = static_cast<uint32_t>(choice.baudRate);
  dcb.ByteSize = static_cast<uint8_t>(choice.byteSize);
  dcb.Parity = static_cast<uint8_t>(choice.parity);
  dcb.StopBits = static_cast<uint8_t>(choice.stopBits);
  for (const std::string& statement : SerialSettingsStatements(choice, localMachineId)) {
    local.SQLCommand(statement, 0);
  }
  return dcb;
}

SerialChoice CurrentSerialChoice(const std::string& portName, const LineSettings& dcb) {
  return {portName, static_cast<int32_t>(dcb.BaudRate), dcb.ByteSize, dcb.Parity, dcb.StopBits};
}

}  // namespace strivex
