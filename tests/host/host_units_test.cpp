// Host record layout, settings rows and the result queue.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "host/host_record.h"
#include "host/result_queue.h"
#include "host/serial_settings.h"

namespace strivex {
namespace {

TEST(HostRecord, FieldsAtTheirOffsets) {
  HostRecordBuffer buffer(5, std::string(60, 'N'), "/var/lib/strivex/local.db", 0);
  HostRecord record = buffer.record();
  EXPECT_EQ(record.MachineId(), 5);
  EXPECT_EQ(record.InstrumentName(), std::string(50, 'N'));  // 51 bytes with the terminator
  EXPECT_EQ(record.LocalDatabasePath(), "/var/lib/strivex/local.db");
  EXPECT_EQ(record.Flag(HostRecord::kCloseEndsModule), 0);

  record.SetWindowHandle(0x01020304);
  record.SetFlag(HostRecord::kStartAck, 1);
  const uint8_t* bytes = buffer.data();
  EXPECT_EQ(bytes[0], 0x04);
  EXPECT_EQ(bytes[3], 0x01);
  EXPECT_EQ(bytes[73], 1);
  EXPECT_EQ(bytes[16], 5);
  EXPECT_EQ(bytes[20], 'N');
  EXPECT_EQ(bytes[70], 0);
  // Offset 76 holds where the path text starts, inside the same allocation.
  uint32_t pathAt = 0;
  std::memcpy(&pathAt, bytes + 76, 4);
  EXPECT_GE(pathAt, HostRecord::kMinimumSize);
  EXPECT_STREQ(reinterpret_cast<const char*>(bytes + pathAt), "/var/lib/strivex/local.db");
}

TEST(SerialSettings, RowsMatchAfterLowerCasing) {
  const struct {
    const char* name;
    const char* value;
    SerialSettings expected;
  } cases[] = {
      {"port", "COM3", {"com3", 9600, 8, 0, 0}},
      {"Port", "ttyUSB0", {"ttyusb0", 9600, 8, 0, 0}},
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
  for (const auto& c : cases) {
    SerialSettings settings;
    ApplySettingRow(settings, c.name, c.value);
    EXPECT_EQ(settings.portName, c.expected.portName) << c.name << "=" << c.value;
    EXPECT_EQ(settings.baudRate, c.expected.baudRate) << c.name << "=" << c.value;
    EXPECT_EQ(settings.byteSize, c.expected.byteSize) << c.name << "=" << c.value;
    EXPECT_EQ(settings.parity, c.expected.parity) << c.name << "=" << c.value;
    EXPECT_EQ(settings.stopBits, c.expected.stopBits) << c.name << "=" << c.value;
  }
  SerialSettings settings;
  ApplySettingRow(settings, "parity", "even");
  ApplySettingRow(settings, "parity", "odd and more");
  EXPECT_EQ(settings.parity, 2);  // an unknown value leaves the previous one
}

TEST(ResultQueue, AppendsWhileTheHeadIsRemovedAreKept) {
  ResultQueue queue;
  constexpr int kBatches = 2000;
  std::atomic<bool> producing{true};
  std::thread producer([&] {
    for (int i = 0; i < kBatches; ++i) {
      SampleList samples;
      samples.emplace_back(i);
      queue.Append(std::move(samples));
    }
    producing = false;
  });
  std::vector<int> seen;
  while (producing || !queue.Empty()) {
    if (ResultBatch* head = queue.Head()) {
      seen.push_back(head->samples.head()->requestId);
      queue.RemoveHead();
    }
  }
  producer.join();
  ASSERT_EQ(seen.size(), static_cast<size_t>(kBatches));
  for (int i = 0; i < kBatches; ++i) ASSERT_EQ(seen[static_cast<size_t>(i)], i);
}

}  // namespace
}  // namespace strivex
