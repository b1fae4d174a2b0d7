// The serial transport on one end of a socat pseudo-terminal pair, with the
// test playing the device on the other end.
#include <fcntl.h>
#include <linux/tty.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "com_path.h"
#include "log_capture.h"
#include "port_io_com.h"
#include "socat_pair.h"

namespace virk {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

long ElapsedMs(Clock::time_point since) {
  return long(std::chrono::duration_cast<milliseconds>(Clock::now() - since).count());
}

class SerialPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_Pair.Start());
    setenv(kComTemplateVariable, m_Pair.ComTemplateForEndA().c_str(), 1);
    m_Data.m_PortNumber = 1;
  }
  void TearDown() override {
    if (m_Device >= 0) close(m_Device);
    unsetenv(kComTemplateVariable);
  }
  // The device's end of the line.
  int Device() {
    if (m_Device < 0) m_Device = open(m_Pair.EndB().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    return m_Device;
  }
  void DeviceSends(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(write(Device(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
  }
  std::vector<uint8_t> DeviceReceives(size_t count, int timeoutMs = 2000) {
    std::vector<uint8_t> bytes;
    const auto start = Clock::now();
    while (bytes.size() < count && ElapsedMs(start) < timeoutMs) {
      pollfd waiter{Device(), POLLIN, 0};
      if (poll(&waiter, 1, 50) <= 0) continue;
      uint8_t chunk[256];
      const ssize_t n = read(Device(), chunk, sizeof chunk);
      if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  test::SocatPair m_Pair;
  CPortIO_Data_COM m_Data;
  int m_Device = -1;
};

TEST_F(SerialPort, RequestGoesOutAndFrameComesBack) {
  CPortIO_COM port(m_Data);
  ASSERT_TRUE(port.PortInit(1000));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_TRUE(port.IsInitialised());
  EXPECT_EQ(port.PortState(), kPortStateInitialised);

  const std::vector<uint8_t> request = {0x01, 0x03, 0x00, 0x00, 0x00, 0x02, 0xC4, 0x0B};
  uint32_t size = uint32_t(request.size());
  ASSERT_TRUE(Device() >= 0);
  EXPECT_EQ(port.Write(request.data(), &size), TransportResult::kOk);
  EXPECT_EQ(size, request.size());
  EXPECT_EQ(DeviceReceives(request.size()), request);

  // A frame shorter than asked for ends at the inter-character time-out, far
  // sooner than the exchange time-out.
  DeviceSends({0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x0B, 0xAA, 0xBB});
  uint8_t buffer[512];
  size = sizeof buffer;
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kOk);
  EXPECT_LT(ElapsedMs(start), 500);
  ASSERT_EQ(size, 9u);
  EXPECT_EQ(buffer[2], 0x04);
  EXPECT_EQ(buffer[8], 0xBB);
  EXPECT_EQ(port.PortState(), kPortStateDone);
  port.PortDeInit();
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPort, ReadEndsWhenTheLineGoesQuietNotBefore) {
  // At 300 baud the line must be quiet for 300 ms: a 60 ms gap keeps the
  // read going, a 700 ms gap ends it.
  m_Data.m_BaudRate = 300;
  CPortIO_COM port(m_Data);
  ASSERT_TRUE(port.PortInit(3000));
  ASSERT_EQ(port.InterCharTimeoutMs(), 300u);
  ASSERT_GE(Device(), 0);

  std::thread device([this] {
    DeviceSends({1, 2, 3});
    std::this_thread::sleep_for(milliseconds(60));
    DeviceSends({4, 5});
    std::this_thread::sleep_for(milliseconds(700));
    DeviceSends({6});
  });
  uint8_t buffer[64];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kOk);
  EXPECT_EQ(size, 5u);
  size = sizeof buffer;
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kOk);
  EXPECT_EQ(size, 1u);
  EXPECT_EQ(buffer[0], 6);
  device.join();
}

TEST_F(SerialPort, ReadOfExactlyTheAskedCountReturnsAtOnce) {
  m_Data.m_BaudRate = 300;  // 300 ms of silence would be needed otherwise
  CPortIO_COM port(m_Data);
  ASSERT_TRUE(port.PortInit(3000));
  DeviceSends({9, 8, 7, 6});
  uint8_t buffer[4];
  uint32_t size = sizeof buffer;
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kOk);
  EXPECT_EQ(size, 4u);
  EXPECT_LT(ElapsedMs(start), 250);
}

TEST_F(SerialPort, SilenceIsATimeOutAndPurgeDropsStaleInput) {
  CPortIO_COM port(m_Data);
  ASSERT_TRUE(port.PortInit(150));
  uint8_t buffer[32];
  uint32_t size = sizeof buffer;
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kFailed);
  EXPECT_GE(ElapsedMs(start), 140);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(port.PortState(), kPortStateReadTimeout);
  EXPECT_TRUE(port.IsAvailable());

  DeviceSends({0xDE, 0xAD});
  std::this_thread::sleep_for(milliseconds(50));
  EXPECT_EQ(port.DiscardInput(), TransportResult::kOk);
  EXPECT_EQ(port.PortState(), kPortStateDone);
  size = sizeof buffer;
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kFailed);
  EXPECT_EQ(size, 0u);
}

