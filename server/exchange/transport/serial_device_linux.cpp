// The serial device on Linux: a tty descriptor that never blocks, every
// wait measured by poll().
#include "serial_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/log.h"
#include "common/settings.h"
#include "poll_wait.h"
#include "serial_line.h"
#include "serial_settings.h"

namespace virk {
namespace {

// The errors of a device that went away (USB adapter pulled, pty closed).
bool IsDeviceGone(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

// A failed call: the device gone, or any other failure.
SerialOutcome Failure(int error) { return {IsDeviceGone(error) ? SerialStatus::kGone : SerialStatus::kFailed, error}; }

// A write that ended with `error`, 0 when all went.
SerialOutcome WriteOutcome(int error) {
  if (error == 0) return {SerialStatus::kOk, 0};
  return error == ETIMEDOUT ? SerialOutcome{SerialStatus::kTimedOut, error} : Failure(error);
}

constexpr short kHangUp = POLLHUP | POLLERR | POLLNVAL;

// Reads what the driver holds, up to `want` bytes in all; 0 or an errno value.
int ReadWaiting(int fd, uint8_t* buffer, uint32_t& got, uint32_t want) {
  while (got < want) {
    const ssize_t n = read(fd, buffer + got, want - got);
    if (n > 0) {
      got += uint32_t(n);
    } else if (n == 0 || errno == EAGAIN) {
      return 0;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
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

class TtyDevice final : public SerialDevice {
 public:
  ~TtyDevice() override { Close(); }

  int Open(const std::string& path) override {
    const int fd = OpenExclusive(path);
    if (fd < 0) return errno;
    m_Fd = fd;
    return 0;
  }

  void Close() override {
    const int fd = m_Fd.exchange(-1);
    if (fd < 0) return;
    serial::Purge(fd, false, true);
    close(fd);
  }

  // The inter-character time-out is the reads' to measure: the driver ends none.
  int Configure(const CPortIO_Data_COM& data, uint32_t, SerialLineControl& control) override {
    const int fd = m_Fd.load();
    if (const int error = serial::ApplyLineSettings(fd, data, (data.m_RtsControl & 3) == 2)) {
      LogFormat(LogLevel::Debug, kLogUserland, "CPortIO_COM::SetConfig(): tcsetattr %s failed: errno %d",
                serial::ModeText(data).c_str(), error);
      return error;
    }
    SetControlLines(fd, data, control);
    return 0;
  }

  SerialOutcome Read(uint8_t* buffer, uint32_t size, int waitMs, const std::atomic<bool>* keepGoing,
                     uint32_t& received) override {
    const int fd = m_Fd.load();
    pollfd waiter{fd, POLLIN, 0};
    const int ready = PollWhile(waiter, waitMs, keepGoing);
    if (ready == 0) return {SerialStatus::kTimedOut, 0};
    if (ready < 0) return {SerialStatus::kFailed, errno};
    const int error = ReadWaiting(fd, buffer, received, size);
    if (received == 0 && (waiter.revents & kHangUp)) return {SerialStatus::kGone, error};
    return error == 0 ? SerialOutcome{SerialStatus::kOk, 0} : Failure(error);
  }

  SerialOutcome Write(const uint8_t* buffer, uint32_t size, const Deadline& deadline, uint32_t& sent) override {
    const int fd = m_Fd.load();
    while (sent < size) {
      const ssize_t n = write(fd, buffer + sent, size - sent);
      if (n > 0) {
        sent += uint32_t(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) return WriteOutcome(errno);
      pollfd waiter{fd, POLLOUT, 0};
      const int ready = poll(&waiter, 1, deadline.RemainingMs());
      if (ready == 0) return WriteOutcome(ETIMEDOUT);
      if (ready < 0 && errno != EINTR) return WriteOutcome(errno);
      if (ready > 0 && (waiter.revents & kHangUp)) return WriteOutcome(EIO);
    }
    return WriteOutcome(0);
  }

  SerialOutcome WaitSent(uint32_t baudRate, uint32_t waitMs) override {
    return WriteOutcome(serial::WaitTransmitted(m_Fd.load(), baudRate, waitMs) ? 0 : ETIMEDOUT);
  }

  void SetRts(bool on) override { serial::SetModemLine(m_Fd.load(), serial::ModemLine::kRts, on); }

  void Purge(bool input, bool output) override {
    const int fd = m_Fd.load();
    if (fd >= 0) serial::Purge(fd, input, output);
  }

 private:
  // Modes: 0 line off, 1 line on, 2 handshake, 3 RTS on while sending. A
  // pseudo-terminal has no control lines; failures to set them are harmless.
  static void SetControlLines(int fd, const CPortIO_Data_COM& data, SerialLineControl& control) {
    using serial::ModemLine;
    const unsigned rts = data.m_RtsControl & 3;
    control.rtsByHand = false;
    if (rts == 3) {
      control.rtsByHand = !serial::EnableKernelRs485(fd);
      if (control.rtsByHand) serial::SetModemLine(fd, ModemLine::kRts, false);
    } else if (rts != 2) {  // handshake: the driver drives RTS itself
      serial::SetModemLine(fd, ModemLine::kRts, rts == 1);
    }
    const unsigned dtr = data.m_DtrControl & 3;
    control.dtrKeptOn = dtr >= 2;  // no DTR handshake on Linux
    serial::SetModemLine(fd, ModemLine::kDtr, dtr != 0);
  }

  std::atomic<int> m_Fd{-1};
};

}  // namespace

const int kSerialInvalidSettings = EINVAL;

std::string SerialErrorNumber(int error) { return "errno " + std::to_string(error); }

std::string SerialErrorText(int error) { return std::strerror(error); }

std::unique_ptr<SerialDevice> CreateSerialDevice() { return std::make_unique<TtyDevice>(); }

}  // namespace virk
