#include "model/ip_text.h"

#include <QStringList>

#include <algorithm>

QString IpText(uint32_t address) {
  return QString("%1.%2.%3.%4")
      .arg(address & 0xFF)
      .arg((address >> 8) & 0xFF)
      .arg((address >> 16) & 0xFF)
      .arg((address >> 24) & 0xFF);
}

uint32_t IpFromText(const QString& text) {
  const QStringList parts = text.split('.');
  uint32_t address = 0;
  for (int i = 0; i < 4 && i < parts.size(); ++i)
    address |= (std::min(parts[i].trimmed().toUInt(), 255u)) << (8 * i);
  return address;
}
