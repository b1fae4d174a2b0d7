// Kept apart from <termios.h>: termios2 (arbitrary baud rates, CMSPAR) comes
// from the kernel's own header, which clashes with the C library's.
#include "serial_line.h"

#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "common/settings.h"
#include "deadline.h"

namespace virk::serial {
namespace {

struct BaudCode {
  uint32_t rate;
  unsigned code;
};
constexpr BaudCode kStandardRates[] = {
    {50, B50},         {75, B75},           {110, B110},         {134, B134},
    {150, B150},       {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},     {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},     {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200}, {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000}, {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

unsigned BaudCodeOf(uint32_t rate) {
  for (const BaudCode& entry : kStandardRates)
    if (entry.rate == rate) return entry.code;
  return BOTHER;
}

// Time one character of 11 bits takes on the line, at least 1 ms.
std::chrono::milliseconds CharacterTime(uint32_t baudRate) {
  const uint32_t ms = baudRate ? (11000 + baudRate - 1) / baudRate : 1;
  return std::chrono::milliseconds(ms ? ms : 1);
}

}  // namespace

void BuildLineSettings(struct termios2& tio, const CPortIO_Data_COM& data, bool rtsCtsHandshake) {
  static constexpr unsigned kCharSize[] = {CS5, CS6, CS7, CS8};
  tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR);
  tio.c_oflag &= ~OPOST;
  tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD | CIBAUD);
  tio.c_cflag |= CREAD | CLOCAL | kCharSize[(data.m_DataBits - 5) & 3];
  if (data.m_StopBits == 2) tio.c_cflag |= CSTOPB;
  switch (data.m_Parity) {
    case 1: tio.c_cflag |= PARENB | PARODD; break;
    case 2: tio.c_cflag |= PARENB; break;
    case 3: tio.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: tio.c_cflag |= PARENB | CMSPAR; break;
    default: break;
  }
  // A byte with a parity error arrives as 0, so the frame keeps its length
  // and fails its checksum instead of losing a byte.
  if (tio.c_cflag & PARENB) tio.c_iflag |= INPCK;
  if (rtsCtsHandshake) tio.c_cflag |= CRTSCTS;
  // Reads never block in the driver: poll() measures every wait.
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  // Input speed code 0 means "same as output".
  tio.c_cflag |= BaudCodeOf(data.m_BaudRate);
  tio.c_ispeed = tio.c_ospeed = data.m_BaudRate;
}

int ApplyLineSettings(int fd, const CPortIO_Data_COM& data, bool rtsCtsHandshake) {
  if (!LineSettingsValid(data)) return EINVAL;
  struct termios2 tio {};
  if (ioctl(fd, TCGETS2, &tio) != 0) return errno;
  BuildLineSettings(tio, data, rtsCtsHandshake);
  if (ioctl(fd, TCSETS2, &tio) != 0) return errno;
  return 0;
}

bool SetModemLine(int fd, ModemLine line, bool on) {
  const int bits = line == ModemLine::kRts ? TIOCM_RTS : TIOCM_DTR;
  return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool EnableKernelRs485(int fd) {
  struct serial_rs485 rs485 {};
  rs485.flags = SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
  return ioctl(fd, TIOCSRS485, &rs485) == 0;
}

void Purge(int fd, bool input, bool output) {
  if (input && output)
    ioctl(fd, TCFLSH, TCIOFLUSH);
  else if (input)
    ioctl(fd, TCFLSH, TCIFLUSH);
  else if (output)
    ioctl(fd, TCFLSH, TCOFLUSH);
}

bool WaitTransmitted(int fd, uint32_t baudRate, uint32_t waitMs) {
  const Deadline deadline(waitMs);
  const auto charTime = CharacterTime(baudRate);
  int queued = 0;
  while (ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
    if (deadline.Passed()) return false;
    std::this_thread::sleep_for(std::min(charTime * queued, std::chrono::milliseconds(deadline.RemainingMs() + 1)));
  }
  // The queue is empty; the last character may still be in the shift register.
  unsigned lineStatus = 0;
  if (ioctl(fd, TIOCSERGETLSR, &lineStatus) != 0) {
    // The driver cannot tell: allow one character time.
    std::this_thread::sleep_for(charTime);
    return true;
  }
  while (!(lineStatus & TIOCSER_TEMT)) {
    if (deadline.Passed()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (ioctl(fd, TIOCSERGETLSR, &lineStatus) != 0) break;
  }
  return true;
}

}  // namespace virk::serial
