// Linux serial-line services of the serial transport: line settings through
// termios2 (any baud rate), modem control lines, the kernel's RS-485 mode,
// purging and draining.
#pragma once

#include <cstdint>

#include "serial_settings.h"

struct termios2;

namespace virk {
struct CPortIO_Data_COM;
}

namespace virk::serial {

// Puts raw mode and the settings into `tio`, for valid settings.
void BuildLineSettings(struct termios2& tio, const CPortIO_Data_COM& data, bool rtsCtsHandshake);

// Raw mode, baud rate, data bits, parity (with mark and space), stop bits and
// RTS/CTS handshake, for valid settings. Returns 0 or an errno value.
int ApplyLineSettings(int fd, const CPortIO_Data_COM& data, bool rtsCtsHandshake);

enum class ModemLine { kRts, kDtr };
// Raises or drops a control line; false where the device has no such line.
bool SetModemLine(int fd, ModemLine line, bool on);

// Lets the driver drive RTS high during each transmission; false when the
// driver has no RS-485 mode.
bool EnableKernelRs485(int fd);

void Purge(int fd, bool input, bool output);

// Waits until everything written has left the line, at most `waitMs`.
bool WaitTransmitted(int fd, uint32_t baudRate, uint32_t waitMs);

}  // namespace virk::serial
