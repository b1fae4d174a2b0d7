// A TCP listener on 127.0.0.1 that a test drives by hand: accept, read,
// answer, close, or do nothing at all.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace virk::test {

class LoopbackListener {
 public:
  LoopbackListener() = default;
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // Listens on an ephemeral port; `backlog` as for listen().
  bool Start(int backlog = 8);
  uint16_t Port() const { return m_Port; }
  // Accepts one connection within the wait; its socket or -1.
  int Accept(int timeoutMs);
  void Close();
  // Connects without accepting until the queue is full, so that further
  // connection attempts hang (a backlog of 0 holds very few). False when
  // the queue never filled.
  bool FillQueue();

 private:
  int m_Socket = -1;
  uint16_t m_Port = 0;
  std::vector<int> m_Waiting;
};

// Reads up to `size` bytes within the wait; the count, 0 at end of stream, -1 on time-out.
int ReceiveSome(int socket, uint8_t* buffer, size_t size, int timeoutMs);
bool SendAll(int socket, const void* data, size_t size);
// A port on 127.0.0.1 on which nothing listens (bound once, then released).
uint16_t ClosedLoopbackPort();
// Whether 127.0.0.1:`port` can be bound now.
bool LoopbackPortIsFree(uint16_t port);
// 127.0.0.1 in the transports' form: first dotted part in the lowest byte.
constexpr uint32_t kLoopbackAddress = 0x0100007Fu;

}  // namespace virk::test
