#include "model/item_info.h"

#include <algorithm>

#include "common/enum_texts.h"

using namespace virk;

namespace {

// The operator sees register addresses 1..65535, stored as 0..65534.
constexpr uint16_t kLastAddress = 65534;

template <class T>
const T* SameClass(const CItem& other) {
  return dynamic_cast<const T*>(&other);
}

}  // namespace

bool CChannelInfo::IsEqualTo(const CItem& other) const {
  const auto* o = SameClass<CChannelInfo>(other);
  if (!o || o->m_Data.m_ChannelType != m_Data.m_ChannelType) return false;
  if (const auto* com = m_Data.Com()) {
    const auto* otherCom = o->m_Data.Com();
    return otherCom && otherCom->m_PortNumber == com->m_PortNumber;
  }
  const auto* tcp = m_Data.Tcp();
  const auto* otherTcp = o->m_Data.Tcp();
  return tcp && otherTcp && tcp->m_IpAddress == otherTcp->m_IpAddress &&
         tcp->m_Port == otherTcp->m_Port;
}

bool CChannelInfo::Advance() {
  if (auto* com = m_Data.Com()) ++com->m_PortNumber;
  return true;
}

bool CDeviceInfo::IsEqualTo(const CItem& other) const {
  const auto* o = SameClass<CDeviceInfo>(other);
  return o && o->m_Data.m_Addr == m_Data.m_Addr;
}

bool CGroupInfo::IsEqualTo(const CItem& other) const {
  return SameClass<CGroupInfo>(other) && other.Name() == Name();
}

bool CDATagInfo::IsEqualTo(const CItem& other) const {
  const auto* o = SameClass<CDATagInfo>(other);
  if (!o) return false;
  const TagSettings& a = m_Data;
  const TagSettings& b = o->m_Data;
  return a.m_RegKind == b.m_RegKind && a.m_Addr == b.m_Addr && a.m_ValueType == b.m_ValueType &&
         a.m_RegsInSegment == b.m_RegsInSegment && a.m_PosInSegment == b.m_PosInSegment;
}

bool CDATagInfo::Advance() {
  TagSettings& d = m_Data;
  if (d.m_ValueType >= kTypeBit0 && d.m_ValueType < kTypeBit15) {
    ++d.m_ValueType;
    return true;
  }
  if (d.m_ValueType == kTypeBit15) d.m_ValueType = kTypeBit0;
  // The next value starts after this one's registers: 32-bit types take two,
  // 64-bit ones four; bits and bytes move on one register.
  const int step = d.IsBitKind() ? 1 : std::max(1, RegisterCount(d.m_ValueType));
  // Past the last register the series starts again at the first one.
  d.m_Addr = d.m_Addr + step > kLastAddress ? 0 : uint16_t(d.m_Addr + step);
  return true;
}

virk::ItemPtr (::CItemFactory::Create)(int32_t kind) const {
  switch (kind) {
    case kKindChannel:
      return std::make_unique<CChannelInfo>();
    case kKindDevice:
      return std::make_unique<CDeviceInfo>();
    case kKindGroup:
      return std::make_unique<CGroupInfo>();
    case kKindTag:
      return std::make_unique<CDATagInfo>();
    default:
      return nullptr;
  }
}

const ::CItemFactory& ItemFactory() {
  static const ::CItemFactory factory;
  return factory;
}
