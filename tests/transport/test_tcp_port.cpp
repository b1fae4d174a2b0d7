// The TCP transport against a listener the test drives by hand and against
// a pymodbus slave.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "log_capture.h"
#include "loopback_listener.h"
#include "port_io_tcp.h"
#include "pymodbus_slave.h"

namespace virk {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
  return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

CPortIO_Data_TCP LoopbackData(uint16_t port, uint32_t connectTimeout = 2000) {
  CPortIO_Data_TCP data;
  data.m_IpAddress = test::kLoopbackAddress;
  data.m_Port = port;
  data.m_ConnectTimeout = connectTimeout;
  return data;
}

class TcpPort : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_Listener.Start()); }
  void TearDown() override {
    for (int peer : m_Peers) close(peer);
  }
  int AcceptPeer() {
    const int peer = m_Listener.Accept(2000);
    if (peer >= 0) m_Peers.push_back(peer);
    return peer;
  }
  TransportResult Send(CPortIO& port, const std::vector<uint8_t>& bytes) {
    uint32_t size = uint32_t(bytes.size());
    return port.Write(bytes.data(), &size);
  }

  test::LoopbackListener m_Listener;
  std::vector<int> m_Peers;
};

TEST_F(TcpPort, FirstWriteConnectsAndTheAnswerIsRead) {
  CPortIO_TCP port(LoopbackData(m_Listener.Port()));
  test::LogCapture log;
  ASSERT_TRUE(port.PortInit(1000));
  EXPECT_TRUE(port.IsInitialised());
  EXPECT_FALSE(port.IsOpen());  // no connection before the first write
  EXPECT_TRUE(port.IsAvailable());

  EXPECT_EQ(Send(port, {1, 2, 3, 4}), TransportResult::kOk);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(log.Count("CChannel::CheckConnect() TRY Connect 127.0.0.1:" +
                      std::to_string(m_Listener.Port())),
            1u);
  EXPECT_EQ(log.Count(": Connect 1"), 1u);
  const int peer = AcceptPeer();
  ASSERT_GE(peer, 0);
  uint8_t received[16];
  ASSERT_EQ(test::ReceiveSome(peer, received, sizeof received, 2000), 4);
  EXPECT_EQ(received[3], 4);

  ASSERT_TRUE(test::SendAll(peer, "\x0A\x0B\x0C", 3));
  uint8_t buffer[512];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kOk);
  ASSERT_EQ(size, 3u);
  EXPECT_EQ(buffer[2], 0x0C);

  port.PortDeInit();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.IsInitialised());
  ASSERT_TRUE(port.PortInit(100));
  EXPECT_FALSE(port.IsOpen());  // PortInit dropped the connection
}

TEST_F(TcpPort, SilenceTimesOutAndKeepsTheConnection) {
  CPortIO_TCP port(LoopbackData(m_Listener.Port()));
  ASSERT_TRUE(port.PortInit(120));
  ASSERT_EQ(Send(port, {7}), TransportResult::kOk);
  ASSERT_GE(AcceptPeer(), 0);
  uint8_t buffer[8];
  uint32_t size = sizeof buffer;
  const auto start = Clock::now();
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kTimeout);
  EXPECT_GE(ElapsedMs(start), 110);
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(port.IsOpen());
}

TEST_F(TcpPort, PeerCloseClosesTheSocketAndTheNextWriteReconnects) {
  CPortIO_TCP port(LoopbackData(m_Listener.Port()));
  ASSERT_TRUE(port.PortInit(1000));
  ASSERT_EQ(Send(port, {1}), TransportResult::kOk);
  const int peer = AcceptPeer();
  ASSERT_GE(peer, 0);
  close(peer);
  m_Peers.clear();

  uint8_t buffer[8];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kFailed);
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(port.IsOpen());

  EXPECT_EQ(Send(port, {2}), TransportResult::kOk);
  EXPECT_TRUE(port.IsOpen());
  const int second = AcceptPeer();
  ASSERT_GE(second, 0);
  ASSERT_EQ(test::ReceiveSome(second, buffer, sizeof buffer, 2000), 1);
  EXPECT_EQ(buffer[0], 2);
}

