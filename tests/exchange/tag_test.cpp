#include <gtest/gtest.h>

#include <cmath>

#include "register_image.h"
#include "tag_builder.h"

namespace virk {
namespace {

using test::AsDouble;
using test::MakeTag;
using test::Scalar;
using test::TagSpec;

TEST(DATag, InitDerivesAccessAndTypeFromTheSettings) {
  auto holding = MakeTag({kRegHolding, 10, kTypeInt32});
  EXPECT_EQ(holding->DataType(), &UA_TYPES[UA_TYPES_INT32]);
  EXPECT_EQ(holding->AccessFlags(), kAccessRead | kAccessWrite);
  // Its zero was never read from a device.
  EXPECT_EQ(holding->Status(), kStatusBadWaitingForInitialData);
  EXPECT_FALSE(holding->HasValue());
  EXPECT_EQ(AsDouble(*holding), 0);
  EXPECT_NE(holding->Timestamp(), 0);

  auto input = MakeTag({kRegInput, 10, kTypeFloat32});
  EXPECT_EQ(input->AccessFlags(), kAccessRead);  // write flag has no effect on kind 2

  auto discrete = MakeTag({kRegDiscreteInput, 1, kTypeUInt16});
  EXPECT_EQ(discrete->ValueType(), kTypeBool);
  EXPECT_EQ(discrete->DataType(), &UA_TYPES[UA_TYPES_BOOLEAN]);
  EXPECT_EQ(discrete->AccessFlags(), kAccessRead);

  auto scaled = std::make_unique<CDATag>();
  scaled->m_Data.m_RegKind = kRegHolding;
  scaled->m_Data.m_ValueType = kTypeUInt16;
  scaled->m_Data.m_Read = false;
  scaled->m_Data.SetTransformKind(kTransformFactor);
  scaled->Init();
  EXPECT_EQ(scaled->DataType(), &UA_TYPES[UA_TYPES_DOUBLE]);
  EXPECT_EQ(scaled->AccessFlags(), kAccessWrite);

  auto coil = std::make_unique<CDATag>();
  coil->m_Data.m_RegKind = kRegCoil;
  coil->m_Data.SetTransformKind(kTransformFactor);
  coil->Init();
  EXPECT_EQ(coil->DataType(), &UA_TYPES[UA_TYPES_BOOLEAN]);  // coils are stored as read
}

TEST(BaseTag, ValueAndStatusChangeTogether) {
  CBaseTag tag;
  EXPECT_EQ(tag.Status(), kStatusUncertain);
  Scalar v(3.5f, UA_TYPES_FLOAT);
  tag.SetValue(v.v, kStatusBad);
  uint32_t status = 0;
  EXPECT_FLOAT_EQ(AsDouble(tag, &status), 3.5f);
  EXPECT_EQ(status, kStatusBad);
  EXPECT_NE(v.v.data, nullptr);  // SetValue copies
  tag.SetStatus(kStatusGood);
  EXPECT_FLOAT_EQ(AsDouble(tag, &status), 3.5f);
  EXPECT_EQ(status, kStatusGood);
  tag.ResetValue(&UA_TYPES[UA_TYPES_INT32]);
  EXPECT_EQ(AsDouble(tag), 0);
  EXPECT_EQ(tag.DataType(), &UA_TYPES[UA_TYPES_INT32]);
  EXPECT_EQ(tag.AddRef(), 1);
  EXPECT_EQ(tag.Release(), 0);
}

std::unique_ptr<CDATag> ScaledTag(float rawMin, float rawMax, float engMin, float engMax,
                                  int32_t type = kTypeUInt16) {
  auto tag = std::make_unique<CDATag>();
  tag->m_Data.m_RegKind = kRegHolding;
  tag->m_Data.m_ValueType = type;
  tag->m_Data.SetTransformKind(kTransformLineScale);
  tag->m_Data.m_Transform = CTransform_LineScaleData{rawMin, rawMax, engMin, engMax};
  tag->Init();
  return tag;
}

double Forward(const CDATag& tag, double raw, uint32_t& status) {
  Scalar v(raw, UA_TYPES_DOUBLE);
  status = kStatusGood;
  EXPECT_TRUE(tag.ApplyTransform(v.v, status));
  EXPECT_EQ(v.v.type, &UA_TYPES[UA_TYPES_DOUBLE]);
  return *static_cast<double*>(v.v.data);
}

TEST(Transform, LinearScaleBothWays) {
  auto tag = ScaledTag(4, 20, 0, 100);
  uint32_t status = 0;
  EXPECT_DOUBLE_EQ(Forward(*tag, 12, status), 50);
  EXPECT_EQ(status, kStatusGood);
  EXPECT_DOUBLE_EQ(Forward(*tag, 2, status), -12.5);  // not clamped, but Bad
  EXPECT_EQ(status, kStatusBadOutOfRange);
  EXPECT_DOUBLE_EQ(Forward(*tag, 21, status), 106.25);
  EXPECT_EQ(status, kStatusBadOutOfRange);

  Scalar write(150.0, UA_TYPES_DOUBLE);  // clamped to 100 before scaling back
  ASSERT_TRUE(tag->ApplyReverseTransform(write.v));
  ASSERT_EQ(write.v.type, &UA_TYPES[UA_TYPES_UINT16]);
  EXPECT_EQ(*static_cast<uint16_t*>(write.v.data), 20);
  Scalar half(53.0, UA_TYPES_DOUBLE);  // 12.48 rounds to 12
  ASSERT_TRUE(tag->ApplyReverseTransform(half.v));
  EXPECT_EQ(*static_cast<uint16_t*>(half.v.data), 12);
}

TEST(Transform, DegenerateSettingsNeverGiveInfinityOrNaN) {
  auto flatRaw = ScaledTag(5, 5, 0, 100);
  uint32_t status = kStatusGood;
  const double value = Forward(*flatRaw, 5, status);
  EXPECT_TRUE(std::isfinite(value));
  EXPECT_EQ(status, kStatusBadOutOfRange);

  auto flatEng = ScaledTag(0, 10, 7, 7);
  EXPECT_DOUBLE_EQ(Forward(*flatEng, 3, status), 7);  // reading is still defined
  Scalar write(7.0, UA_TYPES_DOUBLE);
  EXPECT_FALSE(flatEng->ApplyReverseTransform(write.v));  // sent untransformed
  EXPECT_EQ(write.v.type, &UA_TYPES[UA_TYPES_DOUBLE]);

  auto factorZero = std::make_unique<CDATag>();
  factorZero->m_Data.m_RegKind = kRegHolding;
  factorZero->m_Data.SetTransformKind(kTransformFactor);
  factorZero->m_Data.m_Transform = CTransform_FactorData{0};
  factorZero->Init();
  Scalar w(3.0, UA_TYPES_DOUBLE);
  EXPECT_FALSE(factorZero->ApplyReverseTransform(w.v));
  EXPECT_DOUBLE_EQ(Forward(*factorZero, 42, status), 0);
}

TEST(Transform, FactorAndNoTransformation) {
  auto tag = std::make_unique<CDATag>();
  tag->m_Data.m_RegKind = kRegInput;
  tag->m_Data.m_ValueType = kTypeInt16;
  tag->m_Data.SetTransformKind(kTransformFactor);
  tag->m_Data.m_Transform = CTransform_FactorData{0.5f};
  tag->Init();
  uint32_t status = kStatusGood;
  EXPECT_DOUBLE_EQ(Forward(*tag, -7, status), -3.5);
  Scalar w(-3.5, UA_TYPES_DOUBLE);
  ASSERT_TRUE(tag->ApplyReverseTransform(w.v));
  EXPECT_EQ(*static_cast<int16_t*>(w.v.data), -7);

  auto plain = MakeTag({kRegHolding, 0, kTypeUInt16});
  Scalar v(uint16_t(9), UA_TYPES_UINT16);
  EXPECT_FALSE(plain->ApplyTransform(v.v, status));
  EXPECT_EQ(v.v.type, &UA_TYPES[UA_TYPES_UINT16]);
}

TEST(RegisterImage, OneCellPerRegisterSharedByByteAndBitTags) {
  test::TagSet set;
  CDATag* bit0 = set.Add({kRegHolding, 5, kTypeBit0});
  CDATag* high = set.Add({kRegHolding, 5, kTypeHighByte});
  CDATag* other = set.Add({kRegHolding, 6, kTypeBit0 + 3});
  CDATag* word = set.Add({kRegHolding, 5, kTypeUInt16});
  // Two tags of one segment at different offsets need their own registers.
  CDATag* segA = set.Add({kRegHolding, 100, kTypeLowByte, 0, 10, 0});
  CDATag* segB = set.Add({kRegHolding, 100, kTypeLowByte, 0, 10, 4});
  CRegisterImage image;
  image.Build(set.List());
  EXPECT_EQ(image.CellCount(), 4u);
  ASSERT_NE(bit0->RegisterImage(), nullptr);
  EXPECT_EQ(bit0->RegisterImage(), high->RegisterImage());
  EXPECT_NE(bit0->RegisterImage(), other->RegisterImage());
  EXPECT_NE(segA->RegisterImage(), segB->RegisterImage());
  EXPECT_EQ(word->RegisterImage(), nullptr);
  EXPECT_EQ(bit0->RegisterImage()[0] | bit0->RegisterImage()[1], 0);
  image.Release();
  EXPECT_EQ(bit0->RegisterImage(), nullptr);
  EXPECT_EQ(image.CellCount(), 0u);
}

}  // namespace
}  // namespace virk
