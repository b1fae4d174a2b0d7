#include "port_io_com.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "com_path.h"
#include "common/log.h"
#include "deadline.h"
#include "poll_wait.h"
#include "serial_line.h"

namespace virk {
namespace {

constexpr int kCategory = kLogUserland;

#define COM_DEBUG(...) LogFormat(LogLevel::Debug, kCategory, __VA_ARGS__)

// The errors of a device that went away (USB adapter pulled, pty closed).
bool IsDeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

constexpr short kHangUp = POLLHUP | POLLERR | POLLNVAL;

enum class ReadOutcome { kDrained, kGone, kError };

// Reads what the driver holds, up to `want` bytes in all.
ReadOutcome ReadWaiting(int fd, uint8_t* buffer, uint32_t& got, uint32_t want) {
  while (got < want) {
    const ssize_t n = read(fd, buffer + got, want - got);
    if (n > 0) {
      got += uint32_t(n);
    } else if (n == 0 || errno == EAGAIN) {
      return ReadOutcome::kDrained;
    } else if (errno != EINTR) {
      return IsDeviceGone(errno) ? ReadOutcome::kGone : ReadOutcome::kError;
    }
  }
  return ReadOutcome::kDrained;
}

// Opens the device for exclusive use; -1 with errno on failure.
int OpenExclusive(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return -1;
  }
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  // TIOCEXCL keeps other programs out; the lock also keeps out root and a
  // second channel of this process that names the same port.
  if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace

CPortIO_COM::CPortIO_COM(const CPortIO_Data_COM& data)
    : CPortIO(kPortSerial), CPortIO_Data_COM(data) {}

CPortIO_COM::~CPortIO_COM() { CloseDevice(); }

void CPortIO_COM::CloseDevice() {
  const int fd = m_Fd.exchange(-1);
  if (fd < 0) return;
  // Unsent output would make close() wait for the line to drain.
  serial::Purge(fd, false, true);
  close(fd);
}

bool CPortIO_COM::PortInit(uint32_t timeoutMs) {
  SetExchangeTimeout(timeoutMs);
  COM_DEBUG("CPortIO_COM::PortInit");
  if (IsOpen()) return true;

  const std::string path = ComDevicePath(m_PortNumber);
  const int fd = OpenExclusive(path);
  if (fd < 0) {
    const int error = errno;
    COM_DEBUG("CPortIO_COM::PortInit: open %s failed: errno %d", path.c_str(), error);
    return FailInit();
  }
  // A port that runs at other settings than the devices' would only give
  // garbled frames: it is not used at all.
  if (const int error = SetConfig(fd)) {
    close(fd);
    LogRefusedSettingsOnce(path, error);
    return FailInit();
  }
  m_RefusedSettingsLogged = false;
  SetControlLines(fd);
  m_InterCharTimeoutMs = serial::InterCharTimeoutMs(m_BaudRate);
  m_Fd = fd;
  m_PortState = kPortStateInitialised;
  SetInitialised(true);
  return true;
}

bool CPortIO_COM::FailInit() {
  m_PortState = kPortStateInitialised;
  SetInitialised(false);
  return false;
}

int CPortIO_COM::SetConfig(int fd) {
  COM_DEBUG("CPortIO_COM::SetConfig()");
  const std::string mode = serial::ModeText(*this);
  if (!serial::LineSettingsValid(*this)) {
    COM_DEBUG("CPortIO_COM::SetConfig(): settings %s not valid", mode.c_str());
    return EINVAL;
  }
  if (const int error = serial::ApplyLineSettings(fd, *this, (m_RtsControl & 3) == 2)) {
    COM_DEBUG("CPortIO_COM::SetConfig(): tcsetattr %s failed: errno %d", mode.c_str(), error);
    return error;
  }
  return 0;
}

// The channel retries the open many times a second: one record per run of
// refusals, not one per attempt.
void CPortIO_COM::LogRefusedSettingsOnce(const std::string& path, int error) {
  if (m_RefusedSettingsLogged) return;
  m_RefusedSettingsLogged = true;
  LogFormat(LogLevel::Error, kCategory,
            "CPortIO_COM::PortInit: COM%u (%s): the line settings %s cannot be applied (%s), the "
            "port is not opened",
            m_PortNumber, path.c_str(), serial::ModeText(*this).c_str(), std::strerror(error));
}

// Modes: 0 line off, 1 line on, 2 handshake, 3 RTS on while sending. A
// pseudo-terminal has no control lines; failures to set them are harmless.
void CPortIO_COM::SetControlLines(int fd) {
  using serial::ModemLine;
  const unsigned rts = m_RtsControl & 3;
  m_KernelRs485 = false;
  if (rts == 3) {
    m_KernelRs485 = serial::EnableKernelRs485(fd);
    if (!m_KernelRs485) serial::SetModemLine(fd, ModemLine::kRts, false);
  } else if (rts != 2) {  // handshake: the driver drives RTS itself
    serial::SetModemLine(fd, ModemLine::kRts, rts == 1);
  }
  const unsigned dtr = m_DtrControl & 3;
  if (dtr >= 2) LogUnsupportedModeOnce("DTR", dtr);
  serial::SetModemLine(fd, ModemLine::kDtr, dtr != 0);
}

void CPortIO_COM::LogUnsupportedModeOnce(const char* line, unsigned mode) {
  if (m_UnsupportedModeLogged) return;
  m_UnsupportedModeLogged = true;
  LogFormat(LogLevel::Warning, kCategory,
            "CComPortIO::SetConfig(): COM%u %s control mode %u is not available here; the line "
            "is kept on",
            m_PortNumber, line, mode);
}

bool CPortIO_COM::ToggleRtsAroundWrite() const {
  return (m_RtsControl & 3) == 3 && !m_KernelRs485;
}

void CPortIO_COM::PortDeInit() {
  COM_DEBUG("CPortIO_COM::PortDeInit()");
  CloseDevice();
  SetInitialised(false);
}

void CPortIO_COM::AbortExchange() {
  const int fd = m_Fd.load();
  if (fd >= 0) serial::Purge(fd, true, true);
}

TransportResult CPortIO_COM::DiscardInput() {
  const int fd = m_Fd.load();
  if (fd >= 0) serial::Purge(fd, true, true);
  m_PortState = kPortStateDone;
  return TransportResult::kOk;
}

TransportResult CPortIO_COM::Read(uint8_t* buffer, uint32_t* size) {
  const int fd = m_Fd.load();
  COM_DEBUG("CPortIO_COM::Read");
  if (fd < 0 || !buffer || !size) {
    if (size) *size = 0;
    return TransportResult::kFailed;
  }

  const uint32_t want = *size;
  uint32_t got = 0;
  TransportResult result = TransportResult::kOk;
  bool gone = false;
  const Deadline deadline(CapWait(ExchangeTimeout()));
  while (got < want) {
    // The first byte may take the whole exchange time-out; after it, a quiet
    // line for the inter-character time-out ends the read.
    const int wait = got == 0 ? deadline.RemainingMs()
                              : std::min(int(m_InterCharTimeoutMs), deadline.RemainingMs());
    pollfd waiter{fd, POLLIN, 0};
    const int ready = PollWhile(waiter, wait, KeepGoing());
    if (ready <= 0) {
      result = (ready == 0 && got > 0 && !deadline.Passed()) ? TransportResult::kOk : TransportResult::kFailed;
      break;
    }
    const uint32_t before = got;
    const ReadOutcome outcome = ReadWaiting(fd, buffer, got, want);
    if (outcome == ReadOutcome::kGone || (got == before && (waiter.revents & kHangUp))) {
      gone = true;
      break;
    }
    if (outcome == ReadOutcome::kError) {
      result = TransportResult::kFailed;
      break;
    }
  }

  *size = got;
  if (gone) {
    m_PortState = kPortStateAccessDenied;
    COM_DEBUG("CPortIO_COM::Read COM%d: the device is gone", int(m_PortNumber));
    return TransportResult::kFailed;
  }
  if (result != TransportResult::kOk) COM_DEBUG("CPortIO_COM::Read COM%d: time-out", int(m_PortNumber));
  m_PortState = result == TransportResult::kOk ? kPortStateDone : kPortStateReadTimeout;
  COM_DEBUG("CPortIO_COM::Read COM%d: %d bytes", int(m_PortNumber), int(got));
  COM_DEBUG("CPortIO_COM::Read result %s", ToText(result));
  return result;
}

// Writes everything or stops at the deadline; returns 0 or an errno value.
int CPortIO_COM::WriteAll(int fd, const uint8_t* buffer, uint32_t& sent, uint32_t size) {
  const Deadline deadline(kSerialWriteLimitMs);
  while (sent < size) {
    const ssize_t n = write(fd, buffer + sent, size - sent);
    if (n > 0) {
      sent += uint32_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return errno;
    pollfd waiter{fd, POLLOUT, 0};
    const int ready = poll(&waiter, 1, deadline.RemainingMs());
    if (ready == 0) return ETIMEDOUT;
    if (ready < 0 && errno != EINTR) return errno;
    if (ready > 0 && (waiter.revents & kHangUp)) return EIO;
  }
  if (ToggleRtsAroundWrite() &&
      !serial::WaitTransmitted(fd, m_BaudRate, uint32_t(deadline.RemainingMs())))
    return ETIMEDOUT;
  return 0;
}

TransportResult CPortIO_COM::Write(const uint8_t* buffer, uint32_t* size) {
  COM_DEBUG("CPortIO_COM::Write");
  const int fd = m_Fd.load();
  if (fd < 0) {
    // Nothing can be sent: a failure, not a success with no bytes.
    if (size) *size = 0;
    return TransportResult::kFailed;
  }
  if (!buffer || !size) {
    serial::Purge(fd, false, true);
    return TransportResult::kOk;
  }

  const bool toggle = ToggleRtsAroundWrite();
  if (toggle) serial::SetModemLine(fd, serial::ModemLine::kRts, true);
  uint32_t sent = 0;
  const int error = WriteAll(fd, buffer, sent, *size);
  if (toggle) serial::SetModemLine(fd, serial::ModemLine::kRts, false);
  COM_DEBUG("CPortIO_COM::Write COM%d: write ended, errno %d", int(m_PortNumber), error);
  *size = sent;

  TransportResult result = TransportResult::kOk;
  if (error == ETIMEDOUT) {
    m_PortState = kPortStateWriteTimeout;
    COM_DEBUG("CPortIO_COM::Write COM%d: time-out, output discarded", int(m_PortNumber));
    serial::Purge(fd, false, true);
    result = TransportResult::kWriteTimeout;
  } else if (error != 0) {
    if (IsDeviceGone(error)) m_PortState = kPortStateAccessDenied;
    result = TransportResult::kFailed;
  } else {
    m_PortState = kPortStateDone;
  }
  COM_DEBUG("CPortIO_COM::Write result %s", ToText(result));
  return result;
}

}  // namespace virk
