// The serial transport on Linux: a tty device, waits measured by poll().
// Included through port_io_com.h.
#pragma once

#include <atomic>
#include <string>

#include "common/settings.h"
#include "port_io.h"

namespace virk {

class CPortIO_COM : public CPortIO, public CPortIO_Data_COM {
 public:
  explicit CPortIO_COM(const CPortIO_Data_COM& data = CPortIO_Data_COM());
  // Closes a port still open so that its exclusive lock never outlives it.
  ~CPortIO_COM() override;

  bool PortInit(uint32_t timeoutMs) override;
  void PortDeInit() override;
  bool IsOpen() const override { return m_Fd.load() >= 0; }
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
  // 0, or the errno value of the settings that could not be applied.
  int SetConfig(int fd);
  void LogRefusedSettingsOnce(const std::string& path, int error);
  void SetControlLines(int fd);
  void LogUnsupportedModeOnce(const char* line, unsigned mode);
  int WriteAll(int fd, const uint8_t* buffer, uint32_t& sent, uint32_t size);
  bool ToggleRtsAroundWrite() const;

  std::atomic<int> m_Fd{-1};
  std::atomic<uint32_t> m_PortState{kPortStateNeverInitialised};
  uint32_t m_InterCharTimeoutMs = 300;
  bool m_KernelRs485 = false;
  bool m_UnsupportedModeLogged = false;
  bool m_RefusedSettingsLogged = false;
};

}  // namespace virk