TEST_F(TcpPort, DiscardDrainsQueuedInputWithoutWaiting) {
  CPortIO_TCP port(LoopbackData(m_Listener.Port()));
  ASSERT_TRUE(port.PortInit(2000));
  ASSERT_EQ(Send(port, {1}), TransportResult::kOk);
  const int peer = AcceptPeer();
  ASSERT_GE(peer, 0);
  const std::vector<uint8_t> stale(1500, 0x77);
  ASSERT_TRUE(test::SendAll(peer, stale.data(), stale.size()));
  usleep(50 * 1000);

  const auto start = Clock::now();
  EXPECT_EQ(port.DiscardInput(), TransportResult::kOk);
  EXPECT_LT(ElapsedMs(start), 1000);  // far below the 2 s exchange time-out
  EXPECT_TRUE(port.IsOpen());

  ASSERT_TRUE(test::SendAll(peer, "\x42", 1));
  uint8_t buffer[2000];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(port.Read(buffer, &size), TransportResult::kOk);
  ASSERT_EQ(size, 1u);  // nothing of the stale bytes is left
  EXPECT_EQ(buffer[0], 0x42);
}

TEST(TcpConnect, RefusedConnectionFailsAtOnceAndIsRetried) {
  CPortIO_TCP port(LoopbackData(test::ClosedLoopbackPort(), 3000));
  test::LogCapture log;
  ASSERT_TRUE(port.PortInit(500));
  const uint8_t frame[2] = {1, 2};
  uint32_t size = sizeof frame;
  const auto start = Clock::now();
  EXPECT_EQ(port.Write(frame, &size), TransportResult::kFailed);
  EXPECT_LT(ElapsedMs(start), 2000);  // refused, not waited out
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(log.Count("Connect error 111"), 1u);  // ECONNREFUSED
  EXPECT_EQ(log.Count(": Connect 0"), 1u);
  size = sizeof frame;
  EXPECT_EQ(port.Write(frame, &size), TransportResult::kFailed);
  EXPECT_EQ(log.Count("TRY Connect"), 2u);
}

TEST(TcpConnect, ConnectionNotAcceptedInTimeIsATimeOut) {
  test::LoopbackListener listener;
  ASSERT_TRUE(listener.Start(0));
  ASSERT_TRUE(listener.FillQueue());
  CPortIO_TCP port(LoopbackData(listener.Port(), 300));
  ASSERT_TRUE(port.PortInit(100));
  const uint8_t frame[1] = {0};
  uint32_t size = 1;
  const auto start = Clock::now();
  EXPECT_EQ(port.Write(frame, &size), TransportResult::kFailed);
  EXPECT_GE(ElapsedMs(start), 280);
  EXPECT_FALSE(port.IsOpen());
}

TEST(TcpConnect, AStopCutsAConnectWaitShort) {
  test::LoopbackListener listener;
  ASSERT_TRUE(listener.Start(0));
  ASSERT_TRUE(listener.FillQueue());

  CPortIO_TCP port(LoopbackData(listener.Port(), 10000));
  std::atomic<bool> running{true};
  port.SetKeepGoing(&running);
  ASSERT_TRUE(port.PortInit(500));
  std::thread stopper([&running] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    running = false;
  });
  const uint8_t frame[1] = {0};
  uint32_t size = 1;
  const auto start = Clock::now();
  EXPECT_EQ(port.Write(frame, &size), TransportResult::kFailed);
  EXPECT_LT(ElapsedMs(start), 2000);  // not the 10 s connect time-out
  EXPECT_GE(ElapsedMs(start), 150);
  stopper.join();
}

TEST(TcpPymodbus, ReadsHoldingRegistersFromAPymodbusSlave) {
  test::PymodbusSlave slave;
  ASSERT_TRUE(slave.StartTcp());
  CPortIO_TCP port(LoopbackData(slave.Port()));
  ASSERT_TRUE(port.PortInit(2000));
  // Modbus TCP: transaction 0x1234, unit 1, read 3 holding registers from 10.
  const std::vector<uint8_t> request = {0x12, 0x34, 0, 0, 0, 6, 1, 3, 0, 10, 0, 3};
  uint32_t size = uint32_t(request.size());
  ASSERT_EQ(port.Write(request.data(), &size), TransportResult::kOk);
  std::vector<uint8_t> answer;
  uint8_t buffer[512];
  for (int chunk = 0; chunk < 10 && answer.size() < 15; ++chunk) {
    size = sizeof buffer;
    if (port.Read(buffer, &size) != TransportResult::kOk) break;
    answer.insert(answer.end(), buffer, buffer + size);
  }
  const std::vector<uint8_t> expected = {0x12, 0x34, 0, 0, 0, 9, 1, 3, 6, 0, 10, 0, 11, 0, 12};
  EXPECT_EQ(answer, expected);
  slave.Stop();
}

}  // namespace
}  // namespace virk
