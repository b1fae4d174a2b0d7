// The device under CPortIO_COM, one implementation per platform: a tty
// descriptor whose waits poll() measures (serial_device_linux.cpp), a COM
// handle opened for overlapped I/O (serial_device_windows.cpp). The device
// only opens, configures, moves bytes and purges; the rules of an exchange
// (time-outs, the inter-character rule, RTS around a write, port states)
// are CPortIO_COM's.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "deadline.h"

namespace virk {

struct CPortIO_Data_COM;

enum class SerialStatus {
  kOk,
  // The wait ran out: nothing (more) came, or not all went out in time. A
  // driver that measures the inter-character time-out itself (Windows)
  // ends a read with what came so too.
  kTimedOut,
  // The device went away (adapter pulled, pseudo-terminal closed).
  kGone,
  kFailed,
};

struct SerialOutcome {
  SerialStatus status;
  // The platform's number (errno, a Win32 error code), 0 for none; only
  // for the log.
  int error;
};

// How the device took the control-line modes of the settings.
struct SerialLineControl {
  // RTS "on while sending" is left to the writer, by hand around each write.
  bool rtsByHand = false;
  // The DTR mode is not available here; DTR is kept on.
  bool dtrKeptOn = false;
};

class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // Errors below are the platform's numbers as in SerialOutcome.
  // Opens the device for exclusive use; 0 or the error.
  virtual int Open(const std::string& path) = 0;
  // Drops unsent output first: it would make the close wait for the line.
  virtual void Close() = 0;
  // Applies valid line settings, the control-line modes and the
  // inter-character time-out; 0 or the error.
  virtual int Configure(const CPortIO_Data_COM& data, uint32_t interCharMs, SerialLineControl& control) = 0;
  // Waits at most `waitMs` for input (less once `keepGoing` turns false;
  // null: no such check) and hands over what arrived, at most `size`
  // bytes, counted in `received` whatever the outcome.
  virtual SerialOutcome Read(uint8_t* buffer, uint32_t size, int waitMs, const std::atomic<bool>* keepGoing,
                             uint32_t& received) = 0;
  // Writes all `size` bytes before the deadline, counted in `sent`.
  virtual SerialOutcome Write(const uint8_t* buffer, uint32_t size, const Deadline& deadline, uint32_t& sent) = 0;
  // Until the last character has left the line, at most `waitMs`.
  virtual SerialOutcome WaitSent(uint32_t baudRate, uint32_t waitMs) = 0;
  virtual void SetRts(bool on) = 0;
  virtual void Purge(bool input, bool output) = 0;
};

std::unique_ptr<SerialDevice> CreateSerialDevice();

// The platform's error for line settings that no line takes.
extern const int kSerialInvalidSettings;
// An error as the debug records give it: "errno 2", "error 2".
std::string SerialErrorNumber(int error);
// The system's text for an error, for the operator.
std::string SerialErrorText(int error);

}  // namespace virk
