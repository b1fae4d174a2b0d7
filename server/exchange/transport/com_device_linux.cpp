#include "com_path.h"

namespace virk {

std::string DefaultComDevicePath(uint32_t portNumber) {
  if (portNumber < 1) return std::string();
  return "/dev/ttyS" + std::to_string(portNumber - 1);
}

}  // namespace virk
