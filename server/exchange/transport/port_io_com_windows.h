// The serial transport on Windows: a COM device opened for overlapped I/O,
// one read and one write record with their own events, the driver's
// inter-character time-out ending a read. Included through port_io_com.h.
#pragma once

#include "platform/windows/windows_api.h"

#include <atomic>
#include <string>

#include "common/settings.h"
#include "port_io.h"

namespace virk {

class CPortIO_COM : public CPortIO, public CPortIO_Data_COM {
 public:
  explicit CPortIO_COM(const CPortIO_Data_COM& data = CPortIO_Data_COM());
  // Closes a port still open so that its exclusive open never outlives it.
  ~CPortIO_COM() override;

  bool PortInit(uint32_t timeoutMs) override;
  void PortDeInit() override;
  bool IsOpen() const override { return m_Handle.load() != INVALID_HANDLE_VALUE; }
  bool IsAvailable() const override { return PortState() != kPortStateAccessDenied; }
  TransportResult Read(uint8_t* buffer, uint32_t* size) override;
  TransportResult DiscardInput() override;
  TransportResult Write(const uint8_t* buffer, uint32_t* size) override;
  // A serial line holds nothing of an exchange but its buffers: purged.
  void AbortExchange() override;

  uint32_t PortState() const { return m_PortState.load(); }
  uint32_t InterCharTimeoutMs() const { return m_InterCharTimeoutMs; }

 private:
  void CloseDevice();
  // Records a failed open (port state 3, not initialised); returns false.
  bool FailInit();
  // ERROR_SUCCESS, or the error of the settings that could not be applied.
  DWORD SetConfig(HANDLE port);
  void LogRefusedSettingsOnce(const std::string& path, DWORD error);
  void LogUnsupportedModeOnce(const char* line, unsigned mode);
  // Waits for the overlapped operation for at most `waitMs` (cut short by a
  // stopping channel when `stoppable`); cancels it when it did not complete.
  // ERROR_SUCCESS, WAIT_TIMEOUT or the operation's error; `done` bytes.
  DWORD Finish(HANDLE port, OVERLAPPED& operation, uint32_t waitMs, bool stoppable, DWORD& done);
  // RTS raised for the write and dropped once the line is quiet, by hand:
  // for drivers that refuse RTS_CONTROL_TOGGLE.
  DWORD WriteWithRtsRaised(HANDLE port, const uint8_t* buffer, uint32_t size, DWORD& sent);
  DWORD WriteOnce(HANDLE port, const uint8_t* buffer, uint32_t size, DWORD& sent);

  std::atomic<HANDLE> m_Handle{INVALID_HANDLE_VALUE};
  OVERLAPPED m_ReadDone{};
  OVERLAPPED m_WriteDone{};
  std::atomic<uint32_t> m_PortState{kPortStateNeverInitialised};
  uint32_t m_InterCharTimeoutMs = 300;
  bool m_ManualRtsToggle = false;
  bool m_UnsupportedModeLogged = false;
  bool m_RefusedSettingsLogged = false;
};

}  // namespace virk
