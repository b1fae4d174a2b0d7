// Where COM port N lives on this system.
#pragma once

#include <cstdint>
#include <string>

namespace virk {

// Environment variable with a device path template; "%d" stands for N.
constexpr const char* kComTemplateVariable = "VIRK_COM_TEMPLATE";

// COM N is the system's own device for it (DefaultComDevicePath), or the
// template's path with N in place of "%d" (for example /dev/ttyUSB%d).
// Empty when there is no such device name.
std::string ComDevicePath(uint32_t portNumber);

// Linux: /dev/ttyS(N-1); Windows: \\.\COMN. Empty for N = 0.
std::string DefaultComDevicePath(uint32_t portNumber);

// The template rule on its own, for a template taken from anywhere.
std::string ComDevicePathFrom(const char* pathTemplate, uint32_t portNumber);

}  // namespace virk
