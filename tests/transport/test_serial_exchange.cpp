// The exchange rules of CPortIO_COM that both platforms share, over a
// scripted device: what it is asked in which order, and what its outcomes
// come to. What a pseudo-terminal cannot show: the order of RTS and the
// bytes, and drivers that end reads with nothing.
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "port_io_com.h"
#include "serial_device.h"

namespace virk {
namespace {

struct Script {
  std::vector<std::string> calls;
  // Per read: the outcome and how many bytes (0xAB each) it hands over.
  std::deque<std::pair<SerialOutcome, uint32_t>> reads;
  std::vector<int> readWaits;
  SerialOutcome write{SerialStatus::kOk, 0};
  SerialOutcome waitSent{SerialStatus::kOk, 0};
  bool rtsByHand = false;
};

class ScriptedDevice final : public SerialDevice {
 public:
  explicit ScriptedDevice(Script& script) : m_Script(script) {}
  int Open(const std::string&) override { return 0; }
  void Close() override {}
  int Configure(const CPortIO_Data_COM&, uint32_t, SerialLineControl& control) override {
    control.rtsByHand = m_Script.rtsByHand;
    return 0;
  }
  SerialOutcome Read(uint8_t* buffer, uint32_t size, int waitMs, const std::atomic<bool>*,
                     uint32_t& received) override {
    m_Script.readWaits.push_back(waitMs);
    if (m_Script.reads.empty()) return {SerialStatus::kTimedOut, 0};
    const auto [outcome, count] = m_Script.reads.front();
    m_Script.reads.pop_front();
    for (received = 0; received < count && received < size; ++received) buffer[received] = 0xAB;
    return outcome;
  }
  SerialOutcome Write(const uint8_t*, uint32_t size, const Deadline&, uint32_t& sent) override {
    m_Script.calls.push_back("write");
    if (m_Script.write.status == SerialStatus::kOk) sent = size;
    return m_Script.write;
  }
  SerialOutcome WaitSent(uint32_t, uint32_t) override {
    m_Script.calls.push_back("wait sent");
    return m_Script.waitSent;
  }
  void SetRts(bool on) override { m_Script.calls.push_back(on ? "rts on" : "rts off"); }
  void Purge(bool input, bool output) override {
    m_Script.calls.push_back(std::string("purge") + (input ? " in" : "") + (output ? " out" : ""));
  }

 private:
  Script& m_Script;
};

std::unique_ptr<CPortIO_COM> OpenPort(Script& script) {
  CPortIO_Data_COM data;  // 9600 baud: 10 ms between characters end a read
  auto port = std::make_unique<CPortIO_COM>(data, std::make_unique<ScriptedDevice>(script));
  EXPECT_TRUE(port->PortInit(1000));
  return port;
}

TransportResult WriteFrame(CPortIO_COM& port) {
  const uint8_t frame[3] = {1, 2, 3};
  uint32_t size = sizeof frame;
  return port.Write(frame, &size);
}

TEST(SerialExchange, RtsByHandFramesTheWriteAndIsDroppedWhateverItEndsWith) {
  Script script;
  script.rtsByHand = true;
  auto port = OpenPort(script);
  EXPECT_EQ(WriteFrame(*port), TransportResult::kOk);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"rts on", "write", "wait sent", "rts off"}));

  // The line did not empty in time: a write time-out, the rest dropped.
  script.calls.clear();
  script.waitSent = {SerialStatus::kTimedOut, 1};
  EXPECT_EQ(WriteFrame(*port), TransportResult::kWriteTimeout);
  EXPECT_EQ(port->PortState(), kPortStateWriteTimeout);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"rts on", "write", "wait sent", "rts off", "purge out"}));

  // A device gone: no wait for the line, and the port is unavailable.
  script.calls.clear();
  script.write = {SerialStatus::kGone, 1};
  EXPECT_EQ(WriteFrame(*port), TransportResult::kFailed);
  EXPECT_EQ(script.calls, (std::vector<std::string>{"rts on", "write", "rts off"}));
  EXPECT_FALSE(port->IsAvailable());

  // Where the driver switches RTS, the writer leaves it alone.
  Script driven;
  auto other = OpenPort(driven);
  EXPECT_EQ(WriteFrame(*other), TransportResult::kOk);
  EXPECT_EQ(driven.calls, (std::vector<std::string>{"write"}));
}

TEST(SerialExchange, EmptyReadsAreRepeatedAndAfterTheFirstByteOnlyTheGapIsWaited) {
  Script script;
  const SerialOutcome ok{SerialStatus::kOk, 0};
  script.reads = {{ok, 0}, {ok, 0}, {ok, 2}, {ok, 3}, {{SerialStatus::kTimedOut, 0}, 0}};
  auto port = OpenPort(script);
  uint8_t buffer[16];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(port->Read(buffer, &size), TransportResult::kOk);
  EXPECT_EQ(size, 5u);
  ASSERT_EQ(script.readWaits.size(), 5u);
  EXPECT_GT(script.readWaits[2], 900);  // still waiting for the first byte
  EXPECT_EQ(script.readWaits[3], 10);
  EXPECT_EQ(script.readWaits[4], 10);

  // Bytes, then the device is gone: they are handed over, the read fails.
  script.reads = {{ok, 4}, {{SerialStatus::kGone, 5}, 1}};
  size = sizeof buffer;
  EXPECT_EQ(port->Read(buffer, &size), TransportResult::kFailed);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(port->PortState(), kPortStateAccessDenied);
}

}  // namespace
}  // namespace virk
