#include "modbus_frame.h"

namespace virk {
namespace {

uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
  return 0;
}

}  // namespace

uint16_t ModbusCrc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
  }
  return crc;
}

uint8_t ModbusLrc(const uint8_t* data, size_t length) {
  uint8_t sum = 0;
  for (size_t i = 0; i < length; ++i) sum = uint8_t(sum + data[i]);
  return uint8_t(-sum);
}

void ByteToHex(uint8_t byte, char* out) {
  static const char kDigits[] = "0123456789ABCDEF";
  out[0] = kDigits[byte >> 4];
  out[1] = kDigits[byte & 0x0F];
}

uint8_t HexToByte(char high, char low) { return uint8_t(HexDigitValue(high) << 4 | HexDigitValue(low)); }

}  // namespace virk
