#include "port_io_tcp.h"

#include "common/log.h"
#include "thread_id.h"

namespace virk {
namespace {

// Draining stops after this much even if a peer keeps sending.
constexpr int kMaxDiscardRounds = 10000;

}  // namespace

CPortIO_TCP::CPortIO_TCP(const CPortIO_Data_TCP& data)
    : CPortIO(kPortTcp), CPortIO_Data_TCP(data) {}

bool CPortIO_TCP::PortInit(uint32_t timeoutMs) {
  SetExchangeTimeout(timeoutMs);
  m_Client.Close();
  SetInitialised(true);
  return true;
}

void CPortIO_TCP::PortDeInit() {
  m_Client.Close();
  SetInitialised(false);
}

bool CPortIO_TCP::ConnectOnDemand() {
  m_Client.SetTimeout(CapWait(m_ConnectTimeout));
  m_Client.SetAddress(m_IpAddress, m_Port);
  m_Client.Reopen();
  // The address is in network order: its lowest byte is the first part.
  LogFormat(LogLevel::Debug, kLogUserland, "%d: CChannel::CheckConnect() TRY Connect %d.%d.%d.%d:%d\n",
            CurrentThreadId(), int(m_IpAddress & 0xFF), int((m_IpAddress >> 8) & 0xFF),
            int((m_IpAddress >> 16) & 0xFF), int(m_IpAddress >> 24), int(m_Port));
  const bool connected =
      m_Client.Connect(true, true, CTCPExchange::kUseStoredTimeout) == TransportResult::kOk;
  LogFormat(LogLevel::Debug, kLogUserland, "%d: Connect %d\n", CurrentThreadId(), connected ? 1 : 0);
  if (!connected) m_Client.Close();
  return m_Client.IsOpen();
}

TransportResult CPortIO_TCP::Write(const uint8_t* buffer, uint32_t* size) {
  PassKeepGoing();
  if (!m_Client.IsOpen() && !ConnectOnDemand()) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (buffer && size) return m_Client.Send(buffer, size, CapWait(ExchangeTimeout()));
  return TransportResult::kOk;
}

TransportResult CPortIO_TCP::DiscardInput() {
  if (!m_Client.IsOpen()) return TransportResult::kFailed;
  uint8_t scratch[100];
  for (int round = 0; round < kMaxDiscardRounds; ++round) {
    uint32_t size = sizeof scratch;
    if (m_Client.Receive(scratch, &size, 0) != TransportResult::kOk) break;
  }
  return TransportResult::kOk;
}

TransportResult CPortIO_TCP::Read(uint8_t* buffer, uint32_t* size) {
  if (!m_Client.IsOpen() || !buffer || !size) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  m_Client.SetTimeout(CapWait(ExchangeTimeout()));
  PassKeepGoing();
  return m_Client.Receive(buffer, size, CTCPExchange::kUseStoredTimeout);
}

}  // namespace virk
