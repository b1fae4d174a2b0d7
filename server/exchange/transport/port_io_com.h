// Serial transport: one COM port, raw bytes, reads ended by the line going
// quiet for the inter-character time-out of the baud rate. The device's
// calls are the platform's (serial_device.h); the exchange's rules are here.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "common/settings.h"
#include "port_io.h"

namespace virk {

class SerialDevice;
struct SerialLineControl;

enum PortState : uint32_t {
  kPortStateNeverInitialised = 0xFFFF,
  kPortStateDone = 0,
  kPortStateReadTimeout = 1,
  kPortStateWriteTimeout = 2,
  kPortStateInitialised = 3,
  // The device refused a read or write on the open port (it went away).
  kPortStateAccessDenied = 4,
};

// Limit for one write, whatever the exchange time-out.
constexpr uint32_t kSerialWriteLimitMs = 1000;

class CPortIO_COM : public CPortIO, public CPortIO_Data_COM {
 public:
  explicit CPortIO_COM(const CPortIO_Data_COM& data = CPortIO_Data_COM());
  // Over a device of the caller's instead of the platform's (a test's stand-in).
  CPortIO_COM(const CPortIO_Data_COM& data, std::unique_ptr<SerialDevice> device);
  // Closes a port still open so that its exclusive open never outlives it.
  ~CPortIO_COM() override;

  bool PortInit(uint32_t timeoutMs) override;
  void PortDeInit() override;
  bool IsOpen() const override { return m_Open.load(); }
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
  // 0, or the error of the settings that could not be applied.
  int SetConfig(uint32_t interCharMs, SerialLineControl& control);
  enum class OpenProblem { kNone, kDevice, kSettings };
  void TellOpenProblemOnce(OpenProblem problem, const std::string& path, const std::string& text);
  void LogUnsupportedModeOnce(const char* line, unsigned mode);

  const std::unique_ptr<SerialDevice> m_Device;
  // Set once the device is open with its settings applied; read without the
  // port lock by other threads.
  std::atomic<bool> m_Open{false};
  std::atomic<uint32_t> m_PortState{kPortStateNeverInitialised};
  uint32_t m_InterCharTimeoutMs = 300;
  bool m_RtsByHand = false;
  bool m_UnsupportedModeLogged = false;
  OpenProblem m_ToldProblem = OpenProblem::kNone;
};

}  // namespace virk
