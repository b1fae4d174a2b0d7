#include "port_io_com.h"

#include <algorithm>

#include "com_path.h"
#include "common/log.h"
#include "deadline.h"
#include "platform/windows/wide_text.h"
#include "serial_settings.h"
#include "sliced_wait.h"

namespace virk {
namespace {

constexpr int kCategory = kLogUserland;

#define COM_DEBUG(...) LogFormat(LogLevel::Debug, kCategory, __VA_ARGS__)

using platform::ErrorText;

// The errors of a device that went away (USB adapter pulled, driver gone).
bool IsDeviceGone(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE ||
         error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_DEVICE_REMOVED;
}

// Abort-on-error is on, so after a line error (parity, overrun) every
// operation fails until the error is cleared: done before each one.
void ClearErrors(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  ClearCommError(port, &errors, &status);
}

void Purge(HANDLE port, bool input, bool output) {
  PurgeComm(port, (input ? PURGE_RXCLEAR : 0) | (output ? PURGE_TXCLEAR : 0));
}

// Time one character of 11 bits takes on the line, at least 1 ms.
DWORD CharacterTimeMs(uint32_t baudRate) { return std::max<DWORD>(1, (11000 + baudRate - 1) / std::max<uint32_t>(baudRate, 1)); }

// Until the driver's output queue is empty, then one character time for the
// shift register; false when `waitMs` ran out first.
bool WaitTransmitted(HANDLE port, uint32_t baudRate, uint32_t waitMs) {
  const Deadline deadline(waitMs);
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status) || status.cbOutQue == 0) break;
    if (deadline.Passed()) return false;
    Sleep(std::min<DWORD>(CharacterTimeMs(baudRate) * status.cbOutQue, DWORD(deadline.RemainingMs()) + 1));
  }
  Sleep(CharacterTimeMs(baudRate));
  return true;
}

void SetRts(HANDLE port, bool on) { EscapeCommFunction(port, on ? SETRTS : CLRRTS); }

}  // namespace

