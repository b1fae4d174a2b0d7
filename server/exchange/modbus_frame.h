// Checksums and character coding of the three Modbus framings.
#pragma once

#include <cstddef>
#include <cstdint>

namespace virk {

// Modbus RTU CRC-16 (polynomial 0xA001 reflected, initial 0xFFFF); the low
// byte is sent first.
uint16_t ModbusCrc16(const uint8_t* data, size_t length);

// Modbus ASCII LRC: two's complement of the 8-bit sum.
uint8_t ModbusLrc(const uint8_t* data, size_t length);

// Upper-case hexadecimal digits of a byte, high nibble first.
void ByteToHex(uint8_t byte, char* out);
// A pair of hexadecimal characters, either case; any other character counts 0.
uint8_t HexToByte(char high, char low);

// Wraps a PDU (unit address first) of `n` bytes into the frame of the
// protocol (0 RTU, 1 ASCII, 2 TCP with `transactionId`) at `out`, which
// must hold 2n + 6 bytes. Returns the frame length.
size_t FrameAdu(int32_t protocol, uint16_t transactionId, const uint8_t* pdu, size_t n, uint8_t* out);

// Whether a received 16-bit field (r0, r1) matches the expected bytes
// (e0, e1): the first bytes equal and the second equal or, when the expected
// one is not 0, one less.
inline bool CmpBufferValue(const uint8_t* received, const uint8_t* expected) {
  return received[0] == expected[0] &&
         (received[1] == expected[1] || (expected[1] != 0 && received[1] == expected[1] - 1));
}

}  // namespace virk
