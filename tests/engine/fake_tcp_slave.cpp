#include "fake_tcp_slave.h"

#include <unistd.h>

#include <chrono>

namespace virk::test {
namespace {

uint16_t Crc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

uint16_t Word(const uint8_t* at) { return uint16_t((at[0] << 8) | at[1]); }

}  // namespace

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

size_t FakeTcpSlave::RequestLength(const std::vector<uint8_t>& pending) const {
  if (!m_Rtu) {
    // Modbus TCP: 6 header bytes, the length field counts what follows.
    if (pending.size() < 6) return 0;
    const size_t frame = 6 + size_t(Word(&pending[4]));
    return pending.size() >= frame ? frame : 0;
  }
  // RTU: unit, function, four bytes, CRC; multiple writes add a byte count and data.
  if (pending.size() < 8) return 0;
  const uint8_t function = pending[1];
  const size_t frame = (function == 15 || function == 16) ? 9 + size_t(pending[6]) : 8;
  return pending.size() >= frame ? frame : 0;
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
      for (size_t frame = RequestLength(pending); open && frame; frame = RequestLength(pending)) {
        open = HandleRequest(peer, pending.data(), frame);
        pending.erase(pending.begin(), pending.begin() + long(frame));
      }
    }
    close(peer);
  }
}

std::vector<uint8_t> FakeTcpSlave::AnswerPdu(const uint8_t* pdu, size_t length) {
  const uint8_t function = pdu[1];
  std::vector<uint8_t> answer(pdu, pdu + 2);  // unit, function
  if (m_Behaviour == Behaviour::kException) {
    answer[1] = uint8_t(function | 0x80);
    answer.push_back(0x02);  // illegal data address
  } else if (function == 3 && length >= 6) {
    const uint16_t start = Word(pdu + 2);
    const uint16_t count = Word(pdu + 4);
    answer.push_back(uint8_t(count * 2));
    for (uint16_t i = 0; i < count; ++i) {
      answer.push_back(uint8_t((start + i) >> 8));
      answer.push_back(uint8_t(start + i));
    }
  } else if ((function == 5 || function == 6 || function == 15 || function == 16) && length >= 6) {
    ++m_Writes;
    answer.insert(answer.end(), pdu + 2, pdu + 6);  // echo of address and value or count
  } else {
    answer[1] = uint8_t(function | 0x80);
    answer.push_back(0x01);  // illegal function
  }
  if (m_Behaviour == Behaviour::kWrongUnit) answer[0] = uint8_t(answer[0] + 1);
  if (m_Behaviour == Behaviour::kWrongFunction) answer[1] = uint8_t(answer[1] == 3 ? 4 : 3);
  return answer;
}

void FakeTcpSlave::RecordWrites(const uint8_t* pdu, size_t length) {
  if (length < 6 || (pdu[1] != 6 && pdu[1] != 16)) return;
  std::lock_guard<std::mutex> lock(m_WrittenLock);
  const auto now = std::chrono::steady_clock::now();
  if (pdu[1] == 6) m_Written.emplace(Word(pdu + 4), now);
  for (size_t at = 7; pdu[1] == 16 && at + 1 < length; at += 2) m_Written.emplace(Word(pdu + at), now);
}

bool FakeTcpSlave::WrittenAfter(uint16_t value, std::chrono::steady_clock::time_point time) {
  std::lock_guard<std::mutex> lock(m_WrittenLock);
  const auto [begin, end] = m_Written.equal_range(value);
  for (auto it = begin; it != end; ++it)
    if (it->second > time) return true;
  return false;
}

bool FakeTcpSlave::HandleRequest(int peer, const uint8_t* request, size_t length) {
  ++m_Requests;
  const Behaviour behaviour = m_Behaviour;
  const size_t unitAt = m_Rtu ? 0 : 6;
  if (behaviour == Behaviour::kSilent || (length > unitAt && request[unitAt] == m_SilentUnit)) return true;
  if (behaviour == Behaviour::kCloseConnection) return false;
  if (behaviour == Behaviour::kLate)
    std::this_thread::sleep_for(std::chrono::milliseconds(kLateMs));

  const size_t header = m_Rtu ? 0 : 6;
  RecordWrites(request + header, length - header - (m_Rtu ? 2 : 0));
  std::vector<uint8_t> frame(request, request + header);
  const std::vector<uint8_t> pdu = AnswerPdu(request + header, length - header - (m_Rtu ? 2 : 0));
  frame.insert(frame.end(), pdu.begin(), pdu.end());
  if (m_Rtu) {
    const uint16_t crc = Crc16(frame.data(), frame.size());
    frame.push_back(uint8_t(crc));
    frame.push_back(uint8_t(crc >> 8));
    if (behaviour == Behaviour::kBadChecksum) frame.back() ^= 0x5A;
  } else {
    frame[4] = uint8_t(pdu.size() >> 8);
    frame[5] = uint8_t(pdu.size());
    if (behaviour == Behaviour::kWrongTransactionId) frame[1] = uint8_t(frame[1] + 1);
  }
  if (behaviour == Behaviour::kGarbage) frame.assign(frame.size(), 0xA5);
  if (behaviour == Behaviour::kTruncated) frame.resize(frame.size() - 2);
  return SendAll(peer, frame.data(), frame.size());
}

}  // namespace virk::test
