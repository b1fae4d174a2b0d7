// The serial device on Windows: a COM handle opened for overlapped I/O, one
// read and one write record with their own events, the driver's
// inter-character time-out ending a read.
#include "serial_device.h"

#include "platform/windows/windows_api.h"

#include <algorithm>
#include <cstdint>

#include "common/log.h"
#include "common/settings.h"
#include "platform/windows/wide_text.h"
#include "serial_settings.h"
#include "sliced_wait.h"

namespace virk {
namespace {

#define COM_DEBUG(...) LogFormat(LogLevel::Debug, kLogUserland, __VA_ARGS__)

using platform::ErrorText;

// The errors of a device that went away (USB adapter pulled, driver gone).
bool IsDeviceGone(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE ||
         error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_DEVICE_REMOVED;
}

// A call that ended with `error`: done, the wait ran out, the device gone,
// or any other failure.
SerialOutcome OutcomeOf(DWORD error) {
  if (error == ERROR_SUCCESS) return {SerialStatus::kOk, 0};
  if (error == WAIT_TIMEOUT) return {SerialStatus::kTimedOut, int(error)};
  return {IsDeviceGone(error) ? SerialStatus::kGone : SerialStatus::kFailed, int(error)};
}

// Abort-on-error is on, so after a line error (parity, overrun) every
// operation fails until the error is cleared: done before each one.
void ClearErrors(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(port, &errors, &status);
}

// Time one character of 11 bits takes on the line, at least 1 ms.
DWORD CharacterTimeMs(uint32_t baudRate) { return std::max<DWORD>(1, (11000 + baudRate - 1) / std::max<uint32_t>(baudRate, 1)); }

class OverlappedComDevice final : public SerialDevice {
 public:
  OverlappedComDevice() {
    // Manual-reset, as overlapped I/O wants: the system resets each when an
    // operation starts.
    m_ReadDone.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_WriteDone.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  ~OverlappedComDevice() override {
    Close();
    CloseHandle(m_ReadDone.hEvent);
    CloseHandle(m_WriteDone.hEvent);
  }
  OverlappedComDevice(const OverlappedComDevice&) = delete;
  OverlappedComDevice& operator=(const OverlappedComDevice&) = delete;

  // Share mode 0: no other program, nor a second channel naming the same
  // port, can open it while it is ours.
  int Open(const std::string& path) override {
    if (path.empty()) return ERROR_FILE_NOT_FOUND;
    const HANDLE port = CreateFileW(platform::ToUtf16(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return int(GetLastError());
    m_Handle = port;
    return 0;
  }

  void Close() override {
    const HANDLE port = m_Handle.exchange(INVALID_HANDLE_VALUE);
    if (port == INVALID_HANDLE_VALUE) return;
    CancelIoEx(port, nullptr);
    PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    CloseHandle(port);
  }

  int Configure(const CPortIO_Data_COM& data, uint32_t interCharMs, SerialLineControl& control) override {
    const HANDLE port = m_Handle.load();
    if (const DWORD error = SetLine(port, data, control)) return int(error);
    // No total limits (the waits measure them); a quiet line for the
    // inter-character time-out after the first byte ends a read.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = interCharMs;
    return SetCommTimeouts(port, &timeouts) ? 0 : int(GetLastError());
  }

  // The driver ends a read once the line is quiet after the first byte, or
  // with nothing at all: then the caller reads again while time is left.
  SerialOutcome Read(uint8_t* buffer, uint32_t size, int waitMs, const std::atomic<bool>* keepGoing,
                     uint32_t& received) override {
    const HANDLE port = m_Handle.load();
    ClearErrors(port);
    DWORD done = 0;
    DWORD error = ERROR_SUCCESS;
    if (!ReadFile(port, buffer, size, nullptr, &m_ReadDone) && (error = GetLastError()) != ERROR_IO_PENDING)
      return OutcomeOf(error);
    error = Finish(port, m_ReadDone, uint32_t(std::max(waitMs, 0)), keepGoing, done);
    received = done;
    if (error == ERROR_SUCCESS && done > 0 && done < size) return {SerialStatus::kTimedOut, int(WAIT_TIMEOUT)};
    return OutcomeOf(error);
  }

  SerialOutcome Write(const uint8_t* buffer, uint32_t size, const Deadline& deadline, uint32_t& sent) override {
    const HANDLE port = m_Handle.load();
    ClearErrors(port);
    if (!WriteFile(port, buffer, size, nullptr, &m_WriteDone)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return OutcomeOf(error);
    }
    DWORD done = 0;
    const DWORD error = Finish(port, m_WriteDone, uint32_t(deadline.RemainingMs()), nullptr, done);
    sent = done;
    return OutcomeOf(error);
  }

  // Until the driver's output queue is empty, then one character time for
  // the shift register.
  SerialOutcome WaitSent(uint32_t baudRate, uint32_t waitMs) override {
    const HANDLE port = m_Handle.load();
    const Deadline deadline(waitMs);
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(port, &errors, &status) || status.cbOutQue == 0) break;
      if (deadline.Passed()) return OutcomeOf(WAIT_TIMEOUT);
      Sleep(std::min<DWORD>(CharacterTimeMs(baudRate) * status.cbOutQue, DWORD(deadline.RemainingMs()) + 1));
    }
    Sleep(CharacterTimeMs(baudRate));
    return OutcomeOf(ERROR_SUCCESS);
  }

  void SetRts(bool on) override { EscapeCommFunction(m_Handle.load(), on ? SETRTS : CLRRTS); }

  void Purge(bool input, bool output) override {
    const HANDLE port = m_Handle.load();
    if (port != INVALID_HANDLE_VALUE) PurgeComm(port, (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0));
  }

 private:
  // Modes are the driver's own values: RTS 0 off, 1 on, 2 handshake, 3 on
  // while sending (the driver toggles it); DTR 0 off, 1 on, 2 handshake.
  static DWORD SetLine(HANDLE port, const CPortIO_Data_COM& data, SerialLineControl& control) {
    const std::string mode = serial::ModeText(data);
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port, &line)) {
      const DWORD error = GetLastError();
      COM_DEBUG("CPortIO_COM::SetConfig(): GetCommState %s failed: %s", mode.c_str(), ErrorText(error).c_str());
      return error;
    }
    line.BaudRate = data.m_BaudRate;
    line.ByteSize = data.m_DataBits;
    line.Parity = data.m_Parity <= SPACEPARITY ? data.m_Parity : NOPARITY;  // same numbering: none, odd, even, mark, space
    line.StopBits = data.m_StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = line.Parity != NOPARITY;
    line.fOutX = line.fInX = FALSE;
    line.fNull = FALSE;
    line.fErrorChar = FALSE;
    line.fDsrSensitivity = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fAbortOnError = TRUE;
    const unsigned rts = data.m_RtsControl & 3;
    line.fRtsControl = rts;
    line.fOutxCtsFlow = rts == RTS_CONTROL_HANDSHAKE;
    const unsigned dtr = data.m_DtrControl & 3;
    control.dtrKeptOn = dtr > DTR_CONTROL_HANDSHAKE;
    line.fDtrControl = control.dtrKeptOn ? DTR_CONTROL_ENABLE : dtr;
    control.rtsByHand = false;
    if (SetCommState(port, &line)) return ERROR_SUCCESS;
    DWORD error = GetLastError();
    // Many USB adapters have no toggle mode: RTS is then driven by hand.
    if (rts == RTS_CONTROL_TOGGLE) {
      line.fRtsControl = RTS_CONTROL_DISABLE;
      if (SetCommState(port, &line)) {
        control.rtsByHand = true;
        return ERROR_SUCCESS;
      }
      error = GetLastError();
    }
    COM_DEBUG("CPortIO_COM::SetConfig(): SetCommState %s failed: %s", mode.c_str(), ErrorText(error).c_str());
    return error;
  }

