#include "fake_tcp_slave.h"

#include <unistd.h>

#include <vector>

namespace virk::test {

bool FakeTcpSlave::Start() {
  if (!m_Listener.Start()) return false;
  m_Stop = false;
  m_Thread = std::thread([this] { Serve(); });
  return true;
}

void FakeTcpSlave::Stop() {
  m_Stop = true;
  if (m_Thread.joinable()) m_Thread.join();
  m_Listener.Close();
}

void FakeTcpSlave::Serve() {
  while (!m_Stop) {
    const int peer = m_Listener.Accept(50);
    if (peer < 0) continue;
    ++m_Connections;
    std::vector<uint8_t> pending;
    bool open = true;
    while (open && !m_Stop) {
      uint8_t chunk[512];
      const int n = ReceiveSome(peer, chunk, sizeof chunk, 50);
      if (n == 0) break;  // the master closed
      if (n < 0) continue;
      pending.insert(pending.end(), chunk, chunk + n);
      // Modbus TCP: 6 header bytes, the length field counts what follows.
      while (open && pending.size() >= 6) {
        const size_t frame = 6 + size_t((pending[4] << 8) | pending[5]);
        if (pending.size() < frame) break;
        open = HandleRequest(peer, pending.data(), frame);
        pending.erase(pending.begin(), pending.begin() + long(frame));
      }
    }
    close(peer);
  }
}

bool FakeTcpSlave::HandleRequest(int peer, const uint8_t* request, size_t length) {
  ++m_Requests;
  const Behaviour behaviour = m_Behaviour;
  if (behaviour == Behaviour::kSilent) return true;
  if (behaviour == Behaviour::kCloseConnection) return false;
  if (length < 12) return true;
  const uint8_t function = request[7];
  std::vector<uint8_t> answer(request, request + 8);  // header, unit, function
  if (behaviour == Behaviour::kException) {
    answer[7] = uint8_t(function | 0x80);
    answer.push_back(0x02);  // illegal data address
  } else if (function == 3) {
    const uint16_t start = uint16_t((request[8] << 8) | request[9]);
    const uint16_t count = uint16_t((request[10] << 8) | request[11]);
    answer.push_back(uint8_t(count * 2));
    for (uint16_t i = 0; i < count; ++i) {
      answer.push_back(uint8_t((start + i) >> 8));
      answer.push_back(uint8_t(start + i));
    }
  } else if (function == 6 || function == 16) {
    ++m_Writes;
    answer.insert(answer.end(), request + 8, request + 12);  // echo
  } else {
    answer[7] = uint8_t(function | 0x80);
    answer.push_back(0x01);  // illegal function
  }
  const size_t follows = answer.size() - 6;
  answer[4] = uint8_t(follows >> 8);
  answer[5] = uint8_t(follows);
  return SendAll(peer, answer.data(), answer.size());
}

}  // namespace virk::test
