#pragma once
// "Setari Comunicatie" without its widgets: what the serial settings dialog lists and selects when
// it opens, what its OK reads back, and what confirming with "Salvez Setari" writes. The port
// itself is never touched here: the values reach the line at the next "Deschid Port".

#include <cstdint>
#include <string>
#include <vector>

#include "serial/port_list.h"

namespace strivex {

class BazaDeDate;
class PortSerial;
struct LineSettings;

// The values the dialog edits, with the widths of the settings block.
struct SerialChoice {
  std::string portName;
  int32_t baudRate = 0;
  int32_t byteSize = 0;
  int32_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  int32_t stopBits = 0;  // 0 one, 1 one and a half, 2 two

  friend bool operator==(const SerialChoice&, const SerialChoice&) = default;
};

// One drop-down list: its entries and the selected one (-1: none).
struct ComboState {
  std::vector<std::string> items;
  int selected = -1;

  // The selected entry's text; empty when none is selected.
  std::string SelectedText() const;
};

// The texts the settings store for parity and stop bits; empty outside 0-4 and 0-2.
std::string ParityText(int32_t parity);
std::string StopBitsText(int32_t stopBits);

class SetariComunicare {
 public:
  // `current`: the window's port name and settings block; `present`: the ports found on the
  // machine, in the order found.
  SetariComunicare(SerialChoice current, std::vector<SerialPortInfo> present);

  // The dialog's opening: fills the five lists and selects the current values; a parity or stop
  // bits value outside its table shows "Invalid default seting for parity" / "... StopBits".
  void Initialize();

  ComboState port, baudRate, byteSize, parity, stopBits;
  bool save = true;  // "Salvez Setari", checked when the dialog opens

  // OK with the texts the lists show and the check box; `Confirmed()` then says whether the
  // values are to be applied.
  void Confirm(const std::string& portText, const std::string& baudText, const std::string& byteText,
               const std::string& parityText, const std::string& stopBitsText, bool saveChecked);
  // OK with the lists' own selections.
  void ConfirmSelections();

  // True only after OK with "Salvez Setari" checked; Cancel, or OK unchecked, change nothing.
  bool Confirmed() const { return confirmed_ && save; }
  const SerialChoice& choice() const { return choice_; }

 private:
  SerialChoice choice_;
  std::vector<SerialPortInfo> present_;
  bool confirmed_ = false;
};

// The five "UPDATE MACHINE_SETTINGS" statements for the instrument's rows, in the order written:
// Port, Baud Rate, Byte Size, Stop Bits, Parity; texts escaped. A parity or stop bits value
// outside its table shows its message box and writes the empty text.
std::vector<std::string> SerialSettingsStatements(const SerialChoice& choice, int32_t localMachineId);

// What the menu command does after a confirmed dialog: the port keeps the new name for its next
// open, the local database the five rows (slot 0; a failed statement is only logged by the
// session), and the block returned is `dcb` with the four values. The open port, if any, is not
// touched.
LineSettings ApplySerialChoice(const SerialChoice& choice, PortSerial& port, LineSettings dcb, BazaDeDate& local,
                       int32_t localMachineId);

// The window's current values, for the dialog's opening.
SerialChoice CurrentSerialChoice(const std::string& portName, const LineSettings& dcb);

}  // namespace strivex
