// A scriptable Modbus slave on 127.0.0.1 for fault injection, speaking
// Modbus TCP or RTU over TCP. Register i holds i; it answers reads of
// holding registers and writes (5, 6, 15, 16), or misbehaves as told.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "loopback_listener.h"

namespace virk::test {

class FakeTcpSlave {
 public:
  enum class Behaviour {
    kAnswer,
    kSilent,
    kException,
    kCloseConnection,
    kGarbage,
    kBadChecksum,  // RTU only
    kWrongUnit,
    kWrongFunction,
    kWrongTransactionId,  // Modbus TCP only
    kTruncated,
    kLate,  // answers after kLateMs
  };
  static constexpr int kLateMs = 300;

  explicit FakeTcpSlave(bool rtu = false) : m_Rtu(rtu) {}
  ~FakeTcpSlave() { Stop(); }

  bool Start();
  void Stop();
  uint16_t Port() const { return m_Listener.Port(); }

  void SetBehaviour(Behaviour behaviour) { m_Behaviour = behaviour; }
  // Requests to this unit go unanswered whatever the behaviour; -1: none.
  void SetSilentUnit(int unit) { m_SilentUnit = unit; }
  int Requests() const { return m_Requests.load(); }
  int Connections() const { return m_Connections.load(); }
  int Writes() const { return m_Writes.load(); }
  // Whether a write of register value `value` reached the slave after `time`.
  bool WrittenAfter(uint16_t value, std::chrono::steady_clock::time_point time);

 private:
  void Serve();
  // Length of the first complete request in `pending`, 0 while incomplete.
  size_t RequestLength(const std::vector<uint8_t>& pending) const;
  // False when the connection is to be closed.
  bool HandleRequest(int peer, const uint8_t* request, size_t length);
  // The answer PDU (unit address first) to a request PDU.
  std::vector<uint8_t> AnswerPdu(const uint8_t* pdu, size_t length);
  // Notes the register values a write request carries, with the time.
  void RecordWrites(const uint8_t* pdu, size_t length);

  const bool m_Rtu;
  LoopbackListener m_Listener;
  std::thread m_Thread;
  std::atomic<bool> m_Stop{false};
  std::atomic<Behaviour> m_Behaviour{Behaviour::kAnswer};
  std::atomic<int> m_SilentUnit{-1};
  std::atomic<int> m_Requests{0};
  std::atomic<int> m_Connections{0};
  std::atomic<int> m_Writes{0};
  std::mutex m_WrittenLock;
  std::multimap<uint16_t, std::chrono::steady_clock::time_point> m_Written;
};

}  // namespace virk::test
