#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "conversion.h"
#include "tag_builder.h"
#include "value_types.h"

namespace virk {
namespace {

using test::Scalar;

double Decode(const std::vector<uint8_t>& raw, int32_t type, int32_t order, uint8_t* image = nullptr) {
  UA_Variant v;
  UA_Variant_init(&v);
  EXPECT_TRUE(GetConvData(raw.data(), raw.size(), type, order, v, image));
  double d = std::nan("");
  VariantToDouble(v, d);
  UA_Variant_clear(&v);
  return d;
}

TEST(Conversion, ByteOrdersOfTheCommonTypes) {
  EXPECT_EQ(Decode({0x01, 0x02}, kTypeUInt16, 1), 258);  // "BA"
  EXPECT_EQ(Decode({0x01, 0x02}, kTypeUInt16, 0), 513);  // "AB"
  EXPECT_EQ(Decode({0xFF, 0xFE}, kTypeInt16, 1), -2);
  EXPECT_FLOAT_EQ(Decode({0x41, 0x20, 0x00, 0x00}, kTypeFloat32, 3), 10.0);  // "DC BA"
  EXPECT_FLOAT_EQ(Decode({0x20, 0x41, 0x00, 0x00}, kTypeFloat32, 1), 10.0);  // "CD AB"
  EXPECT_FLOAT_EQ(Decode({0x00, 0x00, 0x20, 0x41}, kTypeFloat32, 0), 10.0);  // "AB CD"
  EXPECT_FLOAT_EQ(Decode({0x00, 0x00, 0x41, 0x20}, kTypeFloat32, 2), 10.0);  // "BA DC"
  EXPECT_EQ(Decode({0x00, 0x01, 0x00, 0x02}, kTypeUInt32, 3), 0x00010002);
  EXPECT_EQ(Decode({0xFF, 0xFF, 0xFF, 0xFE}, kTypeInt32, 3), -2);
  // 1.0 = 0x3FF0000000000000
  EXPECT_EQ(Decode({0x3F, 0xF0, 0, 0, 0, 0, 0, 0}, kTypeFloat64, 3), 1.0);      // "HG FE DC BA"
  EXPECT_EQ(Decode({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}, kTypeFloat64, 0), 1.0);      // "AB CD EF GH"
  EXPECT_EQ(Decode({0xF0, 0x3F, 0, 0, 0, 0, 0, 0}, kTypeFloat64, 1), 1.0);      // "GH EF CD AB"
  EXPECT_EQ(Decode({0, 0, 0, 0, 0, 0, 0x3F, 0xF0}, kTypeFloat64, 2), 1.0);      // "BA DC FE HG"
}

TEST(Conversion, UnknownOrderReadsZeroAndUnknownTypeFails) {
  EXPECT_EQ(Decode({0x01, 0x02}, kTypeUInt16, 2), 0);  // left from a 4-byte type
  EXPECT_EQ(Decode({0x01, 0x02}, kTypeUInt16, 3), 0);
  EXPECT_EQ(Decode({1, 2, 3, 4}, kTypeUInt32, 4), 0);
  EXPECT_EQ(Decode({1, 2, 3, 4, 5, 6, 7, 8}, kTypeFloat64, -1), 0);

  Scalar keep(uint16_t(7), UA_TYPES_UINT16);
  const uint8_t raw[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_FALSE(GetConvData(raw, 8, kTypeBool, 0, keep.v, nullptr));
  EXPECT_FALSE(GetConvData(raw, 8, 25, 0, keep.v, nullptr));
  EXPECT_FALSE(GetConvData(raw, 3, kTypeFloat32, 0, keep.v, nullptr));  // too few bytes
  EXPECT_EQ(*static_cast<uint16_t*>(keep.v.data), 7);
}

// Every type with a byte order survives encode then decode in every order,
// and the encoded bytes are the decoded ones.
TEST(Conversion, EncodeIsTheInverseOfDecode) {
  const uint8_t pattern[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x3E, 0x40};
  for (int32_t type : {kTypeFloat32, kTypeFloat64, kTypeUInt16, kTypeUInt32, kTypeInt16, kTypeInt32}) {
    const size_t bytes = RawByteCount(type);
    for (int32_t order = 0; order < (bytes == 2 ? 2 : 4); ++order) {
      UA_Variant v;
      UA_Variant_init(&v);
      ASSERT_TRUE(GetConvData(pattern, bytes, type, order, v, nullptr));
      uint8_t out[8] = {};
      ASSERT_TRUE(PutConvData(out, bytes, type, order, v, nullptr));
      EXPECT_EQ(0, std::memcmp(out, pattern, bytes)) << "type " << type << " order " << order;
      UA_Variant_clear(&v);
    }
  }
}

TEST(Conversion, BitsAndBytesOfARegisterAndItsImage) {
  const std::vector<uint8_t> reg = {0x12, 0x08};
  EXPECT_EQ(Decode(reg, kTypeBit0 + 3, 0), 1);    // "Бит3": bit 3 of the second byte
  EXPECT_EQ(Decode(reg, kTypeBit0 + 11, 0), 0);   // "Бит11": bit 3 of the first byte
  EXPECT_EQ(Decode(reg, kTypeBit0 + 12, 0), 1);   // "Бит12"
  EXPECT_EQ(Decode(reg, kTypeLowByte, 0), 0x08);
  uint8_t image[2] = {0, 0};
  EXPECT_EQ(Decode(reg, kTypeHighByte, 0, image), 0x12);
  EXPECT_EQ(image[0], 0x12);
  EXPECT_EQ(image[1], 0x08);

  // Writing true to "Бит0" of a register last read as 00 10 sends 00 11.
  uint8_t cell[2] = {0, 0};
  Decode({0x00, 0x10}, kTypeBit0, 0, cell);
  Scalar on(UA_Boolean(true), UA_TYPES_BOOLEAN);
  ASSERT_TRUE(MergeIntoImage(kTypeBit0, on.v, cell));
  uint8_t out[2] = {};
  ASSERT_TRUE(PutConvData(out, 2, kTypeBit0, 0, on.v, cell));
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0x11);

  Scalar off(UA_Boolean(false), UA_TYPES_BOOLEAN);
  ASSERT_TRUE(MergeIntoImage(kTypeBit0 + 12, on.v, cell));
  ASSERT_TRUE(MergeIntoImage(kTypeBit0 + 4, off.v, cell));
  EXPECT_EQ(cell[0], 0x10);
  EXPECT_EQ(cell[1], 0x01);
  Scalar byte(UA_Byte(0xAB), UA_TYPES_BYTE);
  ASSERT_TRUE(MergeIntoImage(kTypeHighByte, byte.v, cell));
  EXPECT_EQ(cell[0], 0xAB);
  EXPECT_EQ(cell[1], 0x01);
  EXPECT_FALSE(PutConvData(out, 2, kTypeBit0, 0, on.v, nullptr));  // no image, nothing to send
}

TEST(Conversion, WrittenValuesAreConvertedToTheRawType) {
  uint8_t out[4] = {};
  // A Double for an Int16 register: rounded to nearest and clamped.
  Scalar d(2.5, UA_TYPES_DOUBLE);
  ASSERT_TRUE(PutConvData(out, 2, kTypeInt16, 1, d.v, nullptr));
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0x03);
  Scalar big(1e9, UA_TYPES_DOUBLE);
  ASSERT_TRUE(PutConvData(out, 2, kTypeInt16, 1, big.v, nullptr));
  EXPECT_EQ(out[0], 0x7F);
  EXPECT_EQ(out[1], 0xFF);
  Scalar negative(-3.0, UA_TYPES_DOUBLE);
  ASSERT_TRUE(PutConvData(out, 2, kTypeUInt16, 1, negative.v, nullptr));
  EXPECT_EQ(out[0] | out[1], 0);
  // A narrow variant is widened, never read past its own bytes.
  Scalar b(UA_Byte(5), UA_TYPES_BYTE);
  ASSERT_TRUE(PutConvData(out, 4, kTypeFloat32, 3, b.v, nullptr));
  EXPECT_FLOAT_EQ(Decode({out[0], out[1], out[2], out[3]}, kTypeFloat32, 3), 5.0f);
  Scalar nan(std::nan(""), UA_TYPES_DOUBLE);
  EXPECT_FALSE(PutConvData(out, 2, kTypeUInt16, 1, nan.v, nullptr));
  UA_Variant empty;
  UA_Variant_init(&empty);
  EXPECT_FALSE(PutConvData(out, 2, kTypeUInt16, 1, empty, nullptr));

