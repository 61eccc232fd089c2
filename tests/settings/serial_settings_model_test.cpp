// The serial settings dialog's model on real parts: a sysfs look-alike for the port list, a
// SQLite settings file, pseudo-terminals as the ports and the module core that opens them.

#include "settings/serial_settings_model.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/baza_de_date.h"
#include "host/host_record.h"
#include "host/module_core.h"
#include "host/recording_view.h"
#include "host/startup_steps.h"
#include "platform/message_box.h"
#include "serial/port_serial.h"
#include "support/module_rig.h"
#include "support/pty_pair.h"
#include "support/temp_dir.h"

namespace strivex {
namespace {

namespace fs = std::filesystem;
using Items = std::vector<std::string>;

// /sys/class/tty with on-board UARTs of a known type and USB adapters, as the kernel shows them.
fs::path FakeClassTty(const fs::path& root, const Items& names) {
  const fs::path classTty = root / "class" / "tty";
  fs::create_directories(classTty);
  fs::create_directories(root / "parent");
  for (const std::string& name : names) {
    const fs::path device = root / "devices" / name;
    fs::create_directories(device);
    testing::WriteFile(device / "type", "4\n");
    fs::create_directory_symlink(root / "parent", device / "device");
    fs::create_directory_symlink(device, classTty / name);
  }
  return classTty;
}

struct PortCase {
  const char* label;
  Items sysfs;
  std::string stored;
  Items listed;
  std::string selected;
};

void PrintTo(const PortCase& c, std::ostream* os) { *os << c.label; }

class SerialPortListTest : public ::testing::TestWithParam<PortCase> {};

TEST_P(SerialPortListTest, ListsPresentPortsAndKeepsTheStoredOne) {
  const PortCase& c = GetParam();
  testing::TempDir dir;
  SetariComunicare model({c.stored, 9600, 8, 0, 0}, ListSerialPorts(FakeClassTty(dir.path(), c.sysfs)));
  model.Initialize();
  EXPECT_EQ(model.port.items, c.listed);
  EXPECT_EQ(model.port.SelectedText(), c.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, SerialPortListTest,
    ::testing::Values(
        PortCase{"TwoUarts", {"ttyS0", "ttyS1"}, "COM2", {"COM1", "COM2"}, "COM2"},
        PortCase{"PrefixPicksCom1BeforeCom10", {"ttyS9", "ttyS0"}, "COM1", {"COM1", "COM10"}, "COM1"},
        PortCase{"StoredNameInAnyCase", {"ttyS0", "ttyUSB0"}, "com1", {"COM1", "ttyUSB0"}, "COM1"},
        // An unplugged adapter stays selected, and COM10 is not taken for a missing COM1.
        PortCase{"AbsentAdapterKept", {"ttyS0"}, "ttyUSB1", {"ttyUSB1", "COM1"}, "ttyUSB1"},
        PortCase{"AbsentCom1BeforeCom10", {"ttyS9"}, "COM1", {"COM1", "COM10"}, "COM1"},
        PortCase{"NoPortsAtAll", {}, "COM1", {"COM1"}, "COM1"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SerialPortListTest, PortInUseByAnotherProgramIsListed) {
  testing::TempDir dir;
  testing::PtyPair com1, com2;
  fs::create_directory(dir / "dev");
  fs::create_symlink(com1.slavePath(), dir / "dev" / "ttyS0");
  fs::create_symlink(com2.slavePath(), dir / "dev" / "ttyS1");
  setenv("STRIVEX_DEVICE_DIR", (dir / "dev").c_str(), 1);
  PortSerial otherProgram;
  ASSERT_TRUE(otherProgram.Open("COM2", StartupLineSettings(9600, 8, 0, 0)));
  PortSerial second;
  EXPECT_FALSE(second.Open("COM2", StartupLineSettings(9600, 8, 0, 0))) << "COM2 is really in use";
  SetariComunicare model({"COM1", 9600, 8, 0, 0}, ListSerialPorts(FakeClassTty(dir / "sys", {"ttyS0", "ttyS1"})));
  model.Initialize();
  EXPECT_EQ(model.port.items, (Items{"COM1", "COM2"}));
  unsetenv("STRIVEX_DEVICE_DIR");
}

struct OpeningCase {
  const char* label;
  SerialChoice current;
  std::string baud, bits, parity, stop;
  std::vector<std::string> boxes;
};

void PrintTo(const OpeningCase& c, std::ostream* os) { *os << c.label; }

class SerialOpeningTest : public ::testing::TestWithParam<OpeningCase> {};

TEST_P(SerialOpeningTest, SelectsTheCurrentValues) {
  const OpeningCase& c = GetParam();
  platform::MessageBoxRecorder boxes;
  SetariComunicare model(c.current, {});
  model.Initialize();
  EXPECT_EQ(model.baudRate.SelectedText(), c.baud);
  EXPECT_EQ(model.byteSize.SelectedText(), c.bits);
  EXPECT_EQ(model.parity.SelectedText(), c.parity);
  EXPECT_EQ(model.stopBits.SelectedText(), c.stop);
  EXPECT_EQ(boxes.Texts(), c.boxes);
  EXPECT_TRUE(model.save) << "Salvez Setari starts checked";
  EXPECT_EQ(model.baudRate.items.size(), 15u);
  EXPECT_EQ(model.parity.items, (Items{"Even", "Mark", "No parity", "Odd", "Space"}));
}

INSTANTIATE_TEST_SUITE_P(
    Openings, SerialOpeningTest,
    ::testing::Values(
        OpeningCase{"Defaults", {"COM1", 9600, 8, 0, 0}, "9600", "8", "No parity", "1 stop bit", {}},
        OpeningCase{"SevenEvenOneAndAHalf", {"COM1", 19200, 7, 2, 1}, "19200", "7", "Even", "1.5 stop bits", {}},
        OpeningCase{"Fastest", {"COM1", 256000, 8, 4, 2}, "256000", "8", "Space", "2 stop bits", {}},
        OpeningCase{"UnlistedRateSelectsNothing", {"COM1", 4000, 6, 1, 0}, "", "", "Odd", "1 stop bit", {}},
        // The empty text matches the first entry of the sorted lists.
        OpeningCase{"OutOfTableValues",
                    {"COM1", 9600, 8, 9, 3},
                    "9600",
                    "8",
                    "Even",
                    "1 stop bit",
                    {"Invalid default seting for parity", "Invalid default seting for StopBits"}}),
    [](const auto& info) { return std::string(info.param.label); });

struct ConfirmCase {
  const char* label;
  std::string port, baud, bits, parity, stop;
  bool save;
  bool confirmed;
  SerialChoice expected;
};

void PrintTo(const ConfirmCase& c, std::ostream* os) { *os << c.label; }

class SerialConfirmTest : public ::testing::TestWithParam<ConfirmCase> {};

TEST_P(SerialConfirmTest, ReadsTheListsBack) {
  const ConfirmCase& c = GetParam();
  SetariComunicare model({"COM1", 9600, 8, 0, 0}, {});
  model.Initialize();
  model.Confirm(c.port, c.baud, c.bits, c.parity, c.stop, c.save);
  EXPECT_EQ(model.Confirmed(), c.confirmed);
  EXPECT_EQ(model.choice(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Confirms, SerialConfirmTest,
    ::testing::Values(
        ConfirmCase{"Com2Even", "COM2", "19200", "7", "Even", "1 stop bit", true, true, {"COM2", 19200, 7, 2, 0}},
        ConfirmCase{"UncheckedIsCancel", "COM2", "19200", "7", "Even", "1 stop bit", false, false,
                    {"COM2", 19200, 7, 2, 0}},
        ConfirmCase{"LongUsbNameKeptWhole", "ttyACM100", "115200", "8", "Mark", "2 stop bits", true, true,
                    {"ttyACM100", 115200, 8, 3, 2}},
        // Nothing selected keeps what the window had.
        ConfirmCase{"NothingSelected", "", "", "", "", "", true, true, {"COM1", 9600, 8, 0, 0}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SerialSettingsStatementsTest, FiveRowsInOrderWithTextsEscaped) {
  platform::MessageBoxRecorder boxes;
  EXPECT_EQ(SerialSettingsStatements({"COM2", 19200, 7, 2, 0}, 12),
            (Items{"UPDATE MACHINE_SETTINGS SET [VALUE]='COM2' where NAME='Port' and MachineID=12",
                   "UPDATE MACHINE_SETTINGS SET [VALUE]='19200' where NAME='Baud Rate' and MachineID=12",
                   "UPDATE MACHINE_SETTINGS SET [VALUE]='7' where NAME='Byte Size' and MachineID=12",
                   "UPDATE MACHINE_SETTINGS SET [VALUE]='1 stop bit' where NAME='Stop Bits' and MachineID=12",
                   "UPDATE MACHINE_SETTINGS SET [VALUE]='Even' where NAME='Parity' and MachineID=12"}));
  EXPECT_TRUE(boxes.Texts().empty());
  const Items odd = SerialSettingsStatements({"/dev/o'port", 9600, 8, 5, 3}, 1);
  EXPECT_EQ(odd[0], "UPDATE MACHINE_SETTINGS SET [VALUE]='/dev/o''port' where NAME='Port' and MachineID=1");
  EXPECT_EQ(odd[3], "UPDATE MACHINE_SETTINGS SET [VALUE]='' where NAME='Stop Bits' and MachineID=1");
  EXPECT_EQ(odd[4], "UPDATE MACHINE_SETTINGS SET [VALUE]='' where NAME='Parity' and MachineID=1");
  EXPECT_EQ(boxes.Texts(), (Items{"Invalid default seting for StopBits", "Invalid default seting for parity"}));
}

// The whole menu command on the running module: the port is left as it is until "Deschid Port",
// which then opens the new device with the new settings; the next start reads them back.
TEST(SerialSettingsOnModuleTest, NewSettingsTakeEffectAtTheNextOpenAndTheNextStart) {
  testing::TempDir dir;
  testing::ScopedCurrentDir cwd(dir.path());
  testing::ModuleRig rig(dir.path(), 7);
  testing::PtyPair com2;
  fs::create_symlink(com2.slavePath(), dir / "dev" / "ttyS1");
  platform::MessageBoxRecorder boxes;
  testing::RecordingView view;
  HostRecordBuffer host(5, "Strivex", rig.LocalPath(), 1);
  host.record().SetFlag(HostRecord::kServerUnavailable, 1);
  ModuleCore core(host.record(), view);
  core.Initialize(0x51);
  ASSERT_TRUE(core.port().IsOpen());
  core.ClosePort();

  SetariComunicare model(CurrentSerialChoice(core.port().PortName(), core.lineSettings()), {});
  model.Initialize();
  model.Confirm("COM2", "19200", "7", "Even", "1 stop bit", true);
  ASSERT_TRUE(model.Confirmed());
  core.SetLineSettings(ApplySerialChoice(model.choice(), core.port(), core.lineSettings(), *core.localSession(),
                                         core.localMachineId()));
  EXPECT_FALSE(core.port().IsOpen()) << "confirming opens nothing";
  EXPECT_EQ(core.StatusNow(0).portName, "COM2");

  ASSERT_TRUE(core.OpenPort());
  termios line{};
  ASSERT_EQ(tcgetattr(core.port().NativeHandle(), &line), 0);
  EXPECT_EQ(cfgetospeed(&line), B19200);
  EXPECT_EQ(core.lineSettings().ByteSize, 7);
  EXPECT_EQ(core.lineSettings().Parity, EVENPARITY);
  EXPECT_EQ(core.lineSettings().StopBits, ONESTOPBIT);
  // The device really is COM2's: COM1's line hears nothing of what is sent.
  core.port().Send("\x02X", 2, true);
  EXPECT_FALSE(com2.Read(3, std::chrono::milliseconds(1000)).empty());
  EXPECT_TRUE(rig.pty().Read(1, std::chrono::milliseconds(100)).empty());
  core.ShutdownModule();

  BazaDeDate local;
  ASSERT_TRUE(local.DeschidBazaLocala(rig.LocalPath(), "quomar", 1));
  SerialSettings stored;
  ReadSerialSettings(local, 7, stored);
  EXPECT_EQ(stored.portName, "COM2");
  EXPECT_EQ(stored.baudRate, 19200u);
  EXPECT_EQ(stored.byteSize, 7);
  EXPECT_EQ(stored.parity, EVENPARITY);
  EXPECT_EQ(stored.stopBits, ONESTOPBIT);
  EXPECT_TRUE(boxes.Texts().empty()) << boxes.Texts().front();
}

}  // namespace
}  // namespace strivex
