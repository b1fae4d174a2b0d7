// TCP transport: one connection to a device or gateway, made on demand by
// the first write after it was closed.
#pragma once

#include "common/settings.h"
#include "port_io.h"
#include "tcp_exchange.h"

namespace virk {

class CPortIO_TCP : public CPortIO, public CPortIO_Data_TCP {
 public:
  explicit CPortIO_TCP(const CPortIO_Data_TCP& data = CPortIO_Data_TCP());

  // Forgets any connection; the next Write connects.
  bool PortInit(uint32_t timeoutMs) override;
  void PortDeInit() override;
  bool IsOpen() const override { return m_Client.IsOpen(); }
  bool IsAvailable() const override { return true; }
  TransportResult Read(uint8_t* buffer, uint32_t* size) override;
  TransportResult Write(const uint8_t* buffer, uint32_t* size) override;
  TransportResult DiscardInput() override;
  // Resets the connection: a request the device has not answered must not
  // wait in the socket to be carried out later. The next Write reconnects.
  void AbortExchange() override { m_Client.Abort(); }

 private:
  bool ConnectOnDemand();
  void PassKeepGoing() { m_Client.SetKeepGoing(KeepGoing(), m_Interrupt); }

  CTCPClient m_Client;
};

}  // namespace virk
