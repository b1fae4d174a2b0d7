// The channel's IP address record as the dialog and the properties show it.
#pragma once

#include <QString>

#include <cstdint>

// "192.168.0.1" from the address record (first part in the lowest byte).
QString IpText(uint32_t address);
