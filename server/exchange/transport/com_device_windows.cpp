#include "com_path.h"

namespace virk {

// The device namespace form: COM10 and above open only through it.
std::string DefaultComDevicePath(uint32_t portNumber) {
  if (portNumber < 1) return std::string();
  return "\\\\.\\COM" + std::to_string(portNumber);
}

}  // namespace virk
