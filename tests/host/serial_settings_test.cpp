// The serial settings as the start-up reads them: MACHINE_SETTINGS rows in a real local database,
// matched in any case; the port's value is kept as stored.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "host/serial_settings.h"
#include "host/startup_steps.h"
#include "serial/line_settings.h"
#include "platform/message_box.h"
#include "support/temp_dir.h"
#include "util/format.h"

namespace strivex {
namespace {

class SerialSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(local_.DeschidBazaLocala((dir_ / "local.db").string(), "quomar", 1));
  }

  void AddRow(int32_t machine, const std::string& name, const std::string& value) {
    ASSERT_TRUE(local_.SQLCommand(
        Format("INSERT INTO MACHINE_SETTINGS (MachineID, NAME, VALUE) VALUES (%d, '%s', '%s')",
               machine, name.c_str(), value.c_str()),
        0));
  }

  testing::TempDir dir_;
  platform::MessageBoxRecorder boxes_;
  BazaDeDate local_;
};

TEST_F(SerialSettingsTest, RowsMatchInAnyCaseAndThePortKeepsItsCase) {
  const struct {
    const char* name;
    const char* value;
    SerialSettings expected;
  } cases[] = {
      {"port", "COM3", {"COM3", 9600, 8, 0, 0}},
      {"Port", "ttyUSB0", {"ttyUSB0", 9600, 8, 0, 0}},
      {"PORT", "/dev/ttyUSB0", {"/dev/ttyUSB0", 9600, 8, 0, 0}},
      {"port", "/dev/serial/by-id/usb-X_Y-if00-port0", {"/dev/serial/by-id/usb-X_Y-if00-port0", 9600, 8, 0, 0}},
      {"port", "ttyusb0", {"ttyusb0", 9600, 8, 0, 0}},  // what older starts stored
      {"BAUD RATE", "19200", {"COM1", 19200, 8, 0, 0}},
      {"Byte Size", "7", {"COM1", 9600, 7, 0, 0}},
      {"Parity", "Odd", {"COM1", 9600, 8, 1, 0}},
      {"parity", "EVEN", {"COM1", 9600, 8, 2, 0}},
      {"parity", "Mark", {"COM1", 9600, 8, 3, 0}},
      {"parity", "space", {"COM1", 9600, 8, 4, 0}},
      {"parity", "No Parity", {"COM1", 9600, 8, 0, 0}},
      {"parity", "odd parity", {"COM1", 9600, 8, 0, 0}},  // not in the table: unchanged
      {"Stop Bits", "2 Stop Bits", {"COM1", 9600, 8, 0, 2}},
      {"stop bits", "1.5 stop bits", {"COM1", 9600, 8, 0, 1}},
      {"stop bits", "3", {"COM1", 9600, 8, 0, 0}},
      {"flow", "none", {"COM1", 9600, 8, 0, 0}},
  };
  int32_t machine = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    AddRow(++machine, c.name, c.value);
    SerialSettings settings;
    ReadSerialSettings(local_, machine, settings);
    EXPECT_EQ(settings.portName, c.expected.portName);
    EXPECT_EQ(settings.baudRate, c.expected.baudRate);
    EXPECT_EQ(settings.byteSize, c.expected.byteSize);
    EXPECT_EQ(settings.parity, c.expected.parity);
    EXPECT_EQ(settings.stopBits, c.expected.stopBits);
  }
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(SerialSettingsTest, UnknownValueLeavesThePreviousRowsValue) {
  AddRow(7, "parity", "even");
  AddRow(7, "parity", "odd and more");
  SerialSettings settings;
  ReadSerialSettings(local_, 7, settings);
  EXPECT_EQ(settings.parity, EVENPARITY);
}

}  // namespace
}  // namespace strivex
