// Device naming, the inter-character table and the transport factory.
#include <gtest/gtest.h>

#include "com_path.h"
#include "common/settings.h"
#include "port_io.h"
#include "port_io_com.h"
#include "port_io_tcp.h"
#include "serial_line.h"

namespace virk {
namespace {

TEST(ComPath, DefaultNamesAndTemplates) {
  EXPECT_EQ(ComDevicePathFrom(nullptr, 1), "/dev/ttyS0");
  EXPECT_EQ(ComDevicePathFrom("", 12), "/dev/ttyS11");
  EXPECT_EQ(ComDevicePathFrom(nullptr, 0), "");  // there is no COM0
  EXPECT_EQ(ComDevicePathFrom("/dev/ttyUSB%d", 3), "/dev/ttyUSB3");
  EXPECT_EQ(ComDevicePathFrom("/dev/fixed", 3), "/dev/fixed");
  // Only the first %d is the number; other % sequences are plain text.
  EXPECT_EQ(ComDevicePathFrom("/tmp/%s%n/%d/%d", 7), "/tmp/%s%n/7/%d");
}

TEST(SerialLine, InterCharacterTimeoutByBaudRate) {
  const std::pair<uint32_t, uint32_t> table[] = {
      {300, 300}, {600, 160},   {1200, 40},  {2400, 20},   {4800, 10},   {9600, 10},
      {19200, 5}, {38400, 5},   {57600, 5},  {115200, 5},  {128000, 2},  {256000, 2},
      {14400, 300}, {56000, 300}, {230400, 300}, {0, 300},
  };
  for (const auto& [baud, ms] : table) EXPECT_EQ(serial::InterCharTimeoutMs(baud), ms) << baud;
}

TEST(SerialLine, ModeTextNamesParityByLetter) {
  CPortIO_Data_COM data;
  const char* expected[] = {"N", "O", "E", "M", "S", "N"};
  for (uint8_t parity = 0; parity < 6; ++parity) {
    data.m_Parity = parity;
    EXPECT_EQ(serial::ModeText(data),
              std::string("baud=9600 data=8 parity=") + expected[parity] + " stop=1");
  }
}

TEST(PortFactory, TransportFollowsChannelType) {
  ChannelSettings settings;
  settings.SetChannelType(kChannelCom);
  auto com = CreatePortIO(settings);
  ASSERT_TRUE(com);
  EXPECT_EQ(com->PortType(), kPortSerial);

  settings.SetChannelType(kChannelTcp);
  auto tcp = CreatePortIO(settings);
  ASSERT_TRUE(tcp);
  EXPECT_EQ(tcp->PortType(), kPortTcp);

  settings.m_ChannelType = 7;
  EXPECT_EQ(CreatePortIO(settings), nullptr);
}

TEST(PortFactory, PortsWithoutLinkFailEveryOperation) {
  CPortIO_Data_COM data;
  CPortIO_COM com(data);
  CPortIO_TCP tcp{CPortIO_Data_TCP()};
  for (CPortIO* port : {static_cast<CPortIO*>(&com), static_cast<CPortIO*>(&tcp)}) {
    uint8_t buffer[8] = {};
    uint32_t size = sizeof buffer;
    EXPECT_EQ(port->Read(buffer, &size), TransportResult::kFailed);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_FALSE(port->IsInitialised());
  }
  // A serial port that is not open sends nothing and says so.
  uint8_t frame[4] = {1, 2, 3, 4};
  uint32_t size = sizeof frame;
  EXPECT_EQ(com.Write(frame, &size), TransportResult::kFailed);
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace virk
