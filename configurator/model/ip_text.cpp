#include "model/ip_text.h"

QString IpText(uint32_t address) {
  return QString("%1.%2.%3.%4")
      .arg(address & 0xFF)
      .arg((address >> 8) & 0xFF)
      .arg((address >> 16) & 0xFF)
      .arg((address >> 24) & 0xFF);
}
