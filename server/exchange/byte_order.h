// Byte orders of multi-byte values. Letters name the value's bytes from the
// least significant (A) up; an order name lists them as transmitted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace virk {

// Order names for a value of the given size in registers (1, 2 or 4); a
// single empty name for any other size.
const std::vector<std::string>& ByteOrderNames(uint16_t sizeInRegisters);

// For a value of `valueBytes` bytes (2, 4 or 8) sent in order `order`:
// element i is the significance (0 = least) of the i-th transmitted byte.
// Null when the order code does not exist for that size.
const uint8_t* ByteOrderMap(size_t valueBytes, int32_t order);

// Assembles `valueBytes` transmitted bytes into an integer; false (and 0) for
// an unknown order.
bool DecodeOrdered(const uint8_t* transmitted, size_t valueBytes, int32_t order, uint64_t& value);
// The inverse: writes the low `valueBytes` bytes of `value` in transmission order.
bool EncodeOrdered(uint64_t value, size_t valueBytes, int32_t order, uint8_t* transmitted);

}  // namespace virk
