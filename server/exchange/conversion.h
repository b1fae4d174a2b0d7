// Raw register bytes <-> typed values, by value type and byte order.
#pragma once

#include <cstddef>
#include <cstdint>

#include <open62541/types.h>

namespace virk {

// Bytes a value of the type takes in a register area (2 per register).
size_t RawByteCount(int32_t valueType);

// `out` becomes a scalar copy of `value`; a scalar of the same plain type
// is overwritten in place instead of freed and allocated again.
void SetScalarValue(UA_Variant& out, const void* value, const UA_DataType* type);

// Decodes the raw bytes (`available` of them) of a register value into
// `out`. Byte and bit types first copy the register's two bytes into
// `image` when it is given. False for an unknown type or too few bytes;
// `out` is then left as it was.
bool GetConvData(const uint8_t* raw, size_t available, int32_t valueType, int32_t byteOrder,
                 UA_Variant& out, uint8_t* image);

// Encodes `value` into the request bytes (`capacity` of them). Numeric
// values are converted to the type's raw form (rounded and clamped for
// integers); byte and bit types send the register image. False when nothing
// can be encoded.
bool PutConvData(uint8_t* target, size_t capacity, int32_t valueType, int32_t byteOrder,
                 const UA_Variant& value, const uint8_t* image);

// Merges a byte or bit value into the register image before it is sent.
bool MergeIntoImage(int32_t valueType, const UA_Variant& value, uint8_t* image);

// Bit n of a coil or discrete-input data area.
inline bool DiscreteBit(const uint8_t* data, uint32_t n) { return (data[n / 8] >> (n % 8)) & 1; }

// Numeric or Boolean scalar as a double; false for anything else.
bool VariantToDouble(const UA_Variant& value, double& out);
// A double as a scalar of the value type's raw type: integers rounded to
// nearest and clamped to their range. False for NaN into an integer or an
// unknown type.
bool DoubleToRawVariant(double value, int32_t valueType, UA_Variant& out);

}  // namespace virk
