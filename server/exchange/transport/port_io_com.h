// Serial transport: one COM port, raw bytes, reads ended by the line going
// quiet for the inter-character time-out of the baud rate. The class
// CPortIO_COM has one public face and a private part per platform.
#pragma once

#include <cstdint>

namespace virk {

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

}  // namespace virk

#ifdef _WIN32
#include "port_io_com_windows.h"
#else
#include "port_io_com_linux.h"
#endif
