// Builds initialised tags for the exchange tests.
#pragma once

#include <memory>
#include <vector>

#include "da_tag.h"

namespace virk::test {

struct TagSpec {
  int32_t kind = kRegHolding;
  uint16_t addr = 0;
  int32_t type = kTypeUInt16;
  int32_t order = 1;
  uint16_t segment = 0;
  uint16_t pos = 0;
  bool group = false;
};

inline std::unique_ptr<CDATag> MakeTag(const TagSpec& s) {
  auto tag = std::make_unique<CDATag>();
  tag->m_Data.m_RegKind = s.kind;
  tag->m_Data.m_Addr = s.addr;
  tag->m_Data.m_ValueType = s.type;
  tag->m_Data.m_ByteOrder = s.order;
  tag->m_Data.m_RegsInSegment = s.segment;
  tag->m_Data.m_PosInSegment = s.pos;
  tag->m_Data.m_bWriteGroup = s.group;
  tag->Init();
  return tag;
}

// Owns a set of tags and hands out the raw pointer list the engine takes.
struct TagSet {
  std::vector<std::unique_ptr<CDATag>> owned;
  CDATag* Add(const TagSpec& s) {
    owned.push_back(MakeTag(s));
    return owned.back().get();
  }
  std::vector<CDATag*> List() const {
    std::vector<CDATag*> list;
    for (const auto& t : owned) list.push_back(t.get());
    return list;
  }
};

inline double AsDouble(const CBaseTag& tag, uint32_t* status = nullptr) {
  UA_Variant v;
  UA_Variant_init(&v);
  uint32_t s = 0;
  tag.GetValue(v, s);
  double d = 0;
  if (v.type == &UA_TYPES[UA_TYPES_DOUBLE]) d = *static_cast<double*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_FLOAT]) d = *static_cast<float*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_UINT16]) d = *static_cast<uint16_t*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_INT16]) d = *static_cast<int16_t*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_UINT32]) d = *static_cast<uint32_t*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_INT32]) d = *static_cast<int32_t*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_BYTE]) d = *static_cast<uint8_t*>(v.data);
  else if (v.type == &UA_TYPES[UA_TYPES_BOOLEAN]) d = *static_cast<bool*>(v.data);
  else d = -999999;  // no scalar of a known type: makes the comparison fail
  UA_Variant_clear(&v);
  if (status) *status = s;
  return d;
}

// A scalar variant that frees itself.
struct Scalar {
  UA_Variant v;
  template <typename T>
  Scalar(T value, int typeIndex) {
    UA_Variant_init(&v);
    UA_Variant_setScalarCopy(&v, &value, &UA_TYPES[typeIndex]);
  }
  ~Scalar() { UA_Variant_clear(&v); }
  Scalar(const Scalar&) = delete;
  Scalar& operator=(const Scalar&) = delete;
};

}  // namespace virk::test
