// A tag at run time: its configured settings (CTagBase::m_Data), its
// published value (CBaseTag) and what the exchange needs around them.
#pragma once

#include <cstdint>
#include <memory>

#include "common/item.h"
#include "tag_value.h"
#include "transform.h"

namespace virk {

class CDATag : public CTagBase, public CBaseTag {
 public:
  CDATag();
  ~CDATag() override;

  // Derives access, value type and data type from the settings, rebuilds the
  // transformation and resets the value to zero of the data type.
  void Init() override;
  // Rebuilds the transformation from the settings after they changed; a
  // register tag with a transformation publishes Double.
  void UpdateTransformation();

  int32_t RegKind() const { return m_Data.m_RegKind; }
  uint16_t Address() const { return m_Data.m_Addr; }
  uint16_t SegmentSize() const { return m_Data.m_RegsInSegment; }
  // Where the value sits: the address plus the offset inside a segment.
  uint16_t EffectiveAddress() const {
    return m_Data.m_RegsInSegment ? uint16_t(m_Data.m_Addr + m_Data.m_PosInSegment) : m_Data.m_Addr;
  }
  int32_t ValueType() const { return m_Data.m_ValueType; }
  int32_t ByteOrder() const { return m_Data.m_ByteOrder; }
  // Registers the value occupies; a coil or discrete input counts 1.
  uint16_t SizeInRegisters() const;
  bool IsWriteGroup() const { return m_Data.m_bWriteGroup; }
  bool IsRegisterKind() const { return RegKind() == kRegInput || RegKind() == kRegHolding; }

  const CTransformation* Transformation() const { return m_Transform.get(); }
  // Raw value -> engineering Double. False (variant unchanged) without a
  // transformation. Sets the Bad bit in `status` for a raw value outside a
  // linear scale's range and when the scale has no defined result.
  bool ApplyTransform(UA_Variant& value, uint32_t& status) const;
  // Client value -> value of the tag's raw type. False (variant unchanged)
  // without a transformation or when it has no defined result.
  bool ApplyReverseTransform(UA_Variant& value) const;

  // Two-byte cell shared with the other byte and bit tags of the register,
  // owned by the group while its channel polls; null otherwise.
  uint8_t* RegisterImage() const { return m_RegisterImage; }
  void SetRegisterImage(uint8_t* cell) { m_RegisterImage = cell; }

  // The value being written; valid during one write call only.
  const UA_Variant* PendingValue() const { return m_PendingValue; }
  void SetPendingValue(const UA_Variant* value) { m_PendingValue = value; }

 private:
  std::unique_ptr<CTransformation> m_Transform;
  uint8_t* m_RegisterImage = nullptr;
  const UA_Variant* m_PendingValue = nullptr;
};

}  // namespace virk
