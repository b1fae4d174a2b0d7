// A scriptable Modbus TCP slave on 127.0.0.1 for fault injection: it answers
// reads of holding registers (register i holds i) and single writes, or
// stays silent, answers with an exception, or closes the connection.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "loopback_listener.h"

namespace virk::test {

class FakeTcpSlave {
 public:
  enum class Behaviour { kAnswer, kSilent, kException, kCloseConnection };

  FakeTcpSlave() = default;
  ~FakeTcpSlave() { Stop(); }

  bool Start();
  void Stop();
  uint16_t Port() const { return m_Listener.Port(); }

  void SetBehaviour(Behaviour behaviour) { m_Behaviour = behaviour; }
  int Requests() const { return m_Requests.load(); }
  int Connections() const { return m_Connections.load(); }
  int Writes() const { return m_Writes.load(); }

 private:
  void Serve();
  // Answers every complete request in the buffer; false when the
  // connection is to be closed.
  bool HandleRequest(int peer, const uint8_t* request, size_t length);

  LoopbackListener m_Listener;
  std::thread m_Thread;
  std::atomic<bool> m_Stop{false};
  std::atomic<Behaviour> m_Behaviour{Behaviour::kAnswer};
  std::atomic<int> m_Requests{0};
  std::atomic<int> m_Connections{0};
  std::atomic<int> m_Writes{0};
};

}  // namespace virk::test