TEST_F(SerialPort, OpenIsExclusiveAndAMissingDeviceIsRetried) {
  CPortIO_COM first(m_Data), second(m_Data);
  ASSERT_TRUE(first.PortInit(100));
  EXPECT_FALSE(second.PortInit(100));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.PortState(), kPortStateInitialised);
  first.PortDeInit();
  EXPECT_TRUE(second.PortInit(100));

  m_Data.m_PortNumber = 2;  // no such end
  CPortIO_COM missing(m_Data);
  test::LogCapture log;
  EXPECT_FALSE(missing.PortInit(100));
  EXPECT_EQ(log.Count("CPortIO_COM::PortInit: open"), 1u);
  EXPECT_EQ(log.Count("failed: errno 2"), 1u);  // ENOENT
  // The operator is told once per run of failed opens, with the reason.
  EXPECT_FALSE(missing.PortInit(100));
  std::vector<std::string> told;
  for (const auto& record : log.Records())
    if (record.level >= LogLevel::Warning) told.push_back(record.text);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("COM2 (" + ComDevicePath(2) + "): the device cannot be opened (No such file or directory)"),
            std::string::npos)
      << told[0];
  const std::string secondEnd = m_Pair.Folder() + "/tty2";
  ASSERT_EQ(symlink(m_Pair.EndB().c_str(), secondEnd.c_str()), 0);
  EXPECT_TRUE(missing.PortInit(100));
  EXPECT_TRUE(missing.IsOpen());
  missing.PortDeInit();
  unlink(secondEnd.c_str());
}

TEST_F(SerialPort, LineSettingsTheDeviceRefusesFailTheOpenAndAreToldOnce) {
  // Under the null line discipline the pty opens as usual but the kernel
  // refuses every termios call, as a port taken by another discipline does.
  const int holder = open(m_Pair.EndA().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  int discipline = N_NULL;
  if (ioctl(holder, TIOCSETD, &discipline) != 0) {
    const int error = errno;
    close(holder);
    GTEST_SKIP() << "no null line discipline here: " << std::strerror(error);
  }
  CPortIO_COM port(m_Data);
  test::LogCapture log;
  EXPECT_FALSE(port.PortInit(100));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.IsInitialised());
  EXPECT_EQ(port.PortState(), kPortStateInitialised);
  EXPECT_FALSE(port.PortInit(100));  // the channel retries many times a second
  const std::string device = ComDevicePath(m_Data.m_PortNumber);
  std::vector<std::string> told;
  for (const auto& record : log.Records())
    if (record.level >= LogLevel::Warning) told.push_back(record.text);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_NE(told[0].find("COM1"), std::string::npos) << told[0];
  EXPECT_NE(told[0].find(device), std::string::npos) << told[0];
  EXPECT_NE(told[0].find("baud=9600 data=8 parity=N stop=1"), std::string::npos) << told[0];
  EXPECT_EQ(log.Count("CPortIO_COM::SetConfig(): tcsetattr"), 2u);

  // The refused open left no lock behind: once the line takes settings
  // again the same port opens, and a later refusal is told again.
  discipline = N_TTY;
  ASSERT_EQ(ioctl(holder, TIOCSETD, &discipline), 0);
  EXPECT_TRUE(port.PortInit(100));
  port.PortDeInit();
  discipline = N_NULL;
  ASSERT_EQ(ioctl(holder, TIOCSETD, &discipline), 0);
  log.Clear();
  EXPECT_FALSE(port.PortInit(100));
  EXPECT_EQ(log.Count(device), 1u);
  close(holder);
}

TEST_F(SerialPort, DeviceThatGoesAwayIsAccessDenied) {
  CPortIO_COM port(m_Data);
  ASSERT_TRUE(port.PortInit(1000));
  test::LogCapture log;
  m_Pair.Stop();
  uint8_t buffer[16];
  uint32_t size = sizeof buffer;
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kFailed);
  EXPECT_LT(ElapsedMs(start), 900);  // not a time-out
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(port.PortState(), kPortStateAccessDenied);
  EXPECT_FALSE(port.IsAvailable());
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(log.Count("CPortIO_COM::Read COM1: the device is gone"), 1u);
  // Reopening finds no device until it is back.
  EXPECT_FALSE(port.ReInit());
  EXPECT_FALSE(port.IsOpen());
  ASSERT_TRUE(m_Pair.Start());
  EXPECT_TRUE(port.ReInit());
  EXPECT_TRUE(port.IsAvailable());
}

TEST_F(SerialPort, WriteStopsAtItsLimitWhenTheLineIsStuck) {
  CPortIO_COM port(m_Data);
  ASSERT_TRUE(port.PortInit(100));
  ASSERT_GE(Device(), 0);  // the other end is open but never reads
  std::vector<uint8_t> flood(4 << 20, 0x55);
  uint32_t size = uint32_t(flood.size());
  const auto start = Clock::now();
  EXPECT_EQ(port.Write(flood.data(), &size), TransportResult::kWriteTimeout);
  const long elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 950);
  EXPECT_LT(elapsed, 3000);
  EXPECT_LT(size, flood.size());
  EXPECT_EQ(port.PortState(), kPortStateWriteTimeout);
}

TEST_F(SerialPort, ControlModesLinuxCannotDoAreLoggedOnceAndDoNotStopWrites) {
  m_Data.m_RtsControl = 3;  // RS-485 direction: no kernel support on a pty
  m_Data.m_DtrControl = 2;  // DTR handshake: not available on Linux
  CPortIO_COM port(m_Data);
  test::LogCapture log;
  ASSERT_TRUE(port.PortInit(100));
  port.PortDeInit();
  ASSERT_TRUE(port.PortInit(100));
  size_t warnings = 0;
  for (const auto& record : log.Records())
    if (record.level == LogLevel::Warning) ++warnings;
  EXPECT_EQ(warnings, 1u);
  EXPECT_EQ(log.Count("DTR control mode 2"), 1u);

  const std::vector<uint8_t> frame = {0x11, 0x22, 0x33};
  uint32_t size = 3;
  EXPECT_EQ(port.Write(frame.data(), &size), TransportResult::kOk);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(DeviceReceives(3), frame);
}

}  // namespace
}  // namespace virk
