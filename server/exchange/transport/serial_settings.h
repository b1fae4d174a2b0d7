// What the serial transport makes of a channel's line settings on any
// platform: the read's inter-character time-out, the log's mode text and
// which settings a line can take.
#pragma once

#include <cstdint>
#include <string>

namespace virk {
struct CPortIO_Data_COM;
}

namespace virk::serial {

// Silence after at least one byte that ends a read, by baud rate.
uint32_t InterCharTimeoutMs(uint32_t baudRate);

// The line settings in the "baud=9600 data=8 parity=N stop=1" form of the logs.
std::string ModeText(const CPortIO_Data_COM& data);

// Data bits 5 to 8, stop bits 1 or 2, a baud rate above 0.
bool LineSettingsValid(const CPortIO_Data_COM& data);

}  // namespace virk::serial
