#include "com_path.h"

#include <cstdlib>

namespace virk {

std::string ComDevicePathFrom(const char* pathTemplate, uint32_t portNumber) {
  if (pathTemplate && *pathTemplate) {
    // Replaced by hand: the template comes from the environment and must
    // never reach a printf format.
    std::string path(pathTemplate);
    const size_t at = path.find("%d");
    if (at == std::string::npos) return path;
    return path.replace(at, 2, std::to_string(portNumber));
  }
  return DefaultComDevicePath(portNumber);
}

std::string ComDevicePath(uint32_t portNumber) {
  return ComDevicePathFrom(std::getenv(kComTemplateVariable), portNumber);
}

}  // namespace virk