  // Waits for the overlapped operation for at most `waitMs` (cut short by a
  // stopping channel when `keepGoing` is set); cancels it when it did not
  // complete. ERROR_SUCCESS, WAIT_TIMEOUT or the operation's error.
  static DWORD Finish(HANDLE port, OVERLAPPED& operation, uint32_t waitMs, const std::atomic<bool>* keepGoing,
                      DWORD& done) {
    const int ready = WaitInSlices(int(std::min<uint32_t>(waitMs, INT32_MAX)), keepGoing, nullptr,
                                   [&operation](int sliceMs) {
                                     const DWORD waited = WaitForSingleObject(operation.hEvent, DWORD(sliceMs));
                                     return waited == WAIT_OBJECT_0 ? 1 : waited == WAIT_TIMEOUT ? 0 : -1;
                                   });
    const bool cancelled = ready <= 0;
    if (cancelled) CancelIoEx(port, &operation);
    // Waits for the cancellation too: the record and the buffer are free
    // again only then. A cancelled read still hands over what arrived.
    if (GetOverlappedResult(port, &operation, &done, TRUE)) return ERROR_SUCCESS;
    const DWORD error = GetLastError();
    return cancelled && error == ERROR_OPERATION_ABORTED ? WAIT_TIMEOUT : error;
  }

  std::atomic<HANDLE> m_Handle{INVALID_HANDLE_VALUE};
  OVERLAPPED m_ReadDone{};
  OVERLAPPED m_WriteDone{};
};

}  // namespace

const int kSerialInvalidSettings = ERROR_INVALID_PARAMETER;

std::string SerialErrorNumber(int error) { return "error " + std::to_string(DWORD(error)); }

std::string SerialErrorText(int error) { return ErrorText(DWORD(error)); }

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<OverlappedComDevice>(); }

}  // namespace virk
