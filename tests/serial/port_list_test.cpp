#include "serial/port_list.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "serial/port_names.h"
#include "support/temp_dir.h"

namespace strivex {

void PrintTo(const SerialPortInfo& p, std::ostream* os) { *os << p.name << "=" << p.device; }

namespace {

namespace fs = std::filesystem;
using strivex::testing::TempDir;
using strivex::testing::WriteFile;

// A sysfs look-alike: class/tty/<name> links to devices/<name>, whose "device" link points at a
// parent device, as the kernel lays it out.
class FakeSysfs {
 public:
  FakeSysfs() {
    fs::create_directories(dir_ / "class/tty");
    fs::create_directories(dir_ / "devices/parent");
  }

  fs::path ClassTty() const { return dir_ / "class/tty"; }

  // `type` is the content of the "type" file; none for no file.
  void Add(const std::string& name, std::optional<std::string> type, bool withDevice = true) {
    const fs::path entry = dir_ / "devices" / name;
    fs::create_directories(entry);
    if (type) WriteFile(entry / "type", *type);
    if (withDevice) fs::create_directory_symlink("../parent", entry / "device");
    fs::create_directory_symlink("../../devices/" + name, ClassTty() / name);
  }

  fs::path Entry(const std::string& name) const { return dir_ / "devices" / name; }