  UA_Variant raw;
  UA_Variant_init(&raw);
  ASSERT_TRUE(DoubleToRawVariant(-2.5, kTypeInt32, raw));
  EXPECT_EQ(*static_cast<int32_t*>(raw.data), -3);  // half away from zero
  ASSERT_TRUE(DoubleToRawVariant(5e9, kTypeUInt32, raw));
  EXPECT_EQ(*static_cast<uint32_t*>(raw.data), 0xFFFFFFFFu);
  ASSERT_TRUE(DoubleToRawVariant(1e300, kTypeFloat32, raw));
  EXPECT_FLOAT_EQ(*static_cast<float*>(raw.data), 3.40282347e38f);
  EXPECT_FALSE(DoubleToRawVariant(std::nan(""), kTypeUInt16, raw));
  UA_Variant_clear(&raw);
}

TEST(Conversion, ValueTypeTable) {
  EXPECT_EQ(ValueTypeSize(kTypeFloat64), 4);
  EXPECT_EQ(ValueTypeSize(kTypeInt32), 2);
  EXPECT_EQ(ValueTypeSize(kTypeBit15), 1);
  EXPECT_EQ(ValueTypeSize(kTypeBool), 1);
  EXPECT_EQ(ValueTypeSize(25), 0);
  EXPECT_EQ(ValueDataType(kTypeInt16), &UA_TYPES[UA_TYPES_INT16]);
  EXPECT_EQ(ValueDataType(kTypeHighByte), &UA_TYPES[UA_TYPES_BYTE]);
  EXPECT_EQ(ValueDataType(kTypeBit0 + 5), &UA_TYPES[UA_TYPES_BOOLEAN]);
  EXPECT_EQ(ValueDataType(99), &UA_TYPES[UA_TYPES_FLOAT]);
}

}  // namespace
}  // namespace virk
