#include "modbus_frame.h"

#include <cstring>

#include "common/settings.h"

namespace virk {
namespace {

uint8_t HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return uint8_t(c - '0');
  if (c >= 'A' && c <= 'F') return uint8_t(c - 'A' + 10);
  if (c >= 'a' && c <= 'f') return uint8_t(c - 'a' + 10);
  return 0;
}

// The CRC of every byte value, so that a byte costs one lookup instead of
// eight shifts (polynomial 0xA001, reflected).
struct CrcTable {
  uint16_t entry[256];
  constexpr CrcTable() : entry() {
    for (int byte = 0; byte < 256; ++byte) {
      uint16_t crc = uint16_t(byte);
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
      entry[byte] = crc;
    }
  }
  constexpr uint16_t operator[](size_t i) const { return entry[i]; }
};
constexpr CrcTable kCrcTable;

}  // namespace

uint16_t ModbusCrc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) crc = uint16_t((crc >> 8) ^ kCrcTable[(crc ^ data[i]) & 0xFF]);
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

size_t FrameAdu(int32_t protocol, uint16_t transactionId, const uint8_t* pdu, size_t n, uint8_t* out) {
  if (protocol == kProtocolAscii) {
    out[0] = ':';
    for (size_t i = 0; i < n; ++i) ByteToHex(pdu[i], reinterpret_cast<char*>(out + 1 + 2 * i));
    ByteToHex(ModbusLrc(pdu, n), reinterpret_cast<char*>(out + 1 + 2 * n));
    out[2 * n + 3] = '\r';
    out[2 * n + 4] = '\n';
    return 2 * n + 5;
  }
  if (protocol == kProtocolTcp) {
    const uint8_t header[6] = {uint8_t(transactionId >> 8), uint8_t(transactionId), 0, 0, uint8_t(n >> 8),
                               uint8_t(n)};
    std::memcpy(out, header, 6);
    std::memcpy(out + 6, pdu, n);
    return n + 6;
  }
  std::memcpy(out, pdu, n);
  const uint16_t crc = ModbusCrc16(pdu, n);
  out[n] = uint8_t(crc);
  out[n + 1] = uint8_t(crc >> 8);
  return n + 2;
}

}  // namespace virk