CPortIO_COM::CPortIO_COM(const CPortIO_Data_COM& data) : CPortIO(kPortSerial), CPortIO_Data_COM(data) {
  // Manual-reset, as overlapped I/O wants: the system resets each when an
  // operation starts.
  m_ReadDone.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  m_WriteDone.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

CPortIO_COM::~CPortIO_COM() {
  CloseDevice();
  CloseHandle(m_ReadDone.hEvent);
  CloseHandle(m_WriteDone.hEvent);
}

void CPortIO_COM::CloseDevice() {
  const HANDLE port = m_Handle.exchange(INVALID_HANDLE_VALUE);
  if (port == INVALID_HANDLE_VALUE) return;
  // Unsent output would make CloseHandle wait for the line to drain.
  CancelIoEx(port, nullptr);
  PurgeComm(port, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  CloseHandle(port);
}

bool CPortIO_COM::PortInit(uint32_t timeoutMs) {
  SetExchangeTimeout(timeoutMs);
  COM_DEBUG("CPortIO_COM::PortInit");
  if (IsOpen()) return true;

  const std::string path = ComDevicePath(m_PortNumber);
  // Share mode 0: no other program, nor a second channel naming the same
  // port, can open it while it is ours.
  const HANDLE port = path.empty() ? INVALID_HANDLE_VALUE
                                   : CreateFileW(platform::ToUtf16(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                 nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = path.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
    COM_DEBUG("CPortIO_COM::PortInit: CreateFile %s failed: %s", path.c_str(), ErrorText(error).c_str());
    return FailInit();
  }
  // A port that runs at other settings than the devices' would only give
  // garbled frames: it is not used at all.
  if (const DWORD error = SetConfig(port)) {
    CloseHandle(port);
    LogRefusedSettingsOnce(path, error);
    return FailInit();
  }
  m_RefusedSettingsLogged = false;
  // No total limits (the waits measure them); a quiet line for the
  // inter-character time-out after the first byte ends a read.
  m_InterCharTimeoutMs = serial::InterCharTimeoutMs(m_BaudRate);
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = m_InterCharTimeoutMs;
  if (!SetCommTimeouts(port, &timeouts)) {
    const DWORD error = GetLastError();
    CloseHandle(port);
    LogRefusedSettingsOnce(path, error);
    return FailInit();
  }
  m_Handle = port;
  m_PortState = kPortStateInitialised;
  SetInitialised(true);
  return true;
}

bool CPortIO_COM::FailInit() {
  m_PortState = kPortStateInitialised;
  SetInitialised(false);
  return false;
}

// Modes are the driver's own values: RTS 0 off, 1 on, 2 handshake, 3 on
// while sending (the driver toggles it); DTR 0 off, 1 on, 2 handshake.
DWORD CPortIO_COM::SetConfig(HANDLE port) {
  COM_DEBUG("CPortIO_COM::SetConfig()");
  const std::string mode = serial::ModeText(*this);
  if (!serial::LineSettingsValid(*this)) {
    COM_DEBUG("CPortIO_COM::SetConfig(): settings %s not valid", mode.c_str());
    return ERROR_INVALID_PARAMETER;
  }
  DCB line{};
  line.DCBlength = sizeof line;
  if (!GetCommState(port, &line)) {
    const DWORD error = GetLastError();
    COM_DEBUG("CPortIO_COM::SetConfig(): GetCommState %s failed: %s", mode.c_str(), ErrorText(error).c_str());
    return error;
  }
  line.BaudRate = m_BaudRate;
  line.ByteSize = m_DataBits;
  line.Parity = m_Parity <= SPACEPARITY ? m_Parity : NOPARITY;  // same numbering: none, odd, even, mark, space
  line.StopBits = m_StopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  line.fBinary = TRUE;
  line.fParity = line.Parity != NOPARITY;
  line.fOutX = line.fInX = FALSE;
  line.fNull = FALSE;
  line.fErrorChar = FALSE;
  line.fDsrSensitivity = FALSE;
  line.fOutxDsrFlow = FALSE;
  line.fAbortOnError = TRUE;
  const unsigned rts = m_RtsControl & 3;
  line.fRtsControl = rts;
  line.fOutxCtsFlow = rts == RTS_CONTROL_HANDSHAKE;
  unsigned dtr = m_DtrControl & 3;
  if (dtr > DTR_CONTROL_HANDSHAKE) {
    LogUnsupportedModeOnce("DTR", dtr);
    dtr = DTR_CONTROL_ENABLE;
  }
  line.fDtrControl = dtr;
  m_ManualRtsToggle = false;
  if (SetCommState(port, &line)) return ERROR_SUCCESS;
  DWORD error = GetLastError();
  // Many USB adapters have no toggle mode: RTS is then driven by hand.
  if (rts == RTS_CONTROL_TOGGLE) {
    line.fRtsControl = RTS_CONTROL_DISABLE;
    if (SetCommState(port, &line)) {
      m_ManualRtsToggle = true;
      return ERROR_SUCCESS;
    }
    error = GetLastError();
  }
  COM_DEBUG("CPortIO_COM::SetConfig(): SetCommState %s failed: %s", mode.c_str(), ErrorText(error).c_str());
  return error;
}

// The channel retries the open many times a second: one record per run of
// refusals, not one per attempt.
void CPortIO_COM::LogRefusedSettingsOnce(const std::string& path, DWORD error) {
  if (m_RefusedSettingsLogged) return;
  m_RefusedSettingsLogged = true;
  LogFormat(LogLevel::Error, kCategory,
            "CPortIO_COM::PortInit: COM%u (%s): the line settings %s cannot be applied (%s), the "
            "port is not opened",
            m_PortNumber, path.c_str(), serial::ModeText(*this).c_str(), ErrorText(error).c_str());
}

void CPortIO_COM::LogUnsupportedModeOnce(const char* line, unsigned mode) {
  if (m_UnsupportedModeLogged) return;
  m_UnsupportedModeLogged = true;
  LogFormat(LogLevel::Warning, kCategory,
            "CComPortIO::SetConfig(): COM%u %s control mode %u is not available here; the line "
            "is kept on",
            m_PortNumber, line, mode);
}

void CPortIO_COM::PortDeInit() {
  COM_DEBUG("CPortIO_COM::PortDeInit()");
  CloseDevice();
  SetInitialised(false);
}

void CPortIO_COM::AbortExchange() {
  const HANDLE port = m_Handle.load();
  if (port != INVALID_HANDLE_VALUE) Purge(port, true, true);
}

TransportResult CPortIO_COM::DiscardInput() {
  const HANDLE port = m_Handle.load();
  if (port != INVALID_HANDLE_VALUE) Purge(port, true, true);
  m_PortState = kPortStateDone;
  return TransportResult::kOk;
}

DWORD CPortIO_COM::Finish(HANDLE port, OVERLAPPED& operation, uint32_t waitMs, bool stoppable, DWORD& done) {
  const int ready = WaitInSlices(int(std::min<uint32_t>(waitMs, INT32_MAX)), stoppable ? KeepGoing() : nullptr,
                                 nullptr, [&operation](int sliceMs) {
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

TransportResult CPortIO_COM::Read(uint8_t* buffer, uint32_t* size) {
  const HANDLE port = m_Handle.load();
  COM_DEBUG("CPortIO_COM::Read");
  if (port == INVALID_HANDLE_VALUE || !buffer || !size) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }

  // The first byte may take the whole exchange time-out; after it, the
  // driver ends the read when the line goes quiet. Nothing asked: done at
  // once, as a read of zero bytes would complete at once and be repeated.
  const uint32_t want = *size;
  const Deadline deadline(CapWait(ExchangeTimeout()));
  DWORD got = 0;
  DWORD error = ERROR_SUCCESS;
  while (want > 0) {
    ClearErrors(port);
    if (!ReadFile(port, buffer, want, nullptr, &m_ReadDone) && (error = GetLastError()) != ERROR_IO_PENDING) break;
    error = Finish(port, m_ReadDone, uint32_t(deadline.RemainingMs()), true, got);
    // A driver may end a read with nothing at all: read again while time is left.
    if (error != ERROR_SUCCESS || got > 0 || deadline.Passed() || (KeepGoing() && !KeepGoing()->load())) break;
  }

  *size = got;
  if (IsDeviceGone(error)) {
    m_PortState = kPortStateAccessDenied;
    COM_DEBUG("CPortIO_COM::Read COM%d: the device is gone (%s)", int(m_PortNumber), ErrorText(error).c_str());
    return TransportResult::kFailed;
  }
  const TransportResult result =
      error == ERROR_SUCCESS && (got > 0 || want == 0) ? TransportResult::kOk : TransportResult::kFailed;
  if (error == ERROR_SUCCESS || error == WAIT_TIMEOUT) {
    if (result != TransportResult::kOk) COM_DEBUG("CPortIO_COM::Read COM%d: time-out", int(m_PortNumber));
  } else {
    COM_DEBUG("CPortIO_COM::Read COM%d: %s", int(m_PortNumber), ErrorText(error).c_str());
  }
  m_PortState = result == TransportResult::kOk ? kPortStateDone : kPortStateReadTimeout;
  COM_DEBUG("CPortIO_COM::Read COM%d: %d bytes", int(m_PortNumber), int(got));
  COM_DEBUG("CPortIO_COM::Read result %s", ToText(result));
  return result;
}

DWORD CPortIO_COM::WriteOnce(HANDLE port, const uint8_t* buffer, uint32_t size, DWORD& sent) {
  ClearErrors(port);
  if (!WriteFile(port, buffer, size, nullptr, &m_WriteDone)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return error;
  }
  return Finish(port, m_WriteDone, kSerialWriteLimitMs, false, sent);
}

DWORD CPortIO_COM::WriteWithRtsRaised(HANDLE port, const uint8_t* buffer, uint32_t size, DWORD& sent) {
  const Deadline deadline(kSerialWriteLimitMs);
  SetRts(port, true);
  DWORD error = WriteOnce(port, buffer, size, sent);
  if (error == ERROR_SUCCESS && !WaitTransmitted(port, m_BaudRate, uint32_t(deadline.RemainingMs())))
    error = WAIT_TIMEOUT;
  SetRts(port, false);
  return error;
}

TransportResult CPortIO_COM::Write(const uint8_t* buffer, uint32_t* size) {
  COM_DEBUG("CPortIO_COM::Write");
  const HANDLE port = m_Handle.load();
  if (port == INVALID_HANDLE_VALUE) {
    // Nothing can be sent: a failure, not a success with no bytes.
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (!buffer || !size) {
    Purge(port, false, true);
    return TransportResult::kOk;
  }

  DWORD sent = 0;
  const DWORD error =
      m_ManualRtsToggle ? WriteWithRtsRaised(port, buffer, *size, sent) : WriteOnce(port, buffer, *size, sent);
  COM_DEBUG("CPortIO_COM::Write COM%d: write ended, error %lu", int(m_PortNumber), error);
  *size = sent;

  TransportResult result = TransportResult::kOk;
  if (error == WAIT_TIMEOUT) {
    m_PortState = kPortStateWriteTimeout;
    COM_DEBUG("CPortIO_COM::Write COM%d: time-out, output discarded", int(m_PortNumber));
    Purge(port, false, true);
    result = TransportResult::kWriteTimeout;
  } else if (error != ERROR_SUCCESS) {
    if (IsDeviceGone(error)) m_PortState = kPortStateAccessDenied;
    result = TransportResult::kFailed;
  } else {
    m_PortState = kPortStateDone;
  }
  COM_DEBUG("CPortIO_COM::Write result %s", ToText(result));
  return result;
}

}  // namespace virk