 private:
  TempDir dir_;
};

struct EntryCase {
  const char* label;
  std::string name;
  std::optional<std::string> type;
  bool withDevice;
  std::vector<SerialPortInfo> listed;
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.label; }

class PortListEntryTest : public ::testing::TestWithParam<EntryCase> {};

TEST_P(PortListEntryTest, ListsOnlyPresentPortsOfTheThreeFamilies) {
  const EntryCase& c = GetParam();
  FakeSysfs sysfs;
  sysfs.Add(c.name, c.type, c.withDevice);
  EXPECT_EQ(ListSerialPorts(sysfs.ClassTty()), c.listed);
}

INSTANTIATE_TEST_SUITE_P(
    PortListEntries, PortListEntryTest,
    ::testing::Values(
        EntryCase{"UartKnownType", "ttyS0", "4\n", true, {{"COM1", "/dev/ttyS0"}}},
        EntryCase{"UartTypeWithoutNewline", "ttyS11", "1", true, {{"COM12", "/dev/ttyS11"}}},
        EntryCase{"UartUnknownType", "ttyS0", "0\n", true, {}},
        EntryCase{"UartMissingType", "ttyS0", std::nullopt, true, {}},
        EntryCase{"UartGarbageType", "ttyS0", "unknown\n", true, {}},
        EntryCase{"UartWithoutDevice", "ttyS0", "4\n", false, {}},
        EntryCase{"UsbSerialWithoutType", "ttyUSB0", std::nullopt, true,
                  {{"ttyUSB0", "/dev/ttyUSB0"}}},
        EntryCase{"UsbSerialTypeIgnored", "ttyUSB3", "0\n", true, {{"ttyUSB3", "/dev/ttyUSB3"}}},
        EntryCase{"UsbModem", "ttyACM7", std::nullopt, true, {{"ttyACM7", "/dev/ttyACM7"}}},
        EntryCase{"UsbSerialWithoutDevice", "ttyUSB0", std::nullopt, false, {}},
        EntryCase{"VirtualConsole", "tty0", "4\n", true, {}},
        EntryCase{"Console", "console", std::nullopt, true, {}},
        EntryCase{"PseudoTerminalMaster", "ptmx", std::nullopt, true, {}},
        EntryCase{"BoardUart", "ttyAMA0", "4\n", true, {}},
        EntryCase{"FamilyWithoutNumber", "ttyUSB", std::nullopt, true, {}},
        EntryCase{"NumberWithSuffix", "ttyS1a", "4\n", true, {}},
        EntryCase{"LeadingZero", "ttyS01", "4\n", true, {}},
        EntryCase{"LastComNumber", "ttyS9998", "4\n", true, {{"COM9999", "/dev/ttyS9998"}}},
        EntryCase{"BeyondComNumbers", "ttyS9999", "4\n", true, {}}),
    [](const ::testing::TestParamInfo<EntryCase>& info) { return info.param.label; });

TEST(PortList, OrdersByFamilyThenNumber) {
  FakeSysfs sysfs;
  // Created out of order; directory order is not sorted either.
  for (const char* name : {"ttyACM0", "ttyUSB10", "ttyS10", "ttyUSB2", "ttyS2", "ttyACM10",
                           "ttyS0", "ttyUSB0", "ttyACM2"}) {
    sysfs.Add(name, "4\n");
  }
  sysfs.Add("ttyS1", "0\n");
  sysfs.Add("tty1", std::nullopt);

  const std::vector<SerialPortInfo> expected{
      {"COM1", "/dev/ttyS0"},         {"COM3", "/dev/ttyS2"},         {"COM11", "/dev/ttyS10"},
      {"ttyUSB0", "/dev/ttyUSB0"},    {"ttyUSB2", "/dev/ttyUSB2"},    {"ttyUSB10", "/dev/ttyUSB10"},
      {"ttyACM0", "/dev/ttyACM0"},    {"ttyACM2", "/dev/ttyACM2"},    {"ttyACM10", "/dev/ttyACM10"},
  };
  EXPECT_EQ(ListSerialPorts(sysfs.ClassTty()), expected);
}

TEST(PortList, UnreadableTypeCountsAsUnknown) {
  FakeSysfs sysfs;
  sysfs.Add("ttyS0", std::nullopt);
  fs::create_directory(sysfs.Entry("ttyS0") / "type");  // opens, but every read fails
  EXPECT_TRUE(ListSerialPorts(sysfs.ClassTty()).empty());
}

TEST(PortList, DanglingDeviceLinkIsNoDevice) {
  FakeSysfs sysfs;
  sysfs.Add("ttyUSB0", std::nullopt, false);
  fs::create_directory_symlink("../gone", sysfs.Entry("ttyUSB0") / "device");
  EXPECT_TRUE(ListSerialPorts(sysfs.ClassTty()).empty());
}

TEST(PortList, MissingDirectoryListsNothing) {
  TempDir dir;
  EXPECT_TRUE(ListSerialPorts(dir / "no-such-dir").empty());
  strivex::testing::WriteFile(dir / "file", "x");
  EXPECT_TRUE(ListSerialPorts(dir / "file").empty());
}

TEST(PortNames, MapToDevicePaths) {
  const struct {
    const char* name;
    const char* device;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},       {"com1", "/dev/ttyS0"},       {"Com12", "/dev/ttyS11"},
      {"ttyUSB0", "/dev/ttyUSB0"},  {"ttyACM3", "/dev/ttyACM3"},  {"/dev/pts/4", "/dev/pts/4"},
      {"./port", "./port"},         {"COM0", "/dev/COM0"},        {"COMX", "/dev/COMX"},
      {"COM", "/dev/COM"},          {"com1a", "/dev/com1a"},
      {"ttyusb0", "/dev/ttyUSB0"},  {"TTYACM12", "/dev/ttyACM12"}, {"ttys1", "/dev/ttyS1"},
      {"ttyusb", "/dev/ttyusb"},    {"ttyusb0x", "/dev/ttyusb0x"}, {"pts/3", "pts/3"},
  };
  for (const auto& c : cases) EXPECT_EQ(DevicePathForPort(c.name), c.device) << c.name;
}

// The module opens a port by the name the dialog stored, so every listed name must lead back to
// the device it was listed for.
TEST(PortList, ListedNamesOpenTheListedDevice) {
  FakeSysfs sysfs;
  for (const char* name : {"ttyS0", "ttyS9", "ttyS10", "ttyS123", "ttyUSB4", "ttyACM1"})
    sysfs.Add(name, "4\n");
  const std::vector<SerialPortInfo> ports = ListSerialPorts(sysfs.ClassTty());
  ASSERT_EQ(ports.size(), 6u);
  for (const SerialPortInfo& port : ports) EXPECT_EQ(DevicePathForPort(port.name), port.device);
}

// The stable names of present devices only (an unplugged adapter leaves a dangling link), whole.
TEST(PortList, ByIdNamesOfPresentDevices) {
  TempDir dir;
  fs::create_directory(dir / "by-id");
  WriteFile(dir / "ttyUSB0", "");
  fs::create_symlink("../ttyUSB0", dir / "by-id" / "usb-Ab_Cd-if00-port0");
  fs::create_symlink("../ttyUSB9", dir / "by-id" / "usb-Gone-if00-port0");
  const std::vector<SerialPortInfo> expected{
      {(dir / "by-id/usb-Ab_Cd-if00-port0").string(), (fs::canonical(dir.path()) / "ttyUSB0").string()}};
  EXPECT_EQ(ListSerialPortsById(dir / "by-id"), expected);
}

TEST(PortList, RealSysfsListsWithoutFailing) {
  const std::vector<SerialPortInfo> ports = ListSerialPorts();
  for (const SerialPortInfo& port : ports) {
    EXPECT_EQ(DevicePathForPort(port.name), port.device);
    EXPECT_TRUE(port.device.starts_with("/dev/tty")) << port.device;
  }
}

}  // namespace
}  // namespace strivex
