#include "conversion.h"

#include <type_traits>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "byte_order.h"
#include "common/log.h"
#include "common/settings.h"
#include "value_types.h"

namespace virk {
namespace {

// First transmitted byte of a register is its high byte.
constexpr size_t kHighByte = 0, kLowByte = 1;

bool IsBitOfLowByte(int32_t t) { return t >= kTypeBit0 && t <= kTypeBit0 + 7; }

template <typename T>
void SetScalar(UA_Variant& out, T value, int typeIndex) {
  static_assert(std::is_trivially_copyable_v<T>);
  SetScalarValue(out, &value, &UA_TYPES[typeIndex]);
}

template <typename T>
T RoundClamped(double value) {
  const double low = double(std::numeric_limits<T>::min());
  const double high = double(std::numeric_limits<T>::max());
  const double rounded = std::round(value);
  if (rounded <= low) return std::numeric_limits<T>::min();
  if (rounded >= high) return std::numeric_limits<T>::max();
  return T(rounded);
}

float ClampToFloat(double value) {
  if (std::isfinite(value) && std::fabs(value) > FLT_MAX) return value > 0 ? FLT_MAX : -FLT_MAX;
  return float(value);
}

// The raw integer form of a double, for the types with a byte order.
bool RawBits(double value, int32_t valueType, uint64_t& bits) {
  if (valueType != kTypeFloat32 && valueType != kTypeFloat64 && std::isnan(value)) return false;
  switch (valueType) {
    case kTypeFloat32: {
      const float f = ClampToFloat(value);
      uint32_t u;
      std::memcpy(&u, &f, 4);
      bits = u;
      return true;
    }
    case kTypeFloat64:
      std::memcpy(&bits, &value, 8);
      return true;
    case kTypeUInt16:
      bits = RoundClamped<uint16_t>(value);
      return true;
    case kTypeInt16:
      bits = uint16_t(RoundClamped<int16_t>(value));
      return true;
    case kTypeUInt32:
      bits = RoundClamped<uint32_t>(value);
      return true;
    case kTypeInt32:
      bits = uint32_t(RoundClamped<int32_t>(value));
      return true;
    default:
      return false;
  }
}

}  // namespace

size_t RawByteCount(int32_t valueType) { return size_t(ValueTypeSize(valueType)) * 2; }

void SetScalarValue(UA_Variant& out, const void* value, const UA_DataType* type) {
  // A scalar of the same type keeps its buffer: a poll converts thousands
  // of values and would otherwise allocate each one.
  if (out.type == type && UA_Variant_isScalar(&out) && out.storageType == UA_VARIANT_DATA && type->pointerFree) {
    std::memcpy(out.data, value, type->memSize);
    return;
  }
  UA_Variant_clear(&out);
  UA_Variant_setScalarCopy(&out, value, type);
}

bool GetConvData(const uint8_t* raw, size_t available, int32_t valueType, int32_t byteOrder,
                 UA_Variant& out, uint8_t* image) {
  if (valueType < kTypeFloat32 || valueType > kTypeBit15) {
    LogMessage(LogLevel::Debug, kLogUserland, "GetConvData: Invalid Type Param.");
    return false;
  }
  const size_t bytes = RawByteCount(valueType);
  if (available < bytes) return false;
  if (UsesRegisterImage(valueType)) {
    if (image) std::memcpy(image, raw, 2);
    if (valueType == kTypeLowByte) SetScalar<UA_Byte>(out, raw[kLowByte], UA_TYPES_BYTE);
    else if (valueType == kTypeHighByte) SetScalar<UA_Byte>(out, raw[kHighByte], UA_TYPES_BYTE);
    else if (IsBitOfLowByte(valueType))
      SetScalar<UA_Boolean>(out, (raw[kLowByte] >> (valueType - kTypeBit0)) & 1, UA_TYPES_BOOLEAN);
    else
      SetScalar<UA_Boolean>(out, (raw[kHighByte] >> (valueType - kTypeBit0 - 8)) & 1,
                            UA_TYPES_BOOLEAN);
    return true;
  }
  uint64_t bits = 0;
  DecodeOrdered(raw, bytes, byteOrder, bits);  // an unknown order reads as 0
  switch (valueType) {
    case kTypeFloat32: {
      const uint32_t u = uint32_t(bits);
      float f;
      std::memcpy(&f, &u, 4);
      SetScalar<UA_Float>(out, f, UA_TYPES_FLOAT);
      break;
    }
    case kTypeFloat64: {
      double d;
      std::memcpy(&d, &bits, 8);
      SetScalar<UA_Double>(out, d, UA_TYPES_DOUBLE);
      break;
    }
    case kTypeUInt16:
      SetScalar<UA_UInt16>(out, uint16_t(bits), UA_TYPES_UINT16);
      break;
    case kTypeInt16:
      SetScalar<UA_Int16>(out, int16_t(uint16_t(bits)), UA_TYPES_INT16);
      break;
    case kTypeUInt32:
      SetScalar<UA_UInt32>(out, uint32_t(bits), UA_TYPES_UINT32);
      break;
    default:  // kTypeInt32
      SetScalar<UA_Int32>(out, int32_t(uint32_t(bits)), UA_TYPES_INT32);
      break;
  }
  return true;
}

bool PutConvData(uint8_t* target, size_t capacity, int32_t valueType, int32_t byteOrder,
                 const UA_Variant& value, const uint8_t* image) {
  if (valueType < kTypeFloat32 || valueType > kTypeBit15) {
    LogMessage(LogLevel::Debug, kLogUserland, "ERROR: Invalid Type Param.\n");
    return false;
  }
  const size_t bytes = RawByteCount(valueType);
  if (capacity < bytes) return false;
  if (UsesRegisterImage(valueType)) {
    if (!image) return false;
    std::memcpy(target, image, 2);
    return true;
  }
  double number = 0;
  uint64_t bits = 0;
  if (!VariantToDouble(value, number) || !RawBits(number, valueType, bits)) return false;
  if (!EncodeOrdered(bits, bytes, byteOrder, target)) std::memset(target, 0, bytes);
  return true;
}

bool MergeIntoImage(int32_t valueType, const UA_Variant& value, uint8_t* image) {
  double number = 0;
  if (!image || !UsesRegisterImage(valueType) || !VariantToDouble(value, number)) return false;
  if (valueType == kTypeLowByte || valueType == kTypeHighByte) {
    if (std::isnan(number)) return false;
    image[valueType == kTypeLowByte ? kLowByte : kHighByte] = RoundClamped<uint8_t>(number);
    return true;
  }
  const bool on = number != 0;
  const size_t index = IsBitOfLowByte(valueType) ? kLowByte : kHighByte;
  const int bit = IsBitOfLowByte(valueType) ? valueType - kTypeBit0 : valueType - kTypeBit0 - 8;
  image[index] = on ? uint8_t(image[index] | (1u << bit)) : uint8_t(image[index] & ~(1u << bit));
  return true;
}

bool VariantToDouble(const UA_Variant& value, double& out) {
  if (!UA_Variant_isScalar(&value) || !value.data) return false;
  const void* p = value.data;
  switch (value.type->typeKind) {
    case UA_DATATYPEKIND_BOOLEAN: out = *static_cast<const UA_Boolean*>(p) ? 1 : 0; return true;
    case UA_DATATYPEKIND_SBYTE: out = *static_cast<const UA_SByte*>(p); return true;
    case UA_DATATYPEKIND_BYTE: out = *static_cast<const UA_Byte*>(p); return true;
    case UA_DATATYPEKIND_INT16: out = *static_cast<const UA_Int16*>(p); return true;
    case UA_DATATYPEKIND_UINT16: out = *static_cast<const UA_UInt16*>(p); return true;
    case UA_DATATYPEKIND_INT32: out = *static_cast<const UA_Int32*>(p); return true;
    case UA_DATATYPEKIND_UINT32: out = *static_cast<const UA_UInt32*>(p); return true;
    case UA_DATATYPEKIND_INT64: out = double(*static_cast<const UA_Int64*>(p)); return true;
    case UA_DATATYPEKIND_UINT64: out = double(*static_cast<const UA_UInt64*>(p)); return true;
    case UA_DATATYPEKIND_FLOAT: out = *static_cast<const UA_Float*>(p); return true;
    case UA_DATATYPEKIND_DOUBLE: out = *static_cast<const UA_Double*>(p); return true;
    default: return false;
  }
}

bool DoubleToRawVariant(double value, int32_t valueType, UA_Variant& out) {
  if (valueType == kTypeFloat32) {
    SetScalar<UA_Float>(out, ClampToFloat(value), UA_TYPES_FLOAT);
    return true;
  }
  if (valueType == kTypeFloat64) {
    SetScalar<UA_Double>(out, value, UA_TYPES_DOUBLE);
    return true;
  }
  if (std::isnan(value)) return false;
  switch (valueType) {
    case kTypeUInt16: SetScalar<UA_UInt16>(out, RoundClamped<uint16_t>(value), UA_TYPES_UINT16); return true;
    case kTypeInt16: SetScalar<UA_Int16>(out, RoundClamped<int16_t>(value), UA_TYPES_INT16); return true;
    case kTypeUInt32: SetScalar<UA_UInt32>(out, RoundClamped<uint32_t>(value), UA_TYPES_UINT32); return true;
    case kTypeInt32: SetScalar<UA_Int32>(out, RoundClamped<int32_t>(value), UA_TYPES_INT32); return true;
    case kTypeLowByte:
    case kTypeHighByte: SetScalar<UA_Byte>(out, RoundClamped<uint8_t>(value), UA_TYPES_BYTE); return true;
    default:
      if (valueType >= kTypeBit0 && valueType <= kTypeBool) {
        SetScalar<UA_Boolean>(out, value != 0, UA_TYPES_BOOLEAN);
        return true;
      }
      return false;
  }
}

}  // namespace virk
